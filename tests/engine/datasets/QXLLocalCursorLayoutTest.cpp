// The local cursor's record buffer over a table of every column type: null
// bitmap, fields one after another, the record's identity and the flag byte
// behind them, and each type's value stored and read back unchanged, or NULL.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"

using namespace qxl;

namespace {

struct TColumn {
  TQXLAdvancedFieldType Type;
  std::int32_t Size;
  Variant Value;  // empty: left NULL (BLOB values travel through streams)
};

const TColumn Columns[] = {
    {aftChar, 5, "abc"},
    {aftString, 20, "text"},
    {aftWideChar, 5, u"w\u00e9"},
    {aftWideString, 12, u"wide \u00fc"},
    {aftShortint, 0, std::int32_t{-7}},
    {aftSmallint, 0, std::int32_t{-300}},
    {aftInteger, 0, std::int32_t{-70000}},
    {aftLargeint, 0, std::int64_t{1} << 40},
    {aftByte, 0, std::int32_t{200}},
    {aftWord, 0, std::int32_t{60000}},
    {aftCardinal, 0, std::int64_t{4000000000}},
    {aftAutoInc, 0, {}},
    {aftAutoIncLargeint, 0, {}},
    {aftSingle, 0, 2.5},
    {aftDouble, 0, -1.25},
    {aftExtended, 0, 3.5},
    {aftBoolean, 0, true},
    {aftCurrency, 0, Variant::Currency(12.34)},
    {aftDate, 0, Variant::Date(45000.0)},
    {aftTime, 0, Variant::Date(0.5)},
    {aftDateTime, 0, Variant::Date(45000.25)},
    {aftTimeStamp, 0, Variant::Date(45000.75)},
    {aftBlob, 0, {}},
    {aftMemo, 0, {}},
    {aftWideMemo, 0, {}},
};
constexpr std::int32_t ColumnCount = static_cast<std::int32_t>(std::size(Columns));

class LocalCursorLayoutTest : public ::testing::Test {
protected:
  void SetUp() override {
    Databases.Add(std::make_unique<TQXLMemoryDatabaseData>());
    Session.FDatabaseName = "MEMORY";
    Session.SetConnected(true);
    Cursor.FSession = &Session;
    Cursor.FTableName = "AllTypes";
    TQXLFieldDefs fields;
    for (std::int32_t i = 0; i < ColumnCount; ++i) {
      TQXLFieldDef* f = fields.AddCreated();
      f->Name = "F" + std::to_string(i);
      f->SetFieldDefDataType(Columns[i].Type, Columns[i].Size);
    }
    TQXLIndexDefs indexes;
    TQXLConstraintDefs constraints;
    Cursor.CreateTable(fields, indexes, constraints);
    Cursor.OpenTableByFieldDefs(nullptr, nullptr, nullptr);
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  }

  TQXLDatabaseDataList Databases;
  TQXLLocalSession Session{Databases};
  TQXLLocalCursor Cursor;
};

}  // namespace

TEST_F(LocalCursorLayoutTest, FieldsFollowTheNullBitmapAndTheIdentityAndFlagFollowThem) {
  ASSERT_EQ(Cursor.FFieldDefs->Count(), ColumnCount);
  const std::int32_t bitmap = (ColumnCount + 7) / 8;
  EXPECT_EQ(Cursor.FFieldValuesOffset, bitmap);
  std::int32_t next = bitmap;
  for (std::int32_t i = 0; i < ColumnCount; ++i) {
    const TQXLFieldDef& f = *Cursor.FFieldDefs->GetDef(i);
    SCOPED_TRACE(f.Name);
    EXPECT_EQ(f.MemoryOffset, next);
    EXPECT_GT(f.MemoryDataSize, 0);
    EXPECT_EQ(Cursor.FVisibleFieldDefs->GetDef(i)->FieldNoReference, i);
    next += f.MemoryDataSize;
  }
  EXPECT_EQ(Cursor.FBookmarkOffset, next);
  EXPECT_EQ(Cursor.FKeyOffset, next);
  EXPECT_EQ(Cursor.FKeyBufferSize, next + 6);
  EXPECT_EQ(Cursor.FRecordSize, next + 7);
  EXPECT_EQ(Cursor.FRecordBufferSize, next + 7);
  EXPECT_EQ(Cursor.FCalculatedFieldsOffset, next + 7);
}

TEST_F(LocalCursorLayoutTest, EveryTypesValueAndNullComeBackAsStored) {
  std::uint8_t* r = Cursor.FCurrentRecordBuffer;
  for (bool nulls : {false, true}) {
    SCOPED_TRACE(nulls);
    Cursor.InternalInitRecord(r, true);
    for (std::int32_t i = 0; i < ColumnCount && !nulls; ++i) {
      if (Columns[i].Value.IsEmpty()) continue;
      SCOPED_TRACE(i);
      TQXLVariant v;
      v.SetAsVariant(Columns[i].Value);
      ASSERT_NO_THROW(Cursor.SetFieldValue(v, i, false));
    }
    Cursor.InternalPost(true);
    ASSERT_EQ(Cursor.ErrorCode(), 0);
    TQXLPageItemID identity{};
    std::memcpy(&identity, r + Cursor.FBookmarkOffset, sizeof identity);
    EXPECT_EQ(identity, Cursor.CurrentRecordID);
    EXPECT_EQ(r[Cursor.FBookmarkOffset + 6], bfInserted);
    const std::vector<std::uint8_t> posted(r, r + Cursor.FBookmarkOffset);

    std::memset(r, 0xA5, static_cast<std::size_t>(Cursor.FRecordBufferSize));
    Cursor.FirstPosition = Cursor.LastPosition = false;
    ASSERT_EQ(Cursor.GetRecordBuffer(grmCurrent), grrOK);
    for (std::int32_t i = 0; i < ColumnCount; ++i) {
      const TQXLFieldDef& f = *Cursor.FFieldDefs->GetDef(i);
      SCOPED_TRACE(f.Name);
      const bool autoInc = Columns[i].Type == aftAutoInc || Columns[i].Type == aftAutoIncLargeint;
      const bool expectNull = Columns[i].Value.IsEmpty() ? !autoInc : nulls;
      EXPECT_EQ(GetBitInBuffer(i, r), expectNull);
      if (expectNull) continue;
      EXPECT_EQ(std::memcmp(r + f.MemoryOffset, posted.data() + f.MemoryOffset,
                            static_cast<std::size_t>(f.DiskDataSize)),
                0);
    }
  }
  EXPECT_EQ(Cursor.GetRecordCount(), 2);
}
