#include "engine/sql/statements/QXLSubqueryStatement.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/statements/QXLSQLUnion.h"

namespace qxl {

namespace {

TQXLDataSet* QueryOf(TDataSet* Query) {
  auto* Dataset = dynamic_cast<TQXLDataSet*>(Query);
  if (!Dataset) throw EQXLException(30153, "'%s' cannot be used in this expression", {std::string("Subquery")});
  return Dataset;
}

}  // namespace

TQXLSubqueryStatement::TQXLSubqueryStatement(TQXLLexer& Lexer, TQXLDataSet* Query)
    : FStatement(TQXLSQLCommand::Make<TQXLSQLUnion>(Lexer, Query)) {}

TQXLSubqueryStatement::~TQXLSubqueryStatement() {
  FTree.reset();
  FStatement.reset();
}

void TQXLSubqueryStatement::BuildAOTree(TDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                        TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) {
  FTree.reset();
  FTree = FStatement->BuildAOTree(QueryOf(Query), RequestLive, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
}

bool TQXLSubqueryStatement::AllConditionsApplied() { return FStatement->AllConditionsApplied(); }

TQXLAdvancedFieldType TQXLSubqueryStatement::ResultFieldType(std::int32_t VisibleNo) {
  return FTree->GetFieldType(FTree->GetFieldNoByVisibleNumber(VisibleNo));
}

std::int32_t TQXLSubqueryStatement::ResultFieldSize(std::int32_t VisibleNo) {
  return FTree->GetFieldSize(FTree->GetFieldNoByVisibleNumber(VisibleNo));
}

void TQXLSubqueryStatement::ExecSQL(TDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly,
                                    TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  FTree.reset();
  FStatement->ExecSQL(QueryOf(Query), IsRoot, RequestLive, ReadOnly, ParentQueryAO, ParentCursor);
}

TQXLDataSet* TQXLSubqueryStatement::GetResultDataset() { return FStatement->GetResultDataset(); }

}  // namespace qxl
