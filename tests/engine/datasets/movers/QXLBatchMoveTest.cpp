// The batch move in its six modes from one source into one destination,
// the key index (named, primary, or made for the move and dropped again),
// progress and a stop, records whose insert fails (skipped, counted and
// raised about after the move), and an index name the destination will not
// have (raised before anything changes).
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/movers/QXLBatchMove.h"
#include "tests/engine/datasets/movers/MoversFixture.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

// An engine dataset that is not a table component: a plain cursor on a table.
class CursorDataSet : public TQXLDataSet {
public:
  explicit CursorDataSet(const std::string& Table) : FTable(Table) { SetDatabaseName("Db"); }
  ~CursorDataSet() override { Close(); }

protected:
  TQXLCursor* CreateCursorHandle() override {
    auto cursor = std::make_unique<TQXLLocalCursor>();
    cursor->FSession = Database()->Handle();
    cursor->FTableName = FTable;
    cursor->FExclusive = false;
    cursor->FReadOnly = false;
    cursor->OpenTableByFieldDefs(&QXLFieldDefs(), &QXLIndexDefs(), &QXLConstraintDefs());
    return AdoptHandle(std::move(cursor));
  }

private:
  std::string FTable;
};

class BatchMoveTest : public qxl::testsupport::MoversFixture {
protected:
  // Records as "id:name", sorted by id.
  static std::vector<std::string> ByIds(TDataSet& T) {
    std::vector<std::pair<std::int32_t, std::string>> rows;
    for (T.First(); !T.Eof(); T.Next()) {
      const TField& name = T.FieldByName("Name");
      rows.emplace_back(T.FieldByName("ID").AsInteger(), name.IsNull() ? "-" : name.AsString());
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> out;
    for (const auto& [id, name] : rows) out.push_back(std::to_string(id) + ":" + name);
    return out;
  }
  static std::vector<std::string> ByIdsOf(const std::string& Table) {
    TQXLTable T;
    T.SetDatabaseName("Db");
    T.SetTableName(Table);
    T.Open();
    return ByIds(T);
  }
  // People 1..3 as the destination; the source Src holds 2, 3 and 4 named X<id>.
  void SetUpBoth() {
    Dest = People(3);
    Source = CreatePeople("Src");
    Source->Open();
    for (std::int32_t id : {2, 3, 4}) AddPerson(*Source, id, "X" + std::to_string(id));
  }
  std::unique_ptr<TQXLTable> Dest, Source;
};

TEST_F(BatchMoveTest, EachModeMergesBySourceKey) {
  struct Case {
    TQXLBatchMoveType Mode;
    std::vector<std::string> After;
  } Cases[] = {
      {bmtAppend, {"1:P1", "2:P2", "3:P3", "4:X4"}},
      {bmtAppendUpdate, {"1:P1", "2:X2", "3:X3", "4:X4"}},
      {bmtCopy, {"2:X2", "3:X3", "4:X4"}},
      {bmtDelete, {"1:P1"}},
      {bmtUpdate, {"1:P1", "2:X2", "3:X3"}},
      {bmtSynchronize, {"2:X2", "3:X3", "4:X4"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Mode));
    SetUpBoth();
    Source->Last();
    Dest->BatchMove(*Source, C.Mode);
    EXPECT_EQ(ByIdsOf("People"), C.After);
    // The source is back on its record and its index choice unchanged.
    EXPECT_EQ(Source->FieldByName("ID").AsInteger(), 4);
    EXPECT_EQ(Source->IndexName(), "");
    Dest->Close();
    Source->Close();
    Source->DeleteTable();
    Dest->DeleteTable();
  }
}

TEST_F(BatchMoveTest, ASourceThatIsNoTableIsSearchedByItsValuesWhenSynchronising) {
  SetUpBoth();
  Source->Close();
  CursorDataSet Plain("Src");
  Plain.Open();
  Dest->BatchMove(Plain, bmtSynchronize);
  EXPECT_EQ(ByIdsOf("People"), (std::vector<std::string>{"2:X2", "3:X3", "4:X4"}));
}

TEST_F(BatchMoveTest, AMissingDestinationIsMadeFromTheSource) {
  SetUpBoth();
  std::unique_ptr<TQXLTable> Fresh = NewTable("Fresh");
  Fresh->BatchMove(*Source, bmtAppend);
  EXPECT_EQ(ByIds(*Fresh), (std::vector<std::string>{"2:X2", "3:X3", "4:X4"}));
  Fresh->UpdateIndexDefs();
  EXPECT_GE(Fresh->IndexDefs().IndexOf("ByID"), 0);
}

TEST_F(BatchMoveTest, TheKeyIndexIsNamedPrimaryOrMadeForTheMove) {
  SetUpBoth();
  // By name: X2 is not among the destination's names, P2 is.
  Source->Edit();
  Source->FieldByName("Name").SetAsString("P2");
  Source->FieldByName("Score").SetAsFloat(9);
  Source->Post();
  Dest->BatchMove(*Source, bmtUpdate, "ByName");
  // P2 took the source record's values, its ID among them.
  EXPECT_EQ(ByIds(*Dest), (std::vector<std::string>{"1:P1", "3:P3", "4:P2"}));
  Dest->SetIndexName("ByID");
  ASSERT_TRUE(Dest->FindKey({Variant(4)}));
  EXPECT_EQ(Dest->FieldByName("Score").AsFloat(), 9);
  // The destination's own index choice is back after a move.
  Dest->BatchMove(*Source, bmtAppend);
  EXPECT_EQ(Dest->IndexName(), "ByID");

  // Without a primary index an index over the common fields is made and dropped.
  std::unique_ptr<TQXLTable> Plain = NewTable("Plain");
  Plain->AdvFieldDefs().Add("ID", aftInteger, 0, false);
  Plain->AdvFieldDefs().Add("Name", aftString, 20, false);
  Plain->CreateTable();
  Plain->BatchMove(*Source, bmtAppend);
  Plain->BatchMove(*Source, bmtAppend);
  EXPECT_EQ(ByIds(*Plain), (std::vector<std::string>{"2:X2", "3:X3", "4:P2"}));
  Plain->UpdateIndexDefs();
  EXPECT_EQ(Plain->IndexDefs().Count(), 0);
}

TEST_F(BatchMoveTest, FailingInsertsAreSkippedCountedAndRaisedAfterTheMove) {
  std::unique_ptr<TQXLTable> Strict = NewTable("Strict");
  Strict->AdvFieldDefs().Add("ID", aftInteger, 0, true);
  Strict->AdvFieldDefs().Add("Name", aftString, 20, true);
  Strict->AdvIndexDefs().Add("PK", "ID", TIndexOptions{ixPrimary});
  Strict->CreateTable();
  std::unique_ptr<TQXLTable> Src = CreatePeople("Src");
  Src->Open();
  AddPerson(*Src, 1, "");
  AddPerson(*Src, 2, "ok");
  AddPerson(*Src, 3, "");
  AddPerson(*Src, 4, "fine");
  std::vector<std::string> Events;
  Strict->AfterBatchMove = [&](TQXLTable&) { Events.push_back("after"); };
  const std::string Message = MessageOf([&] { Strict->BatchMove(*Src, bmtAppend); });
  EXPECT_EQ(Message.find("Batch move skipped 2 record(s); the first failed with: "), 0u) << Message;
  EXPECT_NE(Message.find("Name"), std::string::npos) << Message;
  EXPECT_EQ(NativeCodeOf([&] { Strict->BatchMove(*Src, bmtAppend); }), BatchMoveSkippedCode);
  EXPECT_EQ(Events, (std::vector<std::string>{"after", "after"}));
  EXPECT_EQ(Strict->State(), dsBrowse);
  EXPECT_EQ(ByIds(*Strict), (std::vector<std::string>{"2:ok", "4:fine"}));
}

TEST_F(BatchMoveTest, ProgressCountsBothTablesWhenSynchronisingAndAStopEndsTheMove) {
  SetUpBoth();
  TProgressLog Progress;
  Dest->OnBatchMoveProgress = Progress.Handler();
  Dest->BatchMove(*Source, bmtSynchronize);
  // Three source records, then the four destination records after the merge;
  // the total counts the destination as it was before (six).
  EXPECT_EQ(Progress.Percents.size(), 7u);
  EXPECT_EQ(Progress.Percents.front(), 17);
  EXPECT_EQ(Progress.Percents[2], 50);

  Progress = {};
  Progress.StopAt = 2;
  std::unique_ptr<TQXLTable> Other = People(0, "Other");
  Other->OnBatchMoveProgress = Progress.Handler();
  Other->BatchMove(*Source, bmtAppend);
  EXPECT_EQ(ByIds(*Other), (std::vector<std::string>{"2:X2"}));
}

TEST_F(BatchMoveTest, AnIndexNameTheDestinationWillNotHaveChangesNothing) {
  SetUpBoth();
  const std::vector<std::string> Before = ByIdsOf("People");
  for (TQXLBatchMoveType Mode : {bmtAppend, bmtCopy}) {
    EXPECT_EQ(NativeCodeOf([&] { Dest->BatchMove(*Source, Mode, "NoSuchIndex"); }), 10325);
    EXPECT_EQ(ByIdsOf("People"), Before);
  }
}

}  // namespace
