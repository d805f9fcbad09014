// Searches and navigation on memory tables in physical order: a filtered
// view kept right by inserts and updates, record numbers with gaps, and the
// view walked both ways through the table data's navigation slots.
#include <gtest/gtest.h>

#include "tests/engine/storage/memory/MemoryTableFixture.h"

using namespace qxl;

namespace qxl {
namespace {

class MemoryTableSearchTest : public MemoryTableFixture {
protected:
  // The dataset's layout: the record, then the bookmark and its flag.
  void SetUp() override {
    MemoryTableFixture::SetUp();
    Cursor.FBookmarkOffset = Cursor.FRecordSize;
    Cursor.FRecordBufferSize = Cursor.FRecordSize + 7;
    QXLMemoryManager().FreeAndNillMem(Cursor.FCurrentRecordBuffer);
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  }
  // Shows records with an even ID.
  void FilterEven(MemoryCursor& C) {
    C.FilterRecord = [&C](std::uint8_t* Buffer, void*) {
      std::int32_t id = -1;
      C.GetFieldData(IdField, &id, Buffer);
      return id % 2 == 0;
    };
  }
  std::vector<std::int32_t> Walk(TQXLGetRecordMode Mode) {
    std::vector<std::int32_t> ids;
    Cursor.FirstPosition = Mode == grmNext;
    Cursor.LastPosition = Mode == grmPrior;
    while (Table->GetRecordBuffer(&Cursor, Mode) == grrOK) ids.push_back(IdOf(Cursor));
    return ids;
  }
};

}  // namespace

TEST_F(MemoryTableSearchTest, InsertAndUpdateShowOrHideTheRecordInTheChangingCursorsActiveBitmap) {
  for (std::int32_t id : {1, 2, 3, 4}) Insert(id);
  FilterEven(Cursor);
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  ASSERT_EQ(Table->GetRecordCount(&Cursor), 2);
  ASSERT_TRUE(Cursor.FRecordBitmap->Active());
  const TQXLPageItemID six = Insert(6);
  const TQXLPageItemID seven = Insert(7);
  EXPECT_TRUE(Cursor.FRecordBitmap->IsRecordVisible(six));
  EXPECT_FALSE(Cursor.FRecordBitmap->IsRecordVisible(seven));
  Fetch(1);  // ID 2
  const TQXLPageItemID two = Cursor.CurrentRecordID;
  std::int32_t odd = 5;
  Cursor.SetFieldData(IdField, &odd, Cursor.FCurrentRecordBuffer);
  ASSERT_TRUE(Update(Cursor));
  EXPECT_FALSE(Cursor.FRecordBitmap->IsRecordVisible(two));
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 2);  // 4 and 6
}

TEST_F(MemoryTableSearchTest, FilteredViewWithGapsWalksBothWaysAndNumbersItsRecords) {
  for (std::int32_t id = 1; id <= 10; ++id) Insert(id);
  for (std::int32_t position : {1, 4}) {  // IDs 2 and 5
    Fetch(position);
    ASSERT_TRUE(Delete(Cursor));
  }
  EXPECT_EQ(Walk(grmNext), (std::vector<std::int32_t>{1, 3, 4, 6, 7, 8, 9, 10}));
  FilterEven(Cursor);
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  EXPECT_EQ(Walk(grmNext), (std::vector<std::int32_t>{4, 6, 8, 10}));
  EXPECT_EQ(Walk(grmPrior), (std::vector<std::int32_t>{10, 8, 6, 4}));
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 4);
  Table->SetRecNo(&Cursor, 3);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(IdOf(Cursor), 8);
  EXPECT_EQ(Table->GetRecNo(&Cursor), 3);
  Table->SetRecNo(&Cursor, 1000);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(IdOf(Cursor), 10);
}

}  // namespace qxl
