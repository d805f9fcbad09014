#pragma once
// The layout that both kinds of internal file share: a chain of pages of one
// type whose data areas form one byte sequence, headed by a 10-byte data
// header; and the walk along such a chain, which refuses a damaged one (a
// loop, a link outside the file) instead of following it.
// Thread rule: none of its own; used under the owner's lock.
#include <cstdint>
#include <unordered_set>

#include "engine/coding/QXLCompression.h"

namespace qxl {

class TQXLDiskPageManager;
class TQXLPage;


inline constexpr std::uint8_t InternalFileHeaderSize = 10;

#pragma pack(push, 1)
struct TQXLInternalFileHeader {
  std::uint8_t HeaderSize;
  std::int32_t StoredSize;
  std::int32_t UncompressedSize;
  std::uint8_t Algorithm;
};
#pragma pack(pop)
static_assert(sizeof(TQXLInternalFileHeader) == InternalFileHeaderSize);

// Pages a content of Size bytes needs with data areas of DataSize bytes.
std::int32_t InternalFilePagesNeeded(std::int64_t Size, std::int32_t DataSize);

TQXLInternalFileHeader LoadFileHeader(const TQXLPage& StartPage);
void StoreFileHeader(TQXLPage& StartPage, const TQXLInternalFileHeader& Header);
// The header of a new, empty, uncompressed file.
TQXLInternalFileHeader EmptyFileHeader(std::int32_t StoredSize = 0);

std::int32_t NextPageOf(const TQXLPage& Page);
void SetNextPageOf(TQXLPage& Page, std::int32_t NextPageNo);

// Raises 20302 (a damaged internal file) with what is wrong.
[[noreturn]] void RaiseDamagedFile(std::int32_t StartPageNo, const char* What);

// Follows the links of one chain: every link must name a page inside the file
// that the walk has not met yet, else 20300 with the links followed so far.
class TQXLChainWalk {
public:
  TQXLChainWalk(TQXLDiskPageManager& PageManager, std::int32_t StartPageNo);
  // Checks and takes NextPageNo as the current page; false at the chain's end (-1).
  bool Follow(std::int32_t NextPageNo);
  std::int32_t Current() const { return FCurrent; }
  std::int32_t LinksFollowed() const { return FLinks; }
  // Raises 20300 for the chain ending before the page sought.
  [[noreturn]] void RaiseEnded() const;

private:
  bool InsideFile(std::int32_t PageNo);

  TQXLDiskPageManager& FPageManager;
  std::int32_t FCurrent;
  std::int32_t FLinks = 0;
  std::int32_t FPagesInFile = -1;
  std::unordered_set<std::int32_t> FMet;
};

}  // namespace qxl
