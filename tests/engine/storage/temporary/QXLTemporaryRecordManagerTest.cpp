// The temporary record manager: records kept in a cache sized from the free
// memory and spilled a page at a time to a temporary file beyond it, read
// back in order of addition; 48-bit record identities; an append-only store.
#include "engine/storage/temporary/QXLTemporaryRecordManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl {
namespace {

constexpr std::int32_t RecordSize = 8;

struct Store {
  // FreeMemory of 10 * 8 * Cached bytes leaves room for Cached records.
  Store(std::int64_t Cached, bool DisableTempFiles = false)
      : RM(RecordSize, 3, 2, DisableTempFiles, Cached * 10 * RecordSize) {}

  void Add(std::int64_t Count) {
    for (std::int64_t i = 0; i < Count; ++i) {
      std::uint8_t record[RecordSize];
      const std::int64_t value = RM.RecordCount() * 7 + 1;
      std::memcpy(record, &value, sizeof value);
      TQXLPageItemID id{};
      ASSERT_TRUE(RM.AddRecord(0, record, id));
      ASSERT_EQ(TemporaryRecordNo(id), RM.RecordCount() - 1);
    }
  }
  // The record numbers met walking the whole store one way, each checked against its value.
  std::vector<std::int64_t> Walk(TQXLGetRecordMode Mode) {
    TQXLNavigationInfo nav;
    (Mode == grmNext ? nav.FirstPosition : nav.LastPosition) = true;
    nav.GetRecordMode = Mode;
    std::uint8_t record[RecordSize];
    nav.RecordBuffer = record;
    std::vector<std::int64_t> seen;
    for (RM.GetRecordBuffer(0, nav); nav.GetRecordResult == grrOK; RM.GetRecordBuffer(0, nav)) {
      const std::int64_t n = TemporaryRecordNo(nav.RecordID);
      std::int64_t value;
      std::memcpy(&value, record, sizeof value);
      EXPECT_EQ(value, n * 7 + 1) << "record " << n;
      seen.push_back(n);
    }
    EXPECT_EQ(nav.GetRecordResult, Mode == grmNext ? grrEOF : grrBOF);
    return seen;
  }
  static std::vector<std::int64_t> Numbers(std::int64_t From, std::int64_t To, std::int64_t Step) {
    std::vector<std::int64_t> v;
    for (std::int64_t n = From; Step > 0 ? n <= To : n >= To; n += Step) v.push_back(n);
    return v;
  }

  TQXLTemporaryRecordManager RM;
};

TEST(TemporaryRecordManager, RecordsBeyondTheMemoryShareSpillAndReadBackInOrder) {
  for (std::int64_t cached : {0, 1, 5}) {
    Store s(cached);
    s.Add(23);
    EXPECT_EQ(s.RM.MaxCachedRecordCount(), cached);
    EXPECT_EQ(s.RM.CachedRecordCount(), cached);
    EXPECT_NE(s.RM.TempPageFile(), nullptr);
    EXPECT_EQ(s.Walk(grmNext), Store::Numbers(0, 22, 1)) << cached << " cached";
    EXPECT_EQ(s.Walk(grmPrior), Store::Numbers(22, 0, -1)) << cached << " cached";
    // Reads between adds see the records still waiting to be written.
    s.Add(2);
    EXPECT_EQ(s.Walk(grmPrior).front(), 24);
    s.RM.Empty(-2);
    EXPECT_EQ(s.RM.TempPageFile(), nullptr);
    EXPECT_TRUE(s.Walk(grmNext).empty());
    s.Add(4);
    EXPECT_EQ(s.Walk(grmNext), Store::Numbers(0, 3, 1));
  }
}

TEST(TemporaryRecordManager, WithTemporaryFilesDisabledEverythingStaysInMemory) {
  Store s(2, true);
  s.Add(50);
  EXPECT_EQ(s.RM.CachedRecordCount(), 50);
  EXPECT_EQ(s.RM.TempPageFile(), nullptr);
  EXPECT_EQ(s.Walk(grmNext), Store::Numbers(0, 49, 1));
}

TEST(TemporaryRecordManager, AppendOnlyNavigationAndNumbers) {
  Store s(2);
  s.Add(4);
  std::uint8_t record[RecordSize] = {};
  TQXLPageItemID id = TemporaryRecordID(1);
  EXPECT_FALSE(s.RM.UpdateRecord(0, record, id));
  EXPECT_FALSE(s.RM.DeleteRecord(0, id));
  EXPECT_EQ(s.RM.RecordCount(), 4);
  EXPECT_EQ(s.RM.GetApproximateRecNo(0, TemporaryRecordID(3)), 4);
  EXPECT_EQ(s.RM.GetApproximateRecNo(0, TemporaryRecordID(4)), -1);

  TQXLNavigationInfo nav;
  nav.RecordBuffer = record;
  nav.RecordID = TemporaryRecordID(4);
  nav.GetRecordMode = grmCurrent;
  s.RM.GetRecordBuffer(0, nav);
  EXPECT_EQ(nav.GetRecordResult, grrError);
  nav.RecordID = TemporaryRecordID(3);
  nav.GetRecordMode = grmNext;
  s.RM.GetRecordBuffer(0, nav);
  EXPECT_EQ(nav.GetRecordResult, grrEOF);
  nav.FirstPosition = true;
  nav.GetRecordMode = grmPrior;
  s.RM.GetRecordBuffer(0, nav);
  EXPECT_EQ(nav.GetRecordResult, grrBOF);
  nav.FirstPosition = false;
  nav.RecordBuffer = nullptr;
  nav.RecordID = TemporaryRecordID(2);
  nav.GetRecordMode = grmCurrent;
  EXPECT_EQ(NativeCodeOf([&] { s.RM.GetRecordBuffer(0, nav); }), 10127);
  EXPECT_EQ(NativeCodeOf([] { TQXLTemporaryRecordManager rm(0, 10, 1000, false, 1 << 20); }), 10124);
}

TEST(TemporaryRecordManager, IdentitiesHold48BitNumbers) {
  for (std::int64_t n : {std::int64_t{0}, std::int64_t{0x7FFFFFFF}, std::int64_t{0x80000001},
                         std::int64_t{0x123480000001}, std::int64_t{0xFFFFFFFFFFFF}}) {
    const TQXLPageItemID id = TemporaryRecordID(n);
    EXPECT_EQ(TemporaryRecordNo(id), n);
  }
  EXPECT_EQ(+TemporaryRecordID(0x123480000001).PageItemNo, 0x1234);
  Store s(1);
  EXPECT_EQ(s.RM.CompareRecordID(TemporaryRecordID(0x80000000), TemporaryRecordID(0x7FFFFFFF)), 1);
  EXPECT_EQ(s.RM.CompareRecordID(TemporaryRecordID(0x100000000), TemporaryRecordID(0xFFFFFFFF)), 1);
  EXPECT_EQ(s.RM.CompareRecordID(TemporaryRecordID(5), TemporaryRecordID(6)), -1);
}

TEST(TemporaryRecordManager, TheCacheLimitFromFreeMemoryFitsItsFields) {
  constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
  struct Case {
    std::int64_t FreeMemory;
    std::int32_t RecordSize;
    std::int32_t Expected;
  };
  const Case cases[] = {
      {1000, 10, 10},
      {0, 8, 0},
      {-5, 8, 0},
      // A tenth of 1 TiB in 8-byte records passes one memory block's size.
      {std::int64_t{1} << 40, 8, static_cast<std::int32_t>(0x7FFFFFFF / 8)},
      // In 1-byte records it passes the 32-bit count.
      {std::int64_t{1} << 40, 1, static_cast<std::int32_t>(int32Max)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MaxCachedRecordCount(c.FreeMemory, c.RecordSize), c.Expected) << c.FreeMemory << " / " << c.RecordSize;
}

}  // namespace
}  // namespace qxl
