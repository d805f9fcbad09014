#pragma once
// Commands of the storage worker program that work on tables of a database
// file through the disk database and table data, as a program's process
// would: the tests of several processes on one table start them. Linked into
// qxl_store_worker only when the tests are built.
//
// Every table they use has one integer field, "ID".
//
//   table-create FILE TABLE         creates the table and exits
//   table-insert FILE TABLE FIRST COUNT GATE
//                                   prints "ready", waits for the file GATE,
//                                   then inserts IDs FIRST to FIRST + COUNT - 1,
//                                   each under RW and committed on its own,
//                                   meeting the others at the second gate
//                                   after the first; prints "period START END"
//   table-hold FILE TABLE READYFILE opens the table exclusively, creates
//                                   READYFILE and waits to be killed
//   table-crash-commit FILE TABLE READYFILE
//                                   inserts two rows in a transaction and dies
//                                   (every handle let go, as a killed process's)
//                                   right after the commit's second write;
//                                   then creates READYFILE and waits to be killed
//
// Threads: one worker process, one thread.
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// The command's exit code, or nothing when Args names none of these.
std::optional<int> RunStoreWorkerTableCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
