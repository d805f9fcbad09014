#pragma once
// Changing a table's structure in place while keeping its data: the table
// is renamed aside, a table of the requested structure takes its name, the
// records are copied with each field found by its object id (so a renamed
// field keeps its values), and the old table is dropped. Any failure puts
// the old table back under its name, as it was.
// Thread rule: one thread; the table component is the caller's.
#include <cstdint>
#include <string>

namespace qxl {

class TQXLTable;

// A structure change inside a transaction.
constexpr std::int32_t RestructureInTransactionCode = 20180;

// Table must be inactive; the requested structure is its
// RestructureFieldDefs and RestructureIndexDefs. Answers false when the new
// table could not be made or the old one not dropped (the reason in Log) or
// the copy was stopped (the table then stays as it was); raises after
// restoring for any other failure.
bool RestructureTable(TQXLTable& Table, std::string& Log);

}  // namespace qxl
