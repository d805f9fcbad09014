// Editing through the dataset base: state changes with their events in
// order, posting, cancelling, deleting, required fields and the error events.
#include <gtest/gtest.h>

#include "engine/datasets/base/DatabaseError.h"
#include "tests/engine/datasets/base/RowListDataSet.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;
using Lines = std::vector<std::string>;

namespace {

struct Logged : RowListDataSet {
  Logged() : RowListDataSet({Row{1, "a", 1.0}, Row{2, "b", 2.0}, Row{3, "c", 3.0}}) {
    auto note = [this](const char* Name) { return [this, Name](TDataSet&) { Log.push_back(Name); }; };
    BeforeInsert = note("BeforeInsert");
    AfterInsert = note("AfterInsert");
    BeforeEdit = note("BeforeEdit");
    AfterEdit = note("AfterEdit");
    BeforePost = note("BeforePost");
    AfterPost = note("AfterPost");
    BeforeCancel = note("BeforeCancel");
    AfterCancel = note("AfterCancel");
    BeforeDelete = note("BeforeDelete");
    AfterDelete = note("AfterDelete");
    BeforeScroll = note("BeforeScroll");
    AfterScroll = note("AfterScroll");
    OnNewRecord = [this](TDataSet& ds) {
      Log.push_back("OnNewRecord");
      ds.FieldByName("Amount").SetAsFloat(9.5);
    };
  }
  // The events log into this object: close while it stands.
  ~Logged() override { Close(); }
  std::string Names() {
    std::string text;
    for (const Row& r : Rows) text += r.Name.value_or("-");
    return text;
  }
  Lines Log;
};

}  // namespace

TEST(DataSetEditing, InsertPostsBeforeTheActiveRecordWithItsEventsInOrder) {
  Logged ds;
  ds.Open();
  ds.Next();
  ds.Log.clear();
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_FALSE(ds.Modified());
  EXPECT_EQ(ds.FieldByName("Amount").AsFloat(), 9.5);  // OnNewRecord's default
  EXPECT_TRUE(ds.FieldByName("Name").IsNull());
  ds.FieldByName("Id").SetAsInteger(7);
  ds.FieldByName("Name").SetAsString("new");
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.Log, (Lines{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                           "BeforePost", "AfterPost"}));
  EXPECT_EQ(ds.Names(), "anewbc");
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "new");
  EXPECT_EQ(ds.Rows[1].Amount, 9.5);
}

TEST(DataSetEditing, AppendAddsAtTheEndAndCancelLeavesNothing) {
  Logged ds;
  ds.SetBufferCount(2);
  ds.Open();
  ds.Append();
  ds.FieldByName("Id").SetAsInteger(4);
  ds.FieldByName("Name").SetAsString("z");
  ds.Post();
  EXPECT_EQ(ds.Names(), "abcz");
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "z");

  ds.First();
  ds.Next();
  ds.Log.clear();
  ds.Insert();
  ds.FieldByName("Name").SetAsString("gone");
  ds.Cancel();
  EXPECT_EQ(ds.Log, (Lines{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                           "BeforeCancel", "AfterCancel"}));
  EXPECT_EQ(ds.Names(), "abcz");
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "b");
}

TEST(DataSetEditing, EditChangesTheRecordOnlyWhenPosted) {
  Logged ds;
  ds.Open();
  ds.Last();
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName("Name").SetAsString("C");
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "c");
  EXPECT_EQ(ds.Names(), "abc");
  ds.Log.clear();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("C");
  ds.Post();
  EXPECT_EQ(ds.Log, (Lines{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
  EXPECT_EQ(ds.Names(), "abC");
  // Navigation posts a pending edit.
  ds.Edit();
  ds.FieldByName("Amount").SetAsFloat(30);
  ds.First();
  EXPECT_EQ(ds.Rows[2].Amount, 30.0);
}

TEST(DataSetEditing, DeleteMovesToTheNextRecordOrThePriorAtTheEnd) {
  Logged ds;
  ds.Open();
  ds.Next();
  ds.Log.clear();
  ds.Delete();
  EXPECT_EQ(ds.Log, (Lines{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(ds.Names(), "ac");
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "c");
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "a");
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  // Edit on an empty dataset inserts.
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
}

TEST(DataSetEditing, FieldsRefuseChangesOutsideEditingAndRequiredFieldsMustBeSet) {
  Logged ds;
  ds.Open();
  EXPECT_EQ(MessageOf([&] { ds.FieldByName("Name").SetAsString("x"); }), "Dataset not in edit or insert mode");
  ds.Insert();
  ds.FieldByName("Name").SetAsString("x");
  EXPECT_EQ(MessageOf([&] { ds.Post(); }), "Field 'Id' must have a value");
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("Id").DisplayLabel = "Number";
  EXPECT_EQ(MessageOf([&] { ds.FieldByName("Id").SetAsString("seven"); }).rfind("Invalid value for field 'Number'", 0), 0u);
  ds.FieldByName("Id").OnValidate = [](TField& f, const TQXLVariant& v) {
    if (!v.IsNull() && v.GetAsInteger() < 0) DatabaseErrorFmt(&f, "'%s' may not be negative", f.DisplayName());
  };
  EXPECT_THROW(ds.FieldByName("Id").SetAsInteger(-1), EDatabaseError);
  EXPECT_TRUE(ds.FieldByName("Id").IsNull());
  ds.FieldByName("Id").SetAsInteger(5);
  ds.Post();
  EXPECT_EQ(ds.Names(), "xabc");
}

TEST(DataSetEditing, ErrorEventsMayRetryOrLetTheFailurePass) {
  Logged ds;
  ds.Open();
  ds.FailPosts = 2;
  int asked = 0;
  ds.OnPostError = [&](TDataSet&, const std::exception& e, bool& Retry) {
    EXPECT_STREQ(e.what(), "post refused");
    Retry = ++asked < 3;
  };
  ds.Edit();
  ds.FieldByName("Name").SetAsString("A");
  ds.Post();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ds.Names(), "Abc");

  ds.OnPostError = nullptr;
  ds.FailPosts = 1;
  ds.Edit();
  ds.FieldByName("Name").SetAsString("AA");
  EXPECT_THROW(ds.Post(), std::runtime_error);
  EXPECT_EQ(ds.State(), dsEdit);
  ds.Post();
  EXPECT_EQ(ds.Names(), "AAbc");

  ds.FailDeletes = 1;
  EXPECT_THROW(ds.Delete(), std::runtime_error);
  EXPECT_EQ(ds.Names(), "AAbc");
}

TEST(DataSetEditing, ClosingWhileEditingCancels) {
  Logged ds;
  ds.Open();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("lost");
  ds.Close();
  EXPECT_EQ(ds.Names(), "abc");
  EXPECT_EQ(ds.State(), dsInactive);
}
