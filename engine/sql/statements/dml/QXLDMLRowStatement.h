#pragma once
// The base of UPDATE and DELETE: the table they change, the search
// condition that chooses the rows, and the two table components a run works
// with: the rows found (a live view of the table restricted by the
// condition, read from its first row) and the target, a second component on
// the same table that goes to each found row by its bookmark and changes it.
// Outside a transaction the statement holds the table data lock and the
// table's write lock and makes its changes in one batch of the target.
//
// Threads: one statement, used by the thread that runs it.
#include <memory>
#include <string>

#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

class TQXLExpression;
class TQXLStatementTable;
class TQXLTable;

class TQXLDMLRowStatement : public TQXLSQLCommand {
public:
  ~TQXLDMLRowStatement() override;

  std::string DatabaseFileName;
  std::string TableName;
  std::string Password;
  std::string FTablePseudonym;
  // The rows' condition; nullptr for every row.
  std::unique_ptr<TQXLExpression> SearchCondition;

protected:
  TQXLDMLRowStatement(TQXLLexer& Lexer, TQXLDataSet* Query);

  // The table reference into the fields above; the cursor ends after it.
  void ParseTarget();
  // [WHERE condition] and the end of the command (20260 for a token left).
  void ParseWhere();

  // The components of one execution, opened; the rows' view restricted.
  struct TRowTables {
    std::unique_ptr<TQXLStatementTable> Rows;
    std::unique_ptr<TQXLStatementTable> Target;
    ~TRowTables();
  };
  void OpenRowTables(TQXLDataSet* Query, TRowTables& Tables);
  // Whether the rows' table is changed inside a transaction of its database.
  static bool InTransaction(TQXLTable& Table);
};

}  // namespace qxl
