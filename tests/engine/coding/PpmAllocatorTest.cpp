// The PPM model's unit allocator: size classes, both ends of the block, the
// reserve, and taking, growing, cutting and returning runs.
#include "engine/coding/PpmAllocator.h"

#include <gtest/gtest.h>

using namespace qxl;

namespace {

class PpmAllocator : public ::testing::Test {
protected:
  void SetUp() override {
    Heap.ReservePPMHeap(2);
    Heap.ResetPPMHeap();
  }
  // Takes context units until the two ends meet.
  void UseUpTheMiddle() {
    while (Heap.HiUnit() != Heap.LoUnit()) Heap.TakeContextUnit();
  }
  qxl::TPPMAllocator Heap;
  static constexpr qxl::TPPMRef Start = qxl::TPPMAllocator::HeapStart;
};

}  // namespace

TEST(PpmAllocatorClasses, UnitsMapToTheSmallestClassThatHoldsThem) {
  EXPECT_EQ(qxl::TPPMAllocator::ClassUnits[0], 1);
  EXPECT_EQ(qxl::TPPMAllocator::ClassUnits[11], 24);
  EXPECT_EQ(qxl::TPPMAllocator::ClassUnits[12], 28);
  EXPECT_EQ(qxl::TPPMAllocator::ClassUnits[37], 128);
  const int cases[][2] = {{1, 0}, {4, 3}, {5, 4}, {6, 4}, {13, 8}, {24, 11}, {25, 12}, {125, 37}, {128, 37}};
  for (auto [n, c] : cases) EXPECT_EQ(qxl::TPPMAllocator::UnitsClass(n), c) << n;
}

TEST_F(PpmAllocator, ResetHoldsBackTheReserveAndSetsBothEnds) {
  EXPECT_EQ(Heap.HiUnit(), Start + 2097144);
  EXPECT_EQ(Heap.LoUnit(), Start + 196608);
  EXPECT_TRUE(Heap.ReserveHeld());
  EXPECT_EQ(Heap.TakeContextUnit(), Start + 2097144 - 12);
  EXPECT_EQ(Heap.TakeUnits(5), Start + 196608);  // class 4: six units
  EXPECT_EQ(Heap.LoUnit(), Start + 196608 + 6 * 12);
}

TEST_F(PpmAllocator, AFreeChainIsUsedBeforeTheLowEnd) {
  const qxl::TPPMRef a = Heap.TakeUnits(3);
  Heap.ReturnUnits(a, 3);
  const qxl::TPPMRef lo = Heap.LoUnit();
  EXPECT_EQ(Heap.TakeUnits(3), a);
  EXPECT_EQ(Heap.LoUnit(), lo);
  EXPECT_EQ(Heap.TakeUnits(3), lo);
}

TEST_F(PpmAllocator, CuttingSplitsOffTheRestWhenTheNewClassHasNoFreeRun) {
  const qxl::TPPMRef run = Heap.TakeUnits(10);
  EXPECT_EQ(Heap.CutUnits(run, 10, 5), run);
  EXPECT_FALSE(Heap.ChainEmpty(3));  // 10 - 6 = 4 units
  EXPECT_EQ(Heap.TakeUnits(4), run + 6 * 12);
  EXPECT_EQ(Heap.CutUnits(run, 6, 5), run);  // one class: nothing moves
}

TEST_F(PpmAllocator, CuttingMovesIntoAFreeRunOfTheNewClassAndKeepsTheBytes) {
  const qxl::TPPMRef spare = Heap.TakeUnits(6);
  const qxl::TPPMRef run = Heap.TakeUnits(10);
  Heap.ReturnUnits(spare, 6);
  for (int i = 0; i < 72; ++i) Heap.Memory()[run + i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(Heap.CutUnits(run, 10, 5), spare);
  for (int i = 0; i < 72; ++i) ASSERT_EQ(Heap.Memory()[spare + i], i);
  EXPECT_EQ(Heap.TakeUnits(10), run);  // the old run went back to its chain
}

TEST_F(PpmAllocator, GrowingWithinAClassKeepsTheRunElseMovesIt) {
  const qxl::TPPMRef run = Heap.TakeUnits(5);
  EXPECT_EQ(Heap.GrowUnits(run, 5), run);  // 5 and 6 units: class 4
  for (int i = 0; i < 72; ++i) Heap.Memory()[run + i] = static_cast<std::uint8_t>(i + 1);
  const qxl::TPPMRef grown = Heap.GrowUnits(run, 6);
  EXPECT_NE(grown, run);
  for (int i = 0; i < 72; ++i) ASSERT_EQ(Heap.Memory()[grown + i], i + 1);
  EXPECT_EQ(Heap.TakeUnits(6), run);
}

TEST_F(PpmAllocator, WhenTheEndsMeetTheReserveIsSplit) {
  UseUpTheMiddle();
  EXPECT_TRUE(Heap.ReserveHeld());
  // The run of the highest address is the head of chain 37 after the release.
  const qxl::TPPMRef top = Start + 127 * 128 * 12;
  EXPECT_EQ(Heap.TakeUnits(100), top);  // class 30 (100 units), 28 units split off
  EXPECT_FALSE(Heap.ReserveHeld());
  EXPECT_EQ(Heap.TakeUnits(28), top + 100 * 12);
  EXPECT_EQ(Heap.TakeContextUnit(), top - 128 * 12);  // chain 0 is empty: another split
  EXPECT_FALSE(Heap.ChainEmpty(36));                  // its 127 remaining units: 124 + 3
  EXPECT_FALSE(Heap.ChainEmpty(2));
}

TEST_F(PpmAllocator, AFirstRequestOfTheLargestClassFailsButReleasesTheReserve) {
  UseUpTheMiddle();
  EXPECT_EQ(Heap.TakeUnits(125), 0u);
  EXPECT_FALSE(Heap.ReserveHeld());
  EXPECT_EQ(Heap.TakeUnits(128), Start + 127 * 128 * 12);
}

TEST_F(PpmAllocator, NothingLeftGivesNilAndAFailedGrowKeepsTheRun) {
  UseUpTheMiddle();
  EXPECT_EQ(Heap.TakeUnits(128), 0u);  // releases the reserve
  qxl::TPPMRef last = 0;
  int runs = 0;
  for (qxl::TPPMRef r; (r = Heap.TakeUnits(128)) != 0; ++runs) last = r;
  EXPECT_EQ(runs, 128);
  EXPECT_EQ(Heap.TakeContextUnit(), 0u);
  EXPECT_EQ(Heap.GrowUnits(last, 4), 0u);  // 5 units need a new run
  EXPECT_TRUE(Heap.ChainEmpty(3));         // and the old one was not given back
  Heap.ResetPPMHeap();
  EXPECT_EQ(Heap.LoUnit(), Start + 196608);
  EXPECT_TRUE(Heap.ReserveHeld());
}
