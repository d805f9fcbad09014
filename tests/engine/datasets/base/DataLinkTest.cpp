// Data sources and links: what a link hears and when, disabled controls, the
// ring growing for a link, master links, and the circular-link check.
#include <gtest/gtest.h>

#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "tests/engine/datasets/base/RowListDataSet.h"

using namespace qxl;
using Lines = std::vector<std::string>;

namespace {

std::vector<Row> Three() { return {Row{1, "a", 1.0}, Row{2, "b", 2.0}, Row{3, "c", 3.0}}; }

struct LoggingLink : TDataLink {
  Lines Log;

protected:
  void ActiveChanged() override { Log.push_back(Active() ? "active" : "inactive"); }
  void EditingChanged() override { Log.push_back(Editing() ? "editing" : "not editing"); }
  void DataSetChanged() override { Log.push_back("changed"); }
  void DataSetScrolled() override { Log.push_back("scrolled"); }
  void RecordChanged(TField* Field) override { Log.push_back(Field ? "field " + Field->FieldName : "record"); }
  void UpdateData() override { Log.push_back("update"); }
};

// A dataset that follows a master through a source of its own.
struct Detail : RowListDataSet {
  using RowListDataSet::RowListDataSet;
  TDataSource* Master = nullptr;
  TDataSource* GetDataSource() const override { return Master; }
  void SetMaster(TDataSource* Source) {
    CheckDataSourceLink(*this, Source);
    Master = Source;
  }
};

}  // namespace

TEST(DataLink, HearsStateScrollAndFieldChanges) {
  RowListDataSet ds(Three());
  TDataSource source;
  source.SetDataSet(&ds);
  LoggingLink link;
  link.SetDataSource(&source);
  int stateChanges = 0;
  source.OnStateChange = [&](TDataSource&) { ++stateChanges; };
  ds.Open();
  EXPECT_TRUE(link.Active());
  ds.Next();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("B");
  ds.Post();
  ds.Close();
  EXPECT_EQ(link.Log, (Lines{"active", "scrolled", "editing", "record", "field Name", "update", "not editing",
                             "changed", "inactive"}));
  EXPECT_EQ(stateChanges, 4);  // browse, edit, browse, inactive
}

TEST(DataLink, DisabledControlsHearOneChangeWhenEnabledAgain) {
  RowListDataSet ds(Three());
  TDataSource source;
  source.SetDataSet(&ds);
  LoggingLink link;
  link.SetDataSource(&source);
  ds.Open();
  link.Log.clear();
  ds.DisableControls();
  ds.DisableControls();
  ds.Next();
  ds.Next();
  ds.EnableControls();
  EXPECT_TRUE(link.Log.empty());
  ds.EnableControls();
  EXPECT_EQ(link.Log, (Lines{"changed"}));
  ds.EnableControls();  // one too many: nothing
  EXPECT_EQ(link.Log.size(), 1u);
  source.SetEnabled(false);
  ds.Prior();
  EXPECT_EQ(link.Log, (Lines{"changed", "inactive"}));
}

TEST(DataLink, TheRingGrowsToTheLargestLink) {
  RowListDataSet ds({Row{1, "a", 1.0}, Row{2, "b", 2.0}, Row{3, "c", 3.0}, Row{4, "d", 4.0}, Row{5, "e", 5.0}});
  TDataSource source;
  source.SetDataSet(&ds);
  ds.Open();
  ds.Next();
  LoggingLink grid;
  grid.SetBufferCount(4);
  grid.SetDataSource(&source);
  EXPECT_EQ(ds.BufferCount(), 4);
  EXPECT_EQ(ds.BufferedRecordCount(), 4);
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "b");
  grid.SetDataSource(nullptr);
  grid.SetBufferCount(1);
}

TEST(DataLink, AMasterLinkFollowsItsMastersRecordAndFields) {
  RowListDataSet master(Three());
  TDataSource source;
  source.SetDataSet(&master);
  Detail detail;
  TMasterDataLink link(&detail);
  Lines log;
  link.OnMasterChange = [&] { log.push_back("change " + master.FieldByName("Name").AsString()); };
  link.OnMasterDisable = [&] { log.push_back("disable"); };
  link.SetDataSource(&source);
  master.Open();
  link.SetFieldNames("Id");
  ASSERT_EQ(link.Fields().size(), 1u);
  EXPECT_EQ(link.DetailDataSet(), &detail);
  master.Next();
  master.Edit();
  master.FieldByName("Amount").SetAsFloat(5);  // not a field the link follows
  master.FieldByName("Id").SetAsInteger(20);
  master.Cancel();
  master.Close();
  // Open, scroll, edit, the followed field, cancel, close.
  EXPECT_EQ(log, (Lines{"change a", "change b", "change b", "change b", "change b", "disable"}));
}

TEST(DataLink, ALinkBackToTheDetailIsRefused) {
  Detail a, b;
  TDataSource ofA, ofB;
  ofA.SetDataSet(&a);
  ofB.SetDataSet(&b);
  b.SetMaster(&ofA);
  EXPECT_THROW(a.SetMaster(&ofB), EDatabaseError);
  EXPECT_THROW(a.SetMaster(&ofA), EDatabaseError);
  Detail c;
  c.Name = "Tasks";
  c.SetMaster(&ofB);
  TDataSource ofC;
  ofC.SetDataSet(&c);
  try {
    a.Name = "Users";
    a.SetMaster(&ofC);
    ADD_FAILURE() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Users: Circular datalinks are not allowed");
  }
}
