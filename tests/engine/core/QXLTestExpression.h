#pragma once
// A stand-in for the SQL layer's expression: it records what the core asks of
// it and answers from a script, so that the core's use of expressions can be
// tested before the SQL layer exists.
#include <functional>
#include <string>
#include <vector>

#include "engine/core/QXLExpression.h"

namespace qxl {

class TestExpression : public TQXLBaseExpression {
public:
  bool ParseForDefaultValueExpression(const std::string& DefaultValue) override {
    Parsed.push_back(DefaultValue);
    return true;
  }
  void ParseForLocate(TQXLCursor*, const std::string& FieldNames, const Variant&, bool, bool) override {
    Parsed.push_back(FieldNames);
  }
  void ParseForFilter(TQXLCursor*, const std::string& Filter, bool, bool) override { Parsed.push_back(Filter); }
  void ParseForIsAnyRecordMatchCondition(TQXLCursor*, const std::string& FieldName, TQXLDataOperator,
                                         const TQXLVariant&) override {
    Parsed.push_back(FieldName);
  }
  void AssignCursor(TQXLCursor*, TQXLAO*, TQXLCursor*) override {}
  void AssignCursorBuffer(std::uint8_t* Buffer, bool) override { BoundBuffer = Buffer; }
  bool GetResult() override { return Result; }
  TQXLVariant* GetValue(bool) override { return nullptr; }
  bool IsEmpty() override { return Nodes.empty(); }
  void CreateIndexScanConditions(TQXLIndexDefs* IndexDefs, TQXLScanSearchConditionArray* ScanConditions,
                                 std::int32_t SessionID) override {
    if (OnCreateIndexScanConditions) OnCreateIndexScanConditions(IndexDefs, ScanConditions, SessionID);
  }
  bool ExtendMultiFieldIndexCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef) override {
    return OnExtend && OnExtend(ScanCondition, IndexDef);
  }
  void RemoveExtractedNodes(TQXLScanSearchConditionArray* ScanConditions, std::int32_t ScanConditionNo,
                            std::int32_t ScanEndConditionNo) override {
    if (OnRemoveExtractedNodes) OnRemoveExtractedNodes(ScanConditions, ScanConditionNo, ScanEndConditionNo);
  }
  void AddNode(TQXLExprNode* Node) override { Nodes.push_back(Node); }

  std::vector<std::string> Parsed;
  std::uint8_t* BoundBuffer = nullptr;
  bool Result = false;
  std::vector<TQXLExprNode*> Nodes;
  std::function<void(TQXLIndexDefs*, TQXLScanSearchConditionArray*, std::int32_t)> OnCreateIndexScanConditions;
  std::function<bool(TQXLScanSearchCondition*, TQXLIndexDef*)> OnExtend;
  std::function<void(TQXLScanSearchConditionArray*, std::int32_t, std::int32_t)> OnRemoveExtractedNodes;
};

// Registers TestExpression as the SQL layer while it lives; IsDefault decides
// which defaults count as expressions.
class TestExpressionServices {
public:
  explicit TestExpressionServices(bool (*IsDefault)(const TQXLVariant&)) {
    qxl::SetExpressionServices({[]() -> std::unique_ptr<TQXLBaseExpression> { return std::make_unique<TestExpression>(); },
                           IsDefault});
  }
  ~TestExpressionServices() { qxl::SetExpressionServices({}); }
};

}  // namespace qxl
