#pragma once
// Commands of the storage worker program that work on the table "Items" of a
// database file through the engine's session and local cursor
// (LocalCursorUser.h), as a second process beside a test. PASSWORD is "-"
// for a plain file. Linked into qxl_store_worker only when the tests are built.
//
//   cursor-change FILE PASSWORD ID VALUE
//       edits the record ID, sets Value and posts it
//   cursor-delete FILE PASSWORD ID
//       deletes the record ID
//   cursor-hold-record FILE PASSWORD ID READYFILE
//       begins an edit of the record ID, creates READYFILE and keeps the
//       edit until it is killed
//   cursor-transaction FILE PASSWORD ID VALUE READYFILE STOPFILE
//       in a transaction, edits the record ID, sets Value and posts it,
//       creates READYFILE, waits for STOPFILE, then commits
//   cursor-hold-lock FILE PASSWORD LOCK READYFILE
//       opens the table, takes the table lock LOCK (a TQXLLockType by its
//       number) at once, creates READYFILE and keeps both until it is killed
//   cursor-hold-lock-until FILE PASSWORD LOCK READYFILE STOPFILE
//       as cursor-hold-lock until STOPFILE exists; then releases the lock,
//       prints "released" and ends
//   cursor-probe FILE PASSWORD ID
//       prints 1 or 0 (whether another session holds the record's lock),
//       the record's Value and the table's record count, one a line
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// Runs Args when it names a cursor command and returns its exit code;
// nothing when it names none.
std::optional<int> RunCursorWorkerCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
