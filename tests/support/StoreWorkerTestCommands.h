#pragma once
// Commands of the storage worker program that only tests need: they stop a
// process at a chosen point inside the page store, so that a test can kill it
// there. Linked into qxl_store_worker only when the tests are built.
//
// Threads: one worker process, one thread.
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// Runs Args (command and its arguments) when it names a test command and
// returns its exit code; nothing when the command is not one of them. The
// table commands of TableWorkerCommands.h are among them.
//
//   hang-commit FILE READYFILE  adds two pages and commits; after the first
//                               page reached the file it creates READYFILE
//                               and waits to be killed
//   hang-alloc FILE READYFILE   adds one page; once the space map marks it
//                               used, before the header's counters are
//                               written, it creates READYFILE and waits
//   table-...                   the table commands (StoreWorkerTableCommands.h)
std::optional<int> RunStoreWorkerTestCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
