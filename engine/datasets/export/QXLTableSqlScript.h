#pragma once
// Writes a table as an SQL script of the engine's dialect: a DROP TABLE line,
// a CREATE TABLE statement with the columns and indexes, and one INSERT per
// record, as the options choose; every line ends in CR LF and the script in
// one more. The table must be inactive; it is opened for the script and
// closed again, also when writing fails (what was written stays written).
// Thread rule: one thread, the table's.
#include <functional>
#include <string_view>

namespace qxl {

class TQXLExportToSqlOptions;
class TQXLTable;

// Receives the script piece by piece, as UTF-8.
using TQXLSqlScriptSink = std::function<void(std::string_view Text)>;

void WriteTableSqlScript(TQXLTable& Table, const TQXLExportToSqlOptions& Options, const TQXLSqlScriptSink& Write);

}  // namespace qxl
