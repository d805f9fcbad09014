#pragma once
// CREATE [UNIQUE] INDEX name ON table ( column [ASC|DESC] [NOCASE|CASE], ... )
// and DROP INDEX [file.]table.index: each opens a table component made for
// the execution, adds or removes the index and closes it again; the table
// component's errors pass to the caller unchanged.
//
// Threads: one statement, used by the thread that runs it.
#include <string>
#include <vector>

#include "engine/sql/statements/QXLSQLCommand.h"
#include "engine/sql/statements/ddl/QXLSQLFieldDefs.h"

namespace qxl {

class TQXLDDLCreateIndex final : public TQXLSQLCommand {
public:
  TQXLDDLCreateIndex(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  bool Unique = false;
  std::string IndexName;
  std::string DatabaseFileName;
  std::string TableName;
  std::string TableAlias;
  std::string Password;
  bool InMemory = false;
  std::vector<TQXLIndexField> QXLIndexFields;

protected:
  void Parse() override;
};

class TQXLDDLDropIndex final : public TQXLSQLCommand {
public:
  TQXLDDLDropIndex(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  std::string IndexName;
  std::string DatabaseFileName;
  std::string TableName;
  std::string TableAlias;
  std::string Password;
  bool InMemory = false;

protected:
  void Parse() override;
};

}  // namespace qxl
