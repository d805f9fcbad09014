#include "engine/sql/nodes/QXLExprNodeCast.h"

#include "engine/core/QXLException.h"
#include "engine/sql/nodes/QXLNodeText.h"

namespace qxl {

std::int32_t TextSizeOfType(TQXLAdvancedFieldType Type, std::int32_t OwnSize) {
  switch (Type) {
    case aftChar:
    case aftString:
    case aftWideChar:
    case aftWideString:
    case aftBytes:
    case aftVarBytes:
    case aftBlob:
    case aftGraphic: return OwnSize;
    case aftShortint:
    case aftAutoIncShortint: return 4;
    case aftSmallint:
    case aftAutoIncSmallint: return 6;
    case aftInteger:
    case aftAutoInc:
    case aftAutoIncInteger: return 11;
    case aftLargeint:
    case aftAutoIncLargeint: return 20;
    case aftByte:
    case aftAutoIncByte: return 3;
    case aftWord:
    case aftAutoIncWord: return 5;
    case aftCardinal:
    case aftAutoIncCardinal: return 10;
    case aftSingle:
    case aftDouble:
    case aftExtended: return 26;
    case aftBoolean: return 5;
    case aftCurrency: return 21;
    case aftDate:
    case aftTime:
    case aftDateTime:
    case aftTimeStamp: return 26;
    case aftMemo:
    case aftFormattedMemo:
    case aftWideMemo: return DefaultCastStringSize;
    case aftGuid: return 38;
    default: return -1;
  }
}

TQXLExprNodeCast::TQXLExprNodeCast(TNodePtr Node, TQXLAdvancedFieldType CastType, TNodePtr CastSizeNode)
    : TQXLExprNode(doCAST, std::move(Node), true, false), FCastType(CastType), LCastSizeNode(CastSizeNode.get()) {
  AddChild(std::move(CastSizeNode));
}

TQXLVariant* TQXLExprNodeCast::GetDataValue() {
  TQXLVariant& value = Value();
  CopyValue(value, *Child(0)->GetDataValue());
  value.Cast(AdvancedToBaseFieldType(FCastType));
  if (IsStringAdvancedFieldType(FCastType) && !value.IsNull()) {
    const std::int32_t max =
        LCastSizeNode ? LCastSizeNode->GetDataValue()->GetAsInteger() : DefaultCastStringSize;
    const TQXLBaseFieldType type = value.DataType();
    if (IsWideStringAdvancedFieldType(FCastType)) {
      const std::u16string text = WideTextOf(value);
      if (static_cast<std::int64_t>(text.size()) > max) SetWideText(value, text.substr(0, max > 0 ? max : 0), type);
    } else {
      const std::string text = AnsiTextOf(value);
      if (static_cast<std::int64_t>(text.size()) > max) SetAnsiText(value, text.substr(0, max > 0 ? max : 0), type);
    }
  }
  return &value;
}

TQXLAdvancedFieldType TQXLExprNodeCast::GetDataType() { return FCastType; }

std::int32_t TQXLExprNodeCast::GetDataSize() {
  if (LCastSizeNode) return LCastSizeNode->GetDataValue()->GetAsInteger();
  if (!IsStringAdvancedFieldType(FCastType)) return 0;
  const TQXLAdvancedFieldType type = Child(0)->GetDataType();
  const std::int32_t size = TextSizeOfType(type, 0);
  if (size < 0) throw EQXLException(30466, "Unsupported data type '%s'", {AdvancedFieldTypeName(type)});
  return IsSizedAdvancedFieldType(type) || type == aftBlob || type == aftGraphic ? Child(0)->GetDataSize() : size;
}

}  // namespace qxl
