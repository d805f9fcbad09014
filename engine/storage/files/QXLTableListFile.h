#pragma once
// The table list: every table of the database by name, with its object ID and
// the start pages of its metadata, most-updated and locks files, in the order
// the tables were added.
// Thread rule: no lock of its own; used under the database's lock. Between
// processes its changes are made while the database's tables byte is held,
// and committed before it is released: AddTable, RemoveTable and RenameTable
// each reload the list, change it and save it in one step, so that a save
// never writes back a list that misses another process's change.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qxl {

class TQXLDiskPageManager;
class TQXLInternalDBTransactedAccessFile;

#pragma pack(push, 1)
struct TQXLTableListItem {
  std::uint8_t TableName[256];  // length byte, then up to 255 bytes of Windows-1252
  std::int32_t TableID;
  std::int32_t MetaDataFilePageNo;
  std::int32_t MostUpdatedFilePageNo;
  std::int32_t LocksFilePageNo;
};
#pragma pack(pop)
static_assert(sizeof(TQXLTableListItem) == 272);

class TQXLTableListFile {
public:
  explicit TQXLTableListFile(TQXLDiskPageManager& PageManager);
  ~TQXLTableListFile();
  TQXLTableListFile(const TQXLTableListFile&) = delete;
  TQXLTableListFile& operator=(const TQXLTableListFile&) = delete;

  // -1 while the list file is closed.
  std::int32_t StartPageNo() const;
  const std::vector<TQXLTableListItem>& Items() const { return FTableList; }

  // Creates an empty list file for the system session; its start page.
  std::int32_t CreateFile();
  void OpenFile(std::int32_t aStartPageNo);
  void CloseFile();
  void Load();
  void Save();

  // Names are UTF-8; they are stored in Windows-1252, cut to 255 bytes.
  void AddTable(std::int32_t TableID, const std::string& TableName, std::int32_t MetadataFilePageNo,
                std::int32_t MostUpdatedFilePageNo, std::int32_t LocksFilePageNo);
  void OpenTable(const std::string& TableName, std::int32_t& TableID, std::int32_t& MetadataFilePageNo,
                 std::int32_t& MostUpdatedFilePageNo, std::int32_t& LocksFilePageNo) const;
  void RemoveTable(const std::string& TableName);
  void RenameTable(const std::string& TableName, const std::string& NewTableName);
  bool TableExists(const std::string& TableName) const;
  // Reloads the list; the names in list order.
  void GetTablesList(std::vector<std::string>& List);

private:
  TQXLInternalDBTransactedAccessFile& Handle(const char* Operation) const;
  // The position of the first item of that name, or -1.
  std::int32_t Find(const std::string& TableName) const;

  TQXLDiskPageManager& LPageManager;
  std::unique_ptr<TQXLInternalDBTransactedAccessFile> FHandle;
  std::vector<TQXLTableListItem> FTableList;
};

}  // namespace qxl
