// Import and export: from and to an engine table and a dataset of another
// kind, the index definitions a dataset of another kind brings, every
// problem in the log (a record that fails, a table that cannot be made, a
// destination that cannot be made), and the table's state afterwards.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/datasets/QXLAdvIndexDefs.h"
#include "tests/engine/datasets/base/RowListDataSet.h"
#include "tests/engine/datasets/movers/MoversFixture.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

class ImportExportTest : public qxl::testsupport::MoversFixture {};

std::vector<Row> ThreeRows() {
  return {{1, "a", 1.5, 0}, {2, "b", std::nullopt, 0}, {3, std::nullopt, 3.0, 0}};
}

TEST_F(ImportExportTest, ImportFromAnEngineTableTakesItsColumnsIndexesAndRecords) {
  std::unique_ptr<TQXLTable> Source = People(3);
  Source->Open();
  std::unique_ptr<TQXLTable> T = NewTable("Imported");
  std::vector<std::string> Events;
  T->BeforeImport = [&](TQXLTable&) { Events.push_back("before"); };
  T->AfterImport = [&](TQXLTable&) { Events.push_back("after"); };
  TProgressLog Progress;
  T->OnImportProgress = Progress.Handler();
  std::string Log;
  EXPECT_TRUE(T->ImportTable(*Source, Log, nullptr));
  EXPECT_EQ(Log, "");
  EXPECT_FALSE(T->Active());
  EXPECT_EQ(Events, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(Progress.Percents, (std::vector<std::int32_t>{33, 67, 100}));
  EXPECT_EQ(RowsOf("Db", "Imported"), RowsOf("Db", "People"));
  T->UpdateIndexDefs();
  ASSERT_EQ(T->IndexDefs().Count(), 2);
  EXPECT_EQ(T->IndexDefs()[0].Name, "ByID");
  EXPECT_TRUE(T->IndexDefs()[0].Options.Contains(ixPrimary));
  EXPECT_EQ(T->IndexDefs()[1].Fields, "Name");
}

TEST_F(ImportExportTest, ImportFromAnotherDatasetTakesTheIndexDefinitionsGiven) {
  RowListDataSet Source(ThreeRows());
  Source.Open();
  TIndexDefs Given;
  Given.Add("x", "Id", TIndexOptions{ixPrimary}).Name = "";
  Given.Add("ByName", "Name", TIndexOptions{ixDescending}).DescFields = "Name";
  Given.Add("Expr", "", TIndexOptions{ixExpression});
  std::unique_ptr<TQXLTable> T = NewTable("Imported");
  std::string Log = "earlier\r\n";
  EXPECT_FALSE(T->ImportTable(Source, Log, &Given));
  EXPECT_EQ(Log, "earlier\r\nCannot import index 'Expr'. Index type is not supported, index skipped");
  T->Open();
  EXPECT_EQ(Rows(*T), (std::vector<std::string>{"Id=1|Name=a|Amount=1.5", "Id=2|Name=b|Amount=-",
                                                 "Id=3|Name=-|Amount=3"}));
  T->UpdateIndexDefs();
  ASSERT_EQ(T->IndexDefs().Count(), 2);
  EXPECT_EQ(T->IndexDefs()[0].Name, "idxPrimaryKey");
  EXPECT_EQ(T->IndexDefs()[1].Name, "ByName");
  T->SetIndexName("ByName");
  EXPECT_EQ(Forward(*T, "Id"), (std::vector<std::int32_t>{2, 1, 3}));
  T->Close();

  // Only the first unnamed definition becomes the primary key's.
  TIndexDefs TwoUnnamed;
  TwoUnnamed.Add("x", "Id", TIndexOptions{}).Name = "";
  TwoUnnamed.Add("y", "Name", TIndexOptions{}).Name = "";
  std::unique_ptr<TQXLTable> U = NewTable("Unnamed");
  Log.clear();
  U->ImportTable(Source, Log, &TwoUnnamed);
  ASSERT_EQ(U->IndexDefs().Count(), 2);
  EXPECT_EQ(U->IndexDefs()[0].Name, "idxPrimaryKey");
  EXPECT_EQ(U->IndexDefs()[1].Name, "");
}

TEST_F(ImportExportTest, ImportProblemsAreLoggedAndAnswerFalse) {
  // Id is required in the source's definitions; a row without one fails.
  RowListDataSet Source(ThreeRows());
  Source.Rows[1].Id.reset();
  Source.Open();
  std::unique_ptr<TQXLTable> T = NewTable("Imported");
  std::string Log;
  EXPECT_FALSE(T->ImportTable(Source, Log, nullptr));
  EXPECT_EQ(Log.find("Error importing table. Cannot copy data due to error: Error copying table \"Imported\". "
                     "Record #2 was not imported due to error: "),
            0u)
      << Log;
  EXPECT_EQ(Log.substr(Log.size() - 6), "\r\n\r\n\r\n");
  EXPECT_EQ(RowsOf("Db", "Imported").size(), 2u);

  // Inside a transaction the table cannot be made.
  std::unique_ptr<TQXLTable> U = NewTable("InTransaction");
  Db->StartTransaction();
  Log.clear();
  EXPECT_FALSE(U->ImportTable(Source, Log, nullptr));
  Db->Rollback();
  EXPECT_EQ(Log, "Error importing table. Cannot create table due to error: Cannot perform 'CreateTable' operation on a "
                 "database in transaction - Native error: 20182\r\n");
  EXPECT_FALSE(U->Exists());

  // An index over a field the source does not have: no table is made.
  TIndexDefs Wrong;
  Wrong.Add("ByNothing", "Nothing", TIndexOptions{});
  std::unique_ptr<TQXLTable> W = NewTable("WrongIndex");
  Log.clear();
  EXPECT_FALSE(W->ImportTable(Source, Log, &Wrong));
  EXPECT_EQ(Log.find("Error importing table. Cannot create table due to error: "), 0u) << Log;
  EXPECT_FALSE(W->Exists());

  // An open table is refused before anything changes.
  T->Open();
  EXPECT_ANY_THROW(T->ImportTable(Source));
  EXPECT_EQ(Rows(*T).size(), 2u);
}

TEST_F(ImportExportTest, ExportFillsAnEngineTableOrAnotherDataset) {
  std::unique_ptr<TQXLTable> T = People(3);
  std::unique_ptr<TQXLTable> Dest = NewTable("Exported");
  TProgressLog Progress;
  T->OnExportProgress = Progress.Handler();
  std::string Log;
  EXPECT_TRUE(T->ExportTable(*Dest, [&] { Dest->CreateTable(); }, Log));
  EXPECT_EQ(Log, "");
  EXPECT_FALSE(T->Active());
  EXPECT_EQ(Progress.Percents, (std::vector<std::int32_t>{33, 67, 100}));
  EXPECT_EQ(Rows(*Dest), RowsOf("Db", "People"));
  Dest->Close();

  // Another kind of dataset: the fields it has of the same names.
  RowListDataSet Rows;
  bool Created = false;
  T->Open();
  T->Last();
  EXPECT_TRUE(T->ExportTable(Rows, [&] { Created = true; }));
  EXPECT_TRUE(Created);
  EXPECT_TRUE(Rows.Active());
  ASSERT_EQ(Rows.Rows.size(), 3u);
  for (const Row& R : Rows.Rows) {
    EXPECT_EQ(R.Name, "P" + std::to_string(R.Id.value()));
    EXPECT_FALSE(R.Amount.has_value());
  }
  // The open table is back on its record.
  EXPECT_TRUE(T->Active());
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);
}

TEST_F(ImportExportTest, ExportProblemsAreLoggedAndAnswerFalse) {
  std::unique_ptr<TQXLTable> T = People(2);
  RowListDataSet Rows;
  std::string Log;
  EXPECT_FALSE(T->ExportTable(Rows, [] { throw std::runtime_error("no room"); }, Log));
  EXPECT_EQ(Log, "Error exporting table. Cannot create table due to error: no room\r\n");
  EXPECT_FALSE(T->Active());
  EXPECT_FALSE(Rows.Active());

  // A destination table that was never made cannot be opened.
  std::unique_ptr<TQXLTable> Missing = NewTable("Missing");
  Log.clear();
  EXPECT_FALSE(T->ExportTable(*Missing, [] {}, Log));
  EXPECT_EQ(Log.find("Error exporting table. Cannot open destination table due to error: "), 0u) << Log;

  // A record the destination refuses.
  Rows.FailPosts = 1;
  Log.clear();
  EXPECT_FALSE(T->ExportTable(Rows, [] {}, Log));
  EXPECT_EQ(Log, "Error exporting table. Cannot copy data due to error: Error copying table \"People\". Record #1 "
                 "was not imported due to error: post refused\r\n\r\n\r\n");
  EXPECT_EQ(Rows.Rows.size(), 1u);
}

}  // namespace
