#pragma once
// The query expression of a subquery, as the subquery node asks for it: it
// parses at once from the lexer's current token, then plans, runs and hands
// over its result through the query statement it holds.
//
// Threads: as the statement that holds the subquery.
#include <memory>

#include "engine/sql/nodes/QXLSubqueryCommand.h"

namespace qxl {

class TQXLSQLUnion;

class TQXLSubqueryStatement final : public TQXLSubqueryCommand {
public:
  TQXLSubqueryStatement(TQXLLexer& Lexer, TQXLDataSet* Query);
  ~TQXLSubqueryStatement() override;

  void BuildAOTree(TDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                   bool AllowNotAppliedConditions) override;
  bool AllConditionsApplied() override;
  TQXLAdvancedFieldType ResultFieldType(std::int32_t VisibleNo) override;
  std::int32_t ResultFieldSize(std::int32_t VisibleNo) override;
  void ExecSQL(TDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
               TQXLCursor* ParentCursor) override;
  TQXLDataSet* GetResultDataset() override;

private:
  std::unique_ptr<TQXLSQLUnion> FStatement;
  // The tree of the last BuildAOTree.
  std::unique_ptr<TQXLAO> FTree;
};

}  // namespace qxl
