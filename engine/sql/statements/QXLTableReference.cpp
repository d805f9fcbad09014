#include "engine/sql/statements/QXLTableReference.h"

#include "engine/datasets/components/QXLDatabase.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/QXLSQLUnion.h"

namespace qxl {

TQXLTableReference::TQXLTableReference() = default;

TQXLTableReference::~TQXLTableReference() {
  // The derived table's and the joins' parts first, the database component last.
  SubQuery.reset();
  SearchCondition.reset();
  RightTable.reset();
  LeftTable.reset();
  ExternalDBToFree.reset();
}

void TQXLTableReference::MakeJoin(std::unique_ptr<TQXLTableReference> RightNode, TQXLJoinType JType, bool IsNatural,
                                  std::vector<std::string> Fields, std::unique_ptr<TQXLExpression> OnCondition) {
  auto Left = std::make_unique<TQXLTableReference>();
  Left->TableType = TableType;
  Left->DatabaseName = std::move(DatabaseName);
  Left->TableName = std::move(TableName);
  Left->Pseudonym = std::move(Pseudonym);
  Left->Password = std::move(Password);
  Left->InMemory = InMemory;
  Left->NaturalJoin = NaturalJoin;
  Left->JoinType = JoinType;
  Left->LeftTable = std::move(LeftTable);
  Left->RightTable = std::move(RightTable);
  Left->UsingFields = std::move(UsingFields);
  Left->SearchCondition = std::move(SearchCondition);
  Left->SubQuery = std::move(SubQuery);
  Left->ExternalDBToFree = std::move(ExternalDBToFree);

  TableType = attJoinedTable;
  DatabaseName.clear();
  TableName.clear();
  Pseudonym.clear();
  Password.clear();
  InMemory = false;
  LeftTable = std::move(Left);
  RightTable = std::move(RightNode);
  JoinType = JType;
  NaturalJoin = IsNatural;
  UsingFields = std::move(Fields);
  SearchCondition = std::move(OnCondition);
}

void TQXLTableReference::MakeSubQuery(TQXLLexer& Lexer, TQXLDataSet* Query) {
  SubQuery = TQXLSQLCommand::Make<TQXLSQLUnion>(Lexer, Query);
  TableType = attSubQuery;
}

}  // namespace qxl
