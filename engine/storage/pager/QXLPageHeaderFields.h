#pragma once
// The page-header fields that table pages carry beyond those of the page
// layer: the owning table and the link to a following page.
// Thread rule: none; the page is held by the caller.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPage.h"

namespace qxl {

inline std::int32_t PageObjectID(const TQXLPage& Page) {
  std::int32_t Value = 0;
  std::memcpy(&Value, Page.PageHeader() + offsetof(TQXLDiskPageHeader, ObjectID), sizeof Value);
  return Value;
}

inline void SetPageObjectID(TQXLPage& Page, std::int32_t Value) {
  Page.MakeWritable();
  std::memcpy(Page.PageHeader() + offsetof(TQXLDiskPageHeader, ObjectID), &Value, sizeof Value);
}

inline std::int32_t PageNextPageNo(const TQXLPage& Page) {
  std::int32_t Value = 0;
  std::memcpy(&Value, Page.PageHeader() + offsetof(TQXLDiskPageHeader, NextPageNo), sizeof Value);
  return Value;
}

inline void SetPageNextPageNo(TQXLPage& Page, std::int32_t Value) {
  Page.MakeWritable();
  std::memcpy(Page.PageHeader() + offsetof(TQXLDiskPageHeader, NextPageNo), &Value, sizeof Value);
}

}  // namespace qxl
