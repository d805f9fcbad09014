#pragma once
// The index pages of one table of the temporary database: the first pages,
// up to a tenth of the free memory, in an inner memory page manager; later
// ones in a temporary file at their page number times the page size. With
// temporary files disabled every page stays in memory. Page numbers in the
// file range are never handed out twice. Thread rule: no lock of its own;
// callers hold the table's lock.
#include <cstdint>
#include <memory>

#include "engine/core/containers/QXLBitsArray.h"
#include "engine/core/streams/QXLFileStream.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"

namespace qxl {

// Pages of PageSize bytes that a tenth of FreeMemory holds, within a 32-bit count.
std::int32_t MaxMemoryPageCount(std::int64_t FreeMemory, std::int32_t PageSize);

class TQXLTemporaryPageManager : public TQXLPageManager {
public:
  // FreeMemory sizes the memory range.
  TQXLTemporaryPageManager(bool DisableTempFiles, std::int64_t FreeMemory);
  ~TQXLTemporaryPageManager() override;

  void InternalAddPage(TQXLPage* Page) override;
  void InternalRemovePage(std::int32_t PageNo) override;
  // A page not in use: 10396; a file-range page without a page file: 30482.
  bool InternalReadPage(TQXLPage* Page) override;
  // A page not in use: 10397.
  void InternalWritePage(TQXLPage* Page) override;

  std::int32_t MaxMemoryPageCount() const { return FMaxMemoryPageCount; }
  std::int32_t AllocatedPageCount() const { return FAllocatedPageCount; }
  const TQXLFileStream* TempPageFile() const { return FTempPageFile.get(); }

private:
  bool InMemory(std::int32_t PageNo) const { return FDisableTempFiles || PageNo < FMaxMemoryPageCount; }
  bool IsPageInUse(std::int32_t PageNo) const;
  void Take(std::int32_t PageNo);
  TQXLFileStream& PageFile();

  TQXLBitsArray FAllocatedPageMap;
  std::int32_t FAllocatedPageCount = 0;
  std::unique_ptr<TQXLFileStream> FTempPageFile;
  std::int32_t FMaxMemoryPageCount;
  TQXLMemoryPageManager FMemoryPageManager;
  bool FDisableTempFiles;
};

}  // namespace qxl
