#include "engine/sql/statements/ddl/QXLStatementTable.h"

#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

TQXLStatementTable::TQXLStatementTable(TQXLDataSet* Query, const std::string& DatabaseFileName,
                                       const std::string& TableName, const std::string& Password, bool InMemory) {
  TQXLSQLCommand::OpenExternalTable(Query, DatabaseFileName, TableName, Password, InMemory, FTable, FDatabase);
}

TQXLStatementTable::~TQXLStatementTable() { TQXLSQLCommand::FreeExternalTable(FTable, FDatabase); }

}  // namespace qxl
