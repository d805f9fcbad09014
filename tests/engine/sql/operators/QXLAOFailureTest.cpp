// A query that fails while its rows are copied leaves no temporary table in
// the TEMP database: the failing level drops its own at once, the levels
// below go when the tree is freed.
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/temporary/QXLTemporaryDatabaseData.h"
#include "tests/engine/sql/operators/OperatorFixture.h"

namespace qxl::optest {
namespace {

// A temporary table that refuses the insert after a number of them.
class FaultyTemporaryTable : public TQXLTemporaryTableData {
public:
  FaultyTemporaryTable(TQXLDatabaseData* Database, TQXLIndexFactory* Indexes, std::int32_t& InsertsLeft)
      : TQXLTemporaryTableData(Database, TQXLTemporaryDatabaseData::RecordsPerPage,
                               TQXLTemporaryDatabaseData::AllocRecordsBy, Indexes,
                               [] { return std::int64_t{1} << 30; }),
        FInsertsLeft(InsertsLeft) {}
  bool InsertRecord(TQXLCursor*& Cursor) override {
    if (FInsertsLeft-- <= 0) throw EQXLException(10134, "Injected fault: the temporary file cannot be written");
    return TQXLTemporaryTableData::InsertRecord(Cursor);
  }

private:
  std::int32_t& FInsertsLeft;
};

class FaultyTemporaryDatabase : public TQXLTemporaryDatabaseData {
public:
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override {
    auto Table = std::make_unique<FaultyTemporaryTable>(this, &Indexes, InsertsLeft);
    if (Cursor) Table->SetTableName(Cursor->FTableName);
    return RegisterTableData(std::move(Table));
  }
  std::int32_t InsertsLeft = 1 << 30;

private:
  TQXLBTreeIndexFactory Indexes;
};

class MaterialisationFailure : public OperatorTest {
protected:
  void SetUp() override {
    MakeTable("P", {{"ID", aftInteger}, {"Name", aftString, 10}}, {"1|a", "2|b", "3|c", "4|d", "5|e"});
    // The TEMP database is swapped for one whose inserts fail when told.
    TQXLDatabaseDataList& List = DatabaseDataList();
    TQXLDatabaseData* Temp = List.Find([](const TQXLDatabaseData& D) { return D.DatabaseName() == "TEMP"; });
    ASSERT_NE(Temp, nullptr);
    FReal = List.Extract(Temp);
    Faulty = static_cast<FaultyTemporaryDatabase*>(List.Add(std::make_unique<FaultyTemporaryDatabase>()));
  }
  void TearDown() override {
    // The session's connection to the swapped database goes first.
    DefaultSession()->DropConnections();
    TQXLDatabaseDataList& List = DatabaseDataList();
    List.Free(Faulty);
    List.Add(std::move(FReal));
  }

  std::unique_ptr<TQXLDatabaseData> FReal;
  FaultyTemporaryDatabase* Faulty = nullptr;
};

TEST_F(MaterialisationFailure, NoTemporaryTableOutlivesAFailedQuery) {
  struct Case {
    std::int32_t InsertsLeft;
    std::int32_t TablesRightAfter;  // temporary tables left before the tree is freed
  } Cases[] = {
      {0, 0},  // the projection's first insert fails
      {3, 0},  // the projection fails half-way
      {6, 1},  // the projection's five rows are stored; the TOP operator fails
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.InsertsLeft);
    Faulty->InsertsLeft = C.InsertsLeft;
    {
      auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
      auto List = Items(Col("Name"), Expr("ID * 2", "Twice"));
      Projection->SetResultFields(List, false);
      auto Top = std::make_unique<TQXLAOSQLTopRowCount>(std::move(Projection));
      Top->SetTopRowCount(2, 3);
      ASSERT_TRUE(Top->OpenTables());
      EXPECT_EQ(CodeOf([&] { Top->Execute(true, nullptr, nullptr); }), 10134);
      EXPECT_EQ(Faulty->TableDataCount(), C.TablesRightAfter);
    }
    EXPECT_EQ(Faulty->TableDataCount(), 0);
  }
  // With room again the same query runs and its tables go with the tree.
  Faulty->InsertsLeft = 1 << 30;
  {
    auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
    auto List = Items(Col("Name"));
    Projection->SetResultFields(List, true);
    EXPECT_EQ(Run(*Projection).size(), 5u);
    EXPECT_EQ(Faulty->TableDataCount(), 1);
  }
  EXPECT_EQ(Faulty->TableDataCount(), 0);
}

}  // namespace
}  // namespace qxl::optest
