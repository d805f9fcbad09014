#pragma once
// The one object through which the engine parses and evaluates an expression:
// a dataset filter, a Locate condition, a column default, an SQL search
// condition or value. It owns one tree of expression nodes, builds it with the
// expression grammar, binds it to a cursor or a relational operator, and at
// the expression level plans queries: AND groups flattened, parts of a
// condition pushed down to the operators that can test them, equality pairs
// taken out as join columns, comparisons on indexed columns turned into index
// scan conditions (the nodes they came from lent out of the tree meanwhile).
//
// Threads: one expression belongs to one cursor, statement or operator and is
// used by the thread that runs it.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/QXLExpression.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNode;
class TQXLAO;


class TDataSet;
class TQXLExprParser;
struct TQXLSelectListItem;

class TQXLExpression final : public TQXLBaseExpression {
public:
  TQXLExpression();
  // Adopts a ready tree.
  explicit TQXLExpression(std::unique_ptr<TQXLExprNode> RootNode);
  ~TQXLExpression() override;
  TQXLExpression(const TQXLExpression&) = delete;
  TQXLExpression& operator=(const TQXLExpression&) = delete;

  // Parse entries; each replaces the tree. Syntax errors raise EQXLException
  // naming the offending token and its line and column.
  void ParseForLocate(TQXLCursor* Cursor, const std::string& FieldNames, const Variant& KeyValues,
                      bool CaseInsensitive, bool PartialKey) override;
  void ParseForFilter(TQXLCursor* Cursor, const std::string& Filter, bool CaseInsensitive,
                      bool PartialKey) override;
  void ParseForIsAnyRecordMatchCondition(TQXLCursor* Cursor, const std::string& FieldName, TQXLDataOperator Operator,
                                         const TQXLVariant& Value) override;
  // A search condition from the lexer's current token; the lexer is left on
  // the first token after it.
  void ParseForBooleanExpression(TDataSet* Dataset, TQXLLexer* Lexer);
  // A value expression from the lexer; one that does not parse leaves the
  // expression empty without an error.
  void ParseForValueExpression(TDataSet* Dataset, TQXLLexer* Lexer);
  bool ParseForDefaultValueExpression(const std::string& DefaultValue) override;
  void ParseForRowSubqueryExpression(TDataSet* Dataset, TQXLLexer* Lexer);

  // Evaluation.
  TQXLVariant* GetValue(bool TrueFalseNullLogic) override;
  bool GetResult() override;
  bool IsAggregated();
  bool IsAggregatedCountAll();
  void Init();
  void Accumulate();
  void SetCountAll(std::int32_t RecordCount);
  void ResetSubqueryFieldValues();
  TQXLVariant* GetSubqueryFieldValue(std::int32_t FieldNo);
  TQXLAdvancedFieldType GetDataType();
  std::int32_t GetDataSize();
  std::int32_t GetPrecision();

  // Binding; each runs the tree's after-binding pass.
  void AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);
  void AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  void AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) override;

  // Structure.
  bool IsEmpty() override;
  bool IsField() const;
  bool IsFieldsExpression() const;
  // The root column reference's qualifier and name; 30198 for another root.
  void GetFieldInfo(std::string& TableName, std::string& FieldName) const;
  bool CanBeUsedInGroupBy(const std::string& GroupByFields);
  void ReplacePseudonyms(std::span<TQXLSelectListItem> SelectList);
  TQXLExprNode* Root() const { return FRootExprNode.get(); }

  // Planning.
  void MoveAndNodesToRoot();
  void ApplyFilterParts(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool AllowRecurse,
                        bool ForHavingClause);
  // Equality pairs of one column of each operator, taken out of the tree;
  // the count of pairs. The columns' select-list items are appended in pairs.
  std::int32_t ExtractJoinConditions(TQXLAO* AO1, TQXLAO* AO2, std::vector<TQXLSelectListItem>& FieldList1,
                                     std::vector<TQXLSelectListItem>& FieldList2);
  void CreateIndexScanConditions(TQXLIndexDefs* IndexDefs, TQXLScanSearchConditionArray* ScanConditions,
                                 std::int32_t SessionID) override;
  bool ExtendMultiFieldIndexCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef) override;
  void RemoveExtractedNodes(TQXLScanSearchConditionArray* ScanConditions, std::int32_t ScanConditionNo,
                            std::int32_t ScanEndConditionNo) override;
  // Gives back a node lent out by RemoveExtractedNodes; a node this
  // expression did not lend is ignored.
  void AddNode(TQXLExprNode* Node) override;
  // Takes Expr's tree into this one's AND group; Expr is left empty.
  void AddAndMoveNodesFromExpression(TQXLExpression& Expr);
  // Takes Node into this one's AND group (the root when there is none).
  void AddOwnedNode(std::unique_ptr<TQXLExprNode> Node);
  std::unique_ptr<TQXLExprNode> TakeRoot() { return std::move(FRootExprNode); }

  // Settings the parser reads.
  bool FCaseInsensitive = false;
  bool FPartialKey = false;
  bool F3ValueLogic = true;
  bool FInMemory = false;
  std::string FDatabaseName;
  std::string FSessionName;

  // The number of grammar production calls of the last parse (a measure of
  // parsing work that does not depend on the machine).
  std::int64_t LastParseProductionCalls() const { return FProductionCalls; }

private:
  friend class TQXLExprParser;
  void FreeTree();
  // The query dataset's database and session names, for LASTAUTOINC.
  void TakeNamesOf(TDataSet* Dataset);
  void RunAfterAssign();
  bool DetachFromTree(TQXLExprNode* Node, std::unique_ptr<TQXLExprNode>& Taken);
  void TryCreateIndexScanConditionsFromNode(TQXLExprNode* Node, TQXLIndexDefs* IndexDefs,
                                            TQXLScanSearchConditionArray* ScanConditions, std::int32_t SessionID);
  bool ExtendMultiFieldIndexConditionFromNode(TQXLExprNode* Node, TQXLScanSearchCondition* ScanCondition,
                                              TQXLIndexDef* IndexDef);

  TQXLLexer* LLex = nullptr;  // not owned
  TToken Token;
  TQXLCursor* LCursor = nullptr;  // not owned
  TDataSet* LDataset = nullptr;   // not owned
  std::unique_ptr<TQXLExprNode> FRootExprNode;
  // Nodes taken out as index scan conditions until they are given back.
  std::vector<std::unique_ptr<TQXLExprNode>> FLentNodes;
  std::int64_t FProductionCalls = 0;
};

}  // namespace qxl
