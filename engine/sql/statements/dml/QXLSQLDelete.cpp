#include "engine/sql/statements/dml/QXLSQLDelete.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"
#include "engine/sql/statements/dml/QXLTableWriteLock.h"

namespace qxl {

void TQXLSQLDelete::Parse() {
  if (!CurrentToken()) throw EQXLException(30216, "Blank SQL command");
  ExpectNextToken(0, 0, nullptr);
  if (!TokenIsKeyword(rwFROM)) RaiseExpected(30184, "FROM", Token);
  ExpectNextToken(TableNameKinds, 30180, "Table name expected, but '%s' found at line %d, column %d");
  ParseTarget();
  ParseWhere();
}

void TQXLSQLDelete::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  RowsAffected = 0;
  TRowTables Tables;
  OpenRowTables(Query, Tables);
  TQXLTable& Rows = Tables.Rows->Table();
  TQXLTable& Target = Tables.Target->Table();
  TQXLTableDataLock DataLock(*Rows.Handle());
  if (InTransaction(Rows)) {
    DeleteRows(Rows, Target);
    return;
  }
  TQXLTableWriteLock WriteLock(*Rows.Handle(), 20223);
  TQXLCursor& Batch = *Target.Handle();
  Batch.BeginBatchUpdate();
  try {
    DeleteRows(Rows, Target);
    Batch.EndBatchUpdate();
  } catch (...) {
    try {
      Batch.CancelBatchUpdate();
    } catch (...) {
      // The deletion's own failure is the one reported.
    }
    RowsAffected = 0;
    throw;
  }
}

void TQXLSQLDelete::DeleteRows(TQXLTable& Rows, TQXLTable& Target) {
  Rows.First();
  while (!Rows.Eof()) {
    const TBookmark Bookmark = Rows.GetBookmark();
    Target.GotoBookmark(Bookmark);
    Rows.Next();
    Target.Delete();
    ++RowsAffected;
  }
}

}  // namespace qxl
