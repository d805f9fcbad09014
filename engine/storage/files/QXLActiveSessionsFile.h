#pragma once
// The sessions file: one byte per possible connection, locked by the
// connection that holds that session number for as long as it stays
// connected. A byte-range lock ends with its holder's handle, so a process
// that dies leaves no connection behind. The file's own lock orders connect,
// disconnect and count between processes.
// Thread rule: no lock of its own; connect and disconnect run under the
// owning database's lock.
#include <cstdint>
#include <memory>

namespace qxl {

class TQXLDiskPageManager;
class TQXLInternalDBDirectAccessFile;

class TQXLActiveSessionsFile {
public:
  explicit TQXLActiveSessionsFile(TQXLDiskPageManager& PageManager);
  virtual ~TQXLActiveSessionsFile();
  TQXLActiveSessionsFile(const TQXLActiveSessionsFile&) = delete;
  TQXLActiveSessionsFile& operator=(const TQXLActiveSessionsFile&) = delete;

  // -1 while the file is closed.
  std::int32_t StartPageNo() const;
  std::int32_t MaxSessionCount() const { return FMaxSessionCount; }

  // Creates the file for the system session; it reaches the database file
  // with that session's commit. Its start page.
  std::int32_t CreateFile(std::int32_t aMaxSessionCount);
  void OpenFile(std::int32_t aStartPageNo);
  void CloseFile();

  // The first free session number, its byte locked (0 without the file
  // when the database is not shared).
  std::int32_t MultiUserConnect();
  void MultiUserDisconnect(std::int32_t SessionID);
  // True when every session byte could be locked: the database is this
  // connection's alone. False, with nothing locked, when anybody is connected.
  bool SingleUserConnect();
  void SingleUserDisconnect();
  // Connected sessions of all processes, this one's included.
  std::int32_t GetDBFileConnectionsCount();

protected:
  // The lock calls on the file, overridden by tests that need one to fail.
  virtual bool LockSessionByte(std::int32_t SessionID);
  virtual bool UnlockFileLock();

private:
  TQXLInternalDBDirectAccessFile& Handle() const;
  // Runs Operation while the file lock is held; ErrorCode is the operation's
  // error for a file lock that cannot be taken or released.
  template <typename F>
  auto UnderFileLock(std::int32_t ErrorCode, F&& Operation);
  void UnlockSessionBytes(std::int32_t Count);

  TQXLDiskPageManager& LPageManager;
  std::unique_ptr<TQXLInternalDBDirectAccessFile> FHandle;
  std::int32_t FMaxSessionCount = 0;
};

}  // namespace qxl
