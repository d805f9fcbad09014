#pragma once
// A table's locks file: for N sessions, a byte per session and shared mode
// (IS, S, SIRW, XIRW, RW), a record-lock byte per session, and per session
// the identity of the record it has locked. The exclusive mode is the file's
// own lock held over time; every other change of the file takes that lock for
// a moment.
// Thread rule: no lock of its own; the lock manager serialises its calls.
#include <cstdint>
#include <memory>

#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TQXLDiskPageManager;
class TQXLInternalDBDirectAccessFile;

class TQXLTableLocksFile {
public:
  // Bytes per session: five mode bytes, the record byte, six identity bytes.
  static constexpr std::int32_t BytesPerSession = 12;

  explicit TQXLTableLocksFile(TQXLDiskPageManager& PageManager);
  ~TQXLTableLocksFile();
  TQXLTableLocksFile(const TQXLTableLocksFile&) = delete;
  TQXLTableLocksFile& operator=(const TQXLTableLocksFile&) = delete;

  std::int32_t MaxSessionCount() const { return FMaxSessionCount; }
  // The table's identity in every lock list; 10483 while closed.
  std::int32_t StartPageNo() const;
  bool IsOpen() const { return FHandle != nullptr; }

  // Creates the file for the system session and leaves it open; its start page.
  std::int32_t CreateFile(std::int32_t aMaxSessionCount);
  void DeleteFile();
  void OpenFile(std::int32_t aStartPageNo);
  void CloseFile();

  bool LockTable(std::int32_t SessionID, TQXLLockType LockType);
  bool UnlockTable(std::int32_t SessionID, TQXLLockType LockType);
  bool IsTableLockedByAnyOtherSession(std::int32_t SessionID, TQXLLockType LockType);
  bool IsTableLockAllowed(std::int32_t SessionID, TQXLLockType LockType, bool AllowXIRWAfterSIRW);
  bool LockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID);
  bool UnlockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID);
  bool IsRecordLockedByAnyOtherSession(std::int32_t SessionID, const TQXLPageItemID& RecordID);
  // Stores the identity in the session's slot, which only that session writes.
  void WriteRecordID(std::int32_t SessionID, const TQXLPageItemID& RecordID);
  bool LockFile();
  bool UnlockFile();

private:
  TQXLInternalDBDirectAccessFile& Handle(std::int32_t NilCode) const;
  void CheckSession(std::int32_t SessionID) const;
  // Whether any session but SessionID holds its byte in the row of First.
  bool OthersHold(std::int32_t First, std::int32_t SessionID);

  TQXLDiskPageManager& LPageManager;
  std::unique_ptr<TQXLInternalDBDirectAccessFile> FHandle;
  std::int32_t FMaxSessionCount = 0;
};

}  // namespace qxl
