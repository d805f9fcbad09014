#pragma once
// The 6-byte identity of an item on a page: a record, a stored BLOB or a page
// header's owner. Its byte form is stored in files, so the record is packed.
#include <cstdint>

namespace qxl {

#pragma pack(push, 1)
struct TQXLPageItemID {
  std::int32_t PageNo = 0;
  std::uint16_t PageItemNo = 0;

  friend bool operator==(const TQXLPageItemID& a, const TQXLPageItemID& b) {
    return a.PageNo == b.PageNo && a.PageItemNo == b.PageItemNo;
  }
};
#pragma pack(pop)

static_assert(sizeof(TQXLPageItemID) == 6);

}  // namespace qxl
