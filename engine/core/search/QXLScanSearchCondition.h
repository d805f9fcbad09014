#pragma once
// Index scan conditions and filter expressions with which a search plans an
// index scan: candidates drawn from the expressions, lengthened over the
// columns of multi-column indexes, and the nodes taken out for the chosen
// scan given back to their expressions afterwards.
#include <cstdint>
#include <memory>
#include <vector>

namespace qxl {

class TQXLBaseExpression;
class TQXLExprNode;
class TQXLIndexDef;
class TQXLIndexDefs;

enum TQXLSearchCondition : std::uint8_t {
  scNone = 0,
  scEqual = 1,
  scLower = 2,
  scGreater = 3,
  scLowerEqual = 4,
  scGreaterEqual = 5,
};

class TQXLScanSearchCondition {
public:
  explicit TQXLScanSearchCondition(bool ExternalKeyRecordBuffer = false)
      : FExternalKeyRecordBuffer(ExternalKeyRecordBuffer) {}
  ~TQXLScanSearchCondition() { ClearKeyRecordBuffer(); }
  TQXLScanSearchCondition(const TQXLScanSearchCondition&) = delete;
  TQXLScanSearchCondition& operator=(const TQXLScanSearchCondition&) = delete;

  // Frees an owned key buffer; forgets an external one.
  void ClearKeyRecordBuffer();
  // Copies everything; the key buffer is copied into one of its own.
  void Assign(const TQXLScanSearchCondition& Source);

  TQXLBaseExpression* Expression = nullptr;  // a filter expression item; not owned
  TQXLSearchCondition Condition = scNone;
  std::uint8_t* KeyRecordBuffer = nullptr;  // from the engine memory manager
  std::int32_t KeyRecordBufferSize = 0;
  std::int32_t KeyFieldCount = 0;
  std::int32_t IndexID = -1;
  bool CreatedFromExpression = false;
  std::vector<TQXLBaseExpression*> ParentExpressions;    // not owned
  std::vector<TQXLExprNode*> ParentExpressionNodes;  // not owned, same order
  bool FExternalKeyRecordBuffer = false;
  bool PartialCompare = false;
};

class TQXLScanSearchConditionArray {
public:
  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  TQXLScanSearchCondition* Item(std::int32_t ItemNo) const;

  void Delete(std::int32_t ItemNo);
  void AddExpression(TQXLBaseExpression* Expression);
  // Appends an own copy; the condition must name an expression or an index.
  void AddCondition(const TQXLScanSearchCondition& ScanSearchCondition);
  void CreateIndexScanConditionsFromExpressions(TQXLIndexDefs* IndexDefs, std::int32_t SessionID);
  void ExtendIndexCondition(std::int32_t ItemNo, TQXLIndexDef* IndexDef,
                            const std::vector<TQXLBaseExpression*>& Expressions);
  // Chosen numbers are positions in the array, -1 for none; any position
  // counts, however many conditions there are.
  void RemoveUnusedConditionsCreatedFromExpressions(std::int32_t& ScanConditionNo,
                                                    std::int32_t& ScanEndConditionNo);
  void ExtractChosenConditionsFromExpressions(std::int32_t ScanConditionNo, std::int32_t ScanEndConditionNo);
  void ReturnExtractedConditionsToExpressions(std::int32_t ScanConditionNo, std::int32_t ScanEndConditionNo);

private:
  std::vector<std::unique_ptr<TQXLScanSearchCondition>> FItems;
};

}  // namespace qxl
