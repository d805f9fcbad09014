#pragma once
// CREATE TABLE, DROP TABLE and TRUNCATE TABLE: each parses its own syntax
// and runs through a table component made for the execution; a failure of
// the table component reaches the caller under the statement's own code with
// the cause in its text.
//
// Threads: one statement, used by the thread that runs it.
#include "engine/sql/statements/ddl/QXLDDLTableManipulation.h"

namespace qxl {

// CREATE TABLE [IF NOT EXISTS] table ( columns and indexes )
class TQXLDDLCreateTable final : public TQXLDDLTableManipulation {
public:
  TQXLDDLCreateTable(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDDLTableManipulation(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  bool FCreateIfNotExists = false;

protected:
  void Parse() override;
};

// DROP TABLE [IF EXISTS] table: a missing table is no error.
class TQXLDDLDropTable final : public TQXLDDLTableManipulation {
public:
  TQXLDDLDropTable(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDDLTableManipulation(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

protected:
  void Parse() override;
};

// TRUNCATE [TABLE] table
class TQXLDDLTruncateTable final : public TQXLDDLTableManipulation {
public:
  TQXLDDLTruncateTable(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDDLTableManipulation(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

protected:
  void Parse() override;
};

}  // namespace qxl
