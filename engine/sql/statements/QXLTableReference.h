#pragma once
// One entry of a FROM clause, a tree: a table, a derived table (a query
// expression in parentheses) or a join of two references. Joins grow to the
// left: turning a reference into a join moves its contents into the new left
// operand. The database component made for a table when the block is planned
// belongs to the reference.
//
// Threads: part of one statement, used by the thread that runs it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/operators/QXLJoinType.h"

namespace qxl {

class TDataSet;
class TQXLDatabase;
class TQXLDataSet;
class TQXLExpression;
class TQXLLexer;
class TQXLSQLUnion;

enum TQXLTableType : std::uint8_t { attTable, attJoinedTable, attSubQuery };

class TQXLTableReference {
public:
  TQXLTableReference();
  ~TQXLTableReference();
  TQXLTableReference(const TQXLTableReference&) = delete;
  TQXLTableReference& operator=(const TQXLTableReference&) = delete;

  // The reference becomes the join of its former self (now LeftTable) and RightNode.
  void MakeJoin(std::unique_ptr<TQXLTableReference> RightNode, TQXLJoinType JType, bool IsNatural,
                std::vector<std::string> Fields, std::unique_ptr<TQXLExpression> OnCondition);
  // The reference becomes a derived table; the query expression is parsed at once.
  void MakeSubQuery(TQXLLexer& Lexer, TQXLDataSet* Query);

  TQXLTableType TableType = attTable;
  // For a table, DatabaseName is the text before the dot: a database file.
  std::string DatabaseName;
  std::string TableName;
  std::string Pseudonym;
  std::string Password;
  bool InMemory = false;
  bool NaturalJoin = false;
  TQXLJoinType JoinType = ajtCross;
  std::unique_ptr<TQXLTableReference> LeftTable;
  std::unique_ptr<TQXLTableReference> RightTable;
  std::vector<std::string> UsingFields;
  std::unique_ptr<TQXLExpression> SearchCondition;
  std::unique_ptr<TQXLSQLUnion> SubQuery;
  // Made when the table is planned.
  std::unique_ptr<TQXLDatabase> ExternalDBToFree;
};

}  // namespace qxl
