// The record bitmap: visibility and record numbers by record identity and by
// index position, growth, clearing, search, and its limits.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"
#include "tests/support/FakeIndex.h"

using namespace qxl;

namespace {

class RecordBitmapTest : public AbstractTableFixture {
protected:
  void SetUp() override {
    AddField("Id", aftInteger);
    AddIndex("ById", {"Id"});
    Create();
  }
  std::int32_t IndexID() { return Table->IndexManager()->IndexDefs().GetIndexDef(0)->ObjectID; }
};

TQXLPageItemID Rec(std::int32_t No) { return {No, 0}; }

}  // namespace

TEST_F(RecordBitmapTest, NewBitmapIsEmptyInactiveAndOutdated) {
  TQXLRecordBitmap b(Table);
  EXPECT_TRUE(b.Outdated());
  EXPECT_FALSE(b.Active());
  EXPECT_EQ(b.GetRecordCount(), 0);
  EXPECT_EQ(b.TableState(), -1);
  b.SetTableState(Table->RecordManager()->TableState());
  EXPECT_FALSE(b.Outdated());
  Insert({nullptr});
  EXPECT_TRUE(b.Outdated());
  EXPECT_EQ(NativeCodeOf([] { TQXLRecordBitmap none(nullptr); }), 10425);
}

TEST_F(RecordBitmapTest, ShowGrowsAndNumbersRecordsByRank) {
  TQXLRecordBitmap b(Table);
  EXPECT_FALSE(b.IsRecordVisible(Rec(99)));
  EXPECT_EQ(b.GetRecNoByRecordID(Rec(99)), -1);
  b.ShowRecord(Rec(99));
  EXPECT_EQ(b.Size(), 100);
  EXPECT_EQ(b.GetRecordCount(), 1);
  EXPECT_EQ(b.GetRecNoByRecordID(Rec(99)), 1);
  b.ShowRecord(Rec(3));
  b.ShowRecord(Rec(7));
  b.ShowRecord(Rec(8));
  b.HideRecord(Rec(99));
  EXPECT_EQ(b.Size(), 100);
  EXPECT_EQ(b.GetRecordCount(), 3);
  EXPECT_EQ(b.GetRecNoByRecordID(Rec(7)), 2);
  EXPECT_EQ(b.GetRecordIDByRecNo(2), Rec(7));
  EXPECT_TRUE(b.IsRecordVisible(Rec(8)));
  EXPECT_FALSE(b.IsRecordVisible(Rec(99)));
  EXPECT_EQ(NativeCodeOf([&] { b.GetRecordIDByRecNo(4); }), 10432);
  EXPECT_EQ(NativeCodeOf([&] { b.GetRecordIDByRecNo(0); }), 10432);
}

TEST_F(RecordBitmapTest, FindRecordWalksShownBitsInBothDirections) {
  TQXLRecordBitmap b(Table);
  for (std::int32_t no : {3, 7, 8}) b.ShowRecord(Rec(no));
  struct Case {
    bool Restart, Forward;
    std::int32_t From;
    std::int32_t Expected;  // -1: nothing found
  };
  const Case cases[] = {{false, true, 3, 7}, {false, false, 3, -1}, {true, false, 0, 8}, {true, true, 50, 3},
                        {false, true, 8, -1}, {false, false, 500, 8}, {false, false, 8, 7}};
  for (const Case& c : cases) {
    TQXLPageItemID found{-5, 0};
    const bool ok = b.FindRecord(c.Restart, c.Forward, Rec(c.From), found);
    EXPECT_EQ(ok, c.Expected >= 0) << c.From;
    if (ok) {
      EXPECT_EQ(found, Rec(c.Expected)) << c.From;
    }
  }
}

TEST_F(RecordBitmapTest, ByIdentityOnAnIndexBasedBitmapEmptiesIt) {
  TQXLRecordBitmap b(Table);
  b.SetIndexBased(true);
  b.SetTableState(12);
  b.ShowRecord(IndexID(), FakeIndexPosition(4));
  b.SetActive(true);
  b.ShowRecord(Rec(2));
  EXPECT_EQ(b.Size(), 0);
  EXPECT_FALSE(b.Active());
  // Clear keeps the numbering and the state it was reset to.
  EXPECT_TRUE(b.IndexBased());
  EXPECT_EQ(b.TableState(), 12);
}

TEST_F(RecordBitmapTest, ByIndexPositionThroughTheIndex) {
  TQXLRecordBitmap b(Table);
  b.SetIndexBased(true);
  b.ShowRecord(IndexID(), FakeIndexPosition(5));
  b.ShowRecord(IndexID(), FakeIndexPosition(2));
  EXPECT_TRUE(b.IsRecordVisible(IndexID(), FakeIndexPosition(5)));
  EXPECT_FALSE(b.IsRecordVisible(IndexID(), FakeIndexPosition(40)));
  EXPECT_EQ(b.GetRecNoByIndexPos(IndexID(), FakeIndexPosition(5)), 2);
  FakeIndexPosition pos;
  b.GetIndexPosByRecNo(IndexID(), 1, pos);
  EXPECT_EQ(pos.No, 2);
  FakeIndexPosition found;
  EXPECT_TRUE(b.FindRecord(false, true, &pos, found, IndexID()));
  EXPECT_EQ(found.No, 5);
  EXPECT_TRUE(b.FindRecord(true, false, nullptr, found, IndexID()));
  EXPECT_EQ(found.No, 5);
  b.HideRecord(IndexID(), FakeIndexPosition(5));
  EXPECT_FALSE(b.FindRecord(false, true, &pos, found, IndexID()));
  EXPECT_EQ(NativeCodeOf([&] { b.ShowRecord(777, FakeIndexPosition(1)); }), 20018);
}

// Positions in a deep index number beyond 32 bits; the bitmap holds them
// without the memory of every number below.
TEST_F(RecordBitmapTest, BitNumbersBeyondThirtyTwoBitsAreHeldAndNegativeOnesRefused) {
  TQXLRecordBitmap b(Table);
  b.SetSize(10);
  b.SetAllBits();
  EXPECT_EQ(b.GetRecordCount(), 10);
  const std::int64_t Deep = (std::int64_t{1} << 31) + 12345;
  b.SetIndexBased(true);
  b.ShowRecord(IndexID(), FakeIndexPosition(Deep));
  b.ShowRecord(IndexID(), FakeIndexPosition(std::int64_t{1} << 40));
  EXPECT_EQ(b.Size(), (std::int64_t{1} << 40) + 1);
  EXPECT_EQ(b.GetRecordCount(), 12);
  EXPECT_EQ(b.GetRecNoByIndexPos(IndexID(), FakeIndexPosition(Deep)), 11);
  FakeIndexPosition pos;
  b.GetIndexPosByRecNo(IndexID(), 12, pos);
  EXPECT_EQ(pos.No, std::int64_t{1} << 40);
  EXPECT_LE(b.BlockCount(), 3u);
  EXPECT_EQ(NativeCodeOf([&] { b.ShowRecord(IndexID(), FakeIndexPosition(-1)); }), 10431);
  EXPECT_EQ(NativeCodeOf([&] { b.SetSize(-1); }), 10431);
  EXPECT_EQ(b.GetRecordCount(), 12);
}
