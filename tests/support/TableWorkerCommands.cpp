#include "tests/support/TableWorkerCommands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "engine/core/QXLException.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/MemoWorkerCommands.h"
#include "tools/WorkerGate.h"

using namespace qxl;

namespace qxl::testsupport {

namespace {

using worker::PassGate;
using worker::TPeriod;

TQXLPassword PasswordOf(const std::string& Text) {
  TQXLPassword Password;
  if (Text != "-") Password.Password = Text;
  return Password;
}

void Say(const std::string& Line) {
  std::printf("%s\n", Line.c_str());
  std::fflush(stdout);
}

// A lock given back and taken again at once is never free for anyone else:
// each step rests a little afterwards, as a client between two edits would.
void Rest() { std::this_thread::sleep_for(std::chrono::microseconds(500)); }

constexpr std::int32_t IdField = 0, ValueField = 1;

int Count(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Times) {
  U.Open(Table);
  U.Rewind();
  if (!U.Next()) throw std::runtime_error("the counter record is missing");
  PassGate(Gate);
  TPeriod Period(Gate);
  for (int i = 0; i < Times; ++i) {
    Period.Begin();
    U.Lock(ltSIRW);
    U.LockCurrentRecord();
    // Only the holder of the record lock may read the value it will raise.
    U.Reread();
    U.Set(ValueField, U.Get(ValueField) + 1);
    U.Lock(ltRW);
    U.Table().LoadMostUpdated(U.SessionID());
    U.Update();
    U.Unlock(ltRW);
    U.UnlockCurrentRecord();
    U.Unlock(ltSIRW);
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

int Insert(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Worker, int Count) {
  U.Open(Table);
  PassGate(Gate);
  TPeriod Period(Gate);
  for (int Seq = 0; Seq < Count; ++Seq) {
    Period.Begin();
    U.Lock(ltRW);
    U.Table().LoadMostUpdated(U.SessionID());
    U.BeginInsert();
    U.Set(1, Worker);
    U.Set(2, Seq);
    U.Insert();
    U.Unlock(ltRW);
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

int Transfer(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Rows, int Count,
             unsigned Seed) {
  U.Open(Table);
  std::mt19937 Random(Seed);
  std::uniform_int_distribution<int> Row(1, Rows), Amount(1, 50);
  PassGate(Gate);
  TPeriod Period(Gate);
  for (int i = 0; i < Count; ++i) {
    const int From = Row(Random);
    int To = Row(Random);
    if (To == From) To = From % Rows + 1;
    const int Moved = Amount(Random);
    Period.Begin();
    U.StartTransaction();
    U.Lock(ltXIRW);
    U.Table().LoadMostUpdated(U.SessionID());
    U.MoveTo(IdField, From);
    U.Set(ValueField, U.Get(ValueField) - Moved);
    U.Update();
    U.MoveTo(IdField, To);
    U.Set(ValueField, U.Get(ValueField) + Moved);
    U.Update();
    // The commit turns XIRW into RW, writes both changes and drops the
    // transaction's locks.
    U.Commit();
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

int InsertInTransactions(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Worker,
                         int Transactions, int Rows) {
  U.Open(Table);
  PassGate(Gate);
  TPeriod Period(Gate);
  for (int t = 0; t < Transactions; ++t) {
    Period.Begin();
    U.StartTransaction();
    U.Lock(ltXIRW);
    U.Table().LoadMostUpdated(U.SessionID());
    for (int r = 0; r < Rows; ++r) {
      U.BeginInsert();
      U.Set(1, Worker);
      U.Set(2, t * Rows + r);
      U.Insert();
    }
    U.Commit();
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

int Move(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Rows, int Count, int Worker,
         unsigned Seed) {
  U.Open(Table);
  std::mt19937 Random(Seed);
  std::uniform_int_distribution<int> Place(0, Rows - 1);
  PassGate(Gate);
  TPeriod Period(Gate);
  for (int i = 0; i < Count; ++i) {
    const int Skipped = Place(Random);
    Period.Begin();
    U.StartTransaction();
    U.Lock(ltXIRW);
    U.Table().LoadMostUpdated(U.SessionID());
    U.Rewind();
    for (int k = 0; k <= Skipped; ++k)
      if (!U.Next()) throw std::runtime_error("a record is missing before a move");
    const std::int32_t Value = U.Get(ValueField);
    U.Delete();
    U.BeginInsert();
    U.Set(IdField, (Worker + 1) * 100000 + i);
    U.Set(ValueField, Value);
    U.Insert();
    U.Commit();
    Period.Finish();
    Rest();
  }
  Period.Print();
  return 0;
}

int Scan(TDiskTableUser& U, const std::string& Gate, const std::string& Table, int Rows, long long Total,
         const std::string& StopFile) {
  U.Open(Table);
  PassGate(Gate);
  TPeriod Period(Gate);
  long long Scans = 0;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  // One scan before the others' first steps are all done, one at least after.
  while (Scans < 2 || !std::filesystem::exists(StopFile)) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error("the stop file never came");
    Period.Begin();
    U.Lock(ltS);
    long long Seen = 0, Sum = 0;
    U.Rewind();
    while (U.Next()) {
      ++Seen;
      Sum += U.Get(ValueField);
    }
    U.Unlock(ltS);
    Period.Finish();
    if (Seen != Rows || Sum != Total)
      throw std::runtime_error("scan " + std::to_string(Scans) + " saw " + std::to_string(Seen) +
                               " records totalling " + std::to_string(Sum));
    ++Scans;
    Rest();
  }
  Say("seen " + std::to_string(Scans));
  Period.Print();
  return 0;
}

std::string Outcome(TDiskTableUser& U, const std::string& Table, bool Exclusive) {
  try {
    U.Open(Table, Exclusive);
    return "ok";
  } catch (const EQXLException& e) {
    return std::to_string(e.NativeError);
  }
}

int Hold(TDiskTableUser& U, const std::string& Table, const std::string& ReadyFile) {
  const std::string Result = Outcome(U, Table, true);
  Say(Result == "ok" ? "granted" : "error " + Result);
  std::ofstream(ReadyFile) << "ready\n";
  if (Result != "ok") return 0;
  // Never outlives a test that failed before it could kill the worker.
  std::this_thread::sleep_for(std::chrono::minutes(10));
  std::_Exit(3);
}

int Probe(TDiskTableUser& U, const std::string& Table) {
  const std::string Shared = Outcome(U, Table, false);
  Say("open " + Shared);
  if (Shared == "ok") {
    long long Rows = 0;
    U.Rewind();
    while (U.Next()) ++Rows;
    Say("rows " + std::to_string(Rows));
    U.Close();
  }
  Say("exclusive " + Outcome(U, Table, true));
  U.Close();
  return 0;
}

int Create(TDiskTableUser& U, const std::string& Table, int Rows) {
  U.CreateTable(Table, {"ID", "Value"});
  U.Open(Table);
  for (int Id = 1; Id <= Rows; ++Id) U.Post({Id, 10 * Id});
  return 0;
}

}  // namespace

std::optional<int> RunTableWorkerCommand(const std::vector<std::string>& Args) {
  if (Args.size() < 4 || Args[0].rfind("table-", 0) != 0) return std::nullopt;
  const std::string& Command = Args[0];
  const std::size_t N = Args.size();
  if (Command == "table-count" && N == 6) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Count(U, Args[3], Args[4], std::stoi(Args[5]));
  }
  if (Command == "table-append" && N == 7) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Insert(U, Args[3], Args[4], std::stoi(Args[5]), std::stoi(Args[6]));
  }
  if (Command == "table-transfer" && N == 8) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Transfer(U, Args[3], Args[4], std::stoi(Args[5]), std::stoi(Args[6]),
                    static_cast<unsigned>(std::stoul(Args[7])));
  }
  if (Command == "table-batch" && N == 8) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return InsertInTransactions(U, Args[3], Args[4], std::stoi(Args[5]), std::stoi(Args[6]), std::stoi(Args[7]));
  }
  if (Command == "table-move" && N == 9) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Move(U, Args[3], Args[4], std::stoi(Args[5]), std::stoi(Args[6]), std::stoi(Args[7]),
                static_cast<unsigned>(std::stoul(Args[8])));
  }
  if (auto Memo = RunMemoWorkerCommand(Args)) return Memo;
  if (Command == "table-scan" && N == 8) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Scan(U, Args[3], Args[4], std::stoi(Args[5]), std::stoll(Args[6]), Args[7]);
  }
  if (Command == "table-keep" && N == 5) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Hold(U, Args[3], Args[4]);
  }
  if (Command == "table-probe" && N == 4) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Probe(U, Args[3]);
  }
  if (Command == "table-make" && N == 5) {
    TDiskTableUser U(Args[1], PasswordOf(Args[2]));
    return Create(U, Args[3], std::stoi(Args[4]));
  }
  return std::nullopt;
}

}  // namespace qxl::testsupport
