#pragma once
// A page manager over a map of page images, counting what reaches storage, for
// tests of the shared cache without a file.
#include <cstring>
#include <map>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

class TFakePageManager : public TQXLPageManager {
public:
  explicit TFakePageManager(std::uint16_t PageSize = 128) {
    FPageSize = PageSize;
    FPageHeaderSize = QXLDiskPageHeaderSize;
    FPageDataSize = PageSize - QXLDiskPageHeaderSize;
  }

  // A stored page of the given type whose first data byte is Value.
  void Store(std::int32_t PageNo, std::uint16_t Type, std::uint8_t Value, std::int32_t State = 7) {
    std::vector<std::uint8_t> Image(FPageSize, 0);
    std::memcpy(Image.data() + QXLPageHeaderStateOffset, &State, 4);
    std::memcpy(Image.data() + QXLPageHeaderTypeOffset, &Type, 2);
    Image[FPageHeaderSize] = Value;
    Pages[PageNo] = Image;
  }
  std::uint8_t StoredValue(std::int32_t PageNo) { return Pages.at(PageNo)[FPageHeaderSize]; }

  void InternalAddPage(TQXLPage* Page) override {
    Page->SetPageNo(NextPageNo++);
    Page->AllocPageBuffer();
  }
  void InternalRemovePage(std::int32_t PageNo) override {
    Removed.push_back(PageNo);
    Pages.erase(PageNo);
  }
  bool InternalReadPage(TQXLPage* Page) override {
    ++Reads;
    auto It = Pages.find(Page->PageNo());
    if (It == Pages.end()) return false;
    if (!Page->PageBuffer()) Page->AllocPageBuffer();
    std::memcpy(Page->PageBuffer(), It->second.data(), FPageSize);
    // As a page that fails its check after it was read into the buffer.
    if (FailReadChecks) throw EQXLException(30446, "Decrypt page error. Check CRC failed. PageNo: %d", {Page->PageNo()});
    Page->SetReloaded(true);
    return true;
  }
  void InternalWritePage(TQXLPage* Page) override {
    if (FailWrites) throw EQXLException(10469, "write failed");
    Written.push_back(Page->PageNo());
    Pages[Page->PageNo()].assign(Page->PageBuffer(), Page->PageBuffer() + FPageSize);
  }
  bool ReadStoredPageState(std::int32_t PageNo, std::int32_t& State) override {
    ++StateReads;
    auto It = Pages.find(PageNo);
    if (It == Pages.end()) {
      State = QXLRemovedPageState;
      return true;
    }
    std::memcpy(&State, It->second.data() + QXLPageHeaderStateOffset, 4);
    return true;
  }

  std::map<std::int32_t, std::vector<std::uint8_t>> Pages;
  std::vector<std::int32_t> Written, Removed;
  std::int32_t NextPageNo = 100;
  int Reads = 0, StateReads = 0;
  bool FailWrites = false, FailReadChecks = false;
};

}  // namespace qxl
