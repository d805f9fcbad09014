#pragma once
// A BLOB value too large to share a page: a first page with the value's
// header, the location of its page list and the first bytes, further data
// pages, and the list of all data pages after the data (continued on pages
// linked through the page header's next-page number). Every number read
// back is checked against the file and the value's size before it is used.
// Thread rule: none of its own; callers hold the table's lock.
#include <cstdint>
#include <vector>

namespace qxl {

class TQXLPageManager;


struct TQXLDiskBLOBCache;

class TQXLLargeBlob {
public:
  TQXLLargeBlob(TQXLPageManager& PageManager, std::int32_t SessionID)
      : FPageManager(PageManager), FSessionID(SessionID) {}

  // The first page's number; on failure the pages taken so far are given back.
  std::int32_t Write(const TQXLDiskBLOBCache& BlobCache);
  void Read(std::int32_t FirstPageNo, TQXLDiskBLOBCache& BlobCache);
  void Delete(std::int32_t FirstPageNo);
  // Every page the value takes, each once: its data pages in order, then the
  // pages its list continues on.
  std::vector<std::int32_t> OwnedPages(std::int32_t FirstPageNo);
  // Whether the first page's header and list location fit a large BLOB.
  bool IsPlausible(std::int32_t FirstPageNo);

private:
  struct TLayout {
    std::int32_t NumBlocks = 0;
    std::int64_t CompressedSize = 0;
    std::int64_t UncompressedSize = 0;
    std::int32_t ListPageNo = 0;
    std::int32_t ListOffset = 0;
    std::int32_t DataPageCount = 0;
  };
  TLayout ReadLayout(std::int32_t FirstPageNo);
  // Raises 20163 unless the data pages can hold exactly the value's bytes.
  void CheckLayout(std::int32_t FirstPageNo, const TLayout& Layout);
  std::vector<std::int32_t> ReadPageList(const TLayout& Layout, std::vector<std::int32_t>* ListPages);
  std::int32_t AddPage(std::vector<std::int32_t>& Added);
  // Copies the data from the first page on; returns the bytes used on the last data page.
  std::int32_t WriteData(const TQXLDiskBLOBCache& BlobCache, std::vector<std::int32_t>& DataPages,
                         std::vector<std::int32_t>& Added);
  void WritePageList(const std::vector<std::int32_t>& DataPages, std::int32_t LastUsed, TLayout& Layout,
                     std::vector<std::int32_t>& Added);
  std::int32_t PageDataSize() const;

  TQXLPageManager& FPageManager;
  std::int32_t FSessionID;
};

}  // namespace qxl
