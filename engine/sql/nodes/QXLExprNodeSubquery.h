#pragma once
// A nested SELECT as a value (scalar or row) or as the right side of IN,
// EXISTS and quantified comparisons. The node remembers where its text starts
// in the statement's lexer and parses it again whenever it plans or runs it.
// An uncorrelated subquery runs once and keeps its result (and its last IN
// answer) for the node's life; one that refers to the outer query runs for
// every question, reading the outer row the node was last bound to.
// Thread rule: as every node (one thread per statement); a run moves the
// statement's lexer and, for its duration, the outer cursor's record buffer.
#include <map>
#include <memory>
#include <vector>

#include "engine/sql/nodes/QXLExprNode.h"
#include "engine/sql/nodes/QXLSubqueryTests.h"

namespace qxl {

class TDataSet;
class TQXLDataSet;
class TQXLLexer;
class TQXLSubqueryCommand;
class TQXLSubqueryHost;

class TQXLExprNodeSubquery : public TQXLExprNode, public TQXLSubqueryTests {
public:
  // Parses the subquery from the lexer's current token (leaving the lexer
  // after it) and decides whether it is correlated. Dataset must be a
  // subquery host.
  TQXLExprNodeSubquery(bool MustHaveOneField, bool MustHaveOneRow, TDataSet* Dataset, TQXLLexer* Lexer);
  ~TQXLExprNodeSubquery() override;

  // Scalar: field 0 of the first row, NULL without rows.
  TQXLVariant* GetDataValue() override;
  // Row: the first row's values, NULL without rows.
  void ResetSubqueryFieldValues() override;
  TQXLVariant* GetSubqueryFieldValue(std::int32_t FieldNo) override;
  bool Exists() override;
  // A NULL value is found nowhere.
  bool IsValueIn(const TQXLVariant& Value) override;
  bool QuantifiedCompare(TQXLDataOperator Operator, TQXLQuantifier Quantifier, const TQXLVariant& Value) override;

  // Whether the subquery plans with AO as its outer query without leaving
  // any condition untested.
  bool CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause) override;
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override;
  void AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  void AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  void AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) override;

  bool Correlated() const { return FCorrelated; }

private:
  // The subquery's text parsed again into a new command.
  std::unique_ptr<TQXLSubqueryCommand> ParseCommand();
  // The command planned for the question's needs (type, size, correlation)
  // without running it.
  std::unique_ptr<TQXLSubqueryCommand> PlanCommand(TQXLAO* ParentQueryAO);
  // Runs the subquery when needed and checks its shape; the result of the
  // run that the question then reads.
  TQXLDataSet& Result();
  // Question over the run's result; afterwards, also on failure, a
  // correlated subquery's command goes.
  template <typename TQuestion>
  auto Ask(TQuestion Question) {
    struct TDone {
      TQXLExprNodeSubquery& N;
      ~TDone() {
        if (N.FCorrelated) N.FSubquery.reset();
      }
    } After{*this};
    return Question(Result());
  }

  bool FMustHaveOneField;
  bool FMustHaveOneRow;
  TQXLVariant FValue;
  std::vector<std::unique_ptr<TQXLVariant>> FFieldValues;
  TDataSet* LDataset;  // not owned
  TQXLLexer* LLexer;   // not owned
  TQXLSubqueryHost* LHost;
  TQXLAO* LAO = nullptr;
  TQXLCursor* LCursor = nullptr;
  std::uint8_t* LCursorRecordBuffer = nullptr;
  std::unique_ptr<TQXLSubqueryCommand> FSubquery;
  std::int32_t FCommandNo = 0;
  std::int32_t FTokenNo = 0;
  // The answers of IN for the values tested so far against an uncorrelated
  // subquery's held result: an outer column that repeats its values searches
  // the result once per distinct value, not once per row.
  struct TValueLess {
    using is_transparent = void;
    static bool Less(const TQXLVariant& A, const TQXLVariant& B) {
      return A.Compare(B, false, false, false) == cmprLower;
    }
    bool operator()(const std::unique_ptr<TQXLVariant>& A, const std::unique_ptr<TQXLVariant>& B) const {
      return Less(*A, *B);
    }
    bool operator()(const std::unique_ptr<TQXLVariant>& A, const TQXLVariant& B) const { return Less(*A, B); }
    bool operator()(const TQXLVariant& A, const std::unique_ptr<TQXLVariant>& B) const { return Less(A, *B); }
  };
  std::map<std::unique_ptr<TQXLVariant>, bool, TValueLess> FKnownAnswers;
  TQXLDataOperator FCompareOperator = doUNDEFINED;
  TQXLQuantifier FCompareQuantifier = qUNDEFINED;
  bool FCorrelated = false;
};

}  // namespace qxl
