#pragma once
// The structure every process must leave in a database file, checked from the
// outside after processes worked on it: the file size agrees with the
// header's page count, the last used page is the highest page marked used,
// every space-map page is in place, every page handed out is marked used, and
// each extent's state agrees with its pages. The repair mark of an
// interrupted commit is a failure unless RepairMarkExpected. Callers that know
// the file's owners of pages also check that each page is reached by exactly
// one of them or is free.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"

namespace qxl {

inline ::testing::AssertionResult FileStructureIsSound(const std::string& File,
                                                       const std::set<std::int32_t>& HandedOut,
                                                       const TQXLPassword& Password = {},
                                                       bool RepairMarkExpected = false) {
  TQXLDiskPageManager M;
  bool ReadOnly = true, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(File, Password, ReadOnly, RepairNeeded, false, MultiUser);
  if (RepairNeeded != RepairMarkExpected)
    return ::testing::AssertionFailure() << (RepairNeeded ? "the file needs repair" : "the repair mark is gone");
  const std::int32_t Total = M.DBHeader().TotalPageCount, LastUsed = M.DBHeader().LastUsedPageNo;
  const auto Size = static_cast<std::int64_t>(std::filesystem::file_size(File));
  if (Size != M.OffsetToFirstPage() + static_cast<std::int64_t>(Total) * M.PageSize())
    return ::testing::AssertionFailure() << "file size " << Size << " for " << Total << " pages";

  TQXLDatabaseFreeSpaceManager& FSM = *M.FreeSpaceManager();
  auto Type = [&](std::int32_t PageNo) {
    std::uint16_t T = 0;
    M.ReadPageRegion(&T, PageNo, QXLPageHeaderTypeOffset, sizeof T);
    return T;
  };
  for (std::int32_t k = 0; FSM.PFSPageNo(k) < Total; ++k)
    if (Type(FSM.PFSPageNo(k)) != ptPFS || !FSM.GetPageUsageFromPFS(FSM.PFSPageNo(k)))
      return ::testing::AssertionFailure() << "PFS page " << FSM.PFSPageNo(k) << " missing";
  for (std::int32_t k = 0; FSM.EAMPageNo(k) < Total; ++k)
    if (Type(FSM.EAMPageNo(k)) != ptEAM || !FSM.GetPageUsageFromPFS(FSM.EAMPageNo(k)))
      return ::testing::AssertionFailure() << "EAM page " << FSM.EAMPageNo(k) << " missing";

  for (std::int32_t PageNo : HandedOut)
    if (PageNo > LastUsed || FSM.IsSystemPage(PageNo) || !FSM.GetPageUsageFromPFS(PageNo))
      return ::testing::AssertionFailure() << "page " << PageNo << " handed out but not marked used (last used "
                                           << LastUsed << ")";
  if (LastUsed >= Total || (LastUsed >= 0 && (FSM.IsSystemPage(LastUsed) || !FSM.GetPageUsageFromPFS(LastUsed))))
    return ::testing::AssertionFailure() << "last used page " << LastUsed << " is not in use";
  for (std::int32_t PageNo = LastUsed + 1; PageNo < Total; ++PageNo)
    if (!FSM.IsSystemPage(PageNo) && FSM.GetPageUsageFromPFS(PageNo))
      return ::testing::AssertionFailure() << "page " << PageNo << " marked used above the last used page "
                                           << LastUsed;

  const std::int32_t E = M.DBHeader().PageCountInExtent;
  const std::int32_t X = FSM.EAMPagesAddressed() / E;
  for (std::int32_t Extent = 0; (Extent + 1) * E <= Total; ++Extent) {
    std::uint8_t Byte = 0;
    M.ReadPageRegion(&Byte, FSM.EAMPageNo(Extent / X), QXLDiskPageHeaderSize + (Extent % X) / 4, 1);
    const int Value = (Byte >> (2 * (Extent % 4))) & 3;
    bool AllUsed = true;
    for (std::int32_t PageNo = Extent * E; PageNo < (Extent + 1) * E; ++PageNo)
      AllUsed = AllUsed && FSM.GetPageUsageFromPFS(PageNo);
    if ((Value == 3) != AllUsed || Value == 2)
      return ::testing::AssertionFailure() << "extent " << Extent << " has state " << Value;
  }
  return ::testing::AssertionSuccess();
}

// Every page of the file is accounted for: a page that its owners reach
// (Reached counts how many times each page was reached) is reached once and
// marked used, every other page apart from the space maps is free. A page
// reached twice belongs to two owners; a used page nobody reaches is lost.
inline ::testing::AssertionResult PagesAreFreeOrReachedOnce(TQXLDiskPageManager& M,
                                                            const std::map<std::int32_t, int>& Reached) {
  TQXLDatabaseFreeSpaceManager& FSM = *M.FreeSpaceManager();
  const std::int32_t Total = M.DBHeader().TotalPageCount;
  for (const auto& [PageNo, Times] : Reached) {
    if (PageNo < 0 || PageNo >= Total || FSM.IsSystemPage(PageNo))
      return ::testing::AssertionFailure() << "page " << PageNo << " reached outside the data pages";
    if (Times != 1) return ::testing::AssertionFailure() << "page " << PageNo << " reached " << Times << " times";
  }
  for (std::int32_t PageNo = 0; PageNo < Total; ++PageNo) {
    if (FSM.IsSystemPage(PageNo)) continue;
    const bool Used = FSM.GetPageUsageFromPFS(PageNo), IsReached = Reached.count(PageNo) > 0;
    if (Used && !IsReached) return ::testing::AssertionFailure() << "page " << PageNo << " is used but unreached";
    if (!Used && IsReached) return ::testing::AssertionFailure() << "page " << PageNo << " is reached but free";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace qxl
