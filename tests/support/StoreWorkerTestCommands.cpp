#include "tests/support/StoreWorkerTestCommands.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/support/CursorWorkerCommands.h"
#include "tests/support/SqlWorkerCommands.h"
#include "tests/support/StoreWorkerTableCommands.h"
#include "tests/support/TableWorkerCommands.h"

using namespace qxl;

namespace qxl::testsupport {

namespace {

// A page manager that stops for good at one chosen point, after announcing it
// through a file; the test that started the process kills it there.
class THangingPageManager : public TQXLDiskPageManager {
public:
  enum class TStop { None, AfterFirstCommittedPage, BeforeCounterWrite };

  explicit THangingPageManager(std::string ReadyFile) : FReadyFile(std::move(ReadyFile)) {}
  void Arm(TStop Where) { FStop = Where; }

  void InternalWritePage(TQXLPage* Page) override {
    TQXLDiskPageManager::InternalWritePage(Page);
    if (FStop == TStop::AfterFirstCommittedPage && !FreeSpaceManager()->IsSystemPage(Page->PageNo())) Hang();
  }
  void WriteDBHeader(bool Check) override {
    // Inside an allocation the header is written once, after the space map.
    if (FStop == TStop::BeforeCounterWrite) Hang();
    TQXLDiskPageManager::WriteDBHeader(Check);
  }

private:
  [[noreturn]] void Hang() {
    std::ofstream(FReadyFile) << "ready\n";
    // Never outlives a test that failed before it could kill the worker.
    std::this_thread::sleep_for(std::chrono::minutes(10));
    std::_Exit(3);
  }

  std::string FReadyFile;
  TStop FStop = TStop::None;
};

void OpenShared(TQXLDiskPageManager& M, const std::string& File) {
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(File, TQXLPassword{}, ReadOnly, RepairNeeded, false, MultiUser);
}

int HangInCommit(const std::string& File, const std::string& ReadyFile) {
  THangingPageManager M(ReadyFile);
  OpenShared(M, File);
  for (int i = 0; i < 2; ++i) {
    TQXLPage* Page = M.AddPage(0, ptTableRecord);
    Page->PageData()[0] = 'h';
    M.PutPage(Page);
  }
  M.Arm(THangingPageManager::TStop::AfterFirstCommittedPage);
  M.ApplyChanges(0);
  return 1;  // not reached
}

int HangInAllocation(const std::string& File, const std::string& ReadyFile) {
  THangingPageManager M(ReadyFile);
  OpenShared(M, File);
  M.Arm(THangingPageManager::TStop::BeforeCounterWrite);
  M.AddPage(0, ptTableRecord);
  return 1;  // not reached
}

}  // namespace

std::optional<int> RunStoreWorkerTestCommand(const std::vector<std::string>& Args) {
  if (Args.size() == 3 && Args[0] == "hang-commit") return HangInCommit(Args[1], Args[2]);
  if (Args.size() == 3 && Args[0] == "hang-alloc") return HangInAllocation(Args[1], Args[2]);
  if (auto Result = RunTableWorkerCommand(Args)) return Result;
  if (auto Result = RunCursorWorkerCommand(Args)) return Result;
  if (auto Result = RunSqlWorkerCommand(Args)) return Result;
  return RunStoreWorkerTableCommand(Args);
}

}  // namespace qxl::testsupport
