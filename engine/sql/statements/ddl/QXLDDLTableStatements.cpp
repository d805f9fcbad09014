#include "engine/sql/statements/ddl/QXLDDLTableStatements.h"

#include <exception>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"

namespace qxl {

void TQXLDDLCreateTable::Parse() {
  CurrentToken();
  if (!NextToken()) throw EQXLException(30249, "Blank SQL command");
  if (TokenIsKeyword(rwIF)) {
    ExpectNextToken(0, 0, nullptr);
    if (!TokenIsKeyword(rwNOT)) RaiseExpected(30486, "NOT", Token);
    ExpectNextToken(0, 0, nullptr);
    if (!TokenIsKeyword(rwEXISTS)) RaiseExpected(30487, "EXISTS", Token);
    ExpectNextToken(0, 0, nullptr);
    FCreateIfNotExists = true;
  }
  ParseTableReference();
  ParseColumnList();
  CheckNothingFollows();
}

void TQXLDDLCreateTable::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  const std::unique_ptr<TQXLStatementTable> Statement = MakeStatementTable(Query);
  TQXLTable& Table = Statement->Table();
  Table.AdvFieldDefs().Clear();
  AddColumnDefs(Table.AdvFieldDefs());
  if (Table.Exists()) {
    if (FCreateIfNotExists) return;
    throw EQXLException(30247, "Cannot create table. Table '%s' already exists", {TableName});
  }
  Table.IndexDefs().Clear();
  Table.AdvIndexDefs().Clear();
  Table.RestructureIndexDefs().Clear();
  AddIndexEntries(Indexes, Table.AdvIndexDefs());
  AddIndexEntries(Indexes, Table.RestructureIndexDefs());
  try {
    Table.CreateTable();
  } catch (const std::exception& Error) {
    throw EQXLException(30248, "Error creating table: '%s'", {std::string(Error.what())});
  }
}

void TQXLDDLDropTable::Parse() {
  CurrentToken();
  if (!NextToken()) throw EQXLException(30251, "Blank SQL command");
  if (TokenIsKeyword(rwIF)) {
    ExpectNextToken(0, 0, nullptr);
    if (!TokenIsKeyword(rwEXISTS)) RaiseExpected(30485, "EXISTS", Token);
    ExpectNextToken(0, 0, nullptr);
  }
  ParseTableReference();
  CheckNothingLeft();
}

void TQXLDDLDropTable::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  const std::unique_ptr<TQXLStatementTable> Statement = MakeStatementTable(Query);
  try {
    if (Statement->Table().Exists()) Statement->Table().DeleteTable();
  } catch (const std::exception& Error) {
    throw EQXLException(30250, "Error dropping table: '%s'", {std::string(Error.what())});
  }
}

void TQXLDDLTruncateTable::Parse() {
  CurrentToken();
  if (!NextToken()) throw EQXLException(30490, "Blank SQL command");
  if (TokenIsKeyword(rwTABLE)) NextToken();
  ParseTableReference();
  CheckNothingLeft();
}

void TQXLDDLTruncateTable::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  const std::unique_ptr<TQXLStatementTable> Statement = MakeStatementTable(Query);
  try {
    Statement->Table().EmptyTable();
  } catch (const std::exception& Error) {
    throw EQXLException(30491, "Error truncating table: '%s'", {std::string(Error.what())});
  }
}

}  // namespace qxl
