#pragma once
// Date and time functions of expressions: the clock (SYSDATE, CURRENT_DATE,
// CURRENT_TIME), text to date and date to text by a format template (TODATE,
// TOSTRING) and EXTRACT of a date or time part.
// Thread rule: as every node (one thread per tree).
#include <memory>
#include <string>

#include "engine/core/values/QXLDateFormat.h"
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeDateFunction : public TQXLExprNode {
public:
  // The clock functions: no children.
  TQXLExprNodeDateFunction(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey);
  // TODATE and TOSTRING: the template is parsed here, once.
  TQXLExprNodeDateFunction(TQXLDataOperator Op, TNodePtr Node, const std::string& FormatStr);
  // EXTRACT.
  TQXLExprNodeDateFunction(TQXLDataOperator Op, TQXLDateTimeExtractField ExtractField, TNodePtr ExtractSource);

  TQXLVariant* GetDataValue() override;
  TQXLAdvancedFieldType GetDataType() override;
  // TOSTRING: the longest text of its template; 0 for the others.
  std::int32_t GetDataSize() override;

  TQXLDateTimeExtractField ExtractDateTimeField() const { return FExtractDateTimeField; }
  const TDateFormater* DateFormater() const { return FDateFormater.get(); }

private:
  std::unique_ptr<TDateFormater> FDateFormater;
  TQXLDateTimeExtractField FExtractDateTimeField = dtefYear;
};

}  // namespace qxl
