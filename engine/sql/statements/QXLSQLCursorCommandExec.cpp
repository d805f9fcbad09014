// Running a query statement: its tree planned, the tables locked for the
// run, the tree executed, the result's editability decided, and the result
// of SELECT INTO copied into the named table.
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/statements/QXLSQLCursorCommand.h"
#include "platform/Clock.h"

namespace qxl {

namespace {

bool IsWholeNumber(const std::string& Text) {
  if (Text.empty()) return false;
  for (char C : Text)
    if (C < '0' || C > '9') return false;
  return true;
}

}  // namespace

TQXLSQLCursorCommand::~TQXLSQLCursorCommand() { FRootAO.reset(); }

TQXLCursor* TQXLSQLCursorCommand::GetResultCursor() {
  TQXLDataSet* Result = GetResultDataset();
  return Result ? Result->Handle() : nullptr;
}

TQXLDataSet* TQXLSQLCursorCommand::GetResultDataset() { return FRootAO ? FRootAO->ResultDataset() : nullptr; }

void TQXLSQLCursorCommand::ApplyOrderBy(TQXLAO& AO) {
  if (OrderBySpecs.empty()) return;
  std::string IndexFields;
  std::string DescFields;
  for (const TQXLSortSpecification& Spec : OrderBySpecs) {
    std::string ColumnName = Spec.ColumnName;
    if (Spec.TableName.empty() && IsWholeNumber(ColumnName)) {
      std::int32_t Number = 0;
      try {
        Number = std::stoi(ColumnName);
      } catch (const std::exception&) {
        Number = -1;  // beyond any list: refused below with the number as written
      }
      ColumnName = AO.GetFieldNameByVisibleNumber(Number - 1);
    }
    TQXLIntegerArray Numbers;
    // A grouping's hidden columns stay hidden: they are not in its rows.
    const bool Unhide = !AO.IsGrouping();
    if (AO.FieldExists(ColumnName, Spec.TableName, Unhide, Numbers, false, false) <= 0)
      throw EQXLException(30195, "Column '%s' from ORDER BY clause not found", {ColumnName});
    const std::string Name = AO.GetFieldName(Numbers[0], true);
    if (!IndexFields.empty()) IndexFields += ';';
    IndexFields += Name;
    if (Spec.Descending) {
      if (!DescFields.empty()) DescFields += ';';
      DescFields += Name;
    }
  }
  AO.SetIndex(IndexFields, DescFields, std::string());
}

bool TQXLSQLCursorCommand::LockTables(TQXLAO& Root) {
  if (!Root.OpenTables()) return false;
  for (std::int32_t Try = 0; Try < LockTries; ++Try) {
    if (Root.LockTables()) return true;
    if (!Root.UnlockTables()) throw EQXLException(20226, "Cannot unlock table");
    platform::Sleep(LockDelayMS);
  }
  return false;
}

void TQXLSQLCursorCommand::UnlockTables(TQXLAO& Root) {
  if (!Root.UnlockTables()) throw EQXLException(20227, "Cannot unlock table");
}

void TQXLSQLCursorCommand::ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly,
                                   TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  RowsAffected = 0;
  FRootAO.reset();
  FRootAO = BuildAOTree(Query, RequestLive, ParentQueryAO, ParentCursor, false);
  TQXLAO& Root = *FRootAO;
  const bool Into = !IntoTable.empty();
  if (Into && !Root.IsAOTable()) {
    std::string Database = IntoDatabase;
    if (!IntoMemory && Database.empty()) Database = Query->DatabaseName();
    Root.SetResultTable(IntoMemory || Query->InMemory(), IntoImmediate, IntoTable, Database);
  }
  if (!LockTables(Root)) {
    // What a failed try left locked is already released; the open tables close with the tree.
    throw EQXLException(20225, "Table is locked");
  }
  try {
    Root.Execute(IsRoot, ParentQueryAO, ParentCursor);
  } catch (...) {
    try {
      Root.UnlockTables();
    } catch (...) {
      // The run's own error is the one reported.
    }
    throw;
  }
  UnlockTables(Root);
  if (IsRoot) {
    ReadOnly = !(RequestLive && (Root.IsAOTable() || Into));
    if (TQXLCursor* Cursor = GetResultCursor()) Cursor->FReadOnly = ReadOnly;
  }
  // A root that wrote the INTO table itself (an immediate memory table, or a
  // result without fields of its own) has nothing left to copy.
  if (Into && (Root.IsAOTable() || !SameNameIgnoringCase(Root.ResultDataset()->TableName(), IntoTable)))
    CopyIntoTable(*Query, *Root.ResultDataset());
}

void TQXLSQLCursorCommand::CopyIntoTable(TQXLDataSet& Query, TQXLDataSet& Result) {
  const bool InMemory = IntoMemory || Query.InMemory();
  std::unique_ptr<TQXLTable> Target;
  std::unique_ptr<TQXLDatabase> TargetDatabase;
  if (!InMemory && !IntoDatabase.empty()) {
    // The database the INTO names, found as a table of FROM finds it.
    OpenExternalTable(&Query, IntoDatabase, IntoTable, std::string(), false, Target, TargetDatabase);
  } else {
    Target = std::make_unique<TQXLTable>();
    Target->SetSessionName(Query.SessionName());
    Target->SetDatabaseName(InMemory ? std::string("MEMORY") : Query.DatabaseName());
    Target->SetTableName(IntoTable);
    if (InMemory) Target->SetInMemory(true);
  }
  TQXLDatabase* QueryDatabase = Query.Database();
  const bool Silent = QueryDatabase ? QueryDatabase->SilentMode : false;
  if (QueryDatabase) QueryDatabase->SilentMode = true;
  struct TRestore {
    TQXLDatabase* Db;
    bool Silent;
    ~TRestore() {
      if (Db) Db->SilentMode = Silent;
    }
  } Restore{QueryDatabase, Silent};
  Result.IndexDefs().Clear();
  std::string Log;
  if (!Target->ImportTable(Result, Log, nullptr))
    throw EQXLException(10403, "Error importing table. Cannot copy data due to error: %s\r\n", {Log});
}

}  // namespace qxl
