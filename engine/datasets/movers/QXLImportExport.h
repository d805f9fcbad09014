#pragma once
// Filling a table component's table from another dataset (import: the table
// is made from the other dataset's structure) and filling another dataset,
// which a callback creates, from the table (export). Every problem is
// written to the log; the answer says whether the log stayed as it was.
// Thread rule: one thread; both datasets are the caller's.
#include <functional>
#include <string>

namespace qxl {

class TDataSet;
class TIndexDefs;
class TQXLTable;

// Table must be inactive; it is made anew from SourceTable's field
// definitions (an engine dataset's SQL-level ones with its indexes, else
// the dataset's own with IndexDefs, when given) and filled from
// SourceTable's first record on. Table is left closed.
bool ImportTable(TQXLTable& Table, TDataSet& SourceTable, std::string& Log, const TIndexDefs* IndexDefs);

// DestinationTable is closed, takes the table's field definitions, is made
// by CreateTablePointer, opened with no value required and filled with the
// table's records. The table is left open on its record when it was open.
bool ExportTable(TQXLTable& Table, TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer,
                 std::string& Log);

}  // namespace qxl
