#pragma once
// Commands of the storage worker program that run SQL text on a database
// file through a database component and the SQL processor, as one process
// of several. PASSWORD is "-" for a plain file. Linked into qxl_store_worker
// only when the tests are built.
//
//   sql-repeat FILE PASSWORD GATE SQL TIMES
//       runs SQL TIMES times, the parameter :i being the run's number (0 to
//       TIMES - 1); waits at GATE first (tools/WorkerGate.h) and prints
//       "period START END". TIMES comes last: the program takes trailing
//       arguments with "=" for its options.
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// Runs Args when it names an SQL command and returns its exit code;
// nothing when it names none.
std::optional<int> RunSqlWorkerCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
