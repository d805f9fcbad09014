#include "engine/storage/pager/QXLDiskFormat.h"

#include "engine/core/QXLException.h"

namespace qxl {

std::string GetPageTypeName(std::uint16_t PageType) {
  static const char* const Names[] = {
      "Unknown Page",       "Empty Page",
      "EAM Page",           "PFS Page",
      "FileSystemDirectory Page", "ActiveSessionList Page",
      "TableList Page",     "TableLocks Page",
      "TableMetaData Page", "TableMostUpdated Page",
      "TableRecord Page",   "TableBlob Page",
      "TableIndex Page"};
  if (PageType > ptLastKnown)
    throw EQXLException(30382, "Unknown Page Type: (%d)", {PageType});
  return Names[PageType];
}

std::int32_t NextPageState(std::int32_t State) {
  // A released or unreadable copy (0x7FFFFFFE, 0x7FFFFFFF) and a damaged
  // negative state start again from 0.
  const std::int64_t Next = static_cast<std::int64_t>(State) + 1;
  if (Next < 0 || Next > QXLMaxPageState) return 0;
  return static_cast<std::int32_t>(Next);
}

}  // namespace qxl
