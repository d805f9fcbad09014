// The memory record manager: positions, delete flags, navigation in position
// order, record numbers with gaps, the approximate record number, and growth
// of the record array.
#include "engine/storage/memory/QXLMemoryRecordManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include "engine/core/containers/QXLMemoryManager.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl {
namespace {

constexpr std::int32_t RecordSize = 8;

struct Record {
  std::uint8_t Bytes[RecordSize] = {};
  explicit Record(std::int32_t Value) { std::memcpy(Bytes, &Value, sizeof Value); }
};

std::int32_t ValueOf(const std::uint8_t* Buffer) {
  std::int32_t v;
  std::memcpy(&v, Buffer, sizeof v);
  return v;
}

// A manager with records at positions 0 .. Count-1 (each holding its
// position as value), then the given positions deleted.
class Table {
public:
  explicit Table(std::int32_t Count, std::initializer_list<std::int32_t> Deleted = {}, std::int32_t AllocBy = 4)
      : RM(RecordSize, AllocBy) {
    for (std::int32_t i = 0; i < Count; ++i) {
      TQXLPageItemID id{};
      EXPECT_TRUE(RM.AddRecord(0, Record(i).Bytes, id));
      EXPECT_EQ(+id.PageNo, i);
    }
    for (std::int32_t p : Deleted) {
      TQXLPageItemID id{p, 0};
      EXPECT_TRUE(RM.DeleteRecord(0, id));
    }
  }

  TQXLGetRecordResult Step(TQXLNavigationInfo& Nav, TQXLGetRecordMode Mode) {
    Nav.GetRecordMode = Mode;
    Nav.RecordBuffer = Buffer;
    RM.GetRecordBuffer(0, Nav);
    return Nav.GetRecordResult;
  }

  // The values met walking the whole table one way.
  std::vector<std::int32_t> Walk(TQXLGetRecordMode Mode) {
    TQXLNavigationInfo nav;
    (Mode == grmNext ? nav.FirstPosition : nav.LastPosition) = true;
    std::vector<std::int32_t> seen;
    while (Step(nav, Mode) == grrOK) {
      seen.push_back(ValueOf(Buffer));
      Positions.push_back(+nav.RecordID.PageNo);
    }
    EXPECT_EQ(nav.GetRecordResult, Mode == grmNext ? grrEOF : grrBOF);
    return seen;
  }

  TQXLMemoryRecordManager RM;
  // The positions the walks met, in order.
  std::vector<std::int32_t> Positions;
  std::uint8_t Buffer[RecordSize] = {};
};

TEST(MemoryRecordManager, RecordNumbersAndNavigationAcrossGaps) {
  Table t(10, {3, 7});
  EXPECT_EQ(t.RM.RecordCount(), 8);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(3), 4);
  EXPECT_EQ(t.RM.RecordPositionToRecNo(8), 7);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(8), -1);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(-1), -1);
  const std::vector<std::int32_t> present{0, 1, 2, 4, 5, 6, 8, 9};
  for (std::size_t r = 0; r < present.size(); ++r) {
    EXPECT_EQ(t.RM.RecNoToRecordPosition(static_cast<std::int64_t>(r)), present[r]);
    EXPECT_EQ(t.RM.RecordPositionToRecNo(present[r]), static_cast<std::int64_t>(r + 1));
  }
  EXPECT_EQ(t.Walk(grmNext), present);
  EXPECT_EQ(t.Positions, present);
  EXPECT_EQ(t.Walk(grmPrior), std::vector<std::int32_t>(present.rbegin(), present.rend()));

  TQXLNavigationInfo nav;
  nav.RecordID = {2, 0};
  EXPECT_EQ(t.Step(nav, grmNext), grrOK);
  EXPECT_EQ(+nav.RecordID.PageNo, 4);
  nav.RecordID = {7, 0};
  EXPECT_EQ(t.Step(nav, grmCurrent), grrError);
  EXPECT_EQ(t.Step(nav, grmPrior), grrOK);
  EXPECT_EQ(+nav.RecordID.PageNo, 6);
}

TEST(MemoryRecordManager, RecordNumberEndingAFlagByteExactly) {
  Table t(16, {8});
  EXPECT_EQ(t.RM.RecNoToRecordPosition(7), 7);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(8), 9);
  EXPECT_EQ(t.RM.RecordPositionToRecNo(9), 9);
}

TEST(MemoryRecordManager, NumbersBeforeAnyDeleteArePositions) {
  Table t(5);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(4), 4);
  EXPECT_EQ(t.RM.RecordPositionToRecNo(4), 5);
}

TEST(MemoryRecordManager, FirstAndLastPositionsFollowDeletes) {
  Table t(6, {0, 5});
  EXPECT_EQ(t.RM.FirstRecordID(), 1);
  EXPECT_EQ(t.RM.LastRecordID(), 4);
  for (std::int32_t p : {1, 2, 3, 4}) {
    TQXLPageItemID id{p, 0};
    EXPECT_TRUE(t.RM.DeleteRecord(0, id));
  }
  EXPECT_EQ(t.RM.RecordCount(), 0);
  EXPECT_EQ(t.RM.FirstRecordID(), 0);
  EXPECT_EQ(t.RM.LastRecordID(), 0);
  TQXLNavigationInfo nav;
  nav.FirstPosition = true;
  EXPECT_EQ(t.Step(nav, grmNext), grrEOF);
  TQXLPageItemID id{};
  EXPECT_TRUE(t.RM.AddRecord(0, Record(42).Bytes, id));
  EXPECT_EQ(+id.PageNo, 0);
  EXPECT_EQ(t.Walk(grmNext), std::vector<std::int32_t>{42});
}

TEST(MemoryRecordManager, DeleteLeavesTheCallersIdentityAlone) {
  // Moving the identity to the prior record made the table data hide a live
  // record in the cursor's bitmap while the deleted one stayed visible.
  Table t(3);
  TQXLPageItemID id{2, 0};
  EXPECT_TRUE(t.RM.DeleteRecord(0, id));
  EXPECT_EQ(+id.PageNo, 2);
  EXPECT_EQ(t.RM.LastRecordID(), 1);
  EXPECT_FALSE(t.RM.DeleteRecord(0, id));
  EXPECT_EQ(+id.PageNo, 2);
  EXPECT_EQ(t.Walk(grmNext), (std::vector<std::int32_t>{0, 1}));
}

TEST(MemoryRecordManager, UpdateOfADeletedRecordIsRefused) {
  Table t(3, {1});
  const std::int32_t state = t.RM.TableState();
  EXPECT_FALSE(t.RM.UpdateRecord(0, Record(99).Bytes, TQXLPageItemID{1, 0}));
  EXPECT_FALSE(t.RM.UpdateRecord(0, Record(99).Bytes, TQXLPageItemID{3, 0}));
  EXPECT_EQ(t.RM.TableState(), state);
  EXPECT_EQ(t.Walk(grmNext), (std::vector<std::int32_t>{0, 2}));
  EXPECT_TRUE(t.RM.UpdateRecord(0, Record(99).Bytes, TQXLPageItemID{2, 0}));
  EXPECT_EQ(t.RM.TableState(), state + 1);
  EXPECT_EQ(t.Walk(grmNext), (std::vector<std::int32_t>{0, 99}));
}

TEST(MemoryRecordManager, ApproximateRecordNumberStaysWithinTheRecordCount) {
  struct Case {
    std::int32_t Count;
    std::vector<std::int32_t> Deleted;
  };
  // The last case is 0 and 90 .. 99 left of 100: the gap once gave numbers up to 892.
  std::vector<std::int32_t> bigGap;
  for (std::int32_t p = 1; p < 90; ++p) bigGap.push_back(p);
  const std::vector<Case> cases{{1, {}}, {2, {}}, {100, {}}, {10, {0, 9}}, {10, {1, 2, 3, 5, 8}}, {100, bigGap}};
  for (const Case& c : cases) {
    Table t(c.Count);
    for (std::int32_t p : c.Deleted) {
      TQXLPageItemID id{p, 0};
      ASSERT_TRUE(t.RM.DeleteRecord(0, id));
    }
    std::int64_t prior = 0;
    for (std::int32_t p = 0; p < c.Count; ++p) {
      if (!t.RM.StoredRecord(p)) continue;
      const std::int64_t n = t.RM.GetApproximateRecNo(0, TQXLPageItemID{p, 0});
      EXPECT_GE(n, 1) << c.Count << " records, position " << p;
      EXPECT_LE(n, t.RM.RecordCount()) << c.Count << " records, position " << p;
      EXPECT_GE(n, prior) << "position " << p;
      prior = n;
    }
    EXPECT_EQ(t.RM.GetApproximateRecNo(0, TQXLPageItemID{t.RM.FirstRecordID(), 0}), 1);
    EXPECT_EQ(t.RM.GetApproximateRecNo(0, TQXLPageItemID{t.RM.LastRecordID(), 0}), t.RM.RecordCount());
    EXPECT_EQ(t.RM.GetApproximateRecNo(0, TQXLPageItemID{c.Count, 0}), -1);
  }
  Table empty(0);
  EXPECT_EQ(empty.RM.GetApproximateRecNo(0, TQXLPageItemID{0, 0}), -1);
  Table dense(10);
  for (std::int32_t p = 0; p < 10; ++p) EXPECT_EQ(dense.RM.GetApproximateRecNo(0, TQXLPageItemID{p, 0}), p + 1);
}

TEST(MemoryRecordManager, TheRecordArrayGrowsGeometricallyWithinItsLimits) {
  constexpr std::int64_t maxPos = std::numeric_limits<std::int32_t>::max();
  struct Case {
    std::int64_t Allocated, Needed;
    std::int32_t AllocBy, RecordSize;
    std::int64_t Expected;
  };
  const Case cases[] = {
      {0, 0, 1000, 8, 1000},
      {1000, 1000, 1000, 8, 2000},
      {2000, 2000, 1000, 8, 4000},
      {4000, 3999, 1000, 8, 4000},
      {0, 5000, 1000, 8, 5001},
      // One block holds at most MaxBlockSize bytes of records.
      {0, 0, 1000, 1 << 20, 1000},
      {1024, 1024, 1000, 1 << 20, 2047},
      {2047, 2047, 1000, 1 << 20, 2047},
      // Positions are signed 32-bit.
      {maxPos - 10, maxPos - 10, 1000, 1, maxPos},
      {maxPos, maxPos, 1000, 1, maxPos},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GrownRecordCapacity(c.Allocated, c.AllocBy, c.RecordSize, c.Needed), c.Expected)
        << c.Allocated << " allocated, position " << c.Needed << ", record size " << c.RecordSize;

  Table t(2500, {}, 1000);
  EXPECT_EQ(t.RM.AllocatedRecordCount(), 4000);
  EXPECT_EQ(t.RM.RecordCount(), 2500);
  EXPECT_EQ(t.RM.StoredRecord(2499)[0], static_cast<std::uint8_t>(2499 & 0xFF));
  EXPECT_EQ(t.RM.StoredRecord(2500), nullptr);
}

TEST(MemoryRecordManager, EmptyForgetsEveryRecordAndChangesTheState) {
  Table t(5, {2});
  const std::int32_t state = t.RM.TableState();
  t.RM.Empty(-2);
  EXPECT_EQ(t.RM.RecordCount(), 0);
  EXPECT_EQ(t.RM.AllocatedRecordCount(), 0);
  EXPECT_NE(t.RM.TableState(), state);
  EXPECT_TRUE(t.Walk(grmNext).empty());
  TQXLPageItemID id{};
  EXPECT_TRUE(t.RM.AddRecord(0, Record(7).Bytes, id));
  EXPECT_EQ(+id.PageNo, 0);
  EXPECT_EQ(t.RM.RecNoToRecordPosition(0), 0);
}

TEST(MemoryRecordManager, FirstAndLastPositionFlagsAndBadRequests) {
  Table t(3, {0});
  TQXLNavigationInfo nav;
  nav.FirstPosition = true;
  EXPECT_EQ(t.Step(nav, grmPrior), grrBOF);
  EXPECT_EQ(t.Step(nav, grmCurrent), grrError);
  EXPECT_TRUE(nav.FirstPosition);
  EXPECT_EQ(t.Step(nav, grmNext), grrOK);
  EXPECT_FALSE(nav.FirstPosition);
  EXPECT_EQ(+nav.RecordID.PageNo, 1);
  nav = TQXLNavigationInfo{};
  nav.LastPosition = true;
  EXPECT_EQ(t.Step(nav, grmNext), grrEOF);
  EXPECT_EQ(t.Step(nav, grmPrior), grrOK);
  EXPECT_EQ(+nav.RecordID.PageNo, 2);
  nav.RecordBuffer = nullptr;
  nav.GetRecordMode = grmCurrent;
  EXPECT_EQ(NativeCodeOf([&] { t.RM.GetRecordBuffer(0, nav); }), 10019);
  nav.RecordID = {-5, 0};
  EXPECT_EQ(t.Step(nav, grmCurrent), grrError);
  EXPECT_EQ(t.Step(nav, grmPrior), grrBOF);

  EXPECT_EQ(NativeCodeOf([] { TQXLMemoryRecordManager rm(0, 1000); }), 10011);
  EXPECT_EQ(t.RM.CompareRecordID(TQXLPageItemID{2, 7}, TQXLPageItemID{2, 0}), 0);
  EXPECT_EQ(t.RM.CompareRecordID(TQXLPageItemID{-1, 0}, TQXLPageItemID{2, 0}), -1);
  EXPECT_EQ(t.RM.CompareRecordID(TQXLPageItemID{3, 0}, TQXLPageItemID{2, 0}), 1);
}

}  // namespace
}  // namespace qxl
