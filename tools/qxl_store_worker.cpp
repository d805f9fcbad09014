// A second process on a database file for the storage tests.
//
//   qxl_store_worker alloc FILE COUNT TAG   COUNT times: add a page holding TAG
//                                            and the page number, commit; prints
//                                            each page number on its own line
//   qxl_store_worker hang FILE READYFILE    adds two pages and commits; after
//                                            the first page is written it creates
//                                            READYFILE and waits to be killed
//                                            (at most ten minutes)
//
// Lock retries sleep a fifth of the time they ask for: contention between
// several workers costs little, and a worker still waits long enough for a
// lock on a slow, loaded machine.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "engine/storage/QXLDiskPageManager.h"
#include "platform/Clock.h"

namespace {

class TQuickClock : public platform::Clock {
public:
  void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::microseconds(ms * 200)); }
  std::uint32_t GetTickCount() override { return platform::SystemClock().GetTickCount(); }
};

// Stops for good inside a commit, once the first page has reached the file.
class THangingPageManager : public TQXLDiskPageManager {
public:
  explicit THangingPageManager(std::string ReadyFile) : FReadyFile(std::move(ReadyFile)) {}
  void InternalWritePage(TQXLPage* Page) override {
    TQXLDiskPageManager::InternalWritePage(Page);
    if (Page->PageNo() >= 2 && FCommitting) {
      std::ofstream(FReadyFile) << "ready\n";
      // Never outlives a test that failed before it could kill the worker.
      std::this_thread::sleep_for(std::chrono::minutes(10));
      std::_Exit(3);
    }
  }
  bool FCommitting = false;

private:
  std::string FReadyFile;
};

void Open(TQXLDiskPageManager& M, const std::string& File) {
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(File, TQXLPassword{}, ReadOnly, RepairNeeded, false, MultiUser);
}

int Alloc(const std::string& File, int Count, const std::string& Tag) {
  TQXLDiskPageManager M;
  Open(M, File);
  for (int i = 0; i < Count; ++i) {
    TQXLPage* Page = M.AddPage(0, ptTableRecord);
    const std::int32_t No = Page->PageNo();
    std::snprintf(reinterpret_cast<char*>(Page->PageData()), 64, "%s %d", Tag.c_str(), No);
    M.PutPage(Page);
    M.ApplyChanges(0);
    std::printf("%d\n", No);
  }
  std::fflush(stdout);
  M.CloseDatabase();
  return 0;
}

int Hang(const std::string& File, const std::string& ReadyFile) {
  THangingPageManager M(ReadyFile);
  Open(M, File);
  for (int i = 0; i < 2; ++i) {
    TQXLPage* Page = M.AddPage(0, ptTableRecord);
    Page->PageData()[0] = 'h';
    M.PutPage(Page);
  }
  M.FCommitting = true;
  M.ApplyChanges(0);
  return 1;  // not reached: the test kills the process
}

}  // namespace

int main(int argc, char** argv) {
  TQuickClock Clock;
  platform::ScopedClock UseClock(Clock);
  try {
    const std::string Command = argc > 1 ? argv[1] : "";
    if (Command == "alloc" && argc == 5) return Alloc(argv[2], std::atoi(argv[3]), argv[4]);
    if (Command == "hang" && argc == 4) return Hang(argv[2], argv[3]);
    std::fprintf(stderr, "usage: qxl_store_worker alloc FILE COUNT TAG | hang FILE READYFILE\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
