#pragma once
// Takes the chosen scan conditions out of the expressions they came from and
// gives them back when it goes, on every way out of a search or a cost test.
// Thread rule: lives on the stack of one search, under the table lock.
#include <cstdint>

#include "engine/core/search/QXLScanSearchCondition.h"

namespace qxl {

class TQXLExtractedConditions {
public:
  TQXLExtractedConditions(TQXLScanSearchConditionArray& Conditions, std::int32_t Start, std::int32_t End)
      : FConditions(Conditions), FStart(Start), FEnd(End) {
    FConditions.ExtractChosenConditionsFromExpressions(FStart, FEnd);
  }
  ~TQXLExtractedConditions() { FConditions.ReturnExtractedConditionsToExpressions(FStart, FEnd); }
  TQXLExtractedConditions(const TQXLExtractedConditions&) = delete;
  TQXLExtractedConditions& operator=(const TQXLExtractedConditions&) = delete;

private:
  TQXLScanSearchConditionArray& FConditions;
  std::int32_t FStart;
  std::int32_t FEnd;
};

}  // namespace qxl
