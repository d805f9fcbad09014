#pragma once
// A file system for tests that passes every call to another one (the real
// files by default) and injects faults into the handles it gives out: the k-th
// write or flush fails with a chosen error, the next health check fails, the
// process "crashes" after write k, transfers come back short and interrupted,
// the next deletes, renames and replacements fail, the next close reports an
// error, the free space reads as a chosen number of bytes, and a hook runs before every open, where a
// test can act as another process.
//
// Writes are WriteSome and SetSize calls of any of its handles, numbered from
// 1 in the order they happen; a fault set with k counts from the moment it is
// set. Faults and counters may be used from one thread at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/FileSystem.h"

namespace platform::test {

class FaultyFileSystem : public FileSystem {
public:
  explicit FaultyFileSystem(FileSystem& inner = RealFileSystem()) : FInner(inner) {}
  ~FaultyFileSystem() override;
  FaultyFileSystem(const FaultyFileSystem&) = delete;
  FaultyFileSystem& operator=(const FaultyFileSystem&) = delete;

  // The k-th write from now and the times-1 after it fail with error and write
  // nothing; times < 0: every write from the k-th on.
  void FailWrite(int k, int error, int times = 1);
  // The same for flushes.
  void FailFlush(int k, int error, int times = 1);
  // The next health check of any handle reports the handle unusable.
  void FailNextHealthCheck();
  // Write k from now is done; then the process is taken as dead: every handle
  // lets go of its file and locks at once, every later call of a handle or of
  // the file system fails with EIO, and nothing more reaches the files.
  void CrashAfterWrite(int k);
  // While on, the first transfer is interrupted and every other one moves at
  // most mostPerCall bytes. 0 turns it off.
  void ShortTransfers(std::size_t mostPerCall);
  // The next times Delete, Rename or Replace calls fail with error and change nothing.
  void FailNextNameChange(int error, int times = 1);
  // The next Close of any handle releases the file and then reports error.
  void FailNextClose(int error);
  // FreeSpace answers bytes from now on; a negative number: the inner's answer.
  void LimitFreeSpace(std::int64_t bytes);
  int NameChanges() const;
  // Runs before every Open and Create with the file name (nullptr: none).
  void OnOpen(std::function<void(const std::string&)> hook);

  int Writes() const;
  int Flushes() const;
  // Transfers (ReadSome and WriteSome calls) since short transfers were turned on.
  int Transfers() const;
  bool Crashed() const;

  std::unique_ptr<FileHandle> Open(const std::string& fileName, AccessMode access, ShareMode share) override;
  std::unique_ptr<FileHandle> Create(const std::string& fileName, ShareMode share) override;
  bool Delete(const std::string& fileName) override;
  bool Rename(const std::string& oldName, const std::string& newName) override;
  bool Replace(const std::string& fileName, const std::string& existingName) override;
  std::int64_t FreeSpace(const std::string& fileName) override;
  bool Exists(const std::string& fileName) override;
  bool IsReadOnly(const std::string& fileName) override;
  bool IsWriteRefused(const std::string& fileName) override;
  std::string TempFileName() override;

private:
  class Handle;
  friend class Handle;

  // What happens to one write or flush.
  struct Fault {
    int First = 0, Last = 0;  // numbers of the calls that fail; Last < 0: no end
    int Error = 0;
    bool Hits(int n) const { return Error && n >= First && (Last < 0 || n <= Last); }
  };
  static void Arm(Fault& fault, int from, int k, int error, int times);
  void CheckAlive(const char* operation, const std::string& name) const;
  void CheckNameChange(const char* operation, const std::string& name);
  // Counts a write; its error when it is to fail, else 0.
  int BeginWrite(int& number);
  void EndWrite(int number);
  // The number of bytes a transfer may move, or 0 for an interrupted one.
  std::size_t Shorten(std::size_t count, bool& interrupted);
  void Crash();
  std::unique_ptr<FileHandle> Wrap(const std::string& fileName, const std::function<std::unique_ptr<FileHandle>()>& open);

  FileSystem& FInner;
  mutable std::mutex FMutex;
  std::set<Handle*> FHandles;
  std::function<void(const std::string&)> FOnOpen;
  int FWrites = 0, FFlushes = 0, FTransfers = 0;
  Fault FWriteFault, FFlushFault;
  int FCrashAfter = -1;
  int FNameChangeError = 0;
  int FNameChangeFailures = 0;
  int FNameChanges = 0;
  int FCloseError = 0;
  std::int64_t FFreeSpace = -1;
  bool FCrashed = false;
  bool FFailHealthCheck = false;
  std::size_t FMostPerCall = 0;
};

}  // namespace platform::test
