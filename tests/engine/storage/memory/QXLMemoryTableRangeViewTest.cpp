// A memory table viewed through a key range of its own B-tree index: walked
// both ways a record at a time, counted and numbered through the bitmap the
// view builds, and walked again through that bitmap once it is active.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/storage/btree/RecordIndexFixture.h"

using namespace qxl;

namespace qxl::test {
namespace {

class MemoryTableRangeViewTest : public RecordIndexFixture {
protected:
  std::vector<std::uint8_t> From;
  std::vector<std::uint8_t> To;

  // IDs 0..Count-1 inserted in a shuffled order, an index on ID for the
  // cursor, and the view of IDs First..Last.
  void ViewRange(std::int32_t Count, std::int32_t First, std::int32_t Last) {
    std::vector<std::int32_t> ids(static_cast<std::size_t>(Count));
    for (std::int32_t i = 0; i < Count; ++i) ids[static_cast<std::size_t>(i)] = i;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
    for (std::int32_t id : ids) Insert({id, "n", std::nullopt});
    const std::int32_t index = AddIndex("ByID", {"ID"}, true);
    Cursor.FIndexDefs->Assign(Table->IndexManager()->IndexDefs());
    Cursor.FIndexID = index;
    Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    From = Buffer({First, "", std::nullopt});
    To = Buffer({Last, "", std::nullopt});
    Cursor.ApplyRange(From.data(), To.data(), 1, 1, false, false);
  }
};

TEST_F(MemoryTableRangeViewTest, StepsCountsAndNumbersShowExactlyTheRangeInKeyOrder) {
  // Enough records for a tree of more than one level.
  ViewRange(3000, 1200, 1799);
  ASSERT_GE(Depth(Cursor.FIndexID), 2);
  const std::vector<std::int32_t> forward = Range(1200, 1799);
  const std::vector<std::int32_t> backward = Range(1799, 1200);
  EXPECT_EQ(Walk(grmNext), forward);
  EXPECT_EQ(Walk(grmPrior), backward);
  EXPECT_FALSE(Cursor.FRecordBitmap->Active());

  // Counting builds the bitmap of the whole view; moves then go through it.
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 600);
  ASSERT_TRUE(Cursor.FRecordBitmap->Active());
  Table->SetRecNo(&Cursor, 250);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, 1449);
  EXPECT_EQ(Table->GetRecNo(&Cursor), 250);
  EXPECT_EQ(Walk(grmNext), forward);
  EXPECT_EQ(Walk(grmPrior), backward);
}

}  // namespace
}  // namespace qxl::test
