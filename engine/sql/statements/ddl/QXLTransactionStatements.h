#pragma once
// START TRANSACTION, COMMIT [WORK] [FLUSH] and ROLLBACK: each runs the
// operation of the query's database component, which keeps the transaction
// and raises its own errors (a transaction already running, none running).
//
// Threads: one statement, used by the thread that runs it.
#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

class TQXLSQLStartTransaction final : public TQXLSQLCommand {
public:
  TQXLSQLStartTransaction(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

protected:
  void Parse() override;
};

class TQXLSQLCommit final : public TQXLSQLCommand {
public:
  TQXLSQLCommit(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  // The commit writes the database's buffers through to the file.
  bool FFlush = false;

protected:
  void Parse() override;
};

class TQXLSQLRollback final : public TQXLSQLCommand {
public:
  TQXLSQLRollback(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

protected:
  void Parse() override;
};

}  // namespace qxl
