#pragma once
// DELETE FROM [MEMORY] [file.]table [alias] [PASSWORD 'p'] [WHERE condition]
// Each found row is deleted through the target table component. Outside a
// transaction the statement holds the table's write lock and deletes in one
// batch, cancelled when a row fails; inside one the rows go as part of the
// transaction.
//
// Threads: one statement, used by the thread that runs it.
#include "engine/sql/statements/dml/QXLDMLRowStatement.h"

namespace qxl {

class TQXLSQLDelete final : public TQXLDMLRowStatement {
public:
  TQXLSQLDelete(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDMLRowStatement(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

protected:
  void Parse() override;

private:
  void DeleteRows(TQXLTable& Rows, TQXLTable& Target);
};

}  // namespace qxl
