#include "engine/sql/nodes/QXLExprNodeConst.h"

#include "engine/sql/nodes/QXLNodeText.h"
#include "platform/CaseMap.h"

namespace qxl {

TQXLExprNodeConst::TQXLExprNodeConst() : TQXLExprNode(true, false) {}

TQXLVariant* TQXLExprNodeConst::GetDataValue() { return &Value(); }

TQXLAdvancedFieldType TQXLExprNodeConst::GetDataType() { return BaseToAdvancedFieldType(Value().DataType()); }

std::int32_t TQXLExprNodeConst::GetDataSize() {
  const TQXLVariant& v = Value();
  if (v.IsNull() || !v.IsStringDataType()) return 0;
  const std::int32_t length = TextLengthOf(v);
  return v.IsWideStringDataType() ? 2 * length : length;
}

bool TQXLExprNodeConst::CanBeAssigned(TQXLAO*, TQXLAO*, TQXLCursor*, bool) { return true; }

bool TQXLExprNodeConst::IsLikePatternEqualToPartialComparePattern() const {
  const TQXLVariant& v = Value();
  if (v.IsNull() || !v.IsStringDataType()) return false;
  const std::u16string text = WideTextOf(v);
  if (text.size() < 2) return false;
  return text.find(u'%') == text.size() - 1 && text.find(u'_') == std::u16string::npos;
}

void TQXLExprNodeConst::TruncateForPartialCompare() {
  TQXLVariant& v = Value();
  if (v.IsNull() || !v.IsStringDataType()) return;
  const TQXLBaseFieldType type = v.DataType();
  if (v.IsWideStringDataType()) {
    std::u16string text = WideTextOf(v);
    text.pop_back();
    SetWideText(v, text, type);
  } else {
    std::string text = AnsiTextOf(v);
    text.pop_back();
    SetAnsiText(v, text, type);
  }
}

bool TQXLExprNodeConst::IsUpperCase() const {
  const TQXLVariant& v = Value();
  if (v.IsNull() || !v.IsStringDataType()) return false;
  if (v.IsWideStringDataType()) {
    const std::u16string text = WideTextOf(v);
    return text == platform::UpperCaseWide(text);
  }
  const std::string text = AnsiTextOf(v);
  return text == platform::UpperCaseAnsi(text);
}

bool TQXLExprNodeConst::IsLowerCase() const {
  const TQXLVariant& v = Value();
  if (v.IsNull() || !v.IsStringDataType()) return false;
  if (v.IsWideStringDataType()) {
    const std::u16string text = WideTextOf(v);
    return text == platform::LowerCaseWide(text);
  }
  const std::string text = AnsiTextOf(v);
  return text == platform::LowerCaseAnsi(text);
}

}  // namespace qxl
