// The field manager: record forms and their conversion, change detection,
// auto-increment counters with their stored block, and column defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "tests/engine/core/QXLTestExpression.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeSession.h"

using namespace qxl;

namespace {

using Buffer = std::vector<std::uint8_t>;

class FieldManagerTest : public ::testing::Test {
protected:
  TQXLBaseFieldManager Manager{nullptr};

  TQXLFieldDef& Add(const char* Name, TQXLAdvancedFieldType Type, std::int32_t Size = 0) {
    TQXLFieldDef* f = Manager.FieldDefs().AddCreated();
    f->Name = Name;
    f->ObjectID = 100 + Manager.FieldDefs().Count();
    f->SetFieldDefDataType(Type, Size);
    return *f;
  }
  void Done() {
    Manager.RecalcFieldOffsets();
    Manager.InitLastAutoIncValues();
  }
  Buffer MemoryRecord(std::uint8_t Fill = 0) const {
    return Buffer(static_cast<std::size_t>(Manager.FieldDefs().GetMemoryRecordBufferSize()), Fill);
  }
  const TQXLFieldDef& Field(std::int32_t i) const { return *Manager.FieldDefs().GetDef(i); }
};

TQXLFieldDef& Autoinc(TQXLFieldDef& f, std::int64_t Initial, std::int64_t Increment, std::int64_t Min,
                      std::int64_t Max, bool Cycled) {
  f.AutoincInitialValue = Initial;
  f.AutoincIncrement = Increment;
  f.AutoincMinValue = Min;
  f.AutoincMaxValue = Max;
  f.AutoincCycled = Cycled;
  return f;
}

}  // namespace

TEST_F(FieldManagerTest, StoredFormKeepsOnlyTheBlobReference) {
  Add("Id", aftInteger);
  Add("Text", aftMemo);
  Add("Flag", aftBoolean);
  Done();
  const TQXLFieldDefs& defs = Manager.FieldDefs();
  EXPECT_EQ(Field(1).MemoryDataSize, 10);
  EXPECT_EQ(Field(1).DiskDataSize, 6);
  EXPECT_EQ(defs.GetMemoryRecordBufferSize() - defs.GetDiskRecordBufferSize(), 4);

  Buffer mem = MemoryRecord();
  for (std::size_t i = 0; i < mem.size(); ++i) mem[i] = static_cast<std::uint8_t>(i + 1);
  Buffer disk(static_cast<std::size_t>(defs.GetDiskRecordBufferSize()), 0xCC);
  Manager.MemRecordBufferToDiskRecordBuffer(mem.data(), disk.data());
  EXPECT_EQ(disk[static_cast<std::size_t>(Field(2).DiskOffset)], mem[static_cast<std::size_t>(Field(2).MemoryOffset)]);

  Buffer back = MemoryRecord(0xCC);
  Manager.DiskRecordBufferToMemRecordBuffer(disk.data(), back.data());
  EXPECT_TRUE(Manager.CompareRecordBuffers(mem.data(), back.data()));
  // The memory-only part of the BLOB field comes back as zeros.
  const auto blobTail = static_cast<std::size_t>(Field(1).MemoryOffset + 6);
  EXPECT_EQ(Buffer(back.begin() + blobTail, back.begin() + blobTail + 4), Buffer(4, 0));
  EXPECT_EQ(Buffer(back.begin(), back.begin() + blobTail), Buffer(mem.begin(), mem.begin() + blobTail));
}

TEST_F(FieldManagerTest, CompareRecordBuffersLooksAtNullsAndStoredBytesOnly) {
  Add("Id", aftInteger);
  Add("Pic", aftBlob);
  Done();
  Buffer a = MemoryRecord(), b = MemoryRecord();
  const auto blob = static_cast<std::size_t>(Field(1).MemoryOffset);
  b[blob + 9] = 0x77;  // the never-stored cache handle
  EXPECT_TRUE(Manager.CompareRecordBuffers(a.data(), b.data()));
  b[blob + 5] = 0x01;  // part of the stored reference
  EXPECT_FALSE(Manager.CompareRecordBuffers(a.data(), b.data()));
  Buffer c = MemoryRecord();
  qxl::SetBitInBuffer(true, 0, c.data());
  EXPECT_FALSE(Manager.CompareRecordBuffers(a.data(), c.data()));
}

TEST_F(FieldManagerTest, IncrementFollowsStepMaximumAndCycle) {
  struct Case {
    std::int64_t Start, Increment, Min, Max;
    bool Cycled;
    std::int64_t Expected;  // 0: 20160 expected
  };
  const std::int64_t top = std::numeric_limits<std::int64_t>::max();
  const Case cases[] = {
      {10, 0, 0, 0, false, 11},      // increment 0 counts as 1; maximum 0 is none
      {10, 5, 0, 100, false, 15},
      {3, 1, 1, 3, true, 1},         // cycled: the minimum, not minimum plus step
      {3, 2, 1, 3, true, 1},
      {3, 1, 1, 3, false, 0},
      {top, 1, 7, top, true, 7},     // past the 64-bit range cycles too
      {top, 1, 7, 0, false, 0},      // and without a cycle is refused, not wrapped
      {-5, -2, -100, 0, false, -7},
  };
  for (const Case& c : cases) {
    TQXLBaseFieldManager m(nullptr);
    TQXLFieldDef* f = m.FieldDefs().AddCreated();
    f->Name = "N";
    f->SetFieldDefDataType(aftAutoIncLargeint, 0);
    Autoinc(*f, c.Start, c.Increment, c.Min, c.Max, c.Cycled);
    m.InitLastAutoIncValues();
    if (c.Expected == 0)
      EXPECT_EQ(NativeCodeOf([&] { m.IncrementAutoinc(0); }), 20160) << c.Start << "+" << c.Increment;
    else
      EXPECT_EQ(m.IncrementAutoinc(0), c.Expected) << c.Start << "+" << c.Increment;
  }
}

TEST_F(FieldManagerTest, PassedMaximumRaisesAgainAndTheCounterStandsPastIt) {
  Autoinc(Add("N", aftAutoInc), 3, 1, 1, 3, false);
  Done();
  EXPECT_EQ(MessageOf([&] { Manager.IncrementAutoinc(0); }),
            "Autoinc max value exceeded for field 'N' - Native error: 20160");
  EXPECT_EQ(Manager.LastAutoIncValues()[0], 4);
  EXPECT_EQ(NativeCodeOf([&] { Manager.IncrementAutoinc(0); }), 20160);
  EXPECT_EQ(Manager.LastAutoIncValues()[0], 5);
}

TEST_F(FieldManagerTest, FieldNumbersOutsideTheCountersAreRefused) {
  Add("A", aftAutoInc);
  Add("B", aftAutoInc);
  Done();
  EXPECT_EQ(NativeCodeOf([&] { Manager.IncrementAutoinc(2); }), 30402);
  EXPECT_EQ(NativeCodeOf([&] { Manager.IncrementAutoinc(-1); }), 30402);
  std::uint8_t block[12] = {};
  block[0] = 1;  // one counter only
  std::int32_t offset = 0;
  Manager.LoadMostUpdated(block, sizeof block, offset);
  EXPECT_EQ(NativeCodeOf([&] { Manager.IncrementAutoinc(1); }), 30403);
  FakeSession s;
  EXPECT_EQ(NativeCodeOf([&] { Manager.GetLastAutoinc(&s, 5); }), 30402);
}

TEST_F(FieldManagerTest, SuppliedValuesMoveTheCounterOnlyUpward) {
  Autoinc(Add("Id", aftAutoInc), 7, 1, 0, 0, false);
  Autoinc(Add("Small", aftAutoIncShortint), 0, 1, 0, 0, false);
  Done();
  FakeSession s;
  Buffer r = MemoryRecord();
  std::int32_t hundred = 100;
  std::memcpy(r.data() + Field(0).MemoryOffset, &hundred, 4);
  r[static_cast<std::size_t>(Field(1).MemoryOffset)] = 0xFF;  // -1 as a byte
  Manager.ApplyAutoincsToRecordBuffer(&s, r.data());
  EXPECT_EQ(Manager.LastAutoIncValues()[0], 100);
  EXPECT_EQ(Manager.LastAutoIncValues()[1], 255);
  EXPECT_EQ(Manager.GetLastAutoinc(&s, 0), 100);
  EXPECT_EQ(Manager.GetNextAutoinc(&s, 0), 101);

  std::int32_t five = 5;
  std::memcpy(r.data() + Field(0).MemoryOffset, &five, 4);
  Manager.ApplyAutoincsToRecordBuffer(&s, r.data());
  EXPECT_EQ(Manager.LastAutoIncValues()[0], 101);
}

TEST_F(FieldManagerTest, NullAutoincFieldsGetTheNextValue) {
  Autoinc(Add("Id", aftAutoIncSmallint), 41, 1, 0, 0, false);
  Add("Name", aftString, 5);
  Done();
  FakeSession s;
  Buffer r = MemoryRecord(0xAB);
  r[0] = 0x03;  // both NULL
  Manager.ApplyAutoincsToRecordBuffer(&s, r.data());
  EXPECT_FALSE(qxl::GetBitInBuffer(0, r.data()));
  EXPECT_TRUE(qxl::GetBitInBuffer(1, r.data()));
  std::int16_t v = 0;
  std::memcpy(&v, r.data() + Field(0).MemoryOffset, 2);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(r[static_cast<std::size_t>(Field(1).MemoryOffset)], 0xAB) << "wrote past the 2-byte field";
  EXPECT_EQ(Manager.GetLastAutoinc(&s, 0), 42);
}

TEST_F(FieldManagerTest, LastValueOfASessionThatNeverDrewOne) {
  Autoinc(Add("Id", aftAutoInc), 9, 1, 0, 0, false);
  Add("Plain", aftInteger);
  Done();
  FakeSession single, multi;
  multi.FMultiUser = true;
  EXPECT_EQ(Manager.GetLastAutoinc(&single, 0), 9);
  EXPECT_EQ(Manager.GetLastAutoinc(&single, 1), 0);
  EXPECT_EQ(NativeCodeOf([&] { Manager.GetLastAutoinc(&multi, 0); }), 30012);
  Manager.GetNextAutoinc(&multi, 0);
  Manager.GetNextAutoinc(&single, 0);
  EXPECT_EQ(Manager.GetLastAutoinc(&multi, 0), 10);
  EXPECT_EQ(Manager.GetLastAutoinc(&single, 0), 11);
}

TEST_F(FieldManagerTest, MostUpdatedBlockRoundTripsAndResizes) {
  Autoinc(Add("A", aftAutoInc), 5, 1, 0, 0, false);
  Add("B", aftInteger);
  Done();
  Manager.IncrementAutoinc(0);
  std::vector<std::uint8_t> buf(64, 0xEE);
  std::int32_t offset = 3;
  Manager.SaveMostUpdated(buf.data(), static_cast<std::int32_t>(buf.size()), offset);
  EXPECT_EQ(offset, 3 + 4 + 16);
  EXPECT_EQ(offset, 3 + Manager.MostUpdatedSize());

  TQXLBaseFieldManager other(nullptr);
  std::int32_t readAt = 3;
  other.LoadMostUpdated(buf.data(), static_cast<std::int32_t>(buf.size()), readAt);
  EXPECT_EQ(readAt, offset);
  EXPECT_EQ(other.LastAutoIncValues(), (std::vector<std::int64_t>{6, 0}));

  // A count of three for two fields resizes the counters to three.
  std::int32_t three = 3;
  std::memcpy(buf.data(), &three, 4);
  std::int32_t at = 0;
  other.LoadMostUpdated(buf.data(), static_cast<std::int32_t>(buf.size()), at);
  EXPECT_EQ(other.LastAutoIncValues().size(), 3u);
}

TEST_F(FieldManagerTest, DamagedCounterBlocksAreRefusedUntouched) {
  Autoinc(Add("A", aftAutoInc), 5, 1, 0, 0, false);
  Done();
  struct Case {
    std::int32_t Count, BufSize, Offset;
  };
  const Case cases[] = {{-1, 64, 0}, {8, 64, 0}, {1, 12, 4}, {0, 3, 0}, {0, 64, -1}, {0x7FFFFFFF, 64, 0}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buf(64, 0);
    if (c.Offset >= 0 && c.Offset + 4 <= 64) std::memcpy(buf.data() + c.Offset, &c.Count, 4);
    std::int32_t offset = c.Offset;
    EXPECT_EQ(NativeCodeOf([&] { Manager.LoadMostUpdated(buf.data(), c.BufSize, offset); }), 10430) << c.Count;
    EXPECT_EQ(offset, c.Offset);
    EXPECT_EQ(Manager.LastAutoIncValues(), std::vector<std::int64_t>{5});
  }
  std::uint8_t small[8];
  std::int32_t offset = 0;
  EXPECT_EQ(NativeCodeOf([&] { Manager.SaveMostUpdated(small, sizeof small, offset); }), 10430);
}

TEST_F(FieldManagerTest, OnlyTheFirstBlobFieldsBlockSizeIsChecked) {
  Add("Id", aftInteger);
  Done();
  EXPECT_FALSE(Manager.BlobFieldsPresent());
  Add("Memo", aftMemo).BLOBBlockSize = 4096;
  Add("Pic", aftGraphic).BLOBBlockSize = 0;
  Done();
  EXPECT_TRUE(Manager.BlobFieldsPresent());
  Manager.FieldDefs().GetDef(1)->BLOBBlockSize = 0;
  EXPECT_EQ(MessageOf([&] { Manager.BlobFieldsPresent(); }),
            "BLOB block size should be > 0 for field Memo - Native error: 10421");
}

TEST_F(FieldManagerTest, DefaultsAreWrittenAndClearTheNullBit) {
  Add("Count", aftInteger).DefaultValue->SetAsInteger(42);
  Add("Name", aftString, 8).DefaultValue->SetAsAnsiString("abc");
  Add("NoDefault", aftInteger);
  Add("Memo", aftMemo).DefaultValue->SetAsAnsiString("never");
  Done();
  Buffer r = MemoryRecord();
  r[0] = 0x0F;
  Manager.ApplyDefaultValuesToRecordBuffer(nullptr, r.data());
  EXPECT_EQ(r[0], 0x0C);
  std::int32_t count = 0;
  std::memcpy(&count, r.data() + Field(0).MemoryOffset, 4);
  EXPECT_EQ(count, 42);
  EXPECT_STREQ(reinterpret_cast<const char*>(r.data() + Field(1).MemoryOffset), "abc");
}

TEST_F(FieldManagerTest, ADefaultLongerThanItsColumnIsRefusedWithoutOverrun) {
  Add("Code", aftString, 3).DefaultValue->SetAsAnsiString("far too long for three");
  Add("After", aftInteger);
  Done();
  Buffer r = MemoryRecord(0x11);
  r[0] = 0x03;
  const Buffer before = r;
  EXPECT_EQ(NativeCodeOf([&] { Manager.ApplyDefaultValuesToRecordBuffer(nullptr, r.data()); }), 20056);
  EXPECT_EQ(r, before);
}

namespace {

// An expression whose value the test sets.
class ValueExpression : public TestExpression {
public:
  TQXLVariant* GetValue(bool) override { return &Value; }
  TQXLVariant Value;
};

}  // namespace

TEST_F(FieldManagerTest, ExpressionDefaultsAreComputedCastAndBounded) {
  TQXLFieldDef& n = Add("N", aftInteger);
  n.DefaultValue->SetAsAnsiString("1+1");
  auto expr = std::make_unique<ValueExpression>();
  expr->Value.SetAsDouble(7.0);
  ValueExpression* e = expr.get();
  n.DefaultValueExpr = std::move(expr);
  TQXLFieldDef& s = Add("S", aftString, 2);
  s.DefaultValue->SetAsAnsiString("x");
  auto longExpr = std::make_unique<ValueExpression>();
  longExpr->Value.SetAsAnsiString("much longer");
  s.DefaultValueExpr = std::move(longExpr);
  Done();

  Buffer r = MemoryRecord();
  r[0] = 0x03;
  EXPECT_EQ(NativeCodeOf([&] { Manager.ApplyDefaultValuesToRecordBuffer(nullptr, r.data()); }), 20056);
  std::int32_t v = 0;
  std::memcpy(&v, r.data() + Field(0).MemoryOffset, 4);
  EXPECT_EQ(v, 7);
  EXPECT_FALSE(qxl::GetBitInBuffer(0, r.data()));
  EXPECT_EQ(r.back(), 0) << "the too-long computed default ran into the record's end";

  // A default that computes to NULL leaves the field NULL.
  e->Value.Clear();
  Manager.FieldDefs().GetDef(1)->DefaultValueExpr.reset();
  Manager.FieldDefs().GetDef(1)->DefaultValue->Clear();
  Buffer r2 = MemoryRecord();
  r2[0] = 0x03;
  Manager.ApplyDefaultValuesToRecordBuffer(nullptr, r2.data());
  EXPECT_EQ(r2[0], 0x03);
}
