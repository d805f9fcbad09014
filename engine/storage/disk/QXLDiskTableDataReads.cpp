// Reads of a disk table. In multi-user mode each runs under S on the table,
// after the counters are reloaded (so that pages other processes committed
// are seen) and, for moves in a cursor's order, after the session's
// temporary indexes are brought up to date.
#include <memory>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "engine/storage/temporary/QXLTemporaryPageManager.h"

namespace qxl {

namespace {

[[noreturn]] void RaiseLocked(std::int32_t Code) { throw EQXLException(Code, "Table is locked"); }

// Calls Release on every way out; a failure to release cannot be reported
// from there and leaves the lock to the session's next release.
template <typename TRelease>
class TOnExit {
public:
  explicit TOnExit(TRelease Release) : FRelease(Release) {}
  ~TOnExit() {
    try {
      FRelease();
    } catch (...) {
    }
  }
  TOnExit(const TOnExit&) = delete;
  TOnExit& operator=(const TOnExit&) = delete;

private:
  TRelease FRelease;
};

}  // namespace

void TQXLDiskTableData::SynchronizeTemporaryIndexes(TQXLCursor* Cursor) {
  bool IsChanged = false;
  FIndexManager->SynchronizeTemporaryIndexes(Cursor, IsChanged);
  if (IsChanged && FTemporaryPageManager) FTemporaryPageManager->ApplyChanges(Cursor->SessionID());
}

const TQXLDiskTableData::TScopes* TQXLDiskTableData::ScopesOf(std::int32_t SessionID) const {
  const auto It = FScopes.find(SessionID);
  return It == FScopes.end() ? nullptr : &It->second;
}

bool TQXLDiskTableData::BeginReadScope(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (!IsMultiUser()) return true;
  const std::int32_t SessionID = Cursor->SessionID();
  TScopes& Scopes = FScopes[SessionID];
  if (Scopes.Reads == 0 && Scopes.Writes == 0) {
    if (!LockTable(SessionID, ltS, ReadLockTries, ReadLockDelayMS, true)) {
      FScopes.erase(SessionID);
      return false;
    }
    try {
      LoadMostUpdated(SessionID);
      TQXLDiskTablePagesCacheManager& PageState = DiskPageManager().TablePagesCacheManager();
      PageState.BeginWorkWithTable(SessionID, FTableID);
      TOnExit EndWork([&] { PageState.EndWorkWithTable(SessionID, FTableID); });
      SynchronizeTemporaryIndexes(Cursor);
    } catch (...) {
      FScopes.erase(SessionID);
      UnlockTable(SessionID, ltS, false);
      throw;
    }
    Scopes.HoldsS = true;
  }
  ++Scopes.Reads;
  return true;
}

void TQXLDiskTableData::EndReadScope(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  const std::int32_t SessionID = Cursor->SessionID();
  const auto It = FScopes.find(SessionID);
  if (It == FScopes.end() || It->second.Reads == 0) return;
  TScopes& Scopes = It->second;
  const bool Release = --Scopes.Reads == 0 && Scopes.HoldsS;
  if (Release) Scopes.HoldsS = false;
  if (Scopes.Reads == 0 && Scopes.Writes == 0) FScopes.erase(It);
  if (Release) UnlockTable(SessionID, ltS, false);
}

bool TQXLDiskTableData::BeginWriteScope(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (!IsMultiUser()) return true;
  const std::int32_t SessionID = Cursor->SessionID();
  TScopes& Scopes = FScopes[SessionID];
  if (Scopes.Writes == 0) {
    // In a transaction the write lock stays until the transaction ends.
    const bool InTransaction = Cursor->FSession && Cursor->FSession->FInTransaction;
    const TQXLLockType Lock = InTransaction ? ltXIRW : ltRW;
    if (!LockTable(SessionID, Lock, WriteLockTries, WriteLockDelayMS, true)) {
      if (Scopes.Reads == 0) FScopes.erase(SessionID);
      return false;
    }
    try {
      LoadMostUpdated(SessionID);
    } catch (...) {
      if (Scopes.Reads == 0) FScopes.erase(SessionID);
      if (!InTransaction) UnlockTable(SessionID, Lock, false);
      throw;
    }
    Scopes.HoldsWrite = !InTransaction;
    Scopes.WriteLock = Lock;
  }
  ++Scopes.Writes;
  return true;
}

void TQXLDiskTableData::EndWriteScope(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  const std::int32_t SessionID = Cursor->SessionID();
  const auto It = FScopes.find(SessionID);
  if (It == FScopes.end() || It->second.Writes == 0) return;
  TScopes& Scopes = It->second;
  const bool Release = --Scopes.Writes == 0 && Scopes.HoldsWrite;
  const TQXLLockType Lock = Scopes.WriteLock;
  if (Scopes.Writes == 0) Scopes.HoldsWrite = false;
  if (Scopes.Reads == 0 && Scopes.Writes == 0) FScopes.erase(It);
  if (Release) UnlockTable(SessionID, Lock, false);
}

bool TQXLDiskTableData::RunRead(TQXLCursor* Cursor, bool BeginWork, bool SyncIndexes,
                                const std::function<void()>& Core) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (!IsMultiUser()) {
    Core();
    return true;
  }
  const std::int32_t SessionID = Cursor->SessionID();
  // A statement's scope already holds the lock and loaded the counters; a
  // read scope also brought the temporary indexes up to date.
  const TScopes* Scopes = ScopesOf(SessionID);
  std::unique_ptr<TOnExit<std::function<void()>>> Unlock;
  if (!Scopes) {
    if (!LockTable(SessionID, ltS, ReadLockTries, ReadLockDelayMS, true)) return false;
    Unlock = std::make_unique<TOnExit<std::function<void()>>>([&] { UnlockTable(SessionID, ltS, false); });
    LoadMostUpdated(SessionID);
  } else if (Scopes->Reads > 0) {
    SyncIndexes = false;
  }
  if (!BeginWork) {
    Core();
    return true;
  }
  TQXLDiskTablePagesCacheManager& PageState = DiskPageManager().TablePagesCacheManager();
  PageState.BeginWorkWithTable(SessionID, FTableID);
  TOnExit EndWork([&] { PageState.EndWorkWithTable(SessionID, FTableID); });
  if (SyncIndexes) SynchronizeTemporaryIndexes(Cursor);
  Core();
  return true;
}

TQXLGetRecordResult TQXLDiskTableData::GetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode) {
  TQXLGetRecordResult Result = grrError;
  if (!RunRead(Cursor, true, true, [&] { Result = TQXLTableData::GetRecordBuffer(Cursor, GetRecordMode); }))
    return grrError;
  return Result;
}

bool TQXLDiskTableData::Locate(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression) {
  bool Found = false;
  if (!RunRead(Cursor, true, true, [&] { Found = TQXLTableData::Locate(Cursor, SearchExpression); }))
    RaiseLocked(20214);
  return Found;
}

bool TQXLDiskTableData::FindKey(TQXLCursor* Cursor, TQXLSearchCondition SearchCondition) {
  bool Found = false;
  if (!RunRead(Cursor, true, true, [&] { Found = TQXLTableData::FindKey(Cursor, SearchCondition); }))
    RaiseLocked(20215);
  return Found;
}

void TQXLDiskTableData::SetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) {
  if (!RunRead(Cursor, true, true, [&] { TQXLTableData::SetRecNo(Cursor, RecNo); })) RaiseLocked(20216);
}

std::int64_t TQXLDiskTableData::GetRecNo(TQXLCursor* Cursor) {
  std::int64_t RecNo = -1;
  if (!RunRead(Cursor, true, true, [&] { RecNo = TQXLTableData::GetRecNo(Cursor); })) RaiseLocked(20217);
  return RecNo;
}

std::int64_t TQXLDiskTableData::InternalGetRecordCount(TQXLCursor* Cursor) {
  std::int64_t Count = 0;
  if (!RunRead(Cursor, false, false, [&] { Count = OpenRecords().RecordCount(); })) RaiseLocked(20218);
  return Count;
}

void TQXLDiskTableData::InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) {
  if (!RunRead(Cursor, true, false,
               [&] { OpenRecords().SetRecNo(Cursor->SessionID(), RecNo, Cursor->CurrentRecordID); }))
    RaiseLocked(20219);
}

std::int64_t TQXLDiskTableData::InternalGetRecNo(TQXLCursor* Cursor) {
  std::int64_t RecNo = -1;
  if (!RunRead(Cursor, true, false,
               [&] { OpenRecords().GetRecNo(Cursor->SessionID(), Cursor->CurrentRecordID, RecNo); }))
    RaiseLocked(20220);
  return RecNo;
}

}  // namespace qxl
