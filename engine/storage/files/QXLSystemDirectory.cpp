#include "engine/storage/files/QXLSystemDirectory.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"

namespace qxl {

TQXLSystemDirectory::TQXLSystemDirectory(TQXLDiskPageManager& PageManager)
    : LPageManager(PageManager),
      FHandle(std::make_unique<TQXLInternalDBTransactedAccessFile>(PageManager, ptFileSystemDirectory)) {}

TQXLSystemDirectory::~TQXLSystemDirectory() = default;

void TQXLSystemDirectory::CreateDirectory() {
  FHandle->CreateFile(QXLSystemSessionID);
  if (FHandle->StartPageNo() != DirectoryPageNo)
    throw EQXLException(30392, "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d.",
                        {FHandle->StartPageNo(), DirectoryPageNo});
}

void TQXLSystemDirectory::LoadDirectory() {
  FHandle->OpenFile(DirectoryPageNo);
  const std::vector<std::uint8_t> Bytes = FHandle->ReadContent(QXLSystemSessionID, true);
  // Only whole items are ever written.
  if (Bytes.size() % sizeof(TQXLSystemDirectoryListItem) != 0)
    throw EQXLException(30394, "System directory is damaged. Size=%d", {static_cast<std::int64_t>(Bytes.size())});
  FFileList.resize(Bytes.size() / sizeof(TQXLSystemDirectoryListItem));
  if (!Bytes.empty()) std::memcpy(FFileList.data(), Bytes.data(), Bytes.size());
}

void TQXLSystemDirectory::SaveDirectory() {
  FHandle->WriteFile(QXLSystemSessionID, FFileList.data(),
                     static_cast<std::int32_t>(FFileList.size() * sizeof(TQXLSystemDirectoryListItem)), acaNone, 0);
}

void TQXLSystemDirectory::CreateFile(TQXLDBFileType FileType, std::int32_t FirstPageNo) {
  FFileList.push_back({FileType, FirstPageNo});
}

std::int32_t TQXLSystemDirectory::GetFileFirstPageNo(TQXLDBFileType FileType) const {
  for (const TQXLSystemDirectoryListItem& Item : FFileList)
    if (Item.FileID == FileType) return Item.FirstPageNo;
  return -1;
}

}  // namespace qxl
