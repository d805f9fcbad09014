// Searches that walk index ranges: a cursor in index order over its own
// index's range, another index's range brought into the cursor's order, an
// index range in physical order, FindKey, and DISTINCT; with the bitmap that
// such walks fill for counts and record numbers.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/core/abstract/SearchTableFixture.h"

using namespace qxl;

namespace {

// Field A of the records in Buffer, and an expression that holds when A
// compares with Value as Condition says, and lays that bound on ByA for the
// planner.
std::int32_t AOf(const TQXLCursor& Cursor, const std::uint8_t* Buffer) {
  std::int32_t v = -1;
  Cursor.GetFieldData(0, &v, Buffer);
  return v;
}

class AIs : public TestExpression {
public:
  AIs(const TQXLCursor& Cursor, TQXLSearchCondition Condition, std::int32_t Value)
      : Condition(Condition), Value(Value), FCursor(Cursor) {
    AddNode(nullptr);
  }
  bool GetResult() override {
    ++Tests;
    const std::int32_t a = AOf(FCursor, BoundBuffer);
    return Condition == scEqual ? a == Value : a >= Value;
  }
  const TQXLSearchCondition Condition;  // scEqual or scGreaterEqual
  const std::int32_t Value;
  std::int32_t Tests = 0;

private:
  const TQXLCursor& FCursor;
};

class IndexSearchTest : public SearchTableFixture {
protected:
  void SetUp() override {
    CreateTable(0);
    Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    Cursor.FirstPosition = true;
  }
  // Records 0..9 with A = the record number and B = 9 - A: index ByB
  // orders them backwards.
  void InsertCountdown() {
    for (std::int32_t a = 0; a < 10; ++a) InsertAB(a, 9 - a);
  }
  void InsertAB(std::int32_t A, std::int32_t B) {
    const std::int32_t c = 0;
    Insert({&A, &B, &c});
  }
  // The A values of the view from one end to the other.
  std::vector<std::int32_t> Walk(TQXLGetRecordMode Mode) {
    std::vector<std::int32_t> seen;
    Cursor.FirstPosition = Mode == grmNext;
    Cursor.LastPosition = Mode == grmPrior;
    while (Table->GetRecordBuffer(&Cursor, Mode) == grrOK) {
      seen.push_back(CurrentA());
      if (seen.size() > 20) break;
    }
    return seen;
  }
  std::int32_t CurrentA() const { return AOf(Cursor, Cursor.FCurrentRecordBuffer); }
  // A bound on ByA with this expression's nodes, as an expression's planner
  // would lay it down.
  void LayBoundOnA(AIs& Expression) {
    Expression.OnCreateIndexScanConditions = [this, &Expression](TQXLIndexDefs*, TQXLScanSearchConditionArray* List,
                                                                 std::int32_t) {
      AddBound(*List, "ByA", Expression.Condition, {Expression.Value});
      List->Item(List->Count() - 1)->CreatedFromExpression = true;
    };
  }
};

}  // namespace

TEST_F(IndexSearchTest, RangeOnTheCursorsIndexIsWalkedCountedAndNumberedInIndexOrder) {
  InsertCountdown();
  Pages.DataSize = 11;
  Script.Counts = {{"ByB", 3}};
  Cursor.SetIndexName("ByB");
  Cursor.ApplyRange(Key("ByB", {3}), Key("ByB", {6}), 1, 1, false, true);  // 3 <= B < 6
  const std::vector<std::int32_t> forward{6, 5, 4};
  EXPECT_EQ(Walk(grmNext), forward);
  EXPECT_EQ(Walk(grmPrior), (std::vector<std::int32_t>{4, 5, 6}));
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 3);
  ASSERT_TRUE(Cursor.FRecordBitmap->Active());
  EXPECT_TRUE(Cursor.FRecordBitmap->IndexBased());
  EXPECT_EQ(Walk(grmNext), forward) << "the same view read from the bitmap";
  Table->SetRecNo(&Cursor, 2);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(CurrentA(), 5);
  EXPECT_EQ(Table->GetRecNo(&Cursor), 2);
}

TEST_F(IndexSearchTest, SearchThroughAnotherIndexFindsTheNearestRecordInTheCursorsOrder) {
  InsertCountdown();
  Pages.DataSize = 11;
  Script.Counts = {{"ByA", 2}};
  Cursor.SetIndexName("ByB");
  Cursor.FirstPosition = false;
  Cursor.CurrentRecordID = {0, 0};
  AIs fromFive(Cursor, scGreaterEqual, 5);
  LayBoundOnA(fromFive);
  ASSERT_TRUE(Table->Locate(&Cursor, &fromFive));
  EXPECT_EQ(Script.Walks["ByA"], 1) << "the range of ByA was walked";
  EXPECT_EQ(CurrentA(), 9) << "first in ByB's order, not in ByA's";
  // The same view stepped from record to record without a bitmap, then with one.
  Cursor.FSQLFilterExpression = &fromFive;
  std::unique_ptr<TQXLRecordBitmap> bitmap = std::move(Cursor.FRecordBitmap);
  const std::vector<std::int32_t> expected{9, 8, 7, 6, 5};
  EXPECT_EQ(Walk(grmNext), expected);
  EXPECT_EQ(Walk(grmPrior), (std::vector<std::int32_t>{5, 6, 7, 8, 9}));
  Cursor.FRecordBitmap = std::move(bitmap);
  EXPECT_EQ(Walk(grmNext), expected);
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 5);
  Cursor.FSQLFilterExpression = nullptr;
}

// Stepping through another index starts from the current record's place in
// the cursor's index; a record that cannot be read there, or placed, or is
// placed wrongly, stops the step with its code and the cursor stays put.
TEST_F(IndexSearchTest, SteppingThroughAnotherIndexFromARecordItCannotPlaceRaises) {
  InsertCountdown();
  Pages.DataSize = 110;  // large pages: the range of ByA beats reading the rest of ByB
  Script.Counts = {{"ByA", 2}};
  Cursor.SetIndexName("ByB");
  AIs fromFive(Cursor, scGreaterEqual, 5);
  LayBoundOnA(fromFive);
  Cursor.FSQLFilterExpression = &fromFive;
  Cursor.FRecordBitmap.reset();  // every step searches
  Cursor.CurrentRecordID = {9, 0};
  TQXLCursor* c = &Cursor;
  ASSERT_TRUE(Table->DeleteRecord(c));
  const struct {
    std::int32_t Current;
    const char* Placing;
    std::int32_t Code;
  } cases[] = {{9, "", 10387}, {6, "lose", 10386}, {6, "misplace", 10414}};
  for (const auto& k : cases) {
    Script.Placing = k.Placing;
    Script.Walks.clear();
    Cursor.FirstPosition = false;
    Cursor.CurrentRecordID = {k.Current, 0};
    EXPECT_EQ(NativeCodeOf([&] { Table->GetRecordBuffer(&Cursor, grmNext); }), k.Code) << k.Placing;
    EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{k.Current, 0}));
    EXPECT_EQ(Script.Walks["ByA"], 0) << "nothing was walked";
  }
  Script.Placing = "";
  Cursor.CurrentRecordID = {6, 0};
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  EXPECT_EQ(CurrentA(), 5);
  Cursor.FSQLFilterExpression = nullptr;
}

TEST_F(IndexSearchTest, RestartedRangeWalkInPhysicalOrderLeavesAnActiveBitmapThatCountsWithoutTesting) {
  InsertCountdown();
  Pages.DataSize = 11;
  Script.Counts = {{"ByA", 2}};
  AIs fromSix(Cursor, scGreaterEqual, 6);
  LayBoundOnA(fromSix);
  Cursor.FSQLFilterExpression = &fromSix;
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  EXPECT_EQ(CurrentA(), 6);
  EXPECT_EQ(Script.Walks["ByA"], 1);
  ASSERT_TRUE(Cursor.FRecordBitmap->Active());
  const std::int32_t tests = fromSix.Tests;
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 4);
  EXPECT_EQ(fromSix.Tests, tests) << "the count needed no record";
  Cursor.FSQLFilterExpression = nullptr;
}

// A view of one key of a one-column index in physical order, stepped on
// from a record whose key has since changed: the walk cannot go on from that
// record's place in the index, which lies outside the view's range.
TEST_F(IndexSearchTest, EqualityViewInPhysicalOrderStepsOnFromARecordThatLeftIt) {
  for (std::int32_t a : {5, 7, 5, 5}) InsertAB(a, 0);
  Pages.DataSize = 11;
  Script.Counts = {{"ByA", 1}};
  AIs isFive(Cursor, scEqual, 5);
  LayBoundOnA(isFive);
  Cursor.FSQLFilterExpression = &isFive;
  Cursor.FirstPosition = false;
  Cursor.CurrentRecordID = {0, 0};
  const std::int32_t seven = 7;
  std::memcpy(Table->Records()->Records[0].data() + Cursor.FFieldDefs->GetDef(0)->MemoryOffset, &seven, 4);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{2, 0}));
  EXPECT_EQ(Script.Walks["ByA"], 1) << "through the index";
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{3, 0}));
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrEOF);
  Cursor.FSQLFilterExpression = nullptr;
}

TEST_F(IndexSearchTest, FindKeyPositionsOnTheFirstKeyAtOrAfterAndLeavesTheBufferAlone) {
  InsertCountdown();
  Cursor.SetIndexName("ByB");
  Cursor.FKeyBuffer = Key("ByB", {4});
  Cursor.FKeyFieldCount = 1;
  const std::int32_t shown = 42;
  Cursor.SetFieldData(0, &shown, Cursor.FCurrentRecordBuffer);
  ASSERT_TRUE(Table->FindKey(&Cursor, scGreaterEqual));
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{5, 0}));
  EXPECT_FALSE(Cursor.FirstPosition);
  EXPECT_EQ(CurrentA(), shown) << "the record is not read";
  Cursor.FKeyBuffer = Key("ByB", {40});
  EXPECT_FALSE(Table->FindKey(&Cursor, scGreaterEqual));
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{5, 0}));
  Cursor.FKeyBuffer = nullptr;
}

// An equality over the first column and a strict bound over two columns on
// the same index cannot be intersected; the walk of the pair must begin at
// the equality, since the bound alone reaches back to the index's start.
TEST_F(IndexSearchTest, EqualityPairedWithABoundOverMoreColumnsIsWalkedFromTheEquality) {
  for (auto [a, b] : {std::pair{4, 1}, {5, 1}, {5, 2}, {5, 4}, {6, 0}}) InsertAB(a, b);
  Pages.DataSize = 11;
  Script.Counts = {{"ByAB", 1}};
  Cursor.SetIndexName("ByAB");
  Cursor.ApplyRange(nullptr, Key("ByAB", {5, 3}), 0, 2, false, true);  // (A, B) < (5, 3)
  Cursor.FKeyBuffer = Key("ByAB", {5});
  Cursor.FKeyFieldCount = 1;
  ASSERT_TRUE(Table->FindKey(&Cursor, scEqual));
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{1, 0}));  // (5, 1)
  EXPECT_EQ(Script.Walks["ByAB"], 1);
  Cursor.FKeyBuffer = nullptr;
}

TEST_F(IndexSearchTest, DistinctCursorStepsOverRecordsRepeatingItsKey) {
  for (auto [a, b] : {std::pair{1, 1}, {1, 2}, {2, 0}, {2, 5}, {3, 3}}) InsertAB(a, b);
  Cursor.SetIndexName("ByAB");
  Cursor.FDistinctFieldCount = 1;
  EXPECT_EQ(Walk(grmNext), (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 3);
  EXPECT_EQ(Walk(grmNext), (std::vector<std::int32_t>{1, 2, 3})) << "through the bitmap";
  Cursor.FDistinctFieldCount = 0;
}
