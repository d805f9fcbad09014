// Search planning: gathering a cursor's restrictions, intersecting bounds on
// one index, and choosing an index range or a full scan by the cost model.
#include <gtest/gtest.h>

#include "tests/engine/core/abstract/SearchTableFixture.h"

using namespace qxl;

namespace {

class ScanConditionsTest : public SearchTableFixture {
protected:
  void SetUp() override { CreateTable(100); }
};

struct Bound {
  TQXLSearchCondition Condition;
  std::vector<std::int32_t> Key;  // over ByAB's columns A, B
};

struct MergeCase {
  Bound C1;
  Bound C2;
  const char* Expect;  // "empty", "both", or the merged condition as "<cond> <first key> <key count>"
};

std::string Describe(const TQXLScanSearchCondition& C, std::int32_t First) {
  return std::to_string(C.Condition) + " " + std::to_string(First) + " " + std::to_string(C.KeyFieldCount);
}

}  // namespace

TEST_F(ScanConditionsTest, MergingTwoBoundsOnOneIndexFollowsTheIntersectionTable) {
  const MergeCase cases[] = {
      {{scGreaterEqual, {5}}, {scLowerEqual, {5}}, "1 5 1"},  // one equality
      {{scGreater, {5}}, {scLower, {5}}, "empty"},
      {{scLower, {5}}, {scLower, {7}}, "2 5 1"},
      {{scGreater, {5}}, {scGreater, {7}}, "3 7 1"},
      {{scEqual, {5}}, {scEqual, {5}}, "1 5 1"},
      {{scEqual, {5}}, {scEqual, {6}}, "empty"},
      {{scEqual, {5}}, {scGreater, {5, 3}}, "both"},  // not intersected: fewer equality fields
      {{scLowerEqual, {5}}, {scLowerEqual, {5, 3}}, "4 5 2"},
      {{scGreater, {5}}, {scLowerEqual, {5, 3}}, "empty"},
      {{scGreaterEqual, {5, 3}}, {scLowerEqual, {5}}, "both"},
      {{scEqual, {5, 3}}, {scLowerEqual, {5}}, "1 5 2"},
      {{scLowerEqual, {5}}, {scEqual, {5, 3}}, "1 5 2"},
      {{scLowerEqual, {7}}, {scEqual, {5}}, "1 5 1"},
      {{scGreaterEqual, {7}}, {scEqual, {5}}, "empty"},
      {{scLower, {5}}, {scGreater, {3}}, "both"},
      {{scGreaterEqual, {3}}, {scGreater, {3}}, "3 3 1"},
      {{scLowerEqual, {3}}, {scLower, {3}}, "both"},
  };
  for (const MergeCase& c : cases) {
    TQXLScanSearchConditionArray list;
    AddBound(list, "ByAB", c.C1.Condition, c.C1.Key);
    AddBound(list, "ByAB", c.C2.Condition, c.C2.Key);
    bool empty = false;
    Table->MergeScanConditions(list, empty);
    std::string got = empty ? "empty" : list.Count() == 2 ? "both" : Describe(*list.Item(0), FirstKey(*list.Item(0)));
    EXPECT_EQ(got, c.Expect) << "case " << c.C1.Condition << " " << c.C1.Key[0] << " / " << c.C2.Condition << " "
                             << c.C2.Key[0];
    if (empty) {
      EXPECT_EQ(list.Count(), 2) << "an empty range keeps the old list";
    }
  }
}

TEST_F(ScanConditionsTest, MergeKeepsOneOfIdenticalBoundsPerIndexAndAppendsExpressionsLast) {
  TestExpression filter;
  TQXLScanSearchConditionArray list;
  list.AddExpression(&filter);
  AddBound(list, "ByA", scGreater, {2});
  AddBound(list, "ByB", scLower, {9});
  AddBound(list, "ByA", scGreater, {2});
  AddBound(list, "ByB", scLower, {9});
  bool empty = true;
  Table->MergeScanConditions(list, empty);
  EXPECT_FALSE(empty);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(IndexName(list.Item(0)->IndexID), "ByA");
  EXPECT_EQ(IndexName(list.Item(1)->IndexID), "ByB");
  EXPECT_EQ(list.Item(2)->Expression, &filter);
}

TEST_F(ScanConditionsTest, GatheringTakesKeyExpressionsFiltersRangeAndDistinctBound) {
  TestExpression locate;
  TestExpression filter;
  Cursor.FSQLFilterExpression = &filter;
  Cursor.SetIndexName("ByAB");
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  Cursor.FirstPosition = true;
  std::uint8_t* start = Key("ByAB", {3});
  std::uint8_t* end = Key("ByAB", {8, 1});
  Cursor.ApplyRange(start, end, 1, 2, true, false);
  Cursor.FDistinctFieldCount = 1;
  Cursor.FDistinctRecordBuffer = Key("ByAB", {4});
  TQXLScanSearchCondition key(true);
  key.IndexID = IndexID("ByAB");
  key.Condition = scEqual;
  key.KeyRecordBuffer = Key("ByAB", {5});
  key.KeyRecordBufferSize = Cursor.FRecordBufferSize;
  key.KeyFieldCount = 1;
  TQXLScanSearchConditionArray list;
  Table->AddCursorScanConditions(&Cursor, list, &key, &locate, false);
  Cursor.FDistinctRecordBuffer = nullptr;  // the fixture owns it
  Cursor.FSQLFilterExpression = nullptr;
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(list.Item(0)->Condition, scEqual);
  EXPECT_NE(list.Item(0)->KeyRecordBuffer, key.KeyRecordBuffer) << "the key is copied";
  EXPECT_EQ(list.Item(1)->Expression, &locate);
  EXPECT_EQ(list.Item(2)->Expression, &filter);
  EXPECT_EQ(Describe(*list.Item(3), FirstKey(*list.Item(3))), "3 3 1");  // exclusive start: greater
  EXPECT_EQ(Describe(*list.Item(4), FirstKey(*list.Item(4))), "4 8 2");  // inclusive end: lower-or-equal
  // The DISTINCT bound needs a position between the ends; here the cursor is at neither.
  Cursor.FirstPosition = false;
  Cursor.LastPosition = false;
  Cursor.ResetRange();
  Cursor.FDistinctRecordBuffer = Key("ByAB", {4});
  TQXLScanSearchConditionArray distinct;
  Table->AddCursorScanConditions(&Cursor, distinct, nullptr, nullptr, false);
  ASSERT_EQ(distinct.Count(), 1);
  EXPECT_EQ(Describe(*distinct.Item(0), FirstKey(*distinct.Item(0))), "2 4 1");  // backward: lower
  Cursor.FDistinctFieldCount = 3;  // ByAB has two columns
  TQXLScanSearchConditionArray tooMany;
  EXPECT_EQ(NativeCodeOf([&] { Table->AddCursorScanConditions(&Cursor, tooMany, nullptr, nullptr, true); }), 10388);
  Cursor.FDistinctRecordBuffer = nullptr;
  Cursor.FDistinctFieldCount = 0;
}

TEST_F(ScanConditionsTest, KeyConditionWithoutIndexRaises20258AndFindKeyKeepsThePosition) {
  TQXLScanSearchCondition key(true);
  key.Condition = scEqual;
  TQXLScanSearchConditionArray list;
  EXPECT_EQ(NativeCodeOf([&] { Table->AddCursorScanConditions(&Cursor, list, &key, nullptr, true); }), 20258);
  Cursor.CurrentRecordID = {7, 0};
  Cursor.FirstPosition = false;
  EXPECT_EQ(NativeCodeOf([&] { Table->FindKey(&Cursor, scEqual); }), 20258);
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{7, 0}));
}

namespace {

// One planning case: bounds on indexes (or an expression item, index ""),
// range sizes by index, the cursor's index, the page size.
struct ChooseCase {
  const char* Name;
  std::vector<std::pair<std::string, TQXLSearchCondition>> Items;
  std::map<std::string, std::int64_t> Counts;
  std::string CursorIndex;
  bool GoForward;
  bool FilterCallback;
  const char* Expect;  // "full", or the chosen items' numbers "start end"
};

}  // namespace

// Sizes: P = 11 bytes a page, an entry of a one-column index E = 11 (so that
// a range of n records costs n), a record D = 13; 100 records; the cursor on
// record 50, so a full scan reads 49 records: 49 in an index's order, 57.9 in
// physical order.
TEST_F(ScanConditionsTest, ChoosingTakesTheObviousOrCheapestRangeOrTheFullScan) {
  Pages.DataSize = 11;
  const ChooseCase cases[] = {
      {"cheaper than the table", {{"ByA", scGreater}}, {{"ByA", 50}}, "", true, false, "0 -1"},
      {"cost equal to the record count is not taken", {{"ByA", scGreater}}, {{"ByA", 100}}, "", true, false, "full"},
      // With two bounds the one not walked is tested on each record read: 20 x (1 + 13/11) = 43.6.
      {"cheapest of two", {{"ByA", scGreater}, {"ByB", scLower}}, {{"ByA", 60}, {"ByB", 20}}, "", true, false, "1 -1"},
      {"equal costs keep the first", {{"ByA", scGreater}, {"ByB", scLower}}, {{"ByA", 20}, {"ByB", 20}}, "", true,
       false, "0 -1"},
      {"unique one-column equality without costs", {{"ByB", scLower}, {"UA", scEqual}}, {{"ByB", 1}, {"UA", 100}}, "",
       true, false, "1 -1"},
      {"a lone bound on the cursor's index", {{"ByA", scGreater}}, {{"ByA", 100}}, "ByA", true, false, "0 -1"},
      {"start and end in scan order", {{"ByA", scLower}, {"ByA", scGreater}}, {{"ByA", 20}}, "", true, false, "1 0"},
      {"backward starts at the upper bound", {{"ByA", scLower}, {"ByA", scGreater}}, {{"ByA", 20}}, "", false, false,
       "0 1"},
      {"records to read make the range dearer", {{"ByA", scGreater}, {"", scNone}}, {{"ByA", 50}}, "", true, false,
       "full"},
      {"so does a filter callback", {{"ByA", scGreater}}, {{"ByA", 50}}, "", true, true, "full"},
      // In another order each record is read and placed: 20 x (1 + 13/11 + 1) = 63.6.
      {"a range in another order loses to the full scan", {{"ByA", scGreater}}, {{"ByA", 20}}, "ByB", true, false,
       "full"},
      {"a narrow range in another order wins", {{"ByA", scGreater}}, {{"ByA", 10}}, "ByB", true, false, "0 -1"},
      // The cursor's own range reads no more than any other walk in its order.
      {"start and end on the cursor's index whatever their figures", {{"ByA", scLower}, {"ByA", scGreater}},
       {{"ByA", 100}}, "ByA", true, false, "1 0"},
      {"the same backward", {{"ByA", scLower}, {"ByA", scGreater}}, {{"ByA", 100}}, "ByA", false, false, "0 1"},
      {"beside a bound on another index the figures decide", {{"ByA", scLower}, {"ByA", scGreater}, {"ByB", scLower}},
       {{"ByA", 100}, {"ByB", 100}}, "ByA", true, false, "full"},
  };
  TestExpression pending;
  pending.AddNode(nullptr);  // not empty: records must be read to test it
  for (const ChooseCase& c : cases) {
    Script.Counts = c.Counts;
    TQXLScanSearchConditionArray list;
    for (const auto& [index, condition] : c.Items)
      if (index.empty())
        list.AddExpression(&pending);
      else
        AddBound(list, index, condition, {condition == scLower ? 60 : 40});
    TQXLFilterRecordEvent filter;
    if (c.FilterCallback) filter = [](std::uint8_t*, void*) { return true; };
    std::int32_t start = -2;
    std::int32_t end = -2;
    Table->ChooseScanConditions(0, list, c.CursorIndex.empty() ? -1 : IndexID(c.CursorIndex), {50, 0}, false,
                                c.GoForward, &filter, start, end);
    const std::string got = start == -1 ? "full" : std::to_string(start) + " " + std::to_string(end);
    EXPECT_EQ(got, c.Expect) << c.Name;
  }
}

TEST_F(ScanConditionsTest, WithoutPageSizeOrWithUnknownIndexNothingIsChosenBlindly) {
  Pages.DataSize = 0;
  Script.Counts = {{"ByA", 1}};
  TQXLScanSearchConditionArray list;
  AddBound(list, "ByA", scGreater, {40});
  AddBound(list, "ByB", scGreater, {40});
  std::int32_t start = 0;
  std::int32_t end = 0;
  Table->ChooseScanConditions(0, list, -1, {0, 0}, false, true, nullptr, start, end);
  EXPECT_EQ(start, -1);
  Pages.DataSize = 11;
  list.Item(0)->IndexID = 4242;
  EXPECT_EQ(NativeCodeOf([&] { Table->ChooseScanConditions(0, list, -1, {0, 0}, false, true, nullptr, start, end); }),
            20058);
}

// A walk of the whole table reads from where it starts to the end it goes
// to: from the cursor's record (here 50 of 100, at 13/11 a record in
// physical order) onwards or backwards, or the whole table when the search
// restarts at an end. A lone range on ByA of n records costs n.
TEST_F(ScanConditionsTest, FullScanIsPricedByTheRecordsItsWalkWouldRead) {
  Pages.DataSize = 11;
  struct Case {
    bool Restart;
    bool GoForward;
    std::int32_t Current;
    std::int64_t RangeCount;
    const char* Expect;  // "range" or "full"
  };
  const Case cases[] = {
      {false, true, 50, 50, "range"},  // 49 after record 50: 57.9
      {false, true, 50, 60, "full"},
      {false, false, 50, 58, "range"},  // 50 before it: 59.1
      {false, false, 50, 60, "full"},
      {true, true, 50, 60, "range"},  // all 100: 118.2
      {true, true, 99, 99, "range"},
      {true, false, 0, 99, "range"},
      {false, true, 500, 99, "range"},  // a record the table cannot place
  };
  for (const Case& c : cases) {
    Script.Counts = {{"ByA", c.RangeCount}};
    TQXLScanSearchConditionArray list;
    AddBound(list, "ByA", scGreater, {40});
    std::int32_t start = -2;
    std::int32_t end = -2;
    Table->ChooseScanConditions(0, list, -1, {c.Current, 0}, c.Restart, c.GoForward, nullptr, start, end);
    EXPECT_EQ(start == -1 ? "full" : "range", std::string(c.Expect))
        << "restart " << c.Restart << ", forward " << c.GoForward << ", record " << c.Current << ", range "
        << c.RangeCount;
  }
}
