#pragma once
// A worker that prints one line, creates its ready file and then keeps what
// it got (a connection, a lock) until the test kills it.
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"

namespace qxl {

struct TAnnouncingWorker {
  std::unique_ptr<TWorker> Worker;
  std::string Line;
};

// Starts the worker with Args followed by its ready file, and waits for its line.
inline TAnnouncingWorker StartAnnouncing(const TScratchDir& Dir, const std::string& Tag,
                                         std::vector<std::string> Args) {
  const std::string Ready = Dir.File(Tag + ".ready"), Out = Dir.File(Tag + ".out");
  Args.push_back(Ready);
  TAnnouncingWorker Result{std::make_unique<TWorker>(Args, Out), ""};
  Result.Worker->AwaitFile(Ready);
  std::ifstream In(Out);
  if (!std::getline(In, Result.Line)) Result.Line = "no line; " + Result.Worker->Errors();
  return Result;
}

}  // namespace qxl
