// Reading single fields from a record's stored bytes: every type read from
// the disk form and from the memory form gives what the memory record gives,
// NULL fields read as NULL, text comes without its padding, and the errors.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/abstract/QXLFieldAccessor.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLRecordBuffer.h"
#include "engine/core/containers/QXLBitBuffer.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TField {
  TQXLAdvancedFieldType Type;
  std::int32_t Size;
};

// Every type a record holds outside BLOBs, the widened ones among them.
const TField Fields[] = {
    {aftChar, 5},      {aftString, 20},   {aftWideChar, 3}, {aftWideString, 7}, {aftSmallint, 0},
    {aftInteger, 0},   {aftLargeint, 0},  {aftByte, 0},     {aftWord, 0},       {aftShortint, 0},
    {aftCardinal, 0},  {aftSingle, 0},    {aftExtended, 0}, {aftAutoIncInteger, 0}, {aftDouble, 0},
    {aftBoolean, 0},   {aftCurrency, 0},  {aftDate, 0},     {aftTime, 0},       {aftDateTime, 0},
    {aftTimeStamp, 0}, {aftBytes, 6},     {aftVarBytes, 9}, {aftGuid, 38},
};

class FieldAccessorTest : public ::testing::Test {
protected:
  TQXLBaseFieldManager Manager{nullptr};
  Bytes Memory, Disk;

  void SetUp() override {
    for (const TField& f : Fields) {
      TQXLFieldDef* def = Manager.FieldDefs().AddCreated();
      def->Name = "F" + std::to_string(Manager.FieldDefs().Count());
      def->ObjectID = 100 + Manager.FieldDefs().Count();
      def->SetFieldDefDataType(f.Type, f.Size);
    }
    Manager.RecalcFieldOffsets();
    const TQXLFieldDefs& defs = Manager.FieldDefs();
    Memory.assign(static_cast<std::size_t>(defs.GetMemoryRecordBufferSize()), 0);
    std::memset(Memory.data(), 0xFF, static_cast<std::size_t>(defs.NullBitmapSize()));
    // Each field a value of its own: bytes that differ per field, kept
    // within what the type's widened form carries back.
    for (std::int32_t i = 0; i < defs.Count(); ++i) {
      const TQXLFieldDef& f = *defs.GetDef(i);
      Bytes value(static_cast<std::size_t>(f.MemoryDataSize) + 16, 0);
      switch (f.AdvancedFieldType) {
        case aftShortint: StoreNumber<std::int16_t>(value, static_cast<std::int16_t>(-5 - i)); break;
        case aftCardinal: StoreNumber<std::int64_t>(value, 4000000000LL + i); break;
        case aftSingle: StoreNumber<double>(value, 1.5 + i); break;
        case aftExtended: StoreNumber<double>(value, -2.25 * i); break;
        default:
          for (std::int32_t b = 0; b + 1 < f.MemoryDataSize; ++b)
            value[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>('A' + (i + b) % 26);
      }
      SetFieldDataToRecordBuffer(i, defs, value.data(), Memory.data());
    }
    Store();
  }
  // The disk form of the record, and the memory form made from it as a read does.
  void Store() {
    const TQXLFieldDefs& defs = Manager.FieldDefs();
    Disk.assign(static_cast<std::size_t>(defs.GetDiskRecordBufferSize()), 0);
    Manager.MemRecordBufferToDiskRecordBuffer(Memory.data(), Disk.data());
    Manager.DiskRecordBufferToMemRecordBuffer(Disk.data(), Memory.data());
  }
  template <typename T>
  static void StoreNumber(Bytes& Buffer, T Value) {
    std::memcpy(Buffer.data(), &Value, sizeof Value);
  }
  // What the memory record gives for field i, or nothing for NULL.
  std::optional<Bytes> FromMemoryRecord(std::int32_t i) const {
    Bytes out(static_cast<std::size_t>(Manager.FieldDefs().GetDef(i)->MemoryDataSize) + 16, 0);
    if (!GetFieldDataFromRecordBuffer(i, Manager.FieldDefs(), out.data(), Memory.data())) return std::nullopt;
    return out;
  }
  static std::optional<Bytes> FromAccessor(const TQXLFieldAccessor& Accessor, std::int32_t i, std::size_t Size) {
    Bytes out(Size, 0);
    if (!Accessor.GetField(i, out.data())) return std::nullopt;
    return out;
  }
};

}  // namespace

TEST_F(FieldAccessorTest, BothStoredFormsGiveWhatTheMemoryRecordGives) {
  const TQXLFieldDefs& defs = Manager.FieldDefs();
  TQXLFieldAccessor disk(defs, false), memory(defs, true);
  disk.Bind(Disk.data());
  memory.Bind(Memory.data());
  for (int round = 0; round < 2; ++round) {
    for (std::int32_t i = 0; i < defs.Count(); ++i) {
      const std::optional<Bytes> expected = FromMemoryRecord(i);
      const std::size_t size = static_cast<std::size_t>(defs.GetDef(i)->MemoryDataSize) + 16;
      EXPECT_EQ(FromAccessor(disk, i, size), expected) << "disk, field " << i << ", round " << round;
      EXPECT_EQ(FromAccessor(memory, i, size), expected) << "memory, field " << i << ", round " << round;
      EXPECT_EQ(disk.IsNull(i), !expected.has_value()) << i;
    }
    // Every other field NULL, in both forms.
    for (std::int32_t i = 0; i < defs.Count(); i += 2) SetFieldDataToRecordBuffer(i, defs, nullptr, Memory.data());
    Store();
  }
}

TEST_F(FieldAccessorTest, TextComesWithoutItsPaddingAndNullAsEmpty) {
  const TQXLFieldDefs& defs = Manager.FieldDefs();
  std::vector<char> text(static_cast<std::size_t>(defs.GetDef(1)->MemoryDataSize), 0);
  std::memcpy(text.data(), "abc", 3);
  SetFieldDataToRecordBuffer(1, defs, text.data(), Memory.data());
  SetFieldDataToRecordBuffer(0, defs, nullptr, Memory.data());
  Store();
  TQXLFieldAccessor disk(defs, false);
  disk.Bind(Disk.data());
  EXPECT_EQ(disk.Text(1), "abc");
  EXPECT_EQ(disk.Text(0), "");
  EXPECT_TRUE(disk.IsNull(0));
  std::int32_t size = -1;
  EXPECT_EQ(disk.FieldBytes(0, size), nullptr);
  EXPECT_EQ(size, 0);
  ASSERT_NE(disk.FieldBytes(1, size), nullptr);
  EXPECT_EQ(size, defs.GetDef(1)->DiskDataSize);
  // A number has no text.
  EXPECT_EQ(disk.Text(5), "");
}

TEST_F(FieldAccessorTest, NothingBoundAndFieldsOutsideTheListAreRefused) {
  TQXLFieldAccessor unbound(Manager.FieldDefs(), false);
  EXPECT_EQ(NativeCodeOf([&] { unbound.IsNull(0); }), 10003);
  TQXLFieldAccessor disk(Manager.FieldDefs(), false);
  disk.Bind(Disk.data());
  for (std::int32_t bad : {-1, Manager.FieldDefs().Count()})
    EXPECT_EQ(NativeCodeOf([&] { disk.GetField(bad, nullptr); }), 10000) << bad;
}
