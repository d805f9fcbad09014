#include "tests/support/MemoWorkerCommands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/DiskTableUser.h"
#include "tools/WorkerGate.h"

namespace qxl::testsupport {

namespace {

using worker::PassGate;
using worker::TPeriod;

constexpr std::int32_t IdField = 0, MemoField = 1;

TQXLPassword PasswordOf(const std::string& Text) {
  TQXLPassword Password;
  if (Text != "-") Password.Password = Text;
  return Password;
}

// As the table commands rest between two steps.
void Rest() { std::this_thread::sleep_for(std::chrono::microseconds(500)); }

int Write(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Rows, int Rounds) {
  U.Open(Table);
  PassGate(Gate);
  TPeriod Period(Gate);
  for (std::int32_t Round = 1; Round <= Rounds; ++Round) {
    const std::int32_t Id = Round % Rows + 1;
    Period.Begin();
    U.Lock(ltRW);
    U.Table().LoadMostUpdated(U.SessionID());
    U.MoveTo(IdField, Id);
    U.WriteMemo(MemoField, MemoText(Id, Round));
    U.Update();
    U.Unlock(ltRW);
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

// The version the memo of record Id says it is, when every byte of it is that version's.
std::int32_t CheckedVersion(std::int32_t Id, const std::string& Memo) {
  const std::string Prefix = std::to_string(Id) + ".";
  if (Memo.rfind(Prefix, 0) != 0) throw std::runtime_error("record " + std::to_string(Id) + " holds another's memo");
  const std::int32_t Version = std::stoi(Memo.substr(Prefix.size()));
  if (Memo != MemoText(Id, Version))
    throw std::runtime_error("the memo of record " + std::to_string(Id) + ", version " + std::to_string(Version) +
                             ", is damaged (" + std::to_string(Memo.size()) + " bytes)");
  return Version;
}

int Read(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Rows,
         const std::string& StopFile) {
  U.Open(Table);
  PassGate(Gate);
  TPeriod Period(Gate);
  long long Reads = 0;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (Reads < 2 || !std::filesystem::exists(StopFile)) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error("the stop file never came");
    Period.Begin();
    int Seen = 0;
    U.Rewind();
    // One record at a time under S, so that the writer finds the table free
    // between two of them.
    for (bool More = true; More;) {
      U.Lock(ltS);
      More = U.Next();
      if (More) CheckedVersion(U.Get(IdField), U.ReadMemo(MemoField));
      U.Unlock(ltS);
      if (More) {
        ++Seen;
        Rest();
      }
    }
    Period.Finish();
    if (Seen != Rows) throw std::runtime_error("read " + std::to_string(Reads) + " saw " + std::to_string(Seen) + " records");
    ++Reads;
    Rest();
  }
  std::printf("seen %lld\n", Reads);
  Period.Print();
  return 0;
}

}  // namespace

std::optional<int> RunMemoWorkerCommand(const std::vector<std::string>& Args) {
  if (Args.size() < 4 || Args[0].rfind("table-memo-", 0) != 0) return std::nullopt;
  const std::string& Command = Args[0];
  const std::size_t N = Args.size();
  TDiskTableUser U(Args[1], PasswordOf(Args[2]));
  if (Command == "table-memo-write" && N == 7) return Write(U, Args[3], Args[4], std::stoi(Args[5]), std::stoi(Args[6]));
  if (Command == "table-memo-read" && N == 7) return Read(U, Args[3], Args[4], std::stoi(Args[5]), Args[6]);
  return std::nullopt;
}

}  // namespace qxl::testsupport
