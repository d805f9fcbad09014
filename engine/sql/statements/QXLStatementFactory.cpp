#include "engine/sql/statements/QXLStatementFactory.h"

#include "engine/core/QXLException.h"
#include "engine/sql/statements/QXLSQLCommand.h"
#include "engine/sql/statements/QXLSQLUnion.h"
#include "engine/sql/statements/ddl/QXLDDLAlterTable.h"
#include "engine/sql/statements/ddl/QXLDDLIndexStatements.h"
#include "engine/sql/statements/ddl/QXLDDLTableStatements.h"
#include "engine/sql/statements/ddl/QXLTransactionStatements.h"
#include "engine/sql/statements/dml/QXLSQLDelete.h"
#include "engine/sql/statements/dml/QXLSQLInsert.h"
#include "engine/sql/statements/dml/QXLSQLUpdate.h"

namespace qxl {

std::unique_ptr<TQXLSQLCommand> CreateStatement(TQXLStatementKind Kind, TQXLLexer& Lexer, TQXLDataSet* Query,
                                                const TToken& FirstWord) {
  switch (Kind) {
    case TQXLStatementKind::Query:
      return TQXLSQLCommand::Make<TQXLSQLUnion>(Lexer, Query);
    case TQXLStatementKind::Insert: return TQXLSQLCommand::Make<TQXLSQLInsert>(Lexer, Query);
    case TQXLStatementKind::Update: return TQXLSQLCommand::Make<TQXLSQLUpdate>(Lexer, Query);
    case TQXLStatementKind::Delete: return TQXLSQLCommand::Make<TQXLSQLDelete>(Lexer, Query);
    case TQXLStatementKind::CreateTable: return TQXLSQLCommand::Make<TQXLDDLCreateTable>(Lexer, Query);
    case TQXLStatementKind::DropTable: return TQXLSQLCommand::Make<TQXLDDLDropTable>(Lexer, Query);
    case TQXLStatementKind::TruncateTable: return TQXLSQLCommand::Make<TQXLDDLTruncateTable>(Lexer, Query);
    case TQXLStatementKind::AlterTable: return TQXLSQLCommand::Make<TQXLDDLAlterTable>(Lexer, Query);
    case TQXLStatementKind::RenameTable: return TQXLSQLCommand::Make<TQXLDDLRenameTable>(Lexer, Query);
    case TQXLStatementKind::CreateIndex: return TQXLSQLCommand::Make<TQXLDDLCreateIndex>(Lexer, Query);
    case TQXLStatementKind::DropIndex: return TQXLSQLCommand::Make<TQXLDDLDropIndex>(Lexer, Query);
    case TQXLStatementKind::StartTransaction: return TQXLSQLCommand::Make<TQXLSQLStartTransaction>(Lexer, Query);
    case TQXLStatementKind::Commit: return TQXLSQLCommand::Make<TQXLSQLCommit>(Lexer, Query);
    case TQXLStatementKind::Rollback: return TQXLSQLCommand::Make<TQXLSQLRollback>(Lexer, Query);
    default:
      break;
  }
  throw EQXLException(30153, "SQL statement '%s' is not supported at line %d, column %d",
                      {FirstWord.Text, FirstWord.LineNum, FirstWord.ColumnNum});
}

}  // namespace qxl
