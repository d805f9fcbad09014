#include "engine/sql/statements/ddl/QXLTransactionStatements.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"

namespace qxl {

namespace {

// The database component the query holds while it runs.
TQXLDatabase& QueryDatabase(TQXLDataSet* Query) {
  TQXLDatabase* Database = Query ? Query->Database() : nullptr;
  if (!Database) DatabaseError("The query holds no database to run a transaction statement on");
  return *Database;
}

}  // namespace

void TQXLSQLStartTransaction::Parse() {
  if (!CurrentToken()) throw EQXLException(30457, "Blank SQL command");
  if (!TokenIsKeyword(rwSTART)) RaiseExpected(30458, "START", Token);
  const TToken Start = Token;
  if (!NextToken()) RaiseAtPosition(30459, "Unexpected end of SQL command found at line %d, column %d", Start);
  if (!TokenIsKeyword(rwTRANSACTION)) RaiseExpected(30460, "TRANSACTION", Token);
}

void TQXLSQLStartTransaction::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  QueryDatabase(Query).StartTransaction();
}

void TQXLSQLCommit::Parse() {
  FFlush = false;
  if (!CurrentToken()) throw EQXLException(30461, "Blank SQL command");
  if (!TokenIsKeyword(rwCOMMIT)) RaiseExpected(30462, "COMMIT", Token);
  while (NextToken())
    if (TokenIsKeyword(rwFLUSH)) FFlush = true;
}

void TQXLSQLCommit::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  QueryDatabase(Query).Commit(FFlush);
}

void TQXLSQLRollback::Parse() {
  if (!CurrentToken()) throw EQXLException(30463, "Blank SQL command");
  if (!TokenIsKeyword(rwROLLBACK)) RaiseExpected(30464, "ROLLBACK", Token);
}

void TQXLSQLRollback::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  QueryDatabase(Query).Rollback();
}

}  // namespace qxl
