// Reading and writing one field of a memory record buffer: every type's
// round trip, the widened types, NULL and empty text, and the errors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/abstract/QXLRecordBuffer.h"
#include "tests/support/EngineErrors.h"

namespace qxl {}
using namespace qxl;

namespace {

struct Table {
  TQXLFieldDefs Defs;
  std::vector<std::uint8_t> Record;

  TQXLFieldDef& Add(TQXLAdvancedFieldType Type, std::int32_t Size = 0) {
    TQXLFieldDef* f = Defs.AddCreated();
    f->Name = "F" + std::to_string(Defs.Count());
    f->SetFieldDefDataType(Type, Size);
    Defs.RecalcFieldOffsets();
    Record.assign(static_cast<std::size_t>(Defs.GetMemoryRecordBufferSize()), 0xEE);
    return *f;
  }
};

// Types whose dataset form is their memory form, byte for byte.
const TQXLAdvancedFieldType PlainTypes[] = {
    aftChar,       aftString,     aftWideChar,  aftWideString, aftSmallint, aftInteger, aftLargeint,
    aftByte,       aftWord,       aftAutoInc,   aftAutoIncShortint, aftAutoIncSmallint, aftAutoIncInteger,
    aftAutoIncLargeint, aftAutoIncByte, aftAutoIncWord, aftAutoIncCardinal, aftDouble, aftBoolean,
    aftCurrency,   aftDate,       aftTime,      aftDateTime,   aftTimeStamp, aftBytes,  aftVarBytes, aftGuid};

}  // namespace

TEST(QXLRecordBuffer, PlainTypesRoundTripTheirMemoryBytes) {
  for (TQXLAdvancedFieldType type : PlainTypes) {
    Table t;
    t.Add(aftInteger);  // field 0, so that the tested field is not at the bitmap
    TQXLFieldDef& f = t.Add(type, 8);
    std::vector<std::uint8_t> in(static_cast<std::size_t>(f.MemoryDataSize));
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(0x41 + i % 26);
    qxl::SetBitInBuffer(true, 1, t.Record.data());
    SetFieldDataToRecordBuffer(1, t.Defs, in.data(), t.Record.data());
    std::vector<std::uint8_t> out(in.size(), 0);
    EXPECT_TRUE(GetFieldDataFromRecordBuffer(1, t.Defs, out.data(), t.Record.data())) << int(type);
    EXPECT_EQ(out, in) << int(type);
    EXPECT_FALSE(qxl::GetBitInBuffer(1, t.Record.data())) << int(type);
    // The neighbouring field's bytes are untouched.
    EXPECT_EQ(t.Record[static_cast<std::size_t>(t.Defs.GetDef(0)->MemoryOffset)], 0xEE) << int(type);
  }
}

TEST(QXLRecordBuffer, WidenedTypesTravelInTheirDatasetForm) {
  Table t;
  t.Add(aftShortint);
  t.Add(aftCardinal);
  t.Add(aftSingle);
  t.Add(aftExtended);
  std::int16_t shortint = -1;
  std::int64_t cardinal = 4294967295LL;
  double single = 1.5, extended = -2.25;
  SetFieldDataToRecordBuffer(0, t.Defs, &shortint, t.Record.data());
  SetFieldDataToRecordBuffer(1, t.Defs, &cardinal, t.Record.data());
  SetFieldDataToRecordBuffer(2, t.Defs, &single, t.Record.data());
  SetFieldDataToRecordBuffer(3, t.Defs, &extended, t.Record.data());
  EXPECT_EQ(t.Record[static_cast<std::size_t>(t.Defs.GetDef(0)->MemoryOffset)], 0xFF);

  std::int16_t shortintOut = 0;
  std::int64_t cardinalOut = 0;
  double singleOut = 0, extendedOut = 0;
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(0, t.Defs, &shortintOut, t.Record.data()));
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(1, t.Defs, &cardinalOut, t.Record.data()));
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(2, t.Defs, &singleOut, t.Record.data()));
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(3, t.Defs, &extendedOut, t.Record.data()));
  EXPECT_EQ(shortintOut, -1);
  EXPECT_EQ(cardinalOut, 4294967295LL);
  EXPECT_EQ(singleOut, 1.5);
  EXPECT_EQ(extendedOut, -2.25);
}

TEST(QXLRecordBuffer, NullAndEmptyTextStoreNullAndLeaveTheCallersBuffer) {
  struct Case {
    TQXLAdvancedFieldType Type;
    std::vector<std::uint8_t> Input;  // empty: a null buffer
  };
  const Case cases[] = {
      {aftString, {0, 'x', 'y'}},  {aftChar, {0}},           {aftGuid, {0, '{'}},
      {aftWideString, {0, 0, 'a', 0}}, {aftWideChar, {0, 0}}, {aftInteger, {}},
  };
  for (const Case& c : cases) {
    Table t;
    TQXLFieldDef& f = t.Add(c.Type, 10);
    std::vector<std::uint8_t> before = t.Record;
    SetFieldDataToRecordBuffer(0, t.Defs, c.Input.empty() ? nullptr : c.Input.data(), t.Record.data());
    EXPECT_TRUE(qxl::GetBitInBuffer(0, t.Record.data())) << int(c.Type);
    // Only the null bit changed.
    EXPECT_TRUE(std::equal(t.Record.begin() + f.MemoryOffset, t.Record.end(), before.begin() + f.MemoryOffset));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(f.MemoryDataSize), 0x5A);
    EXPECT_FALSE(GetFieldDataFromRecordBuffer(0, t.Defs, out.data(), t.Record.data()));
    EXPECT_EQ(out, std::vector<std::uint8_t>(out.size(), 0x5A));
  }
}

TEST(QXLRecordBuffer, NullBufferIsANullTestAndBlobsAreNotCopied) {
  Table t;
  t.Add(aftInteger);
  t.Add(aftBlob);
  t.Record[0] = 0;  // both fields present
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(0, t.Defs, nullptr, t.Record.data()));
  std::uint8_t out[16] = {};
  EXPECT_TRUE(GetFieldDataFromRecordBuffer(1, t.Defs, out, t.Record.data()));
  EXPECT_EQ(out[0], 0);
  qxl::SetBitInBuffer(true, 0, t.Record.data());
  EXPECT_FALSE(GetFieldDataFromRecordBuffer(0, t.Defs, nullptr, t.Record.data()));
}

TEST(QXLRecordBuffer, BadFieldNumbersAndNullBuffersRaiseTheirCodes) {
  Table t;
  t.Add(aftInteger);
  std::int32_t v = 0;
  EXPECT_EQ(NativeCodeOf([&] { GetFieldDataFromRecordBuffer(1, t.Defs, &v, t.Record.data()); }), 10000);
  EXPECT_EQ(NativeCodeOf([&] { GetFieldDataFromRecordBuffer(-1, t.Defs, &v, t.Record.data()); }), 10000);
  EXPECT_EQ(NativeCodeOf([&] { GetFieldDataFromRecordBuffer(0, t.Defs, &v, nullptr); }), 10003);
  EXPECT_EQ(NativeCodeOf([&] { SetFieldDataToRecordBuffer(1, t.Defs, &v, t.Record.data()); }), 10004);
  EXPECT_EQ(NativeCodeOf([&] { SetFieldDataToRecordBuffer(-3, t.Defs, &v, t.Record.data()); }), 10004);
  EXPECT_EQ(MessageOf([&] { GetFieldDataFromRecordBuffer(5, t.Defs, &v, t.Record.data()); }),
            "Invalid field number - FieldNo = 5, FieldCount = 1 - Native error: 10000");
}

TEST(QXLRecordBuffer, ADamagedLayoutIsRefusedNotOverrun) {
  Table t;
  TQXLFieldDef& f = t.Add(aftInteger);
  t.Record[0] = 0;
  f.MemoryOffset = 0;  // would overlay the null bitmap
  std::int32_t v = 7;
  EXPECT_EQ(NativeCodeOf([&] { GetFieldDataFromRecordBuffer(0, t.Defs, &v, t.Record.data()); }), 10002);
  EXPECT_NE(NativeCodeOf([&] { SetFieldDataToRecordBuffer(0, t.Defs, &v, t.Record.data()); }), 0);
}

TEST(QXLRecordBuffer, CompareBytes) {
  const char a[] = "abcd", b[] = "abXd";
  EXPECT_TRUE(CompareBytes(a, b, 2));
  EXPECT_FALSE(CompareBytes(a, b, 4));
  EXPECT_TRUE(CompareBytes(a, b, 0));
  EXPECT_TRUE(CompareBytes(a, b, -5));
  EXPECT_EQ(NativeCodeOf([&] { CompareBytes(nullptr, b, 1); }), 10122);
  EXPECT_EQ(NativeCodeOf([&] { CompareBytes(a, nullptr, 1); }), 10123);
}
