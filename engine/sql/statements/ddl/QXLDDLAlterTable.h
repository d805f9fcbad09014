#pragma once
// ALTER TABLE table ADD ( columns ) | DROP ( names ) | MODIFY ( columns ) |
// RENAME [COLUMN] old TO new | RENAME TO new, and RENAME [TABLE] old TO new,
// which runs as ALTER TABLE ... RENAME TO. Column changes edit the table's
// current definitions and rebuild the table with its records; every failure
// reaches the caller as 30265 with its cause in the text.
//
// Threads: one statement, used by the thread that runs it.
#include <string>
#include <vector>

#include "engine/sql/statements/ddl/QXLDDLTableManipulation.h"

namespace qxl {

class TQXLTable;

enum TAlterType : std::uint8_t { atAdd, atDrop, atModify, atRenameColumn, atRenameTable };

class TQXLDDLAlterTable : public TQXLDDLTableManipulation {
public:
  TQXLDDLAlterTable(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDDLTableManipulation(Lexer, Query) {}
  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;

  TAlterType AlterType = atAdd;
  std::vector<std::string> DropColumnNamesList;
  std::vector<std::string> RenameColumnOldNamesList;
  std::vector<std::string> RenameColumnNewNamesList;
  std::string NewTableName;

protected:
  void Parse() override;

private:
  void Alter(TQXLTable& Table);
};

class TQXLDDLRenameTable final : public TQXLDDLAlterTable {
public:
  TQXLDDLRenameTable(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDDLAlterTable(Lexer, Query) {
    AlterType = atRenameTable;
  }

protected:
  void Parse() override;
};

}  // namespace qxl
