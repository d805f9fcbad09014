#pragma once
// The storage worker program (tools/qxl_store_worker) as a child process of a
// test: started with its output in a file, killed by the kernel when the test
// process dies, and killed and reaped on every way out of its scope.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tools/WorkerGate.h"

extern char** environ;

// What a worker printed: page numbers, "seen N" and "period START END".
struct TWorkerOutput {
  std::vector<std::int32_t> Numbers;
  long long Seen = -1;
  std::int64_t Start = 0, End = 0;
};

class TWorker {
public:
  // Starts the worker with its standard output going to OutFile and its
  // errors to OutFile + ".err".
  TWorker(const std::vector<std::string>& Args, std::string OutFile) : FOutFile(std::move(OutFile)) {
    std::vector<std::string> All{WorkerPath()};
    All.insert(All.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (auto& A : All) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    const int Out = ::open(FOutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int Err = ::open((FOutFile + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t Parent = ::getpid();
    FPid = (Out >= 0 && Err >= 0) ? ::fork() : -1;
    if (FPid == 0) {
      // Only calls that are safe between fork and exec. A worker whose test
      // process is gone, or went before the request took hold, stops at once.
      if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != Parent) ::_exit(126);
      ::dup2(Out, 1);
      ::dup2(Err, 2);
      ::execve(Argv[0], Argv.data(), environ);
      ::_exit(127);
    }
    if (Out >= 0) ::close(Out);
    if (Err >= 0) ::close(Err);
    if (FPid < 0) throw std::runtime_error("cannot start " + All[0] + ": " + std::strerror(errno));
  }
  ~TWorker() { Kill(); }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  void Kill() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGKILL);
    Reap(0);
  }
  // True when the worker has ended; its status is then kept.
  bool Ended() {
    if (FPid <= 0) return true;
    return Reap(WNOHANG);
  }
  // Success when the worker ended by itself with exit code 0 within the time;
  // one that is still running then is killed.
  ::testing::AssertionResult Succeeds(std::chrono::seconds Limit = std::chrono::seconds(120)) {
    const auto Deadline = std::chrono::steady_clock::now() + Limit;
    while (!Ended()) {
      if (std::chrono::steady_clock::now() > Deadline) {
        Kill();
        return ::testing::AssertionFailure() << "worker timed out; " << Errors();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(FStatus) && WEXITSTATUS(FStatus) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "worker status " << FStatus << "; " << Errors();
  }
  // Waits until the file Path exists, the worker has ended or two minutes
  // have passed; true when Path exists.
  bool AwaitFile(const std::string& Path) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!std::filesystem::exists(Path) && !Ended() && std::chrono::steady_clock::now() < Deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return std::filesystem::exists(Path);
  }
  // True once the worker printed Wanted on a line of its own.
  bool Printed(const std::string& Wanted) const {
    std::ifstream In(FOutFile);
    for (std::string Line; std::getline(In, Line);)
      if (Line == Wanted) return true;
    return false;
  }
  TWorkerOutput Output() const {
    TWorkerOutput Result;
    std::ifstream In(FOutFile);
    for (std::string Line; std::getline(In, Line);) {
      std::istringstream Words(Line);
      std::string First;
      Words >> First;
      if (First == "period")
        Words >> Result.Start >> Result.End;
      else if (First == "seen")
        Words >> Result.Seen;
      else if (First != "ready" && First != "first" && !First.empty())
        Result.Numbers.push_back(std::stoi(First));
    }
    return Result;
  }
  std::string Errors() const {
    std::ifstream In(FOutFile + ".err");
    return "stderr: " + std::string(std::istreambuf_iterator<char>(In), {});
  }

private:
  // The tools folder from the environment, else beside the tests' own folder.
  static std::string WorkerPath() {
    if (const char* Dir = std::getenv("QXL_TOOLS_DIR")) return std::string(Dir) + "/qxl_store_worker";
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" /
            "qxl_store_worker")
        .string();
  }
  bool Reap(int Options) {
    pid_t Done;
    do Done = ::waitpid(FPid, &FStatus, Options);
    while (Done < 0 && errno == EINTR);
    if (Done == 0) return false;
    FPid = -1;
    return true;
  }

  std::string FOutFile;
  pid_t FPid = -1;
  int FStatus = 0;
};

// Waits until every worker printed Line, then creates the file Gate. A worker
// that ends or does not get there within two minutes fails.
inline ::testing::AssertionResult OpenWhenAllPrinted(const std::vector<std::unique_ptr<TWorker>>& Workers,
                                                     const std::string& Line, const std::string& Gate) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (const auto& W : Workers) {
    while (!W->Printed(Line)) {
      if (W->Ended())
        return ::testing::AssertionFailure() << "worker ended before it printed " << Line << "; " << W->Errors();
      if (std::chrono::steady_clock::now() > Deadline)
        return ::testing::AssertionFailure() << "worker never printed " << Line;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  std::ofstream(Gate) << "go\n";
  return ::testing::AssertionSuccess();
}

// Opens the gate once every worker stands at it, so that their work starts
// together, and the second gate once every worker has done its first step
// (tools/WorkerGate.h): from then on each worker's period has begun and none
// has ended, so the periods overlap by construction.
inline ::testing::AssertionResult OpenGateWhenReady(const std::vector<std::unique_ptr<TWorker>>& Workers,
                                                    const std::string& Gate) {
  if (::testing::AssertionResult Ready = OpenWhenAllPrinted(Workers, "ready", Gate); !Ready) return Ready;
  return OpenWhenAllPrinted(Workers, "first", qxl::worker::SecondGateOf(Gate));
}

// Opens the gate once every worker stands at it and waits for all of them to
// end, their outputs then in Outputs in the workers' order. Fails when a
// worker does not reach its gate or does not succeed.
inline ::testing::AssertionResult RunThroughGate(const std::vector<std::unique_ptr<TWorker>>& Workers,
                                                 const std::string& Gate, std::vector<TWorkerOutput>& Outputs) {
  if (::testing::AssertionResult Ready = OpenGateWhenReady(Workers, Gate); !Ready) return Ready;
  for (const auto& W : Workers)
    if (::testing::AssertionResult Done = W->Succeeds(); !Done) return Done;
  Outputs.clear();
  for (const auto& W : Workers) Outputs.push_back(W->Output());
  return ::testing::AssertionSuccess();
}

// Success when the working periods of all workers share a moment: the latest
// start lies before the earliest end.
inline ::testing::AssertionResult PeriodsOverlap(const std::vector<TWorkerOutput>& Outputs) {
  std::int64_t LatestStart = 0, EarliestEnd = INT64_MAX;
  for (const auto& O : Outputs) {
    if (O.Start == 0 || O.End < O.Start) return ::testing::AssertionFailure() << "a worker printed no period";
    LatestStart = std::max(LatestStart, O.Start);
    EarliestEnd = std::min(EarliestEnd, O.End);
  }
  if (LatestStart < EarliestEnd) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the workers ran one after another: the last began "
                                       << (LatestStart - EarliestEnd) / 1000 << " us after the first ended";
}
