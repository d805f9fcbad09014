#include "tests/support/FaultyFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform::test {

// A handle of the inner file system with the faults of its owner.
class FaultyFileSystem::Handle : public FileHandle {
public:
  Handle(FaultyFileSystem& owner, std::unique_ptr<FileHandle> inner) : FOwner(owner), FInner(std::move(inner)) {
    FName = FInner->Name();
    std::lock_guard guard(FOwner.FMutex);
    FOwner.FHandles.insert(this);
  }
  ~Handle() override {
    std::lock_guard guard(FOwner.FMutex);
    FOwner.FHandles.erase(this);
  }

  const std::string& Name() const override { return FName; }

  std::int64_t ReadSome(void* buffer, std::size_t count, std::int64_t offset) override {
    Alive("Read");
    bool interrupted = false;
    count = FOwner.Shorten(count, interrupted);
    if (interrupted) return -EINTR;
    return FInner->ReadSome(buffer, count, offset);
  }

  std::int64_t WriteSome(const void* buffer, std::size_t count, std::int64_t offset) override {
    Alive("Write");
    bool interrupted = false;
    count = FOwner.Shorten(count, interrupted);
    if (interrupted) return -EINTR;
    int number = 0;
    if (const int error = FOwner.BeginWrite(number)) return -error;
    const std::int64_t n = FInner->WriteSome(buffer, count, offset);
    FOwner.EndWrite(number);
    return n;
  }

  std::int64_t Size() const override {
    Alive("Size");
    return FInner->Size();
  }

  void SetSize(std::int64_t size) override {
    Alive("SetSize");
    int number = 0;
    if (const int error = FOwner.BeginWrite(number)) throw EOSError(error, DescribeFailure("SetSize", FName, error));
    FInner->SetSize(size);
    FOwner.EndWrite(number);
  }

  void Flush() override {
    Alive("Flush");
    int error = 0;
    {
      std::lock_guard guard(FOwner.FMutex);
      if (FOwner.FFlushFault.Hits(++FOwner.FFlushes)) error = FOwner.FFlushFault.Error;
    }
    if (error) throw EOSError(error, DescribeFailure("Flush", FName, error));
    FInner->Flush();
  }

  bool IsHealthy() const override {
    std::lock_guard guard(FOwner.FMutex);
    if (FOwner.FCrashed || !FInner) return false;
    if (FOwner.FFailHealthCheck) {
      FOwner.FFailHealthCheck = false;
      return false;
    }
    return FInner->IsHealthy();
  }

  void Close() override {
    // A crash has let go of the file already.
    if (FInner) std::exchange(FInner, nullptr)->Close();
    int error = 0;
    {
      std::lock_guard guard(FOwner.FMutex);
      error = std::exchange(FOwner.FCloseError, 0);
    }
    if (error) throw EOSError(error, DescribeFailure("Close", FName, error));
  }

  bool Lock(std::int64_t offset, std::int64_t count) override {
    Alive("Lock");
    return FInner->Lock(offset, count);
  }
  bool Unlock(std::int64_t offset, std::int64_t count) override {
    Alive("Unlock");
    return FInner->Unlock(offset, count);
  }
  bool IsRegionLocked(std::int64_t offset, std::int64_t count) const override {
    Alive("IsRegionLocked");
    return FInner->IsRegionLocked(offset, count);
  }

  // The crash: the file and its locks are let go without a word.
  void Drop() {
    try {
      if (FInner) std::exchange(FInner, nullptr)->Close();
    } catch (const Exception&) {
    }
  }

private:
  void Alive(const char* operation) const {
    FOwner.CheckAlive(operation, FName);
    if (!FInner) throw EOSError(EBADF, DescribeFailure(operation, FName, EBADF));
  }

  FaultyFileSystem& FOwner;
  std::unique_ptr<FileHandle> FInner;
  std::string FName;
};

FaultyFileSystem::~FaultyFileSystem() = default;

void FaultyFileSystem::Arm(Fault& fault, int from, int k, int error, int times) {
  fault.First = from + k;
  fault.Last = times < 0 ? -1 : from + k + times - 1;
  fault.Error = error;
}

void FaultyFileSystem::FailWrite(int k, int error, int times) {
  std::lock_guard guard(FMutex);
  Arm(FWriteFault, FWrites, k, error, times);
}

void FaultyFileSystem::FailFlush(int k, int error, int times) {
  std::lock_guard guard(FMutex);
  Arm(FFlushFault, FFlushes, k, error, times);
}

void FaultyFileSystem::FailNextHealthCheck() {
  std::lock_guard guard(FMutex);
  FFailHealthCheck = true;
}

void FaultyFileSystem::CrashAfterWrite(int k) {
  {
    std::lock_guard guard(FMutex);
    FCrashAfter = FWrites + k;
  }
  if (k <= 0) Crash();
}

void FaultyFileSystem::ShortTransfers(std::size_t mostPerCall) {
  std::lock_guard guard(FMutex);
  FMostPerCall = mostPerCall;
  FTransfers = 0;
}

void FaultyFileSystem::OnOpen(std::function<void(const std::string&)> hook) {
  std::lock_guard guard(FMutex);
  FOnOpen = std::move(hook);
}

int FaultyFileSystem::Writes() const {
  std::lock_guard guard(FMutex);
  return FWrites;
}

int FaultyFileSystem::Flushes() const {
  std::lock_guard guard(FMutex);
  return FFlushes;
}

int FaultyFileSystem::Transfers() const {
  std::lock_guard guard(FMutex);
  return FTransfers;
}

bool FaultyFileSystem::Crashed() const {
  std::lock_guard guard(FMutex);
  return FCrashed;
}

void FaultyFileSystem::CheckAlive(const char* operation, const std::string& name) const {
  std::lock_guard guard(FMutex);
  if (FCrashed) throw EOSError(EIO, DescribeFailure(operation, name, EIO));
}

int FaultyFileSystem::BeginWrite(int& number) {
  std::lock_guard guard(FMutex);
  number = ++FWrites;
  return FWriteFault.Hits(number) ? FWriteFault.Error : 0;
}

void FaultyFileSystem::EndWrite(int number) {
  bool crash;
  {
    std::lock_guard guard(FMutex);
    crash = number == FCrashAfter;
  }
  if (crash) Crash();
}

std::size_t FaultyFileSystem::Shorten(std::size_t count, bool& interrupted) {
  std::lock_guard guard(FMutex);
  if (!FMostPerCall) return count;
  interrupted = FTransfers++ == 0;
  return std::min(count, FMostPerCall);
}

void FaultyFileSystem::Crash() {
  std::lock_guard guard(FMutex);
  FCrashed = true;
  for (Handle* handle : FHandles) handle->Drop();
}

std::unique_ptr<FileHandle> FaultyFileSystem::Wrap(const std::string& fileName,
                                                   const std::function<std::unique_ptr<FileHandle>()>& open) {
  CheckAlive("Open", fileName);
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard guard(FMutex);
    hook = FOnOpen;
  }
  if (hook) hook(fileName);
  return std::make_unique<Handle>(*this, open());
}

std::unique_ptr<FileHandle> FaultyFileSystem::Open(const std::string& fileName, AccessMode access, ShareMode share) {
  return Wrap(fileName, [&] { return FInner.Open(fileName, access, share); });
}

std::unique_ptr<FileHandle> FaultyFileSystem::Create(const std::string& fileName, ShareMode share) {
  return Wrap(fileName, [&] { return FInner.Create(fileName, share); });
}

void FaultyFileSystem::FailNextNameChange(int error, int times) {
  std::lock_guard guard(FMutex);
  FNameChangeError = error;
  FNameChangeFailures = times;
}

void FaultyFileSystem::FailNextClose(int error) {
  std::lock_guard guard(FMutex);
  FCloseError = error;
}

void FaultyFileSystem::LimitFreeSpace(std::int64_t bytes) {
  std::lock_guard guard(FMutex);
  FFreeSpace = bytes;
}

int FaultyFileSystem::NameChanges() const {
  std::lock_guard guard(FMutex);
  return FNameChanges;
}

void FaultyFileSystem::CheckNameChange(const char* operation, const std::string& name) {
  CheckAlive(operation, name);
  std::lock_guard guard(FMutex);
  ++FNameChanges;
  if (FNameChangeFailures <= 0) return;
  const int error = FNameChangeError;
  if (--FNameChangeFailures == 0) FNameChangeError = 0;
  throw EOSError(error, DescribeFailure(operation, name, error));
}

bool FaultyFileSystem::Delete(const std::string& fileName) {
  CheckNameChange("Delete", fileName);
  return FInner.Delete(fileName);
}

bool FaultyFileSystem::Rename(const std::string& oldName, const std::string& newName) {
  CheckNameChange("Rename", oldName);
  return FInner.Rename(oldName, newName);
}

bool FaultyFileSystem::Replace(const std::string& fileName, const std::string& existingName) {
  CheckNameChange("Replace", existingName);
  return FInner.Replace(fileName, existingName);
}

std::int64_t FaultyFileSystem::FreeSpace(const std::string& fileName) {
  CheckAlive("FreeSpace", fileName);
  {
    std::lock_guard guard(FMutex);
    if (FFreeSpace >= 0) return FFreeSpace;
  }
  return FInner.FreeSpace(fileName);
}

bool FaultyFileSystem::Exists(const std::string& fileName) {
  CheckAlive("Exists", fileName);
  return FInner.Exists(fileName);
}

bool FaultyFileSystem::IsReadOnly(const std::string& fileName) {
  CheckAlive("IsReadOnly", fileName);
  return FInner.IsReadOnly(fileName);
}

bool FaultyFileSystem::IsWriteRefused(const std::string& fileName) {
  CheckAlive("IsWriteRefused", fileName);
  return FInner.IsWriteRefused(fileName);
}

std::string FaultyFileSystem::TempFileName() {
  CheckAlive("TempFileName", "");
  return FInner.TempFileName();
}

}  // namespace platform::test
