// A second process on a database file for the storage tests.
//
//   qxl_store_worker alloc FILE COUNT TAG [OPTIONS]
//       COUNT times: add a page holding TAG and the page number, commit;
//       prints each page number on its own line
//   qxl_store_worker count FILE PAGE TIMES [OPTIONS]
//       TIMES times, each under the header lock: read the counter page PAGE
//       (synchronised), check it is whole, add one, commit; pauses for a
//       millisecond between two increments
//   qxl_store_worker watch FILE PAGE LAST [OPTIONS]
//       reads the counter page PAGE (synchronised, under the header lock)
//       once before the gate and then until it holds LAST, checking that it
//       is whole and never goes back; prints "seen N", the number of
//       different values it met
//   qxl_store_worker release FILE FIRST LAST [OPTIONS]
//       releases pages FIRST to LAST in one commit
//   qxl_store_worker connect FILE multi|single READYFILE [OPTIONS]
//       connects through the sessions file; prints "session N", "single",
//       "refused" or "error CODE", creates READYFILE and keeps a connection
//       it got until it is killed
//   qxl_store_worker addtables FILE PREFIX COUNT [OPTIONS]
//       COUNT times under the tables byte: adds table PREFIX<i> to the table
//       list, saves it and commits
//   qxl_store_worker hold FILE LOCKSPAGE SESSION LOCK READYFILE [OPTIONS]
//       one try at a table lock (IS, S, SIRW, XIRW, RW, U, X) or a record lock
//       (R<page>.<item>) in the locks file at LOCKSPAGE as session SESSION;
//       prints "granted" or "refused", creates READYFILE and keeps a granted
//       lock until it is killed
//
// OPTIONS: gate=PATH prints "ready" and waits for PATH to exist before the
// work starts, then, once its first commit or read is done (for watch: once
// the counter has moved from where it stood before the gate), prints "first"
// and waits for PATH.second (tools/WorkerGate.h); password=TEXT opens an
// encrypted file. Commands that commit or read print "period START END": the
// steady clock in nanoseconds when their first commit or read began and their
// last one ended.
//
// Lock retries sleep a fifth of the time they ask for: contention between
// several workers costs little, and a worker still waits long enough for a
// lock on a slow, loaded machine.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLActiveSessionsFile.h"
#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/files/QXLTableListFile.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "engine/core/QXLException.h"
#include "platform/Clock.h"
#include "tools/WorkerGate.h"
#ifdef QXL_WORKER_TEST_COMMANDS
#include "tests/support/StoreWorkerTestCommands.h"
#endif

using namespace qxl;

namespace {

class TQuickClock : public platform::Clock {
public:
  void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::microseconds(ms * 200)); }
  std::uint32_t GetTickCount() override { return platform::SystemClock().GetTickCount(); }
};

using TOptions = std::map<std::string, std::string>;

using qxl::worker::TPeriod;

void Open(TQXLDiskPageManager& M, const std::string& File, const TOptions& Options) {
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  TQXLPassword Password;
  if (auto It = Options.find("password"); It != Options.end()) Password.Password = It->second;
  M.OpenDatabase(File, Password, ReadOnly, RepairNeeded, false, MultiUser);
}

std::string GateOf(const TOptions& Options) {
  auto It = Options.find("gate");
  return It == Options.end() ? std::string() : It->second;
}

// Lets the starter line its workers up, so that their work overlaps.
void PassGate(const TOptions& Options) {
  if (const std::string Gate = GateOf(Options); !Gate.empty()) qxl::worker::PassGate(Gate);
}

// The counter page holds one value repeated over its whole data area, so that
// a page read half-way through a write shows.
std::int32_t CounterOf(const TQXLPage* Page) {
  std::int32_t Value;
  std::memcpy(&Value, Page->PageData(), sizeof Value);
  for (std::uint16_t At = 0; At + sizeof Value <= Page->PageDataSize(); At += sizeof Value)
    if (std::memcmp(Page->PageData() + At, &Value, sizeof Value) != 0)
      throw std::runtime_error("page " + std::to_string(Page->PageNo()) + " is torn");
  return Value;
}

void SetCounter(TQXLPage* Page, std::int32_t Value) {
  for (std::uint16_t At = 0; At + sizeof Value <= Page->PageDataSize(); At += sizeof Value)
    std::memcpy(Page->PageData() + At, &Value, sizeof Value);
}

// Holds the header lock for a scope: the stand-in for the table locks that
// keep readers and writers of one table apart.
class THeaderLock {
public:
  explicit THeaderLock(TQXLDiskPageManager& M) : FM(M) {
    if (!TryRepeatedly(QXLLockTries, QXLLockDelayMS, [&] { return FM.LockDBHeader(); }))
      throw std::runtime_error("header lock not granted");
  }
  ~THeaderLock() { FM.UnlockDBHeader(); }
  THeaderLock(const THeaderLock&) = delete;
  THeaderLock& operator=(const THeaderLock&) = delete;

private:
  TQXLDiskPageManager& FM;
};

int Alloc(const std::string& File, int Count, const std::string& Tag, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  PassGate(Options);
  TPeriod Period(GateOf(Options));
  for (int i = 0; i < Count; ++i) {
    Period.Begin();
    TQXLPage* Page = M.AddPage(0, ptTableRecord);
    const std::int32_t No = Page->PageNo();
    std::snprintf(reinterpret_cast<char*>(Page->PageData()), 64, "%s %d", Tag.c_str(), No);
    M.PutPage(Page);
    M.ApplyChanges(0);
    Period.Finish();
    std::printf("%d\n", No);
  }
  Period.Print();
  M.CloseDatabase();
  return 0;
}

int Count(const std::string& File, std::int32_t PageNo, int Times, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  PassGate(Options);
  TPeriod Period(GateOf(Options));
  for (int i = 0; i < Times; ++i) {
    Period.Begin();
    {
      THeaderLock Lock(M);
      TQXLPage* Page = M.GetPage(0, PageNo, ptTableRecord, true);
      Page->MakeWritable();
      SetCounter(Page, CounterOf(Page) + 1);
      M.PutPage(Page);
      M.ApplyChanges(0);
    }
    Period.Finish();
    // A lock given back and taken again at once is never free for anyone
    // else: the next increment waits a little, as a client between two
    // transactions would.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Period.Print();
  return 0;
}

int Watch(const std::string& File, std::int32_t PageNo, std::int32_t Last, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  std::set<std::int32_t> Seen;
  std::int32_t Value = -1;
  auto Read = [&] {
    THeaderLock Lock(M);
    TQXLPage* Page = M.GetPage(0, PageNo, ptTableRecord, true);
    const std::int32_t Now = CounterOf(Page);
    M.PutPage(Page);
    if (Now < Value) throw std::runtime_error("the counter went back");
    Value = Now;
    Seen.insert(Value);
  };
  // The value before the gate is the writers' starting point; the first step
  // ends once the writers' first steps moved it, and the writers wait for
  // that step: so the watcher meets a value between the first and the last.
  Read();
  const std::int32_t Before = Value;
  PassGate(Options);
  TPeriod Period(GateOf(Options));
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (Value != Last) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error("the last value never came");
    Period.Begin();
    Read();
    if (Value != Before) Period.Finish();
  }
  std::printf("seen %zu\n", Seen.size());
  Period.Print();
  return 0;
}

int Release(const std::string& File, std::int32_t First, std::int32_t Last, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  PassGate(Options);
  for (std::int32_t PageNo = First; PageNo <= Last; ++PageNo) M.RemovePage(0, PageNo);
  M.ApplyChanges(0);
  return 0;
}

// ---- Sessions, table list and table locks ----------------------------------

// Where the sessions file and the table list start, from the system directory.
struct TStructure {
  std::int32_t SessionsPageNo = -1;
  std::int32_t TableListPageNo = -1;
};

TStructure LoadStructure(TQXLDiskPageManager& M) {
  TQXLSystemDirectory Directory(M);
  Directory.LoadDirectory();
  return {Directory.GetFileFirstPageNo(dbftActiveSessionsList), Directory.GetFileFirstPageNo(dbftTablesList)};
}

// Prints a line, flushed, then creates ReadyFile: the starter reads the line
// once the file exists.
void Announce(const std::string& Line, const std::string& ReadyFile) {
  std::printf("%s\n", Line.c_str());
  std::fflush(stdout);
  std::ofstream(ReadyFile) << "ready\n";
}

// Keeps what the process holds until the test kills it; never outlives a
// test that failed before it could.
[[noreturn]] void HoldUntilKilled() {
  std::this_thread::sleep_for(std::chrono::minutes(10));
  std::_Exit(3);
}

std::string ErrorLine(const EQXLException& e) { return "error " + std::to_string(e.NativeError); }

// Connects MODE "multi" or "single" and keeps the connection.
int Connect(const std::string& File, const std::string& Mode, const std::string& ReadyFile,
            const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  TQXLActiveSessionsFile Sessions(M);
  Sessions.OpenFile(LoadStructure(M).SessionsPageNo);
  try {
    if (Mode == "single") {
      const bool Alone = Sessions.SingleUserConnect();
      Announce(Alone ? "single" : "refused", ReadyFile);
      if (!Alone) return 0;
    } else {
      Announce("session " + std::to_string(Sessions.MultiUserConnect()), ReadyFile);
    }
  } catch (const EQXLException& e) {
    Announce(ErrorLine(e), ReadyFile);
    return 0;
  }
  HoldUntilKilled();
}

// COUNT times, as a table creation does: takes the tables byte, adds table
// PREFIX<i> to the list, saves it and commits before the byte goes.
int AddTables(const std::string& File, const std::string& Prefix, int Count, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  TQXLTableListFile List(M);
  List.OpenFile(LoadStructure(M).TableListPageNo);
  PassGate(Options);
  TPeriod Period(GateOf(Options));
  for (int i = 0; i < Count; ++i) {
    Period.Begin();
    // Byte-range locks queue nobody: the holder releases and takes the byte
    // again within microseconds, so the other process polls briefly for up to
    // a minute, and each process rests a moment after its release.
    if (!TryRepeatedly(60000, 1, [&] { return M.LockTables(); })) throw std::runtime_error("tables byte not granted");
    {
      TQXLUnlockOnExit Unlock([&] { return M.UnlockTables(); });
      List.AddTable(i, Prefix + std::to_string(i), -1, -1, -1);
      List.Save();
      M.ApplyChanges(QXLSystemSessionID);
    }
    Period.Finish();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Period.Print();
  return 0;
}

// LOCK is a mode (IS, S, SIRW, XIRW, RW, U, X) or a record "R<page>.<item>";
// one try. Prints "granted" and keeps the lock, or "refused".
int HoldLock(const std::string& File, std::int32_t LocksPageNo, std::int32_t SessionID, const std::string& Lock,
             const std::string& ReadyFile, const TOptions& Options) {
  TQXLDiskPageManager M;
  Open(M, File, Options);
  TQXLTableLocksFile Locks(M);
  Locks.OpenFile(LocksPageNo);
  TQXLDatabaseTableLockManager Manager(Locks.MaxSessionCount(), M);
  static const std::map<std::string, TQXLLockType> Modes = {{"IS", ltIS},     {"S", ltS},   {"SIRW", ltSIRW},
                                                            {"XIRW", ltXIRW}, {"RW", ltRW}, {"U", ltU},
                                                            {"X", ltX}};
  bool Granted;
  if (Lock.size() > 1 && Lock[0] == 'R' && Lock.find('.') != std::string::npos) {
    const TQXLPageItemID Record{std::stoi(Lock.substr(1)),
                                static_cast<std::uint16_t>(std::stoi(Lock.substr(Lock.find('.') + 1)))};
    Granted = Manager.LockRecord(SessionID, Locks, Record, 1, 0);
  } else {
    Granted = Manager.LockTable(SessionID, Modes.at(Lock), Locks, 1, 0, false, false);
  }
  Announce(Granted ? "granted" : "refused", ReadyFile);
  if (Granted) HoldUntilKilled();
  return 0;
}

int Run(std::vector<std::string> Args) {
  TOptions Options;
  while (!Args.empty() && Args.back().find('=') != std::string::npos) {
    const std::string& Option = Args.back();
    Options[Option.substr(0, Option.find('='))] = Option.substr(Option.find('=') + 1);
    Args.pop_back();
  }
  const std::string Command = Args.empty() ? "" : Args[0];
  if (Args.size() == 4) {
    if (Command == "alloc") return Alloc(Args[1], std::stoi(Args[2]), Args[3], Options);
    if (Command == "count") return Count(Args[1], std::stoi(Args[2]), std::stoi(Args[3]), Options);
    if (Command == "watch") return Watch(Args[1], std::stoi(Args[2]), std::stoi(Args[3]), Options);
    if (Command == "release") return Release(Args[1], std::stoi(Args[2]), std::stoi(Args[3]), Options);
  }
  if (Command == "connect" && Args.size() == 4) return Connect(Args[1], Args[2], Args[3], Options);
  if (Command == "addtables" && Args.size() == 4) return AddTables(Args[1], Args[2], std::stoi(Args[3]), Options);
  if (Command == "hold" && Args.size() == 6)
    return HoldLock(Args[1], std::stoi(Args[2]), std::stoi(Args[3]), Args[4], Args[5], Options);
#ifdef QXL_WORKER_TEST_COMMANDS
  if (auto Result = qxl::testsupport::RunStoreWorkerTestCommand(Args)) return *Result;
#endif
  std::fprintf(stderr, "usage: qxl_store_worker alloc|count|watch|release FILE ... [gate=PATH] [password=TEXT]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  TQuickClock Clock;
  platform::ScopedClock UseClock(Clock);
  try {
    const int Result = Run(std::vector<std::string>(argv + 1, argv + argc));
    std::fflush(stdout);
    return Result;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
