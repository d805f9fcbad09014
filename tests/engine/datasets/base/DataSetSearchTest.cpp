// Calculated and lookup fields, Locate and Lookup, filters and the find
// calls of the dataset base, over the row list.
#include <gtest/gtest.h>

#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/FieldKinds.h"
#include "tests/engine/datasets/base/RowListDataSet.h"

using namespace qxl;

namespace {

std::vector<Row> People() {
  return {Row{1, "Ann", 10.0}, Row{2, "bob", 20.0}, Row{3, "Bobby", 30.0}, Row{4, std::nullopt, 40.0}};
}

std::string Name(TDataSet& ds) { return ds.FieldByName("Name").AsString(); }

// A handler that fails must not stop the records' scan.
struct Handling : RowListDataSet {
  using RowListDataSet::RowListDataSet;
  std::vector<std::string> Handled;

protected:
  void InternalHandleException(const std::exception& e) override { Handled.push_back(e.what()); }
};

}  // namespace

TEST(DataSetSearch, CalculatedFieldsFollowEveryRecordAndEveryChange) {
  RowListDataSet ds(People());
  ds.SetBufferCount(2);
  TFloatField twice;
  twice.FieldName = "Twice";
  twice.FieldKind = fkCalculated;
  twice.SetDataSet(&ds);
  TStringField label;
  label.FieldName = "Label";
  label.Size = 12;
  label.FieldKind = fkCalculated;
  label.SetDataSet(&ds);
  int calculations = 0;
  ds.OnCalcFields = [&](TDataSet& d) {
    ++calculations;
    EXPECT_EQ(d.State(), dsCalcFields);
    if (!d.FieldByName("Amount").IsNull()) twice.SetAsFloat(d.FieldByName("Amount").AsFloat() * 2);
    label.SetAsString("#" + d.FieldByName("Id").AsString());
  };
  // Fields of its own: the dataset makes none, so the data fields are added too.
  TIntegerField id;
  id.FieldName = "Id";
  id.SetDataSet(&ds);
  TStringField name;
  name.FieldName = "Name";
  name.Size = 20;
  name.SetDataSet(&ds);
  TFloatField amount;
  amount.FieldName = "Amount";
  amount.SetDataSet(&ds);
  ds.Open();
  EXPECT_FALSE(ds.DefaultFields());
  EXPECT_GT(ds.CalcFieldsSize(), 0);
  std::string seen;
  for (; !ds.Eof(); ds.Next()) seen += label.AsString() + "=" + twice.AsString() + " ";
  EXPECT_EQ(seen, "#1=20 #2=40 #3=60 #4=80 ");
  ds.Prior();  // from the last record, which Next left active
  EXPECT_EQ(label.AsString(), "#3");
  ds.Edit();
  amount.SetAsFloat(1.25);
  EXPECT_EQ(twice.AsFloat(), 2.5);  // computed again as the data changed
  ds.Cancel();
  EXPECT_EQ(twice.AsFloat(), 60);
  EXPECT_GT(calculations, 0);
  EXPECT_THROW(twice.SetAsFloat(1), EDatabaseError);  // only while calculating or editing
  ds.Close();
  twice.SetDataSet(nullptr);
  EXPECT_EQ(ds.FieldCount(), 4);
}

TEST(DataSetSearch, LocateMovesToTheFirstMatchAndLookupDoesNotMove) {
  RowListDataSet ds(People());
  ds.SetBufferCount(2);
  ds.Open();
  struct Case {
    const char* Fields;
    std::vector<Variant> Values;
    TLocateOptions Options;
    bool Found;
    std::string Name;
  };
  const Case cases[] = {
      {"Name", {Variant("bob")}, {}, true, "bob"},
      {"Name", {Variant("BOBBY")}, {}, false, ""},
      {"Name", {Variant("BOBBY")}, {loCaseInsensitive}, true, "Bobby"},
      {"Name", {Variant("Bo")}, {loPartialKey}, true, "Bobby"},
      {"Name", {Variant("bo")}, {loPartialKey, loCaseInsensitive}, true, "bob"},
      {"Id;Amount", {Variant(std::int32_t(3)), Variant(30.0)}, {}, true, "Bobby"},
      {"Id;Amount", {Variant(std::int32_t(3)), Variant(31.0)}, {}, false, ""},
      {"Name", {Variant::Null()}, {}, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Fields);
    ds.First();
    ds.Next();  // stands on bob
    EXPECT_EQ(ds.Locate(c.Fields, c.Values, c.Options), c.Found);
    EXPECT_EQ(Name(ds), c.Found ? c.Name : "bob");
  }
  ds.First();
  EXPECT_EQ(ds.Lookup("Id", {Variant(std::int32_t(3))}, "Amount"), Variant(30.0));
  EXPECT_TRUE(ds.Lookup("Id", {Variant(std::int32_t(9))}, "Amount").IsNull());
  EXPECT_TRUE(ds.Lookup("Id", {Variant(std::int32_t(4))}, "Name").IsNull());
  EXPECT_EQ(Name(ds), "Ann");
  EXPECT_THROW(ds.Locate("Nope", {Variant(1)}, {}), EDatabaseError);
  EXPECT_THROW(ds.Locate("Id;Name", {Variant(1)}, {}), EDatabaseError);
}

TEST(DataSetSearch, LookupFieldsShowTheValueOfAnotherDataset) {
  RowListDataSet people(People());
  people.Open();
  RowListDataSet orders({Row{2, "o1", 5.0}, Row{9, "o2", 6.0}});
  TIntegerField id;
  id.FieldName = "Id";
  id.SetDataSet(&orders);
  TStringField who;
  who.FieldName = "Who";
  who.Size = 20;
  who.FieldKind = fkLookup;
  who.LookupDataSet = &people;
  who.KeyFields = "Id";
  who.LookupKeyFields = "Id";
  who.LookupResultField = "Name";
  who.SetDataSet(&orders);
  orders.Open();
  EXPECT_EQ(who.AsString(), "bob");
  orders.Next();
  EXPECT_TRUE(who.IsNull());
  EXPECT_EQ(Name(people), "Ann");
}

TEST(DataSetSearch, AFilteredDatasetShowsOnlyAcceptedRecords) {
  Handling ds(People());
  ds.SetBufferCount(2);
  ds.SetOnFilterRecord([](TDataSet& d, bool& Accept) {
    EXPECT_EQ(d.State(), dsFilter);
    if (d.FieldByName("Id").AsInteger() == 4) throw std::runtime_error("bad row");
    Accept = d.FieldByName("Amount").AsFloat() >= 20;
  });
  ds.Open();
  EXPECT_EQ(Name(ds), "Ann");  // not filtered yet
  ds.SetFiltered(true);
  std::string seen;
  for (; !ds.Eof(); ds.Next()) seen += Name(ds) + "|";
  EXPECT_EQ(seen, "bob|Bobby||");  // the failing handler left its record accepted
  EXPECT_FALSE(ds.Handled.empty());
  EXPECT_EQ(ds.Handled[0], "bad row");
  ds.SetOnFilterRecord([](TDataSet& d, bool& Accept) { Accept = d.FieldByName("Id").AsInteger() % 2 == 1; });
  EXPECT_EQ(Name(ds), "Ann");
  ds.Next();
  EXPECT_EQ(Name(ds), "Bobby");
  ds.SetFiltered(false);
  EXPECT_EQ(Name(ds), "Bobby");
  ds.First();
  ds.Next();
  EXPECT_EQ(Name(ds), "bob");
}

TEST(DataSetSearch, FindCallsApplyTheFilterHandlerWithoutFiltering) {
  RowListDataSet ds(People());
  ds.SetOnFilterRecord([](TDataSet& d, bool& Accept) { Accept = d.FieldByName("Name").AsString().rfind("B", 0) == 0; });
  ds.Open();
  EXPECT_TRUE(ds.FindFirst());
  EXPECT_EQ(Name(ds), "Bobby");
  EXPECT_FALSE(ds.FindNext());
  EXPECT_FALSE(ds.Found());
  EXPECT_EQ(Name(ds), "Bobby");
  EXPECT_TRUE(ds.FindLast());
  EXPECT_EQ(Name(ds), "Bobby");
  ds.First();
  ds.Next();
  EXPECT_EQ(Name(ds), "bob");  // unfiltered navigation
  EXPECT_TRUE(ds.FindNext());
  EXPECT_TRUE(ds.Found());
  EXPECT_EQ(Name(ds), "Bobby");
}
