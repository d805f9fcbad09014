#pragma once
// The base of the table statements (CREATE, DROP, TRUNCATE, ALTER and RENAME
// TABLE): the table reference, and the column list that CREATE TABLE and
// ALTER TABLE ADD and MODIFY share, read into column definitions with flags
// and index entries (primary keys, unique and plain indexes) that become the
// table component's definitions when the statement runs.
//
// Threads: one statement, used by the thread that runs it.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/statements/QXLSQLCommand.h"
#include "engine/sql/statements/ddl/QXLSQLFieldDefs.h"

namespace qxl {

class TQXLAdvFieldDefs;
class TQXLStatementTable;

class TQXLDDLTableManipulation : public TQXLSQLCommand {
public:
  std::string Password;
  std::string DatabaseName;  // a database file named before "." in the reference
  std::string TableName;
  std::string TableAlias;
  TSQLFieldDefs SQLFieldDefs;
  std::vector<TQXLIndexEntry> Indexes;

protected:
  TQXLDDLTableManipulation(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}

  // Nothing may be left at the cursor: 30246 naming the token there.
  void Parse() override;
  void CheckNothingLeft();
  // Nothing may follow the token at the cursor: 30246 naming the next token.
  void CheckNothingFollows();

  // ParseTableName into the reference's fields.
  void ParseTableReference();
  // "(" items {"," items} ")" from the current token; the cursor ends on the ")".
  void ParseColumnList();

  // The table component of the reference, made for this execution.
  std::unique_ptr<TQXLStatementTable> MakeStatementTable(TQXLDataSet* Query) const;
  // Each parsed column as a new definition appended to Defs.
  void AddColumnDefs(TQXLAdvFieldDefs& Defs) const;

  // The token before the cursor: where an unexpected end of the command is reported.
  TToken PreviousToken() const;
  // Moves one on; at the end of the command Code with "Unexpected end of SQL
  // command" at the last token read.
  void NextTokenOrEnd(std::int32_t Code);

private:
  void ParseIndexItem(bool Primary, bool Unique);
  void ParseIndexColumns(std::vector<TQXLIndexField>& Fields);
  void ParseColumn();
  void ParseTypeClause(TSQLFieldDef& Def);
  void ParseAutoincParameters(TSQLFieldDef& Def);
  void ParseColumnOptions(TSQLFieldDef& Def);
  void ParseDefault(TSQLFieldDef& Def);
  // The token after the cursor as an integer: 30292 for another kind,
  // 30291 for one that is no 64-bit integer; EndCode at the end.
  std::int64_t ReadIntegerParameter(std::int32_t EndCode);
  // A MINVALUE or MAXVALUE bound from the tokens after the cursor.
  void ReadBound(TQXLVariant& Value);
  // After an option: the cursor moves on, and the token must be able to
  // start an option or end the column (30229).
  void NextOptionToken();
};

}  // namespace qxl
