#pragma once
// The common base of the query statements (one SELECT block, a whole query
// expression): it owns the ORDER BY and the INTO target and runs a query.
// It asks its subclass for the tree of relational operators, holds the
// shared locks of every table of the tree while the tree runs, decides
// whether the result can be edited, and copies the result of SELECT INTO
// into the named table. Its result dataset is what the processor hands to
// the query component.
//
// Threads: a statement belongs to the processor that runs it and is used by
// the thread that runs the text.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/statements/QXLSQLCommand.h"

namespace qxl {

class TQXLAO;

// One ORDER BY item: a column name (or a 1-based column number), with the
// qualifier before a dot.
struct TQXLSortSpecification {
  std::string TableName;
  std::string ColumnName;
  bool Descending = false;
};

class TQXLSQLCursorCommand : public TQXLSQLCommand {
public:
  // The tries of the shared table locks of a query and the pause between them.
  static constexpr std::int32_t LockTries = 900;
  static constexpr std::int32_t LockDelayMS = 100;

  ~TQXLSQLCursorCommand() override;

  void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;
  // Valid after ExecSQL until the statement runs again or is freed.
  TQXLCursor* GetResultCursor() override;
  TQXLDataSet* GetResultDataset() override;

  // After planning: every condition found an operator to test it.
  virtual bool AllConditionsApplied() = 0;
  // Plans the statement into a tree of operators without running it.
  virtual std::unique_ptr<TQXLAO> BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                              TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) = 0;

  // The tree of the last ExecSQL; nullptr before one.
  TQXLAO* RootAO() const { return FRootAO.get(); }

  // The query dataset the statement runs for (set at planning).
  TQXLDataSet* ResultDataset = nullptr;
  std::string IntoDatabase;
  std::string IntoTable;
  bool IntoImmediate = false;
  std::vector<TQXLSortSpecification> OrderBySpecs;

protected:
  using TQXLSQLCommand::TQXLSQLCommand;

  // ORDER BY spec, spec ...; nothing unless the token is ORDER.
  void ParseOrderBy();
  // Sets the result order of AO from OrderBySpecs.
  void ApplyOrderBy(TQXLAO& AO);
  // Opens the tree's tables and takes their shared locks, with the tries
  // above; false when the tables cannot be opened or locked.
  bool LockTables(TQXLAO& Root);
  void UnlockTables(TQXLAO& Root);

private:
  // Copies the result into the INTO table through a table import.
  void CopyIntoTable(TQXLDataSet& Query, TQXLDataSet& Result);

  std::unique_ptr<TQXLAO> FRootAO;
};

}  // namespace qxl
