#include "tests/support/CursorWorkerCommands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/support/LocalCursorUser.h"

namespace qxl::testsupport {

namespace {

void Say(long long Number) {
  std::printf("%lld\n", Number);
  std::fflush(stdout);
}

void Expect(const TLocalCursorUser& U, const char* What) {
  if (U.Code() != 0) throw std::runtime_error(std::string(What) + " failed with code " + std::to_string(U.Code()));
}

void Announce(const std::string& ReadyFile) { std::ofstream(ReadyFile) << "ready\n"; }

void WaitForFile(const std::string& Path) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!std::filesystem::exists(Path)) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error("never told to go on");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int Change(TLocalCursorUser& U, std::int32_t Id, std::int32_t Value) {
  U.MoveTo(Id);
  U.BeginEdit();
  Expect(U, "edit");
  U.Set(TLocalCursorUser::ValueField, Value);
  U.Post();
  Expect(U, "post");
  return 0;
}

int Delete(TLocalCursorUser& U, std::int32_t Id) {
  U.MoveTo(Id);
  U.Delete();
  Expect(U, "delete");
  return 0;
}

[[noreturn]] void HoldRecord(TLocalCursorUser& U, std::int32_t Id, const std::string& ReadyFile) {
  U.MoveTo(Id);
  U.BeginEdit();
  Expect(U, "edit");
  Announce(ReadyFile);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

int Transaction(TLocalCursorUser& U, std::int32_t Id, std::int32_t Value, const std::string& ReadyFile,
                const std::string& StopFile) {
  U.Session().StartTransaction();
  Change(U, Id, Value);
  Announce(ReadyFile);
  WaitForFile(StopFile);
  U.Session().Commit(false);
  return 0;
}

// Lock is a TQXLLockType by its number; the table stays open beside it.
[[noreturn]] void HoldLock(TLocalCursorUser& U, std::int32_t Lock, const std::string& ReadyFile) {
  if (!U.Cursor().LockTable(static_cast<TQXLLockType>(Lock), 1, 0, true))
    throw std::runtime_error("the table lock " + std::to_string(Lock) + " was refused");
  Announce(ReadyFile);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// As HoldLock, until StopFile exists; then the lock is released and
// "released" printed.
int HoldLockUntil(TLocalCursorUser& U, std::int32_t Lock, const std::string& ReadyFile, const std::string& StopFile) {
  if (!U.Cursor().LockTable(static_cast<TQXLLockType>(Lock), 1, 0, true))
    throw std::runtime_error("the table lock " + std::to_string(Lock) + " was refused");
  Announce(ReadyFile);
  WaitForFile(StopFile);
  if (!U.Cursor().UnlockTable(static_cast<TQXLLockType>(Lock), false))
    throw std::runtime_error("the table lock " + std::to_string(Lock) + " was not released");
  std::printf("released\n");
  std::fflush(stdout);
  return 0;
}

int Probe(TLocalCursorUser& U, std::int32_t Id) {
  U.MoveTo(Id);
  Say(U.Cursor().IsRecordLocked() ? 1 : 0);
  Say(U.Get(TLocalCursorUser::ValueField));
  Say(U.Cursor().GetRecordCount());
  return 0;
}

}  // namespace

std::optional<int> RunCursorWorkerCommand(const std::vector<std::string>& Args) {
  if (Args.size() < 4 || Args[0].rfind("cursor-", 0) != 0) return std::nullopt;
  const std::string& Command = Args[0];
  TLocalCursorUser U(Args[1], Args[2], "Worker");
  U.Open();
  const std::int32_t Id = std::stoi(Args[3]);
  if (Command == "cursor-change" && Args.size() == 5) return Change(U, Id, std::stoi(Args[4]));
  if (Command == "cursor-delete" && Args.size() == 4) return Delete(U, Id);
  if (Command == "cursor-hold-record" && Args.size() == 5) HoldRecord(U, Id, Args[4]);
  if (Command == "cursor-transaction" && Args.size() == 7)
    return Transaction(U, Id, std::stoi(Args[4]), Args[5], Args[6]);
  if (Command == "cursor-probe" && Args.size() == 4) return Probe(U, Id);
  if (Command == "cursor-hold-lock" && Args.size() == 5) HoldLock(U, Id, Args[4]);
  if (Command == "cursor-hold-lock-until" && Args.size() == 6) return HoldLockUntil(U, Id, Args[4], Args[5]);
  return std::nullopt;
}

}  // namespace qxl::testsupport
