#include "engine/sql/nodes/QXLExprNodeDateFunction.h"

#include <cmath>

#include "engine/core/QXLException.h"
#include "platform/DateTime.h"

namespace qxl {

TQXLExprNodeDateFunction::TQXLExprNodeDateFunction(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {}

TQXLExprNodeDateFunction::TQXLExprNodeDateFunction(TQXLDataOperator Op, TNodePtr Node, const std::string& FormatStr)
    : TQXLExprNode(Op, std::move(Node), true, false), FDateFormater(std::make_unique<TDateFormater>(FormatStr)) {}

TQXLExprNodeDateFunction::TQXLExprNodeDateFunction(TQXLDataOperator Op, TQXLDateTimeExtractField ExtractField,
                                                   TNodePtr ExtractSource)
    : TQXLExprNode(Op, std::move(ExtractSource), true, false), FExtractDateTimeField(ExtractField) {}

namespace {
const TDateFormater& Formater(const std::unique_ptr<TDateFormater>& Formater, TQXLDataOperator Op) {
  if (!Formater) throw EQXLException(30130, "No date format given for '%s'", {Op == doTODATE ? "TODATE" : "TOSTRING"});
  return *Formater;
}
}  // namespace

TQXLVariant* TQXLExprNodeDateFunction::GetDataValue() {
  TQXLVariant& value = Value();
  switch (Operator()) {
    case doSYSDATE:
      value.Clear(bftDateTime);
      value.SetAsTDateTime(platform::Now());
      break;
    case doCURRENT_DATE:
      value.Clear(bftDate);
      value.SetAsTDate(platform::Now());
      break;
    case doCURRENT_TIME:
      value.Clear(bftTime);
      value.SetAsTTime(platform::Now());
      break;
    case doTODATE: {
      value.Clear(bftDateTime);
      const TQXLVariant* source = Child(0)->GetDataValue();
      if (source->IsNull()) break;
      const TDateTime moment = Formater(FDateFormater, doTODATE).ToDate(source->GetAsAnsiString());
      value.SetAsTDateTime(moment);
      double whole = 0;
      const double fraction = std::modf(moment, &whole);
      if (whole == 0)
        value.Cast(bftTime);
      else if (fraction == 0)
        value.Cast(bftDate);
      break;
    }
    case doTOSTRING: {
      value.Clear(bftVarchar);
      const TQXLVariant* source = Child(0)->GetDataValue();
      if (!source->IsNull()) value.SetAsAnsiString(Formater(FDateFormater, doTOSTRING).ToString(source->GetAsTDateTime()));
      break;
    }
    case doEXTRACT: {
      value.Clear(bftUnsignedInt16);
      const TQXLVariant* source = Child(0)->GetDataValue();
      if (source->IsNull()) break;
      int part = 0;
      if (FExtractDateTimeField >= dtefHour) {
        const std::int32_t ms = source->GetAsQXLTime();
        const std::int32_t seconds = ms / 1000;
        part = FExtractDateTimeField == dtefHour     ? seconds / 3600
               : FExtractDateTimeField == dtefMinute ? seconds / 60 % 60
                                                     : seconds % 60;
      } else {
        int year = 0, month = 0, day = 0;
        platform::DecodeDate(source->GetAsTDate(), year, month, day);
        part = FExtractDateTimeField == dtefYear ? year : FExtractDateTimeField == dtefMonth ? month : day;
      }
      value.SetAsWord(static_cast<std::uint16_t>(part));
      break;
    }
    default: RaiseUnknownOperator(30130);
  }
  return &value;
}

TQXLAdvancedFieldType TQXLExprNodeDateFunction::GetDataType() {
  switch (Operator()) {
    case doSYSDATE: return aftDateTime;
    case doCURRENT_DATE: return aftDate;
    case doCURRENT_TIME: return aftTime;
    case doTODATE: return Formater(FDateFormater, doTODATE).GetDataType();
    case doTOSTRING: return aftString;
    case doEXTRACT: return aftWord;
    default: RaiseUnknownOperator(30287);
  }
}

std::int32_t TQXLExprNodeDateFunction::GetDataSize() {
  return Operator() == doTOSTRING && FDateFormater ? FDateFormater->GetStringMaxSize() : 0;
}

}  // namespace qxl
