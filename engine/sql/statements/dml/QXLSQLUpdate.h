#pragma once
// UPDATE [MEMORY] [file.]table [alias] [PASSWORD 'p']
//   SET column = value {, column = value} | SET ( columns ) = ( subquery )
//   [WHERE condition]
// Each found row is edited through the target table component, its values
// read from the row being changed. Outside a transaction the whole
// statement is one batch under the table's write lock, cancelled when any
// row fails and run again, up to 15 runs; inside one the rows are changed
// once as part of the transaction.
//
// Threads: one statement, used by the thread that runs it.
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/statements/dml/QXLDMLRowStatement.h"

namespace qxl {

class TQXLSQLUpdate final : public TQXLDMLRowStatement {
public:
  static constexpr std::int32_t BatchRuns = 15;
  static constexpr std::int32_t RunPauseMS = 100;

  TQXLSQLUpdate(TQXLLexer& Lexer, TQXLDataSet* Query);
  ~TQXLSQLUpdate() override;
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  std::vector<std::string> FieldNames;
  std::vector<std::unique_ptr<TQXLExpression>> FieldValues;
  bool IsFieldValuesSubquery = false;
  std::unique_ptr<TQXLExpression> FieldValuesSubqueryExpr;

protected:
  void Parse() override;

private:
  void ParseRowForm();
  void ParseValueForm();
  void ChangeRows(TQXLTable& Rows, TQXLTable& Target);
  void SetRowValues(TQXLTable& Target);
};

}  // namespace qxl
