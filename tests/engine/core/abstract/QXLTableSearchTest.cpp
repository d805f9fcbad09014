// Record search and navigation in physical order on the fake engine: the
// restricted view through the filter callback and expressions, the record
// bitmap with its counts and record numbers, Locate, and the cursor's
// position after searches that find nothing or fail.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/core/abstract/SearchTableFixture.h"

using namespace qxl;

namespace {

// True when field A of the bound record equals Value.
class AEquals : public TestExpression {
public:
  explicit AEquals(const TQXLCursor& Cursor, std::int32_t Value) : FCursor(Cursor), FValue(Value) {
    AddNode(nullptr);
  }
  bool GetResult() override { return A(FCursor, BoundBuffer) == FValue; }
  static std::int32_t A(const TQXLCursor& Cursor, const std::uint8_t* Buffer) {
    std::int32_t v = -1;
    Cursor.GetFieldData(0, &v, Buffer);
    return v;
  }

private:
  const TQXLCursor& FCursor;
  std::int32_t FValue;
};

class TableSearchTest : public SearchTableFixture {
protected:
  void SetUp() override {
    CreateTable(10);  // records 0..9 with A = B = C = the record number
    // The dataset's layout: record, then the 6-byte bookmark and its flag.
    Cursor.FBookmarkOffset = Cursor.FRecordSize;
    Cursor.FRecordBufferSize = Cursor.FRecordSize + 7;
    Cursor.FreeRecordBuffer(Cursor.FCurrentRecordBuffer);
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    Cursor.FirstPosition = true;
  }
  // Shows records whose A is even; remembers the bookmarks it was handed.
  void FilterEven() {
    Cursor.Dataset = &Cursor;
    Cursor.FilterRecord = [this](std::uint8_t* Buffer, void* Dataset) {
      EXPECT_EQ(Dataset, &Cursor);
      TQXLPageItemID bookmark{};
      std::memcpy(&bookmark, Buffer + Cursor.FBookmarkOffset, 6);
      Bookmarks.push_back(bookmark.PageNo);
      return AEquals::A(Cursor, Buffer) % 2 == 0;
    };
  }
  std::int32_t Current() const { return Cursor.CurrentRecordID.PageNo; }
  std::int32_t CurrentA() const { return AEquals::A(Cursor, Cursor.FCurrentRecordBuffer); }

  std::vector<std::int32_t> Bookmarks;
};

}  // namespace

TEST_F(TableSearchTest, RebuildingTheBitmapOfAViewWithNothingToTestShowsEveryRecord) {
  Cursor.CurrentRecordID = {3, 0};
  TQXLCursor* c = &Cursor;
  ASSERT_TRUE(Table->DeleteRecord(c));
  Cursor.CurrentRecordID = {5, 0};
  Cursor.FirstPosition = false;
  std::uint8_t* shown = Cursor.FCurrentRecordBuffer;
  Table->RebuildRecordBitmap(&Cursor);
  const TQXLRecordBitmap& bitmap = *Cursor.FRecordBitmap;
  EXPECT_TRUE(bitmap.Active());
  EXPECT_EQ(bitmap.GetRecordCount(), 9);
  EXPECT_FALSE(bitmap.IsRecordVisible({3, 0}));
  EXPECT_TRUE(bitmap.IsRecordVisible({9, 0}));
  EXPECT_EQ(Cursor.FCurrentRecordBuffer, shown);
  EXPECT_EQ(Current(), 5);
  EXPECT_FALSE(Cursor.FirstPosition);
}

TEST_F(TableSearchTest, FilterCallbackViewStepsCountsAndNumbersOnlyShownRecords) {
  FilterEven();
  std::vector<std::int32_t> forward;
  while (Table->GetRecordBuffer(&Cursor, grmNext) == grrOK) forward.push_back(CurrentA());
  EXPECT_EQ(forward, (std::vector<std::int32_t>{0, 2, 4, 6, 8}));
  EXPECT_EQ(Current(), 8) << "grrEOF keeps the last visible record";
  EXPECT_NE(std::find(Bookmarks.begin(), Bookmarks.end(), 7), Bookmarks.end()) << "the callback gets the bookmark";
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmPrior), grrOK);
  EXPECT_EQ(Current(), 6);
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 5);
  EXPECT_TRUE(Cursor.FRecordBitmap->Active());
  EXPECT_EQ(Table->GetRecNo(&Cursor), 4);
  Table->SetRecNo(&Cursor, 1000);
  EXPECT_EQ(Current(), 8);
  Table->SetRecNo(&Cursor, 2);
  EXPECT_EQ(Current(), 2);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmPrior), grrOK);
  EXPECT_EQ(Current(), 0);
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmPrior), grrBOF);
  EXPECT_EQ(Current(), 0);
  Cursor.FirstPosition = true;
  EXPECT_EQ(Table->GetRecNo(&Cursor), -1);
}

TEST_F(TableSearchTest, EndsOfARestrictedViewStayEnds) {
  FilterEven();
  Cursor.FirstPosition = false;
  Cursor.LastPosition = true;
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrEOF);
  EXPECT_TRUE(Cursor.LastPosition);
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmPrior), grrOK);
  EXPECT_EQ(CurrentA(), 8);
  Cursor.FirstPosition = true;
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmPrior), grrBOF);
}

TEST_F(TableSearchTest, CurrentRecordThatNoLongerPassesTheFilterIsAnError) {
  FilterEven();
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  ASSERT_EQ(Current(), 2);
  std::int32_t odd = 3;
  std::memcpy(Table->Records()->Records[2].data() + Cursor.FFieldDefs->GetDef(0)->MemoryOffset, &odd, 4);
  EXPECT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrError);
  EXPECT_EQ(Current(), 2);
}

TEST_F(TableSearchTest, LocateFindsTheFirstMatchWhereverTheCursorStandsAndElseStaysPut) {
  Cursor.CurrentRecordID = {8, 0};
  Cursor.FirstPosition = false;
  AEquals seven(Cursor, 7);
  EXPECT_TRUE(Table->Locate(&Cursor, &seven));
  EXPECT_EQ(Current(), 7);
  EXPECT_EQ(CurrentA(), 7) << "Locate loads the record";
  AEquals none(Cursor, 70);
  Cursor.CurrentRecordID = {2, 0};
  EXPECT_FALSE(Table->Locate(&Cursor, &none));
  EXPECT_EQ(Current(), 2);
  EXPECT_FALSE(Cursor.FirstPosition);
  EXPECT_EQ(NativeCodeOf([&] { Table->Locate(&Cursor, nullptr); }), 10272);
}

TEST_F(TableSearchTest, ASearchThatFailsMidwayLeavesTheCursorWhereItWas) {
  Cursor.CurrentRecordID = {4, 0};
  Cursor.FirstPosition = false;
  Cursor.FilterRecord = [](std::uint8_t*, void*) -> bool { throw EQXLException(30110, "Value is Null"); };
  AEquals seven(Cursor, 7);
  EXPECT_EQ(NativeCodeOf([&] { Table->Locate(&Cursor, &seven); }), 30110);
  EXPECT_EQ(Current(), 4);
  EXPECT_FALSE(Cursor.FirstPosition);
  EXPECT_FALSE(Cursor.LastPosition);
}

TEST_F(TableSearchTest, BadSearchInputRaisesItsCodes) {
  TQXLScanSearchConditionArray none;
  TQXLRecordSearch search;
  search.Conditions = &none;
  search.ScanConditionNo = 3;
  EXPECT_EQ(NativeCodeOf([&] { Table->FindRecordByScanConditions(search); }), 10382);
  TQXLNavigationInfo nav;
  EXPECT_EQ(NativeCodeOf([&] { Table->ReadRecordBuffer(0, nav, nullptr, 0); }), 10016);
  TQXLScanSearchCondition beyond(true);
  beyond.IndexID = IndexID("ByA");
  beyond.Condition = scEqual;
  beyond.KeyFieldCount = 2;  // ByA has one column
  beyond.KeyRecordBuffer = Key("ByA", {1});
  beyond.KeyRecordBufferSize = Cursor.FRecordBufferSize;
  TQXLScanSearchConditionArray list;
  EXPECT_EQ(NativeCodeOf([&] { Table->AddCursorScanConditions(&Cursor, list, &beyond, nullptr, true); }), 10388);
}
