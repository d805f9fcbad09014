#pragma once
// One SELECT block: its clauses parsed into a select list, FROM table
// references and conditions, and its plan into a tree of relational
// operators. Planning decides where each part of WHERE is tested, where a
// projection or a grouping goes, and whether the result stays a live view of
// one table. A block is never dispatched on its own: a query expression holds
// it, and the data statements use one to find their rows.
//
// Threads: a statement belongs to the processor that runs it and is used by
// the thread that runs the text.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/statements/QXLSQLCursorCommand.h"
#include "engine/sql/statements/QXLTableReference.h"

namespace qxl {

class TQXLExpression;

class TQXLSQLSelect : public TQXLSQLCursorCommand {
public:
  TQXLSQLSelect(TQXLLexer& Lexer, TQXLDataSet* Query);
  ~TQXLSQLSelect() override;

  bool AllConditionsApplied() override;
  std::unique_ptr<TQXLAO> BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                      TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) override;

  bool Distinct = false;
  std::int32_t TopRowCount = -1;
  std::int32_t FirstRowNo = -1;
  // The select list is a lone "*".
  bool AllFields = false;
  std::vector<TQXLSelectListItem> SelectList;
  std::vector<std::unique_ptr<TQXLTableReference>> FromTables;
  std::unique_ptr<TQXLExpression> SearchCondition;
  std::vector<TQXLSelectListItem> GroupByFields;
  std::unique_ptr<TQXLExpression> HavingCondition;

protected:
  void Parse() override;

private:
  void ParseTop();
  void ParseSelectList();
  void NameDuplicatedColumns();
  void ParseInto();
  void ParseFrom();
  // A reference with the joins that follow it.
  std::unique_ptr<TQXLTableReference> ParseTableReference();
  std::unique_ptr<TQXLTableReference> ParsePrimaryTableReference();
  void ParseJoin(TQXLTableReference& Reference);
  // A search condition from the current token; the select list's aliases
  // in it stand for their items unless the list is "*".
  std::unique_ptr<TQXLExpression> ParseCondition();
  // An integer literal or a parameter's value; else Code.
  std::int32_t ParseInteger(std::int32_t Code);

  // Planning steps.
  std::unique_ptr<TQXLAO> PlanSource(TQXLDataSet* Query, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                     bool AllowNotAppliedConditions);
  std::unique_ptr<TQXLAO> PlanReference(TQXLTableReference& Reference, TQXLDataSet* Query, TQXLAO* ParentQueryAO,
                                        TQXLCursor* ParentCursor, bool AllowNotAppliedConditions);
  std::unique_ptr<TQXLAO> PlanJoin(TQXLTableReference& Reference, TQXLDataSet* Query, TQXLAO* ParentQueryAO,
                                   TQXLCursor* ParentCursor, bool AllowNotAppliedConditions);

  bool FSubqueryHasNotAppliedConditions = false;
};

}  // namespace qxl
