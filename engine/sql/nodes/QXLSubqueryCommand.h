#pragma once
// What a subquery node asks of the statement layer: the query dataset it runs
// for makes a query expression from the subquery's text, and that query
// expression plans itself, runs, and hands over its materialised result.
// Declared here so that the nodes stand on no statement class.
// Thread rule: as every node (one thread per statement).
#include <cstdint>
#include <memory>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TDataSet;
class TQXLAO;
class TQXLCursor;
class TQXLDataSet;
class TQXLLexer;

// One parsed query expression (the text of a subquery).
class TQXLSubqueryCommand {
public:
  virtual ~TQXLSubqueryCommand() = default;
  // Builds the operator tree without running it; ParentQueryAO and
  // ParentCursor serve the outer references.
  virtual void BuildAOTree(TDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                           bool AllowNotAppliedConditions) = 0;
  // After BuildAOTree: whether every condition found an operator to test it.
  virtual bool AllConditionsApplied() = 0;
  // After BuildAOTree: the SQL type and size of visible result column VisibleNo.
  virtual TQXLAdvancedFieldType ResultFieldType(std::int32_t VisibleNo) = 0;
  virtual std::int32_t ResultFieldSize(std::int32_t VisibleNo) = 0;
  // Plans and runs the query; its result stays valid until the command is
  // run again or freed.
  virtual void ExecSQL(TDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
                       TQXLCursor* ParentCursor) = 0;
  virtual TQXLDataSet* GetResultDataset() = 0;
};

// The query dataset a statement runs for, as far as its subqueries need it.
class TQXLSubqueryHost {
public:
  virtual ~TQXLSubqueryHost() = default;
  // Parses the query expression that starts at the lexer's current token and
  // leaves the lexer on the first token after it.
  virtual std::unique_ptr<TQXLSubqueryCommand> CreateSubqueryCommand(TQXLLexer& Lexer) = 0;
};

}  // namespace qxl
