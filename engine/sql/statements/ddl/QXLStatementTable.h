#pragma once
// The table component a statement works through, made for one execution:
// the table named in the SQL text, in the query's database or in a database
// file of its own, bound to components that live exactly as long as this
// object (the table is freed before its database component, also when the
// statement fails).
//
// Threads: used by the thread that runs the statement.
#include <memory>

#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

class TQXLStatementTable {
public:
  TQXLStatementTable(TQXLDataSet* Query, const std::string& DatabaseFileName, const std::string& TableName,
                     const std::string& Password, bool InMemory);
  ~TQXLStatementTable();
  TQXLStatementTable(const TQXLStatementTable&) = delete;
  TQXLStatementTable& operator=(const TQXLStatementTable&) = delete;

  TQXLTable& Table() const { return *FTable; }
  TQXLTable* operator->() const { return FTable.get(); }

private:
  std::unique_ptr<TQXLTable> FTable;
  std::unique_ptr<TQXLDatabase> FDatabase;
};

}  // namespace qxl
