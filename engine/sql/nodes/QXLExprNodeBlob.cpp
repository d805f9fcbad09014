#include "engine/sql/nodes/QXLExprNodeBlob.h"

#include "engine/coding/StringFormat.h"
#include "engine/sql/nodes/QXLNodeText.h"

namespace qxl {

TQXLExprNodeBlob::TQXLExprNodeBlob(TNodePtr Node) : TQXLExprNode(doMIMETOBIN, std::move(Node), true, false) {}

TQXLVariant* TQXLExprNodeBlob::GetDataValue() {
  const std::string text = AnsiTextOf(*Child(0)->GetDataValue());
  const std::string bytes =
      TStringFormat_MIME64::Class()->ToStr(text.data(), static_cast<std::int32_t>(text.size()));
  TQXLVariant& value = Value();
  // An engine value always holds at least one byte, so no bytes is a NULL
  // Blob, as an empty text is a NULL text.
  value.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), bftBlob, true);
  return &value;
}

TQXLAdvancedFieldType TQXLExprNodeBlob::GetDataType() { return aftString; }

std::int32_t TQXLExprNodeBlob::GetDataSize() { return 0; }

}  // namespace qxl
