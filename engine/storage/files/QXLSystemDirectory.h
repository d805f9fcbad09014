#pragma once
// The system directory at page 2: where the database's own internal files
// (the sessions file, the table list) start. Read whole when the database is
// opened, written only when a database is created.
// Thread rule: no lock of its own; used under the database's lock.
#include <cstdint>
#include <memory>
#include <vector>

namespace qxl {

class TQXLDiskPageManager;
class TQXLInternalDBTransactedAccessFile;

enum TQXLDBFileType : std::uint8_t { dbftUnknown = 0, dbftTablesList = 1, dbftActiveSessionsList = 2 };

#pragma pack(push, 1)
struct TQXLSystemDirectoryListItem {
  std::uint8_t FileID;
  std::int32_t FirstPageNo;
};
#pragma pack(pop)
static_assert(sizeof(TQXLSystemDirectoryListItem) == 5);

class TQXLSystemDirectory {
public:
  // The page every database keeps its directory on.
  static constexpr std::int32_t DirectoryPageNo = 2;

  explicit TQXLSystemDirectory(TQXLDiskPageManager& PageManager);
  ~TQXLSystemDirectory();
  TQXLSystemDirectory(const TQXLSystemDirectory&) = delete;
  TQXLSystemDirectory& operator=(const TQXLSystemDirectory&) = delete;

  TQXLDiskPageManager& PageManager() const { return LPageManager; }
  const std::vector<TQXLSystemDirectoryListItem>& FileList() const { return FFileList; }

  void CreateDirectory();
  void LoadDirectory();
  void SaveDirectory();
  // Appends an item; SaveDirectory writes it.
  void CreateFile(TQXLDBFileType FileType, std::int32_t FirstPageNo);
  // -1 when no item has the type.
  std::int32_t GetFileFirstPageNo(TQXLDBFileType FileType) const;

private:
  TQXLDiskPageManager& LPageManager;
  std::unique_ptr<TQXLInternalDBTransactedAccessFile> FHandle;
  std::vector<TQXLSystemDirectoryListItem> FFileList;
};

}  // namespace qxl
