// The abstract cursor's own operations: buffer layout, field access by
// visible and table number, projection with aliases, renaming, index name,
// ranges, positions and string garbage.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/values/QXLVariant.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"

using namespace qxl;

namespace {

class CursorTest : public AbstractTableFixture {
protected:
  void SetUp() override {
    AddField("A", aftInteger);
    AddField("B", aftString, 5);
    AddField("C", aftWideString, 3);
    AddIndex("ByA", {"A"});
    Create();
  }
  std::vector<std::string> VisibleNames() {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < Cursor.FVisibleFieldDefs->Count(); ++i)
      names.push_back(Cursor.FVisibleFieldDefs->GetDef(i)->Name);
    return names;
  }
};

}  // namespace

TEST_F(CursorTest, IndexNameIsLookedUpIgnoringCase) {
  const std::int32_t id = Cursor.FIndexDefs->GetIndexDef(0)->ObjectID;
  Cursor.SetIndexName("bya");
  EXPECT_EQ(Cursor.FIndexID, id);
  EXPECT_TRUE(Cursor.IsIndexApplied());
  Cursor.SetIndexName("Missing");
  EXPECT_EQ(Cursor.FIndexID, -1);
  Cursor.SetIndexName("ByA");
  Cursor.SetIndexName("");
  EXPECT_EQ(Cursor.FIndexID, -1);
  EXPECT_FALSE(Cursor.IsIndexApplied());
}

TEST_F(CursorTest, ProjectionWithAliasesAndTheirCodes) {
  Cursor.ApplyProjection({"A", "B", "A"}, {"", "X", "X"});
  EXPECT_EQ(VisibleNames(), (std::vector<std::string>{"A", "X", "X_1"}));
  EXPECT_EQ(Cursor.FVisibleFieldDefs->GetDef(2)->FieldNoReference, 0);
  Cursor.ApplyProjection({"A", "B", "a"}, {"", "", ""});
  EXPECT_EQ(VisibleNames(), (std::vector<std::string>{"A", "B", "A"}));
  // Every candidate taken: the last one is used.
  Cursor.ApplyProjection({"A", "B", "C"}, {"Y", "Y_1", "Y"});
  EXPECT_EQ(VisibleNames(), (std::vector<std::string>{"Y", "Y_1", "Y_2"}));

  EXPECT_EQ(MessageOf([&] { Cursor.ApplyProjection({"A"}, {}); }),
            "Error - different list lengths. L1 = 1, L2 = 0 - Native error: 10321");
  EXPECT_EQ(NativeCodeOf([&] { Cursor.ApplyProjection({}, {}); }), 10322);
  EXPECT_EQ(NativeCodeOf([&] { Cursor.ApplyProjection({"B", "Nope"}, {"", ""}); }), 10323);
  EXPECT_EQ(VisibleNames(), (std::vector<std::string>{"B"}));
}

TEST_F(CursorTest, FieldAccessGoesThroughTheVisibleField) {
  Cursor.ApplyProjection({"B", "A"}, {"", ""});
  std::int32_t seven = 7;
  Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, false);
  Cursor.SetFieldData(1, &seven, Cursor.FCurrentRecordBuffer);
  std::int32_t out = 0;
  EXPECT_TRUE(Cursor.GetFieldData(1, &out, Cursor.FCurrentRecordBuffer));
  EXPECT_EQ(out, 7);
  EXPECT_FALSE(qxl::GetBitInBuffer(0, Cursor.FCurrentRecordBuffer));
  EXPECT_FALSE(Cursor.GetFieldData(0, nullptr, Cursor.FCurrentRecordBuffer));

  struct Case {
    std::function<void()> Call;
    std::int32_t Code;
  };
  TQXLVariant v;
  const Case cases[] = {
      {[&] { Cursor.GetFieldData(2, &out, Cursor.FCurrentRecordBuffer); }, 10005},
      {[&] { Cursor.SetFieldData(-1, &out, Cursor.FCurrentRecordBuffer); }, 10006},
      {[&] { Cursor.GetFieldValue(v, 2, false); }, 10317},
      {[&] { Cursor.GetFieldValue(v, 3, true); }, 20191},
      {[&] { Cursor.SetFieldValue(v, 2, false); }, 20193},
      {[&] { Cursor.SetFieldValue(v, -1, true); }, 20192},
  };
  for (const Case& c : cases) EXPECT_EQ(NativeCodeOf(c.Call), c.Code);
}

TEST_F(CursorTest, FieldValuesAreCastBoundedAndNullOnlySetsTheBit) {
  Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, false);
  TQXLVariant v;
  v.SetAsAnsiString("42");
  Cursor.SetFieldValue(v, 0, true);
  EXPECT_EQ(v.DataType(), bftSignedInt32);  // converted in place
  TQXLVariant read;
  Cursor.GetFieldValue(read, 0, false);
  EXPECT_EQ(read.GetAsInteger(), 42);

  TQXLVariant null;
  Cursor.SetFieldValue(null, 0, true);
  EXPECT_TRUE(qxl::GetBitInBuffer(0, Cursor.FCurrentRecordBuffer));
  std::int32_t stored = 0;
  std::memcpy(&stored, Cursor.FCurrentRecordBuffer + Cursor.FFieldDefs->GetDef(0)->MemoryOffset, 4);
  EXPECT_EQ(stored, 42);
  Cursor.GetFieldValue(read, 0, true);
  EXPECT_TRUE(read.IsNull());
  EXPECT_EQ(read.DataType(), bftUnknown);

  TQXLVariant tooLong;
  tooLong.SetAsAnsiString("much longer than five");
  EXPECT_EQ(NativeCodeOf([&] { Cursor.SetFieldValue(tooLong, 1, false); }), 20056);
  EXPECT_TRUE(qxl::GetBitInBuffer(1, Cursor.FCurrentRecordBuffer));
}

TEST_F(CursorTest, ClearStringFieldsGarbageZeroesPastTheText) {
  std::uint8_t* r = Cursor.FCurrentRecordBuffer;
  const TQXLFieldDef& b = *Cursor.FFieldDefs->GetDef(1);
  const TQXLFieldDef& c = *Cursor.FFieldDefs->GetDef(2);
  std::memset(r, 0, static_cast<std::size_t>(Cursor.FRecordSize));
  std::memcpy(r + b.MemoryOffset, "ab\0xyz", 6);
  const char16_t wide[] = {u'q', 0, u'z', u'z'};
  std::memcpy(r + c.MemoryOffset, wide, sizeof wide);
  Cursor.ClearStringFieldsGarbage(r);
  EXPECT_EQ(std::memcmp(r + b.MemoryOffset, "ab\0\0\0\0", 6), 0);
  const char16_t clean[] = {u'q', 0, 0, 0};
  EXPECT_EQ(std::memcmp(r + c.MemoryOffset, clean, sizeof clean), 0);
  qxl::SetBitInBuffer(true, 1, r);
  Cursor.ClearStringFieldsGarbage(r);
  EXPECT_EQ(std::memcmp(r + b.MemoryOffset, "\0\0\0\0\0\0", 6), 0);
}

TEST_F(CursorTest, RenameFieldInTheCursorsOwnList) {
  Cursor.RenameField("b", "Title");
  EXPECT_EQ(Cursor.FFieldDefs->GetDef(1)->Name, "Title");
  EXPECT_EQ(NativeCodeOf([&] { Cursor.RenameField("Nope", "X"); }), 30345);
  EXPECT_EQ(MessageOf([&] { Cursor.RenameField("A", "title"); }),
            "Cannot rename field 'A'. Field 'title' already exists - Native error: 30346");
}

TEST_F(CursorTest, RangesBelongToTheCallerAndClearTheBitmap) {
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  Cursor.FRecordBitmap->ShowRecord({4, 0});
  Cursor.FRecordBitmap->SetActive(true);
  Cursor.FKeyBufferSize = Cursor.FRecordSize + 6;
  std::uint8_t* start = Cursor.AllocateKeyRecordBuffer();
  Cursor.ApplyRange(start, nullptr, 1, 0, true, false);
  EXPECT_TRUE(Cursor.IsRangeApplied());
  EXPECT_TRUE(Cursor.IsViewRestricted());
  EXPECT_FALSE(Cursor.FRecordBitmap->Active());
  Cursor.FRecordBitmap->SetActive(true);
  Cursor.ResetRange();
  EXPECT_FALSE(Cursor.IsRangeApplied());
  EXPECT_FALSE(Cursor.FRecordBitmap->Active());
  QXLMemoryManager().FreeAndNillMem(start);  // still the caller's to free
}

TEST_F(CursorTest, SavedPositionComesBack) {
  Cursor.FirstPosition = true;
  Cursor.CurrentRecordID = {9, 2};
  auto pos = Cursor.SavePosition();
  Cursor.FirstPosition = false;
  Cursor.LastPosition = true;
  Cursor.CurrentRecordID = {1, 1};
  Cursor.FIndexID = 55;
  Cursor.RestorePosition(*pos);
  Cursor.FreePosition(pos);
  EXPECT_TRUE(Cursor.FirstPosition);
  EXPECT_FALSE(Cursor.LastPosition);
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{9, 2}));
  EXPECT_EQ(Cursor.FIndexID, 55);
  EXPECT_EQ(pos, nullptr);
}
