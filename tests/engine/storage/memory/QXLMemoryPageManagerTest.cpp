// The memory page manager: lowest free page numbers, block growth, pages used
// in place, pages not in use refused, and its stream form.
#include "engine/storage/memory/QXLMemoryPageManager.h"

#include <gtest/gtest.h>

#include "engine/core/streams/QXLMemoryStream.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl {
namespace {

std::int32_t AddAndCommit(TQXLMemoryPageManager& PM) {
  TQXLPage* Page = PM.AddPage(0, 12);
  const std::int32_t PageNo = Page->PageNo();
  Page->PageData()[0] = static_cast<std::uint8_t>(PageNo + 1);
  PM.PutPage(Page);
  PM.ApplyChanges(0);
  return PageNo;
}

TEST(MemoryPageManager, GeometryAndLowestFreeNumberFirst) {
  TQXLMemoryPageManager PM;
  EXPECT_EQ(PM.PageSize(), 4096);
  EXPECT_EQ(PM.PageHeaderSize(), 0);
  EXPECT_EQ(PM.PageDataSize(), 4096);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(AddAndCommit(PM), i);
  PM.RemovePage(0, 3);
  PM.RemovePage(0, 1);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 3);
  EXPECT_EQ(AddAndCommit(PM), 1);
  EXPECT_EQ(AddAndCommit(PM), 3);
  EXPECT_EQ(AddAndCommit(PM), 5);
  EXPECT_EQ(PM.LastAllocatedPageNo(), 5);
}

TEST(MemoryPageManager, FiftyOnePagesGrowTheMapTwice) {
  TQXLMemoryPageManager PM;
  AddAndCommit(PM);
  EXPECT_EQ(PM.AllocatedPageCount(), 50);
  for (int i = 1; i < 51; ++i) AddAndCommit(PM);
  EXPECT_EQ(PM.AllocatedPageCount(), 100);
  EXPECT_EQ(PM.GetPageCount(), 51);
}

TEST(MemoryPageManager, PagesAreUsedInPlaceAndUnusedPagesRefused) {
  TQXLMemoryPageManager PM;
  const std::int32_t PageNo = AddAndCommit(PM);
  TQXLPage* Page = PM.GetPage(0, PageNo, 12, true);
  EXPECT_FALSE(Page->OwnBuffer());
  EXPECT_EQ(Page->PageData()[0], PageNo + 1);
  PM.PutPage(Page);
  TQXLPage Stray(&PM);
  for (std::int32_t No : {-1, 1, 50, 1 << 30}) {
    Stray.SetPageNo(No);
    EXPECT_EQ(NativeCodeOf([&] { PM.InternalReadPage(&Stray); }), 10392) << No;
    EXPECT_EQ(NativeCodeOf([&] { PM.InternalWritePage(&Stray); }), 10393) << No;
  }
}

TEST(MemoryPageManager, EnlargedPagesAreCopiedBackOnCommit) {
  TQXLMemoryPageManager PM;
  TQXLPage* Page = PM.AddPage(0, 12);
  const std::int32_t PageNo = Page->PageNo();
  Page->EnlargePageBuffer(4096 + 10);
  ASSERT_TRUE(Page->OwnBuffer());
  Page->PageData()[4095] = 0x5A;
  PM.PutPage(Page);
  PM.ApplyChanges(0);
  TQXLPage Reader(&PM);
  Reader.SetPageNo(PageNo);
  PM.InternalReadPage(&Reader);
  EXPECT_EQ(Reader.PageData()[4095], 0x5A);
}

TEST(MemoryPageManager, StreamFormRoundTripsAndDamageIsRefused) {
  TQXLMemoryPageManager PM;
  for (int i = 0; i < 3; ++i) AddAndCommit(PM);
  PM.RemovePage(0, 1);
  PM.ApplyChanges(0);
  TQXLMemoryStream Stream;
  PM.SaveToStream(Stream);
  Stream.SetPosition(0);
  TQXLMemoryPageManager Copy;
  Copy.LoadFromStream(Stream);
  EXPECT_EQ(Copy.GetPageCount(), 2);
  EXPECT_EQ(Copy.AllocatedPageCount(), 50);
  EXPECT_FALSE(Copy.IsPageInUse(1));
  TQXLPage* Page = Copy.GetPage(0, 2, 12, true);
  EXPECT_EQ(Page->PageData()[0], 3);
  Copy.PutPage(Page);
  EXPECT_EQ(AddAndCommit(Copy), 1);

  // A count beyond what the stream holds, and a stream cut short.
  Stream.SetPosition(0);
  const std::int32_t Huge = 1 << 20;
  Stream.Write(&Huge, 4);
  Stream.SetPosition(0);
  TQXLMemoryPageManager Damaged;
  EXPECT_EQ(NativeCodeOf([&] { Damaged.LoadFromStream(Stream); }), 10375);
  TQXLMemoryStream Short;
  Short.Write(&Huge, 4);
  Short.SetPosition(0);
  EXPECT_EQ(NativeCodeOf([&] { Damaged.LoadFromStream(Short); }), 10370);
  EXPECT_EQ(Damaged.GetPageCount(), 0);
}

}  // namespace
}  // namespace qxl
