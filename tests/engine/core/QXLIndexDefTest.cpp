#include <gtest/gtest.h>

#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLListError.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

// "IDX", object 5, unique, built at page 7, one descending case-insensitive column "A".
TQXLIndexDef SampleIndex() {
  TQXLIndexDef d;
  d.Name = "IDX";
  d.ObjectID = 5;
  d.Unique = true;
  d.RootPageNo = 7;
  d.SetColumnCount(1);
  d.GetIndexColumn(0) = {"A", true, true, 20};
  return d;
}

const Bytes kSampleIndexBytes = Bytes{3} + Text("IDX") + Int32LE(5) + Bytes{0, 1, 0} + Int32LE(1) + Int32LE(7) +
                                Bytes{1} + Text("A") + Bytes{1, 1} + Int32LE(20);

// Columns of an index given as (name, descending, case-insensitive).
struct Col {
  const char* name;
  bool desc;
  bool noCase;
};

TQXLIndexDef* AddIndex(TQXLIndexDefs& defs, std::int32_t id, std::initializer_list<Col> cols) {
  auto* d = defs.AddCreated();
  d->Name = "I" + std::to_string(id);
  d->ObjectID = id;
  d->SetColumnCount(static_cast<std::int32_t>(cols.size()));
  int i = 0;
  for (auto& c : cols) d->GetIndexColumn(i++) = {c.name, c.desc, c.noCase, 20};
  return d;
}

}  // namespace

TEST(QXLIndexDef, StoredFormGoldenBytesAndRoundTrip) {
  TQXLMemoryStream s;
  SampleIndex().SaveToStream(s);
  EXPECT_EQ(ContentOf(s), kSampleIndexBytes);

  s.SetPosition(0);
  TQXLIndexDef back;
  back.Temporary = true;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Name, "IDX");
  EXPECT_EQ(back.ObjectID, 5);
  EXPECT_TRUE(back.Unique);
  EXPECT_FALSE(back.Primary);
  EXPECT_FALSE(back.Temporary);
  EXPECT_EQ(back.RootPageNo, 7);
  ASSERT_EQ(back.ColumnCount(), 1);
  EXPECT_EQ(back.GetIndexColumn(0).FieldName, "A");
  EXPECT_TRUE(back.GetIndexColumn(0).Descending);
  EXPECT_TRUE(back.GetIndexColumn(0).CaseInsensitive);
  EXPECT_EQ(back.GetIndexColumn(0).MaxIndexedSize, 20);
}

// Every field cut off in the stream raises the read code of that field.
TEST(QXLIndexDef, TruncatedStreamRaisesTheCodeOfTheCutField) {
  // Offsets in kSampleIndexBytes at which each field starts, with its read code.
  struct {
    std::size_t start;
    std::int32_t code;
  } fields[] = {{0, 10166}, {1, 10167}, {4, 10169},  {8, 10349},  {9, 10350},  {10, 10351}, {11, 10352},
                {15, 10353}, {19, 10358}, {20, 10359}, {21, 10360}, {22, 10361}, {23, 20168}};
  TQXLMemoryStream s;
  for (auto f : fields) {
    Fill(s, Bytes(kSampleIndexBytes.begin(), kSampleIndexBytes.begin() + static_cast<long>(f.start)));
    TQXLIndexDef d;
    EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), f.code) << "cut at " << f.start;
  }
}

TEST(QXLIndexDef, ANegativeColumnCountIsRefused) {
  Bytes b = kSampleIndexBytes;
  std::memcpy(&b[11], Int32LE(-1).data(), 4);
  TQXLMemoryStream s;
  Fill(s, b);
  TQXLIndexDef d;
  EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), 10352);
}

TEST(QXLIndexDef, AFieldNameTooLongForItsLengthByteIsRefused) {
  TQXLIndexDef d = SampleIndex();
  d.GetIndexColumn(0).FieldName = std::string(256, 'x');
  TQXLMemoryStream s;
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 10354);
  d.GetIndexColumn(0).FieldName = std::string(255, 'x');
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 0);
}

TEST(QXLIndexDef, AssignByNamesReadsDirectionAndCaseExactly) {
  TQXLIndexDef d;
  d.AssignByNames({"A", "B", "C"}, {"DESC", "desc", ""}, {"NO_CASE", "no_case", "CASE"});
  ASSERT_EQ(d.ColumnCount(), 3);
  EXPECT_TRUE(d.GetIndexColumn(0).Descending);
  EXPECT_TRUE(d.GetIndexColumn(0).CaseInsensitive);
  EXPECT_FALSE(d.GetIndexColumn(1).Descending);
  EXPECT_FALSE(d.GetIndexColumn(1).CaseInsensitive);
  EXPECT_EQ(d.GetIndexColumn(2).FieldName, "C");
  EXPECT_EQ(d.GetIndexColumn(2).MaxIndexedSize, 20);

  EXPECT_EQ(NativeCodeOf([&] { d.AssignByNames({"A"}, {}, {""}); }), 10278);
  EXPECT_EQ(NativeCodeOf([&] { d.AssignByNames({"A"}, {""}, {}); }), 10279);
  EXPECT_EQ(MessageOf([&] { d.AssignByNames({"A", "B"}, {""}, {}); }),
            "Error - different list lengths. L1 = 2, L2 = 1 - Native error: 10278");
}

TEST(QXLIndexDef, AssignCopiesEverythingAndColumnCountResizes) {
  TQXLIndexDef src = SampleIndex();
  src.Temporary = true;
  src.SessionID = 3;
  src.TableState = 9;
  src.NeedRebuild = true;
  TQXLIndexDef d;
  d.Assign(src);
  EXPECT_EQ(d.Name, "IDX");
  EXPECT_TRUE(d.Temporary);
  EXPECT_EQ(d.SessionID, 3);
  EXPECT_EQ(d.TableState, 9);
  EXPECT_TRUE(d.NeedRebuild);
  EXPECT_EQ(d.GetIndexColumn(0).FieldName, "A");
  d.SetColumnCount(3);
  EXPECT_EQ(d.GetIndexColumn(2).FieldName, "");
  EXPECT_FALSE(d.GetIndexColumn(2).Descending);
  d.SetColumnCount(1);
  EXPECT_THROW(d.GetIndexColumn(1), EQXLListError);
}

TEST(QXLIndexDefs, TemporaryIndexesAreNeverStored) {
  TQXLIndexDefs defs;
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(0));

  AddIndex(defs, 1, {{"A", false, false}})->Temporary = true;
  Fill(s, {});
  defs.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(0));

  defs.AddCreated()->Assign(SampleIndex());
  Fill(s, {});
  defs.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(1) + kSampleIndexBytes);

  s.SetPosition(0);
  TQXLIndexDefs back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.FLoadedItemCount, 1);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.GetIndexDef(0)->Name, "IDX");
}

TEST(QXLIndexDefs, AFailedLoadKeepsTheDefinitionsReadBefore) {
  TQXLMemoryStream s;
  Fill(s, Int32LE(2) + kSampleIndexBytes + Bytes(kSampleIndexBytes.begin(), kSampleIndexBytes.begin() + 10));
  TQXLIndexDefs defs;
  EXPECT_EQ(NativeCodeOf([&] { defs.LoadFromStream(s); }), 10351);
  EXPECT_EQ(defs.FLoadedItemCount, 2);
  ASSERT_EQ(defs.Count(), 1);
  EXPECT_EQ(defs.GetIndexDef(0)->ObjectID, 5);
}

TEST(QXLIndexDefs, FindIndexMatchesLeadingColumnsAndDemands) {
  TQXLFieldDefs fields;
  for (auto [name, type] : {std::pair{"A", bftSignedInt32}, {"B", bftSignedInt32}, {"S", bftVarchar}}) {
    auto* f = fields.AddCreated();
    f->Name = name;
    f->SetFieldDefDataType(type, 10);
  }
  TQXLIndexDefs defs;
  AddIndex(defs, 100, {{"S", false, true}});
  AddIndex(defs, 101, {{"A", false, false}, {"B", false, false}});
  AddIndex(defs, 102, {{"a", true, true}});
  auto* temp = AddIndex(defs, 103, {{"B", false, false}});
  temp->Temporary = true;
  temp->SessionID = 4;

  using L = std::vector<std::string>;
  struct Case {
    L names, dirs, cases;
    std::int32_t session, expected;
  } cases[] = {
      {{"A"}, {""}, {""}, 0, 101},                      // a two-column index serves one name
      {{"a", "B"}, {"ASC", "ASC"}, {"", ""}, 0, 101},   // names upper-cased
      {{"A"}, {"DESC"}, {""}, 0, 102},                  // skips the ascending one
      {{"A"}, {""}, {"NO_CASE"}, 0, 102},               // skips the case-sensitive one, whatever the type
      {{"A"}, {"DESC"}, {"CASE"}, 0, 102},              // CASE demands nothing of an integer column
      {{"S"}, {""}, {"CASE"}, 0, -1},                   // but of a string column
      {{"S"}, {""}, {"NO_CASE"}, 0, 100},
      {{"B"}, {""}, {""}, 0, -1},                       // another session's temporary index
      {{"B"}, {""}, {""}, 4, 103},
      {{"A", "B", "S"}, {"", "", ""}, {"", "", ""}, 0, -1},  // no index has three columns
  };
  for (auto& c : cases)
    EXPECT_EQ(defs.FindIndex(&c.names, &c.dirs, &c.cases, c.session, &fields), c.expected) << c.names[0];
  L one{"A"}, blank{""}, none;
  EXPECT_TRUE(defs.IsIndexExists(&one, &blank, &blank, 0, &fields));
  EXPECT_EQ(NativeCodeOf([&] { defs.FindIndex(nullptr, &one, &one, 0, &fields); }), 10389);
  EXPECT_EQ(NativeCodeOf([&] { defs.FindIndex(&one, nullptr, &one, 0, &fields); }), 10390);
  EXPECT_EQ(NativeCodeOf([&] { defs.FindIndex(&one, &one, nullptr, 0, &fields); }), 10391);
  EXPECT_EQ(NativeCodeOf([&] { defs.FindIndex(&one, &none, &one, 0, &fields); }), 10276);
  EXPECT_EQ(NativeCodeOf([&] { defs.FindIndex(&one, &one, &none, 0, &fields); }), 10277);
}

TEST(QXLIndexDefs, AssignCopiesAndRefusesDuplicateNames) {
  TQXLIndexDefs src;
  AddIndex(src, 1, {{"A", false, false}});
  AddIndex(src, 2, {{"B", false, false}});
  TQXLIndexDefs copy;
  copy.Assign(src);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_NE(copy.GetIndexDef(0), src.GetIndexDef(0));
  EXPECT_EQ(copy.GetIndexDef(1)->GetIndexColumn(0).FieldName, "B");

  src.GetIndexDef(1)->Name = "i1";
  EXPECT_EQ(MessageOf([&] { copy.Assign(src); }), "Duplicate field name i1 - Native error: 10424");
  EXPECT_EQ(copy.Count(), 1);
}
