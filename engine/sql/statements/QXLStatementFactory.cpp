#include "engine/sql/statements/QXLStatementFactory.h"

#include "engine/core/QXLException.h"
#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

std::unique_ptr<TQXLSQLCommand> CreateStatement(TQXLStatementKind Kind, TQXLLexer& Lexer, TQXLDataSet* Query,
                                                const TToken& FirstWord) {
  (void)Lexer;
  (void)Query;
  switch (Kind) {
    default:
      break;
  }
  throw EQXLException(30153, "SQL statement '%s' is not supported at line %d, column %d",
                      {FirstWord.Text, FirstWord.LineNum, FirstWord.ColumnNum});
}

}  // namespace qxl
