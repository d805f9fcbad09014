#include "engine/sql/statements/QXLSQLProcessor.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/sql/statements/QXLSQLCommand.h"
#include "engine/sql/statements/QXLStatementFactory.h"

namespace qxl {

namespace {

[[noreturn]] void RaiseFound(std::int32_t Code, const char* Message, const TToken& At) {
  throw EQXLException(Code, Message, {At.Text, At.LineNum, At.ColumnNum});
}

[[noreturn]] void RaiseAt(std::int32_t Code, const char* Message, const TToken& At) {
  throw EQXLException(Code, Message, {At.LineNum, At.ColumnNum});
}

constexpr const char* ObjectTypeExpected = "Object type keyword expected, but '%s' found at line %d, column %d";
constexpr const char* UnexpectedEnd = "Unexpected end of SQL command found at line %d, column %d";
constexpr const char* TokenExpected = "SQL token expected, but '%s' found at line %d, column %d";

}  // namespace

TQXLSQLProcessor::TQXLSQLProcessor(TQXLDataSet* Query) : FQuery(Query) {}

TQXLSQLProcessor::~TQXLSQLProcessor() {
  // The statement's tokens point into the lexer's values: the statement goes first.
  FStatement.reset();
  FLex.reset();
}

void TQXLSQLProcessor::PrepareStatement(const std::string& SQLText) { FSqlText = SQLText; }

TQXLCursor* TQXLSQLProcessor::OpenQuery() {
  FRowsAffected = 0;
  FStatement.reset();
  FLex.reset();
  FLex = std::make_unique<TQXLLexer>(FSqlText, &FSQLParams, false);
  const std::int32_t Count = FLex->NumCommands();
  while (true) {
    try {
      if (!NextCommand()) break;
      FStatement->ExecSQL(FQuery, true, FRequestLive, FReadOnly, nullptr, nullptr);
    } catch (EQXLException& Error) {
      // In a text of several statements the error says which one failed.
      if (Count > 1)
        Error.Message = "SQL statement " + std::to_string(FLex->CurrentCommandNo() + 1) + " of " +
                        std::to_string(Count) + ": " + Error.Message;
      throw;
    }
    FRowsAffected += FStatement->RowsAffected;
  }
  if (!FStatement) return nullptr;
  TQXLCursor* Cursor = FStatement->GetResultCursor();
  if (Cursor) Cursor->InternalFirst();
  return Cursor;
}

bool TQXLSQLProcessor::NextCommand() {
  if (FLex->NumCommands() == 0) throw EQXLException(30145, "Blank SQL command");
  if (!FLex->GetNextCommand()) return false;
  FStatement.reset();

  TToken First;
  FLex->SetCurrentTokenNo(0, First);
  TQXLStatementKind Kind = TQXLStatementKind::Query;
  bool AtSecondWord = false;
  TToken Second;
  const bool HasSecond = FLex->LookNextToken(Second);
  if (First.TokenType == tktLeftParenthesis) {
    Kind = TQXLStatementKind::Query;
  } else if (First.TokenType != tktReservedWord) {
    RaiseFound(30154, TokenExpected, First);
  } else {
    switch (First.ReservedWord) {
      case rwSELECT:
        Kind = TQXLStatementKind::Query;
        break;
      case rwINSERT:
        Kind = TQXLStatementKind::Insert;
        break;
      case rwUPDATE:
        Kind = TQXLStatementKind::Update;
        break;
      case rwDELETE:
        Kind = TQXLStatementKind::Delete;
        break;
      case rwCREATE:
        if (!HasSecond) RaiseAt(30148, UnexpectedEnd, First);
        if (IsReservedWord(Second, rwTABLE))
          Kind = TQXLStatementKind::CreateTable;
        else if (IsReservedWord(Second, rwUNIQUE) || IsReservedWord(Second, rwINDEX))
          Kind = TQXLStatementKind::CreateIndex;
        else
          RaiseFound(30147, ObjectTypeExpected, Second);
        AtSecondWord = true;
        break;
      case rwDROP:
        if (!HasSecond) RaiseAt(30150, UnexpectedEnd, First);
        if (IsReservedWord(Second, rwTABLE))
          Kind = TQXLStatementKind::DropTable;
        else if (IsReservedWord(Second, rwINDEX))
          Kind = TQXLStatementKind::DropIndex;
        else
          RaiseFound(30149, ObjectTypeExpected, Second);
        AtSecondWord = true;
        break;
      case rwALTER:
        if (!HasSecond) RaiseAt(30152, UnexpectedEnd, First);
        if (!IsReservedWord(Second, rwTABLE)) RaiseFound(30151, ObjectTypeExpected, Second);
        Kind = TQXLStatementKind::AlterTable;
        AtSecondWord = true;
        break;
      case rwRENAME:
        if (!HasSecond) RaiseAt(30353, UnexpectedEnd, First);
        Kind = TQXLStatementKind::RenameTable;
        AtSecondWord = true;
        if (IsReservedWord(Second, rwTABLE)) {
          // The parse starts at the word after TABLE.
          TToken Third;
          if (!FLex->SetCurrentTokenNo(2, Third)) RaiseAt(30353, UnexpectedEnd, First);
          AtSecondWord = false;
        }
        break;
      case rwTRUNCATE:
        Kind = TQXLStatementKind::TruncateTable;
        break;
      case rwSTART:
        Kind = TQXLStatementKind::StartTransaction;
        break;
      case rwCOMMIT:
        Kind = TQXLStatementKind::Commit;
        break;
      case rwROLLBACK:
        Kind = TQXLStatementKind::Rollback;
        break;
      default:
        RaiseFound(30153, TokenExpected, First);
    }
  }
  if (AtSecondWord) FLex->SetCurrentTokenNo(1);
  FStatement = CreateStatement(Kind, *FLex, FQuery, First);
  if (Kind == TQXLStatementKind::Query) {
    TToken Left;
    if (FLex->GetCurrentToken(Left)) {
      FStatement.reset();
      RaiseFound(20260, "End of SQL command expected, but '%s' found at line %d, column %d", Left);
    }
  }
  return true;
}

}  // namespace qxl
