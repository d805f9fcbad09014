#pragma once
// Pages kept in memory blocks, one 4096-byte block per page number, for the
// tables of the in-memory and temporary databases. A new page takes the lowest
// free number; blocks live until the manager goes, so freed numbers reuse them.
// Thread rule: no lock of its own; callers hold the table's lock.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/containers/QXLBitsArray.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

class TQXLMemoryPageManager : public TQXLPageManager {
public:
  TQXLMemoryPageManager();
  ~TQXLMemoryPageManager() override;

  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) override;
  void InternalAddPage(TQXLPage* Page) override;
  void InternalRemovePage(std::int32_t PageNo) override;
  bool InternalReadPage(TQXLPage* Page) override;
  void InternalWritePage(TQXLPage* Page) override;

  std::int32_t AllocatedPageCount() const { return FAllocatedPageCount; }
  std::int32_t LastAllocatedPageNo() const { return FLastAllocatedPageNo; }
  bool IsPageInUse(std::int32_t PageNo) const;

protected:
  // Gives a derived manager another page geometry before any page exists.
  void SetGeometry(std::uint16_t PageSize, std::uint16_t PageHeaderSize);

private:
  struct TBlockFree {
    void operator()(std::uint8_t* Block) const;
  };
  using TBlock = std::unique_ptr<std::uint8_t, TBlockFree>;

  void GrowBlocks(std::int32_t PageNo);

  TQXLBitsArray FAllocatedPageMap;
  std::int32_t FAllocatedPageCount = 0;
  std::int32_t FAllocateBy = 50;
  std::int32_t FLastAllocatedPageNo = -1;
  std::vector<TBlock> FDataPtrs;
  // Blocks replaced by a load, kept for pages that still use them.
  std::vector<TBlock> FRetiredBlocks;
};

}  // namespace qxl
