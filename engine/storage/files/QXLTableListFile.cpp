#include "engine/storage/files/QXLTableListFile.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

std::string StoredName(const TQXLTableListItem& Item) {
  return std::string(reinterpret_cast<const char*>(Item.TableName) + 1, Item.TableName[0]);
}

void SetStoredName(TQXLTableListItem& Item, const std::string& Utf8Name) {
  std::string Ansi = platform::Utf8ToAnsi(Utf8Name);
  if (Ansi.size() > kMaxShortStringLength) Ansi.resize(kMaxShortStringLength);
  std::memset(Item.TableName, 0, sizeof Item.TableName);
  Item.TableName[0] = static_cast<std::uint8_t>(Ansi.size());
  std::memcpy(Item.TableName + 1, Ansi.data(), Ansi.size());
}

}  // namespace

TQXLTableListFile::TQXLTableListFile(TQXLDiskPageManager& PageManager) : LPageManager(PageManager) {}

TQXLTableListFile::~TQXLTableListFile() = default;

std::int32_t TQXLTableListFile::StartPageNo() const { return FHandle ? FHandle->StartPageNo() : -1; }

TQXLInternalDBTransactedAccessFile& TQXLTableListFile::Handle(const char* Operation) const {
  // A closed list reports what its file would: an operation on a closed file.
  if (!FHandle)
    throw EQXLException(30389, "Cannot perform this operation (%s) on closed internal file", {Operation});
  return *FHandle;
}

std::int32_t TQXLTableListFile::CreateFile() {
  TQXLInternalDBTransactedAccessFile File(LPageManager, ptTableList);
  File.CreateFile(QXLSystemSessionID);
  return File.StartPageNo();
}

void TQXLTableListFile::OpenFile(std::int32_t aStartPageNo) {
  if (FHandle) throw EQXLException(30393, "Table list file already opened.");
  auto File = std::make_unique<TQXLInternalDBTransactedAccessFile>(LPageManager, ptTableList);
  File->OpenFile(aStartPageNo);
  FHandle = std::move(File);
}

void TQXLTableListFile::CloseFile() { FHandle.reset(); }

void TQXLTableListFile::Load() {
  const std::vector<std::uint8_t> Bytes = Handle("GetSize").ReadContent(QXLSystemSessionID, true);
  // Only whole items are ever written.
  if (Bytes.size() % sizeof(TQXLTableListItem) != 0)
    throw EQXLException(30398, "Table list file is damaged. Size=%d", {static_cast<std::int64_t>(Bytes.size())});
  FTableList.resize(Bytes.size() / sizeof(TQXLTableListItem));
  if (!Bytes.empty()) std::memcpy(FTableList.data(), Bytes.data(), Bytes.size());
}

void TQXLTableListFile::Save() {
  Handle("WriteFile").WriteFile(QXLSystemSessionID, FTableList.data(),
                                static_cast<std::int32_t>(FTableList.size() * sizeof(TQXLTableListItem)), acaNone,
                                0);
}

std::int32_t TQXLTableListFile::Find(const std::string& TableName) const {
  const std::string Wanted = platform::UpperCaseAscii(platform::Utf8ToAnsi(TableName));
  for (std::size_t i = 0; i < FTableList.size(); ++i)
    if (platform::UpperCaseAscii(StoredName(FTableList[i])) == Wanted) return static_cast<std::int32_t>(i);
  return -1;
}

void TQXLTableListFile::AddTable(std::int32_t TableID, const std::string& TableName,
                                 std::int32_t MetadataFilePageNo, std::int32_t MostUpdatedFilePageNo,
                                 std::int32_t LocksFilePageNo) {
  Load();
  if (Find(TableName) >= 0)
    throw EQXLException(30395, "Cannot create table. Table '%s' already exists", {TableName});
  TQXLTableListItem Item{};
  SetStoredName(Item, TableName);
  Item.TableID = TableID;
  Item.MetaDataFilePageNo = MetadataFilePageNo;
  Item.MostUpdatedFilePageNo = MostUpdatedFilePageNo;
  Item.LocksFilePageNo = LocksFilePageNo;
  FTableList.push_back(Item);
  Save();
}

void TQXLTableListFile::OpenTable(const std::string& TableName, std::int32_t& TableID,
                                  std::int32_t& MetadataFilePageNo, std::int32_t& MostUpdatedFilePageNo,
                                  std::int32_t& LocksFilePageNo) const {
  const std::int32_t At = Find(TableName);
  if (At < 0) throw EQXLException(30396, "Table '%s' not exists.", {TableName});
  const TQXLTableListItem& Item = FTableList[static_cast<std::size_t>(At)];
  TableID = Item.TableID;
  MetadataFilePageNo = Item.MetaDataFilePageNo;
  MostUpdatedFilePageNo = Item.MostUpdatedFilePageNo;
  LocksFilePageNo = Item.LocksFilePageNo;
}

void TQXLTableListFile::RemoveTable(const std::string& TableName) {
  Load();
  const std::int32_t At = Find(TableName);
  if (At < 0) throw EQXLException(30405, "Table '%s' not exists.", {TableName});
  FTableList.erase(FTableList.begin() + At);
  Save();
}

void TQXLTableListFile::RenameTable(const std::string& TableName, const std::string& NewTableName) {
  Load();
  const std::int32_t At = Find(TableName);
  if (At < 0) throw EQXLException(30397, "Table '%s' not exists.", {TableName});
  SetStoredName(FTableList[static_cast<std::size_t>(At)], NewTableName);
  Save();
}

bool TQXLTableListFile::TableExists(const std::string& TableName) const { return Find(TableName) >= 0; }

void TQXLTableListFile::GetTablesList(std::vector<std::string>& List) {
  Load();
  List.clear();
  for (const TQXLTableListItem& Item : FTableList) List.push_back(platform::AnsiToUtf8(StoredName(Item)));
}

}  // namespace qxl
