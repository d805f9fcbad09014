// Statement savepoints of the page manager: a change of several steps that
// fails part way takes back its own page changes and nothing before them.
#include <cstring>

#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

void TQXLPageManager::BeginSavepoint(std::int32_t SessionID) {
  TQXLSessionPageInfo& Info = SessionInfo(SessionID);
  TQXLPageSavepointState Savepoint;
  Savepoint.Mark = ++FLastSavepointMark;
  Savepoint.AddedCount = Info.AddedPageNumbers.ItemCount();
  Savepoint.RemovedCount = Info.RemovedPageNumbers.ItemCount();
  Info.Savepoints.push_back(std::move(Savepoint));
}

void TQXLPageManager::ReleaseSavepoint(std::int32_t SessionID) {
  TQXLSessionPageInfo* Info = FindSessionInfo(SessionID);
  if (!Info || Info->Savepoints.empty()) return;
  TQXLPageSavepointState Inner = std::move(Info->Savepoints.back());
  Info->Savepoints.pop_back();
  if (Info->Savepoints.empty()) return;
  // The enclosing savepoint keeps the older of two images of a page.
  TQXLPageSavepointState& Outer = Info->Savepoints.back();
  for (auto& [PageNo, Image] : Inner.Images) Outer.Images.try_emplace(PageNo, std::move(Image));
}

void TQXLPageManager::RestoreImage(TQXLSessionPageInfo& Info, std::int32_t PageNo,
                                   TQXLPageSavepointState::TImage& Image) {
  TQXLPage* Page = Info.DirtyPages.Find(PageNo);
  if (!Page) return;
  std::memcpy(Page->FPageBuffer, Image.Bytes.data(), Image.Bytes.size());
  Page->FSavepointMark = 0;
  if (Image.WasDirty || Page->FUseCount > 0) return;
  // A page that was clean goes back to the shared cache, unless another
  // session has read the stored copy into it meanwhile: the bytes are the same.
  if (FSharedPages.Find(PageNo)) {
    Info.DirtyPages.Delete(PageNo);
    return;
  }
  MoveTo(Info.DirtyPages, FSharedPages, Page);
  Page->FIsDirty = false;
}

void TQXLPageManager::RollbackToSavepoint(std::int32_t SessionID) {
  TQXLSessionPageInfo* Info = FindSessionInfo(SessionID);
  if (!Info || Info->Savepoints.empty()) return;
  TQXLPageSavepointState Savepoint = std::move(Info->Savepoints.back());
  Info->Savepoints.pop_back();
  for (auto& [PageNo, Image] : Savepoint.Images) RestoreImage(*Info, PageNo, Image);
  Info->RemovedPageNumbers.SetSize(Savepoint.RemovedCount);
  // Each page added since stays allocated to the session and is released by
  // its commit (as a removal) or its rollback (as an addition).
  for (std::int32_t i = Savepoint.AddedCount; i < Info->AddedPageNumbers.ItemCount(); ++i) {
    const std::int32_t PageNo = Info->AddedPageNumbers[i];
    if (TQXLPage* Page = Info->DirtyPages.Find(PageNo); Page && Page->FUseCount == 0) Info->DirtyPages.Delete(PageNo);
    if (!Info->RemovedPageNumbers.IsValueExists(PageNo)) Info->RemovedPageNumbers.Append(PageNo);
  }
}

void TQXLPageManager::EmptySavepoints(TQXLSessionPageInfo& Info) {
  for (TQXLPageSavepointState& Savepoint : Info.Savepoints) {
    Savepoint.Images.clear();
    Savepoint.Mark = ++FLastSavepointMark;
    Savepoint.AddedCount = 0;
    Savepoint.RemovedCount = 0;
  }
}

}  // namespace qxl
