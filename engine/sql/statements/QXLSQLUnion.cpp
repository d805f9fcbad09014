#include "engine/sql/statements/QXLSQLUnion.h"

#include "engine/core/QXLException.h"
#include "engine/sql/statements/QXLSQLSelect.h"

namespace qxl {

TQXLQueryExprNode::TQXLQueryExprNode() = default;
TQXLQueryExprNode::~TQXLQueryExprNode() = default;

void TQXLQueryExprNode::AddNode(TQXLQueryExprType NewType, std::unique_ptr<TQXLQueryExprNode> RightNode, bool bAll,
                                bool bCorresponding, std::vector<std::string> ColumnList) {
  auto Moved = std::make_unique<TQXLQueryExprNode>();
  Moved->NodeType = NodeType;
  Moved->Left = std::move(Left);
  Moved->Right = std::move(Right);
  Moved->All = All;
  Moved->Corresponding = Corresponding;
  Moved->CorrespondingFields = std::move(CorrespondingFields);
  Moved->SelectCommand = std::move(SelectCommand);
  NodeType = NewType;
  Left = std::move(Moved);
  Right = std::move(RightNode);
  All = bAll;
  Corresponding = bCorresponding;
  CorrespondingFields = std::move(ColumnList);
}

bool TQXLQueryExprNode::AllConditionsApplied() const {
  if (NodeType == qetSelect) return SelectCommand->AllConditionsApplied();
  return Left->AllConditionsApplied() && Right->AllConditionsApplied();
}

bool TQXLQueryExprNode::HasInto() const {
  if (NodeType == qetSelect) return !SelectCommand->IntoTable.empty();
  return Left->HasInto() || Right->HasInto();
}

TQXLSQLUnion::TQXLSQLUnion(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCursorCommand(Lexer, Query) {}

TQXLSQLUnion::~TQXLSQLUnion() = default;

bool TQXLSQLUnion::AllConditionsApplied() { return FRootNode && FRootNode->AllConditionsApplied(); }

void TQXLSQLUnion::Parse() {
  CurrentToken();
  FRootNode = ParseExpression();
  ParseOrderBy();
  // An ORDER BY after the last block of a set operation orders the whole.
  if (OrderBySpecs.empty() && FRootNode->NodeType != qetSelect && FRootNode->Right->NodeType == qetSelect) {
    OrderBySpecs = std::move(FRootNode->Right->SelectCommand->OrderBySpecs);
    FRootNode->Right->SelectCommand->OrderBySpecs.clear();
  }
  if (FRootNode->NodeType == qetSelect) {
    const TQXLSQLSelect& Block = *FRootNode->SelectCommand;
    IntoTable = Block.IntoTable;
    IntoDatabase = Block.IntoDatabase;
    IntoMemory = Block.IntoMemory;
    IntoImmediate = Block.IntoImmediate;
  } else if (FRootNode->HasInto()) {
    throw EQXLException(20272,
                        "UNION subselect cannot contain INTO caluse. Use SELECT * INTO table FROM (select ... union "
                        "select ...) instead");
  }
}

void TQXLSQLUnion::ParseSetOptions(bool& All, bool& Corresponding, std::vector<std::string>& Columns) {
  ExpectNextToken(0, 0, nullptr);
  if (TokenIsKeyword(rwALL)) {
    All = true;
    ExpectNextToken(0, 0, nullptr);
  }
  if (TokenIsKeyword(rwCORRESPONDING)) {
    Corresponding = true;
    ExpectNextToken(0, 0, nullptr);
    if (TokenIsKeyword(rwBY)) {
      NextToken();
      if (Token.TokenType != tktLeftParenthesis) RaiseExpected(30193, "(", Token);
      ExpectNextToken(0, 0, nullptr);
      ParseFieldNameList(Columns);
      if (CurrentToken() && Token.TokenType == tktRightParenthesis) ExpectNextToken(0, 0, nullptr);
    }
  }
}

std::unique_ptr<TQXLQueryExprNode> TQXLSQLUnion::ParseExpression() {
  std::unique_ptr<TQXLQueryExprNode> Node = ParseTerm();
  while (CurrentToken() &&
         (TokenIsKeyword(rwUNION) || TokenIsKeyword(rwMINUS) || TokenIsKeyword(rwEXCEPT))) {
    const TQXLQueryExprType Type = TokenIsKeyword(rwUNION) ? qetUnion : qetExcept;
    bool All = false;
    bool Corresponding = false;
    std::vector<std::string> Columns;
    ParseSetOptions(All, Corresponding, Columns);
    Node->AddNode(Type, ParseTerm(), All, Corresponding, std::move(Columns));
  }
  return Node;
}

std::unique_ptr<TQXLQueryExprNode> TQXLSQLUnion::ParseTerm() {
  std::unique_ptr<TQXLQueryExprNode> Node = ParsePrimary();
  while (CurrentToken() && TokenIsKeyword(rwINTERSECT)) {
    bool All = false;
    bool Corresponding = false;
    std::vector<std::string> Columns;
    ParseSetOptions(All, Corresponding, Columns);
    Node->AddNode(qetIntersect, ParsePrimary(), All, Corresponding, std::move(Columns));
  }
  return Node;
}

std::unique_ptr<TQXLQueryExprNode> TQXLSQLUnion::ParsePrimary() {
  CurrentToken();
  if (Token.TokenType == tktLeftParenthesis) {
    ExpectNextToken(0, 0, nullptr);
    std::unique_ptr<TQXLQueryExprNode> Node = ParseExpression();
    if (CurrentToken() && Token.TokenType == tktRightParenthesis) NextToken();
    return Node;
  }
  if (!TokenIsKeyword(rwSELECT)) RaiseExpected(30194, "SELECT", Token);
  auto Node = std::make_unique<TQXLQueryExprNode>();
  Node->SelectCommand = Make<TQXLSQLSelect>(*LLex, LQuery);
  return Node;
}

}  // namespace qxl
