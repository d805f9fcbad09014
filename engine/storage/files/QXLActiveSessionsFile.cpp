#include "engine/storage/files/QXLActiveSessionsFile.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDatabaseFile.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"

namespace qxl {

namespace {

constexpr char CannotUnlock[] = "Cannot unlock sessions file";

}  // namespace

TQXLActiveSessionsFile::TQXLActiveSessionsFile(TQXLDiskPageManager& PageManager)
    : LPageManager(PageManager),
      FHandle(std::make_unique<TQXLInternalDBDirectAccessFile>(PageManager, ptActiveSessionList)) {}

TQXLActiveSessionsFile::~TQXLActiveSessionsFile() = default;

std::int32_t TQXLActiveSessionsFile::StartPageNo() const { return FHandle->StartPageNo(); }

TQXLInternalDBDirectAccessFile& TQXLActiveSessionsFile::Handle() const { return *FHandle; }

std::int32_t TQXLActiveSessionsFile::CreateFile(std::int32_t aMaxSessionCount) {
  TQXLInternalDBDirectAccessFile File(LPageManager, ptActiveSessionList);
  File.CreateFile(aMaxSessionCount);
  FMaxSessionCount = aMaxSessionCount;
  return File.StartPageNo();
}

void TQXLActiveSessionsFile::OpenFile(std::int32_t aStartPageNo) {
  auto File = std::make_unique<TQXLInternalDBDirectAccessFile>(LPageManager, ptActiveSessionList);
  File->OpenFile(aStartPageNo);
  FMaxSessionCount = std::min(File->GetSize(), File->FileSize());
  FHandle = std::move(File);
}

void TQXLActiveSessionsFile::CloseFile() {
  FHandle = std::make_unique<TQXLInternalDBDirectAccessFile>(LPageManager, ptActiveSessionList);
  FMaxSessionCount = 0;
}

bool TQXLActiveSessionsFile::LockSessionByte(std::int32_t SessionID) { return Handle().LockByte(SessionID); }

bool TQXLActiveSessionsFile::UnlockFileLock() { return Handle().UnlockFile(); }

template <typename F>
auto TQXLActiveSessionsFile::UnderFileLock(std::int32_t ErrorCode, F&& Operation) {
  // Without the file lock nothing may be counted, taken or given back: the
  // bytes could change under the operation's feet.
  if (!TryRepeatedly(QXLLockTries, QXLLockDelayMS, [this] { return Handle().LockFile(); }))
    throw EQXLException(ErrorCode, CannotUnlock);
  // The release runs on every way out; when it fails, its error is the one
  // reported.
  bool Released = false;
  auto Release = [&] {
    Released = true;
    if (!UnlockFileLock()) throw EQXLException(ErrorCode, CannotUnlock);
  };
  try {
    auto Result = Operation();
    Release();
    return Result;
  } catch (...) {
    if (!Released) Release();
    throw;
  }
}

std::int32_t TQXLActiveSessionsFile::MultiUserConnect() {
  if (!LPageManager.MultiUser()) return 0;
  std::int32_t Taken = -1;
  try {
    return UnderFileLock(20093, [&] {
      for (std::int32_t s = 0; s < FMaxSessionCount; ++s)
        if (LockSessionByte(s)) return Taken = s;
      throw EQXLException(20094,
                          "Cannot connect session. Maximum connections quantity exceeded or database is open in "
                          "single-user mode");
    });
  } catch (...) {
    // A connect that fails holds no session.
    if (Taken >= 0) Handle().UnlockByte(Taken);
    throw;
  }
}

void TQXLActiveSessionsFile::MultiUserDisconnect(std::int32_t SessionID) {
  if (!LPageManager.MultiUser()) return;
  if (SessionID < 0 || SessionID >= FMaxSessionCount) throw EQXLException(20186, "Invalid Session ID");
  UnderFileLock(20096, [&] {
    if (!Handle().UnlockByte(SessionID)) throw EQXLException(20095, "Cannot disconnect session");
    return true;
  });
}

void TQXLActiveSessionsFile::UnlockSessionBytes(std::int32_t Count) {
  for (std::int32_t s = 0; s < Count; ++s) Handle().UnlockByte(s);
}

bool TQXLActiveSessionsFile::SingleUserConnect() {
  return UnderFileLock(20240, [&] {
    if (Handle().IsRegionLocked(0, FMaxSessionCount)) return false;
    // All or nothing: a byte that cannot be had means somebody is connected.
    for (std::int32_t s = 0; s < FMaxSessionCount; ++s) {
      if (!LockSessionByte(s)) {
        UnlockSessionBytes(s);
        return false;
      }
    }
    return true;
  });
}

void TQXLActiveSessionsFile::SingleUserDisconnect() {
  UnderFileLock(20241, [&] {
    UnlockSessionBytes(FMaxSessionCount);
    return true;
  });
}

std::int32_t TQXLActiveSessionsFile::GetDBFileConnectionsCount() {
  return UnderFileLock(30484, [&] {
    std::int32_t Count = 0;
    for (std::int32_t s = 0; s < FMaxSessionCount; ++s)
      if (Handle().IsByteLocked(s)) ++Count;
    return Count;
  });
}

}  // namespace qxl
