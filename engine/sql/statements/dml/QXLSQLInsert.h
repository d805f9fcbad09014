#pragma once
// INSERT INTO [MEMORY] [file.]table [PASSWORD 'p'] [( columns )]
//   VALUES ( values ) {, ( values )} | [(] SELECT ... [)]
// Rows of values are posted one by one through a table component, so that
// each post locks, checks and fills defaults as a program's post does; a
// failing row is cancelled and the rows posted before it stay. The rows of
// a SELECT are first copied into a temporary table (so that a SELECT of the
// target table never reads rows of this statement), checked to fit the
// column list, and inserted outside a transaction in one batch under the
// table's write lock, which a failing row cancels whole; the temporary
// table goes on every way out.
//
// Threads: one statement, used by the thread that runs it.
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

class TQXLExpression;
class TQXLSQLSelect;
class TQXLTable;

class TQXLSQLInsert final : public TQXLSQLCommand {
public:
  TQXLSQLInsert(TQXLLexer& Lexer, TQXLDataSet* Query);
  ~TQXLSQLInsert() override;
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  std::string TableName;
  std::string DatabaseFileName;
  std::string Password;
  std::vector<std::string> FieldNames;
  std::vector<std::vector<std::unique_ptr<TQXLExpression>>> FieldValues;
  // The "(" that opens each row, named when a row does not fit the table.
  std::vector<TToken> FRowStarts;
  // INSERT ... SELECT: the block and where it starts.
  std::unique_ptr<TQXLSQLSelect> InternalSelecter;
  TToken FSelectStart;

protected:
  void Parse() override;

private:
  void ParseTarget();
  void ParseColumnNames();
  void ParseValues();
  void ParseSelect();
  void InsertValues(TQXLTable& Table);
  // Copies the SELECT's result into a temporary table and inserts its rows.
  void InsertSelected(TQXLDataSet* Query, bool& ReadOnly);
};

}  // namespace qxl
