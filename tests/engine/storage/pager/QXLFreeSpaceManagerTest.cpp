#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "engine/storage/pager/QXLFreeSpaceManager.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

// The space map over an in-memory file of whole pages.
class TFakeSpaceHost : public TQXLPageManager, public TQXLFreeSpaceHost {
public:
  TFakeSpaceHost(std::uint16_t PageSize, std::uint16_t Extent) {
    FPageSize = PageSize;
    FPageHeaderSize = QXLDiskPageHeaderSize;
    FPageDataSize = PageSize - QXLDiskPageHeaderSize;
    std::memset(&Header, 0, sizeof Header);
    Header.PageSize = PageSize;
    Header.PageCountInExtent = Extent;
    Header.LastUsedPageNo = -1;
  }

  TQXLPageManager& SpaceMapPageManager() override { return *this; }
  TQXLDBHeader& HeaderInMemory() override { return Header; }
  bool LockDBHeader() override { return ++Locks > 0; }
  bool UnlockDBHeader() override { return --Locks >= 0; }
  void ReadDBHeader() override { Header = Stored; }
  void WriteDBHeader(bool) override { Stored = Header; }
  void ExtendFile(std::int32_t PageCount) override {
    File.resize(File.size() + static_cast<std::size_t>(PageCount) * FPageSize, 0);
    Header.TotalPageCount += PageCount;
  }
  void TruncateFile(std::int32_t PageCount) override {
    File.resize(File.size() - static_cast<std::size_t>(PageCount) * FPageSize);
    Header.TotalPageCount -= PageCount;
    // A process that dies right after this write leaves this header behind.
    EXPECT_LT(int(Header.LastUsedPageNo), int(Header.TotalPageCount)) << "stored header names a page beyond the file";
    Stored = Header;
  }

  void InternalAddPage(TQXLPage*) override {}
  void InternalRemovePage(std::int32_t) override {}
  bool InternalReadPage(TQXLPage* Page) override {
    const std::size_t Pos = static_cast<std::size_t>(Page->PageNo()) * FPageSize;
    if (Pos + FPageSize > File.size()) return true;  // past the end: nothing read
    std::memcpy(Page->PageBuffer(), File.data() + Pos, FPageSize);
    return true;
  }
  void InternalWritePage(TQXLPage* Page) override {
    const std::size_t Pos = static_cast<std::size_t>(Page->PageNo()) * FPageSize;
    ASSERT_LE(Pos + FPageSize, File.size()) << "write past the end, page " << Page->PageNo();
    std::memcpy(File.data() + Pos, Page->PageBuffer(), FPageSize);
  }

  const std::uint8_t* Data(std::int32_t PageNo) const {
    return File.data() + static_cast<std::size_t>(PageNo) * FPageSize + QXLDiskPageHeaderSize;
  }
  std::uint16_t Type(std::int32_t PageNo) const {
    std::uint16_t T;
    std::memcpy(&T, Data(PageNo) - QXLDiskPageHeaderSize + QXLPageHeaderTypeOffset, 2);
    return T;
  }

  TQXLDBHeader Header{}, Stored{};
  std::vector<std::uint8_t> File;
  int Locks = 0;
};

TEST(FreeSpaceTest, WorkedExampleOfTheFirstPagesAndGrowth) {
  TFakeSpaceHost Host(4096, 8);
  Host.Stored = Host.Header;
  TQXLDatabaseFreeSpaceManager FSM(Host);
  EXPECT_EQ(FSM.GetPage(), 2);
  EXPECT_EQ(int(Host.Stored.TotalPageCount), 6);
  EXPECT_EQ(int(Host.Stored.LastUsedPageNo), 2);
  EXPECT_EQ(Host.File.size(), 6u * 4096);
  EXPECT_EQ(Host.Type(0), ptPFS);
  EXPECT_EQ(Host.Type(1), ptEAM);
  EXPECT_EQ(Host.Data(0)[0], 0x07);  // pages 0, 1 and 2 used
  EXPECT_EQ(Host.Data(1)[0], 0x01);  // extent 0 has free pages
  EXPECT_EQ(Host.Locks, 0);

  for (int Expected : {3, 4, 5}) EXPECT_EQ(FSM.GetPage(), Expected);
  EXPECT_EQ(int(Host.Stored.TotalPageCount), 6);
  EXPECT_EQ(FSM.GetPage(), 6);
  EXPECT_EQ(int(Host.Stored.TotalPageCount), 14);

  std::vector<std::int32_t> Totals{14};
  for (std::int32_t Expected = 7; Totals.back() < 136; ++Expected) {
    ASSERT_EQ(FSM.GetPage(), Expected);
    if (Host.Stored.TotalPageCount != Totals.back()) Totals.push_back(int(Host.Stored.TotalPageCount));
  }
  EXPECT_EQ(Totals, (std::vector<std::int32_t>{14, 22, 30, 38, 46, 54, 62, 70, 78, 86, 94, 103, 113, 124, 136}));
  // Extent 0 is full now.
  EXPECT_EQ(Host.Data(1)[0] & 3, 3);
}

TEST(FreeSpaceTest, ReleaseShrinksTheFileInWholeSteps) {
  TFakeSpaceHost Host(4096, 8);
  Host.Stored = Host.Header;
  TQXLDatabaseFreeSpaceManager FSM(Host);
  while (Host.Stored.TotalPageCount < 196) FSM.GetPage();
  while (Host.Stored.LastUsedPageNo < 195) FSM.GetPage();
  Host.ExtendFile(4);  // total 200
  Host.Stored = Host.Header;
  for (int Expected = 196; Expected < 200; ++Expected) ASSERT_EQ(FSM.GetPage(), Expected);
  ASSERT_EQ(int(Host.Stored.TotalPageCount), 200);

  for (int p = 151; p < 199; ++p) FSM.FreePage(p);
  EXPECT_EQ(int(Host.Stored.TotalPageCount), 200);
  FSM.FreePage(199);
  EXPECT_EQ(int(Host.Stored.LastUsedPageNo), 150);
  EXPECT_EQ(int(Host.Stored.TotalPageCount), 160);
  EXPECT_EQ(Host.File.size(), 160u * 4096);

  // The released pages come back lowest first.
  FSM.FreePage(40);
  EXPECT_EQ(FSM.GetPage(), 40);
  EXPECT_EQ(FSM.GetPage(), 151);
}

TEST(FreeSpaceTest, ExtentWhosePagesAreAllFreeKeepsValueOne) {
  TFakeSpaceHost Host(4096, 8);
  Host.Stored = Host.Header;
  TQXLDatabaseFreeSpaceManager FSM(Host);
  while (FSM.GetPage() < 20) {
  }
  EXPECT_EQ((Host.Data(1)[0] >> 2) & 3, 3);  // extent 1: pages 8 to 15 all used
  for (int p = 8; p < 16; ++p) FSM.FreePage(p);
  EXPECT_EQ((Host.Data(1)[0] >> 2) & 3, 1);
  EXPECT_EQ(Host.Data(0)[1], 0x00);
}

TEST(FreeSpaceTest, ErrorsOfTheMap) {
  TFakeSpaceHost Host(4096, 8);
  Host.Stored = Host.Header;
  TQXLDatabaseFreeSpaceManager FSM(Host);
  for (int p : {0, 1, 32448, 4 * 32448 + 1}) {
    EXPECT_TRUE(FSM.IsSystemPage(p)) << p;
    EXPECT_EQ(NativeCodeOf([&] { FSM.CheckPageNoForSystemPages(p); }), 30434) << p;
  }
  for (int p : {2, 32449}) EXPECT_EQ(NativeCodeOf([&] { FSM.CheckPageNoForSystemPages(p); }), 0) << p;

  FSM.GetPage();
  FSM.GetPage();
  EXPECT_EQ(NativeCodeOf([&] { FSM.FreePage(4); }), 30427);
  EXPECT_EQ(NativeCodeOf([&] { FSM.FreePage(6); }), 30430);
  EXPECT_EQ(NativeCodeOf([&] { FSM.FreePage(1); }), 30434);
  EXPECT_EQ(Host.Locks, 0);

  // A damaged map page is refused by its type.
  Host.File[1 * 4096 + QXLPageHeaderTypeOffset] = ptTableRecord;
  EXPECT_EQ(NativeCodeOf([&] { FSM.FreePage(3); }), 30428);
  Host.File[0 * 4096 + QXLPageHeaderTypeOffset] = 40;  // not a known type
  EXPECT_EQ(NativeCodeOf([&] { FSM.FreePage(3); }), 30382);
  EXPECT_EQ(Host.Locks, 0);
}

// With 48-byte pages one PFS page covers 64 pages and one EAM page 256, so the
// space-map boundaries are crossed quickly.
class FreeSpaceModelTest : public ::testing::TestWithParam<int> {};

TEST_P(FreeSpaceModelTest, RandomAllocationAndReleaseAgreeWithAModel) {
  const int Extent = GetParam();
  TFakeSpaceHost Host(48, static_cast<std::uint16_t>(Extent));
  Host.Stored = Host.Header;
  TQXLDatabaseFreeSpaceManager FSM(Host);
  ASSERT_EQ(FSM.PFSPagesAddressed(), 64);
  ASSERT_EQ(FSM.EAMPagesAddressed(), 32 * Extent);
  std::mt19937 Rng(7);
  std::set<std::int32_t> Used;
  auto Allocate = [&] {
    const std::int32_t Page = FSM.GetPage();
    ASSERT_FALSE(FSM.IsSystemPage(Page)) << Page;
    ASSERT_TRUE(Used.insert(Page).second) << "page given twice: " << Page;
  };
  auto Free = [&](std::set<std::int32_t>::iterator It) {
    FSM.FreePage(*It);
    Used.erase(It);
  };
  auto Check = [&] {
    const std::int32_t Total = int(Host.Stored.TotalPageCount);
    ASSERT_EQ(Host.File.size(), static_cast<std::size_t>(Total) * 48);
    ASSERT_EQ(int(Host.Stored.LastUsedPageNo), Used.empty() ? -1 : *Used.rbegin());
    ASSERT_FALSE(Total > 0 && FSM.IsSystemPage(Total - 1)) << "file ends on a map page: " << Total;
    // An extent reads as full only when every one of its pages is used: one
    // that read so with a page free would hide that page from reuse.
    const std::int32_t PerEAM = FSM.EAMPagesAddressed() / Extent;
    for (std::int32_t First = 0; First < Total; First += Extent) {
      bool Full = true;
      for (std::int32_t p = First; p < First + Extent; ++p)
        Full = Full && p < Total && (FSM.IsSystemPage(p) || Used.count(p) > 0);
      const std::int32_t No = First / Extent;
      const std::uint8_t Byte = Host.Data(FSM.EAMPageNo(No / PerEAM))[(No % PerEAM) / 4];
      ASSERT_TRUE(((Byte >> (2 * (No % 4))) & 3) != 3 || Full) << "extent " << No << " of " << Total << " pages";
    }
  };
  for (int Op = 0; Op < 3000; ++Op) {
    if (Used.empty() || (Op < 1500 ? Rng() % 4 != 0 : Rng() % 3 == 0)) {
      ASSERT_NO_FATAL_FAILURE(Allocate());
    } else {
      auto It = Used.begin();
      std::advance(It, Rng() % Used.size());
      Free(It);
    }
    ASSERT_NO_FATAL_FAILURE(Check());
  }
  // Emptying from the top cuts the file at many different totals.
  while (!Used.empty()) {
    Free(std::prev(Used.end()));
    ASSERT_NO_FATAL_FAILURE(Check());
  }
  for (int i = 0; i < 700; ++i) {
    ASSERT_NO_FATAL_FAILURE(Allocate());
    ASSERT_NO_FATAL_FAILURE(Check());
  }
  // Every bit of the map agrees with the model.
  const std::int32_t Total = int(Host.Stored.TotalPageCount);
  for (std::int32_t p = 0; p < Total; ++p) {
    const std::int32_t PFS = p / 64 * 64;
    const bool Bit = (Host.Data(PFS)[(p % 64) / 8] >> (p % 8)) & 1;
    ASSERT_EQ(Bit, FSM.IsSystemPage(p) || Used.count(p) > 0) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(Extents, FreeSpaceModelTest, ::testing::Values(8, 3, 1));

}  // namespace
