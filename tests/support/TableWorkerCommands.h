#pragma once
// Commands of the storage worker program that work on tables of a database
// file as one process of several: each is a user with its own database
// object and session (DiskTableUser.h). PASSWORD is "-" for a plain file.
// Linked into qxl_store_worker only when the tests are built.
//
// Commands that wait at GATE print "ready" first and go on once GATE exists;
// after their first step they print "first" and wait for the second gate
// (tools/WorkerGate.h). They print "period START END", the steady clock in
// nanoseconds at the start of their first step and the end of their last.
//
//   table-count FILE PASSWORD GATE TABLE TIMES
//       TIMES times on the one record of TABLE (ID, Value): edit lock (SIRW and
//       the record lock), reread, Value + 1, posted under RW
//   table-append FILE PASSWORD GATE TABLE WORKER COUNT
//       COUNT records (ID auto-increment, Worker, Seq) with Seq 0 to COUNT-1,
//       each posted under RW
//   table-transfer FILE PASSWORD GATE TABLE ROWS COUNT SEED
//       COUNT transactions on TABLE (ID 1..ROWS, Value): move an amount from
//       one record's Value to another's and commit
//   table-batch FILE PASSWORD GATE TABLE WORKER TRANSACTIONS ROWS
//       TRANSACTIONS transactions under XIRW, each inserting ROWS records
//       (ID auto-increment, Worker, Seq) with Seq 0 to TRANSACTIONS x ROWS - 1
//   table-move FILE PASSWORD GATE TABLE ROWS COUNT WORKER SEED
//       COUNT transactions on TABLE (ROWS records of ID, Value): delete a
//       record chosen at random and insert its Value again under the new ID
//       (WORKER + 1) x 100000 + the transaction's number, and commit
//   table-scan FILE PASSWORD GATE TABLE ROWS TOTAL STOPFILE
//       scans TABLE under S, twice at least, until STOPFILE exists; each
//       scan must see ROWS records whose Values add up to TOTAL; prints
//       "seen N", the number of scans
//   table-keep FILE PASSWORD TABLE READYFILE
//       opens TABLE exclusively; prints "granted" or "error CODE", creates
//       READYFILE and keeps the table until it is killed
//   table-probe FILE PASSWORD TABLE
//       opens TABLE shared, then exclusively; prints "open ok|CODE" and
//       "exclusive ok|CODE", and "rows N" when the shared open succeeded
//   table-make FILE PASSWORD TABLE ROWS
//       creates TABLE (ID, Value) with records ID 1..ROWS, Value 10 x ID
//
// and the memo commands of MemoWorkerCommands.h.
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// Runs Args when it names a table command and returns its exit code;
// nothing when it names none.
std::optional<int> RunTableWorkerCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
