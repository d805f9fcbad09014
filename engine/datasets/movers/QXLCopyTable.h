#pragma once
// Copying a table component's table into a new table of its own database,
// of the in-memory database or of another database file, structure
// (and, when asked, indexes) and records.
// Thread rule: one thread; the table component is the caller's.
#include <cstdint>
#include <string>

namespace qxl {

class TQXLTable;

// The new table exists and may not be replaced: in a database file, in "MEMORY".
constexpr std::int32_t CopyTargetExistsCode = 30448;
constexpr std::int32_t CopyMemoryTargetExistsCode = 10515;
// Creating the new table failed.
constexpr std::int32_t CopyCreateCode = 30450;
// A field of the table has no field object.
constexpr std::int32_t CopyNoFieldObjectCode = 20297;

// DestDatabaseFileName: empty for Table's own database, "MEMORY" for the
// in-memory one, else a database file opened with DestDatabasePassword.
// Record failures go to Log (and raise unless IgnoreErrors); a stop through
// the copy progress event sets Continue to false. Answers false when the
// copy was stopped or, with IgnoreErrors, when the target could not be made
// (the reason in Log); true when every record was offered to the new table.
// The table is left open on its record when it was open, else closed.
bool CopyTable(TQXLTable& Table, const std::string& NewTableName, std::string& Log, bool& Continue,
               const std::string& DestDatabaseFileName, const std::string& DestDatabasePassword, bool IgnoreErrors,
               bool OverwriteExistingTable, bool CopyIndexes, std::int32_t MinProgress, std::int32_t MaxProgress);

}  // namespace qxl
