#include "engine/storage/locks/QXLTableLocksFile.h"

#include <limits>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"
#include "engine/storage/locks/QXLLockCompatibility.h"

namespace qxl {

namespace {

constexpr std::int32_t RecordRow = ltU;
constexpr std::int32_t IdentityRow = ltX;

}  // namespace

TQXLTableLocksFile::TQXLTableLocksFile(TQXLDiskPageManager& PageManager) : LPageManager(PageManager) {}

TQXLTableLocksFile::~TQXLTableLocksFile() = default;

TQXLInternalDBDirectAccessFile& TQXLTableLocksFile::Handle(std::int32_t NilCode) const {
  if (!FHandle) throw EQXLException(NilCode, "Nil pointer occured");
  return *FHandle;
}

std::int32_t TQXLTableLocksFile::StartPageNo() const { return Handle(10483).StartPageNo(); }

void TQXLTableLocksFile::CheckSession(std::int32_t SessionID) const {
  if (SessionID < 0 || SessionID >= FMaxSessionCount) throw EQXLException(20186, "Invalid Session ID");
}

std::int32_t TQXLTableLocksFile::CreateFile(std::int32_t aMaxSessionCount) {
  if (aMaxSessionCount < 0 || aMaxSessionCount > std::numeric_limits<std::int32_t>::max() / BytesPerSession)
    throw EQXLException(20304, "Invalid internal file size: %d", {aMaxSessionCount});
  auto File = std::make_unique<TQXLInternalDBDirectAccessFile>(LPageManager, ptTableLocks);
  File->CreateFile(aMaxSessionCount * BytesPerSession);
  FHandle = std::move(File);
  FMaxSessionCount = aMaxSessionCount;
  return FHandle->StartPageNo();
}

void TQXLTableLocksFile::DeleteFile() {
  Handle(10483).DeleteFile();
  CloseFile();
}

void TQXLTableLocksFile::OpenFile(std::int32_t aStartPageNo) {
  auto File = std::make_unique<TQXLInternalDBDirectAccessFile>(LPageManager, ptTableLocks);
  File->OpenFile(aStartPageNo);
  FMaxSessionCount = File->GetSize() / BytesPerSession;
  FHandle = std::move(File);
}

void TQXLTableLocksFile::CloseFile() {
  FHandle.reset();
  FMaxSessionCount = 0;
}

bool TQXLTableLocksFile::LockTable(std::int32_t SessionID, TQXLLockType LockType) {
  TQXLInternalDBDirectAccessFile& File = Handle(10489);
  if (SessionID < 0 || SessionID >= FMaxSessionCount)
    throw EQXLException(20200,
                        "Cannot set table lock. Try to repair database or to increase number of allowed connections");
  if (LockType == ltX) return false;
  return File.LockByte(LockType * FMaxSessionCount + SessionID);
}

bool TQXLTableLocksFile::UnlockTable(std::int32_t SessionID, TQXLLockType LockType) {
  TQXLInternalDBDirectAccessFile& File = Handle(10494);
  CheckSession(SessionID);
  if (LockType == ltX) return false;
  return File.UnlockByte(LockType * FMaxSessionCount + SessionID);
}

bool TQXLTableLocksFile::OthersHold(std::int32_t First, std::int32_t SessionID) {
  // No other session can hold this session's byte, so while this handle does
  // not hold it either one probe of the whole row answers; the system call
  // is the cost of every table lock.
  if (!FHandle->HoldsByte(First + SessionID)) return FHandle->IsRegionLocked(First, FMaxSessionCount);
  return FHandle->IsRegionLocked(First, SessionID) ||
         FHandle->IsRegionLocked(First + SessionID + 1, FMaxSessionCount - SessionID - 1);
}

bool TQXLTableLocksFile::IsTableLockedByAnyOtherSession(std::int32_t SessionID, TQXLLockType LockType) {
  Handle(10490);
  CheckSession(SessionID);
  if (LockType == ltX) return false;
  return OthersHold(LockType * FMaxSessionCount, SessionID);
}

bool TQXLTableLocksFile::IsTableLockAllowed(std::int32_t SessionID, TQXLLockType LockType,
                                            bool AllowXIRWAfterSIRW) {
  for (int k = 0; k < qxl::LockTypeCount; ++k) {
    const auto Held = static_cast<TQXLLockType>(k);
    if (qxl::IsLockCompatible(Held, LockType)) continue;
    if (AllowXIRWAfterSIRW && LockType == ltXIRW && Held == ltSIRW) continue;
    if (IsTableLockedByAnyOtherSession(SessionID, Held)) return false;
  }
  return true;
}

void TQXLTableLocksFile::WriteRecordID(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  CheckSession(SessionID);
  Handle(10491).WriteBuffer(&RecordID, sizeof RecordID,
                            IdentityRow * FMaxSessionCount + static_cast<std::int32_t>(sizeof RecordID) * SessionID);
}

bool TQXLTableLocksFile::LockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  TQXLInternalDBDirectAccessFile& File = Handle(10491);
  CheckSession(SessionID);
  // The identity goes first: whoever sees the byte locked reads the record
  // it stands for, never the one locked before.
  WriteRecordID(SessionID, RecordID);
  return File.LockByte(RecordRow * FMaxSessionCount + SessionID);
}

bool TQXLTableLocksFile::UnlockRecord(std::int32_t SessionID, const TQXLPageItemID&) {
  TQXLInternalDBDirectAccessFile& File = Handle(10492);
  CheckSession(SessionID);
  return File.UnlockByte(RecordRow * FMaxSessionCount + SessionID);
}

bool TQXLTableLocksFile::IsRecordLockedByAnyOtherSession(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  TQXLInternalDBDirectAccessFile& File = Handle(10493);
  CheckSession(SessionID);
  const std::int32_t Row = RecordRow * FMaxSessionCount;
  if (!OthersHold(Row, SessionID)) return false;
  for (std::int32_t i = 0; i < FMaxSessionCount; ++i) {
    if (i == SessionID || !File.IsByteLocked(Row + i)) continue;
    TQXLPageItemID Locked;
    File.ReadBuffer(&Locked, sizeof Locked, IdentityRow * FMaxSessionCount + static_cast<std::int32_t>(sizeof Locked) * i);
    if (Locked == RecordID) return true;
  }
  return false;
}

bool TQXLTableLocksFile::LockFile() { return Handle(10483).LockFile(); }

bool TQXLTableLocksFile::UnlockFile() { return Handle(10483).UnlockFile(); }

}  // namespace qxl
