// The temporary page manager: pages within the memory share in memory,
// later ones in a temporary file, numbers in the file range never reused,
// and pages not in use refused.
#include "engine/storage/temporary/QXLTemporaryPageManager.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl {
namespace {

constexpr std::int64_t PageBytes = 4096;

std::int32_t AddAndCommit(TQXLTemporaryPageManager& PM, std::uint8_t Mark) {
  TQXLPage* Page = PM.AddPage(0, 12);
  const std::int32_t PageNo = Page->PageNo();
  Page->PageData()[0] = Mark;
  Page->PageData()[4095] = Mark;
  PM.PutPage(Page);
  PM.ApplyChanges(0);
  return PageNo;
}

std::uint8_t MarkRead(TQXLTemporaryPageManager& PM, std::int32_t PageNo) {
  TQXLPage Reader(&PM);
  Reader.SetPageNo(PageNo);
  EXPECT_TRUE(PM.InternalReadPage(&Reader));
  EXPECT_EQ(Reader.PageData()[0], Reader.PageData()[4095]);
  return Reader.PageData()[0];
}

TEST(TemporaryPageManager, PagesBeyondTheMemoryShareLiveInTheFile) {
  TQXLTemporaryPageManager PM(false, 10 * 2 * PageBytes);
  EXPECT_EQ(PM.MaxMemoryPageCount(), 2);
  EXPECT_EQ(PM.PageSize(), 4096);
  std::vector<std::int32_t> numbers;
  for (std::uint8_t mark = 1; mark <= 5; ++mark) numbers.push_back(AddAndCommit(PM, mark));
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  ASSERT_NE(PM.TempPageFile(), nullptr);
  for (std::int32_t p = 0; p < 5; ++p) EXPECT_EQ(MarkRead(PM, p), p + 1) << "page " << p;

  // A freed memory page is taken again only while the memory range is open;
  // file-range numbers are never given twice.
  PM.RemovePage(0, 3);
  PM.RemovePage(0, 1);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 3);
  EXPECT_EQ(AddAndCommit(PM, 6), 5);
  EXPECT_EQ(MarkRead(PM, 5), 6);
  TQXLPage Stray(&PM);
  for (std::int32_t No : {-1, 1, 3, 6, 1 << 30}) {
    Stray.SetPageNo(No);
    EXPECT_EQ(NativeCodeOf([&] { PM.InternalReadPage(&Stray); }), 10396) << No;
    EXPECT_EQ(NativeCodeOf([&] { PM.InternalWritePage(&Stray); }), 10397) << No;
  }
}

TEST(TemporaryPageManager, WithTemporaryFilesDisabledEveryPageStaysInMemory) {
  TQXLTemporaryPageManager PM(true, 0);
  for (std::uint8_t mark = 1; mark <= 4; ++mark) AddAndCommit(PM, mark);
  EXPECT_EQ(PM.TempPageFile(), nullptr);
  for (std::int32_t p = 0; p < 4; ++p) EXPECT_EQ(MarkRead(PM, p), p + 1);
  PM.RemovePage(0, 2);
  PM.ApplyChanges(0);
  EXPECT_EQ(AddAndCommit(PM, 9), 2);
}

TEST(TemporaryPageManager, TheMemoryShareFitsA32BitCount) {
  EXPECT_EQ(MaxMemoryPageCount(std::int64_t{1} << 50, 4096), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(MaxMemoryPageCount(10 * 4096 * 3 + 5, 4096), 3);
  EXPECT_EQ(MaxMemoryPageCount(-1, 4096), 0);
}

}  // namespace
}  // namespace qxl
