// The sparse bit set against a std::set model: bits far beyond 32 bits,
// ranks, selects and searches in both directions, shrinking, and memory that
// follows the bits held.
#include "engine/core/containers/QXLSparseBitSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>

#include "engine/core/containers/QXLListError.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

constexpr std::int64_t Far = std::int64_t{1} << 40;

// What Find finds; -1 for nothing.
std::int64_t Found(const TQXLSparseBitSet& Bits, bool Restart, bool GoForward, std::int64_t From) {
  std::int64_t Bit = -7;
  return Bits.Find(Restart, GoForward, From, Bit) ? Bit : -1;
}

// Every query of Bits checked against Model.
void ExpectSameAsModel(const TQXLSparseBitSet& Bits, const std::set<std::int64_t>& Model, std::mt19937_64& Rng) {
  ASSERT_EQ(Bits.Count(), static_cast<std::int64_t>(Model.size()));
  std::int64_t Rank = 0;
  for (std::int64_t Bit : Model) {
    ASSERT_TRUE(Bits.Get(Bit)) << Bit;
    ASSERT_EQ(Bits.SetBitsBelow(Bit), Rank) << Bit;
    ASSERT_EQ(Bits.Select(Rank), Bit) << Rank;
    ++Rank;
  }
  // Probes near set bits and anywhere.
  for (int i = 0; i < 200; ++i) {
    std::int64_t Probe = std::uniform_int_distribution<std::int64_t>(0, Bits.Size() - 1)(Rng);
    if (!Model.empty() && i % 2 == 0) {
      auto It = std::next(Model.begin(), static_cast<std::ptrdiff_t>(Rng() % Model.size()));
      Probe = std::clamp<std::int64_t>(*It + static_cast<std::int64_t>(Rng() % 130) - 65, 0, Bits.Size() - 1);
    }
    ASSERT_EQ(Bits.Get(Probe), Model.count(Probe) == 1) << Probe;
    ASSERT_EQ(Bits.SetBitsBelow(Probe), std::distance(Model.begin(), Model.lower_bound(Probe))) << Probe;
    const auto Next = Model.upper_bound(Probe);
    ASSERT_EQ(Found(Bits, false, true, Probe), Next != Model.end() ? *Next : -1) << Probe;
    const auto Before = Model.lower_bound(Probe);
    ASSERT_EQ(Found(Bits, false, false, Probe), Before != Model.begin() ? *std::prev(Before) : -1) << Probe;
  }
  ASSERT_EQ(Found(Bits, true, true, 0), Model.empty() ? -1 : *Model.begin());
  ASSERT_EQ(Found(Bits, true, false, 0), Model.empty() ? -1 : *Model.rbegin());
}

TEST(SparseBitSet, RandomChangesAnswerAsAModelDoes) {
  std::mt19937_64 Rng(5150);
  TQXLSparseBitSet Bits;
  Bits.SetSize(Far);
  std::set<std::int64_t> Model;
  // Clusters of nearby bits spread over 40 bits, as views of deep indexes number their records.
  std::vector<std::int64_t> Centres;
  for (int i = 0; i < 12; ++i) Centres.push_back(std::uniform_int_distribution<std::int64_t>(0, Far - 10000)(Rng));
  Centres.push_back(0);
  Centres.push_back(Far - 5000);
  for (int Step = 0; Step < 6000; ++Step) {
    const std::int64_t Bit = Centres[Rng() % Centres.size()] + static_cast<std::int64_t>(Rng() % 5000);
    const bool Value = Rng() % 3 != 0;
    Bits.Set(Bit, Value);
    if (Value)
      Model.insert(Bit);
    else
      Model.erase(Bit);
    if (Step % 1000 == 999) ExpectSameAsModel(Bits, Model, Rng);
  }
  // Shrinking drops the bits at and above the new size, in a cut block and in whole ones.
  const std::int64_t Cut = *std::next(Model.begin(), static_cast<std::ptrdiff_t>(Model.size() / 2)) + 1;
  Bits.SetSize(Cut);
  Model.erase(Model.lower_bound(Cut), Model.end());
  ExpectSameAsModel(Bits, Model, Rng);
  Bits.SetSize(Far);
  EXPECT_FALSE(Bits.Get(Cut + 1));
  ExpectSameAsModel(Bits, Model, Rng);
}

TEST(SparseBitSet, MemoryFollowsTheBitsHeld) {
  TQXLSparseBitSet Bits;
  Bits.SetSize(Far);
  EXPECT_EQ(Bits.BlockCount(), 0u);
  Bits.Set(Far - 1, true);
  Bits.Set(3, true);
  Bits.Set(4, true);
  EXPECT_EQ(Bits.BlockCount(), 2u);
  Bits.Set(Far - 1, false);
  EXPECT_EQ(Bits.BlockCount(), 1u);
  Bits.Set(Far - 2, false);
  EXPECT_EQ(Bits.BlockCount(), 1u) << "clearing a clear bit makes no block";
}

TEST(SparseBitSet, SetAllFillsExactlyTheSize) {
  for (std::int64_t Size : {std::int64_t{1}, std::int64_t{63}, std::int64_t{64}, std::int64_t{4097}, std::int64_t{10000}}) {
    TQXLSparseBitSet Bits;
    Bits.SetSize(Size);
    Bits.SetAll();
    EXPECT_EQ(Bits.Count(), Size);
    EXPECT_EQ(Bits.Select(Size - 1), Size - 1);
    EXPECT_EQ(Bits.SetBitsBelow(Size - 1), Size - 1);
    Bits.SetSize(Size + 100);
    EXPECT_FALSE(Bits.Get(Size)) << Size;
    EXPECT_EQ(Bits.Count(), Size);
  }
}

TEST(SparseBitSet, OutOfRangeNumbersAreRefused) {
  TQXLSparseBitSet Bits;
  Bits.SetSize(10);
  Bits.Set(2, true);
  EXPECT_EQ(NativeCodeOf([&] { Bits.Get(10); }), 10394);
  EXPECT_EQ(NativeCodeOf([&] { Bits.Set(-1, true); }), 10395);
  EXPECT_EQ(NativeCodeOf([&] { Bits.Select(1); }), 10428);
  EXPECT_THROW(Bits.SetSize(-1), EQXLListError);
  EXPECT_EQ(Found(Bits, false, true, 9), -1);
  EXPECT_EQ(Found(Bits, false, false, 2), -1);
  EXPECT_EQ(Found(Bits, false, false, 500), 2);
}

}  // namespace
