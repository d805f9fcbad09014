#include <algorithm>
#include <cstring>
#include <string>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/values/QXLValueBytes.h"
#include "platform/Collation.h"

namespace qxl {

namespace {

// Brings Data of Type to Common, unless it has that type already; Holder
// keeps the converted block until the comparison ends, also after an error.
void ConvertTo(TQXLBaseFieldType Common, TQXLBaseFieldType Type, const void*& Data, std::int32_t& Size,
               TQXLOwnedBlock& Holder) {
  if (Type == Common) return;
  Holder.reset(qxl::ConvertData(Data, Size, Type, Common, Size));
  Data = Holder.get();
}

template <typename T>
TQXLCompareResult Order(const T& a, const T& b) {
  if (a < b) return cmprLower;
  if (b < a) return cmprGreater;
  return cmprEqual;
}

// How many characters of one side may count: those within its known size, and
// at most Prefix of them (-1: no prefix). The terminator may end it sooner.
std::size_t SideLimit(std::int32_t size, std::size_t charSize, std::int32_t prefix) {
  const std::size_t limit = qxl::CharsWithin(size, charSize);
  return prefix >= 0 ? std::min(limit, static_cast<std::size_t>(prefix)) : limit;
}

TQXLCompareResult FromSign(int sign) { return sign < 0 ? cmprLower : sign > 0 ? cmprGreater : cmprEqual; }

std::uint32_t Flags(bool caseInsensitive) {
  return platform::SORT_STRINGSORT | (caseInsensitive ? platform::NORM_IGNORECASE : 0);
}

TQXLCompareResult CompareAnsi(std::string_view a, std::string_view b, bool caseInsensitive) {
  try {
    return FromSign(platform::CompareStringAnsi(Flags(caseInsensitive), a, b));
  } catch (const platform::ECollationError&) {
    // The comparison's failure result.
    throw EQXLException(30045, "Unknown return code: %d", {0});
  }
}

TQXLCompareResult CompareWide(std::u16string_view a, std::u16string_view b, bool caseInsensitive) {
  try {
    return FromSign(platform::CompareStringWide(Flags(caseInsensitive), a, b));
  } catch (const platform::ECollationError&) {
    throw EQXLException(30046,
                        "Unicode is not supported by your version of  Windows. Please download the Unicode layer "
                        "for Windows 95, 98 and Me from the platform vendor and put \"unicows.dll\" into the "
                        "application's folder.");
  }
}

TQXLCompareResult CompareTyped(const void* l, const void* r, std::int32_t lSize, std::int32_t rSize,
                               TQXLBaseFieldType type, std::int32_t prefix, bool caseInsensitive) {
  if (qxl::IsAnsiTextType(type) || type == bftBytes)
    return CompareAnsi(qxl::LoadAnsiText(l, SideLimit(lSize, 1, prefix)), qxl::LoadAnsiText(r, SideLimit(rSize, 1, prefix)),
                       caseInsensitive);
  if (qxl::IsWideTextType(type))
    return CompareWide(qxl::LoadWideText(l, SideLimit(lSize, 2, prefix)), qxl::LoadWideText(r, SideLimit(rSize, 2, prefix)),
                       caseInsensitive);
  if (qxl::IsIntegerType(type)) return Order(qxl::LoadInteger(type, l), qxl::LoadInteger(type, r));
  if (qxl::IsFloatType(type) || type == bftCurrency) return Order(qxl::LoadFloat(type, l), qxl::LoadFloat(type, r));
  switch (type) {
    case bftDate:
    case bftTime: return Order(qxl::LoadValue<std::int32_t>(l), qxl::LoadValue<std::int32_t>(r));
    case bftDateTime: {
      const auto a = qxl::LoadValue<TQXLDateTime>(l);
      const auto b = qxl::LoadValue<TQXLDateTime>(r);
      const TQXLCompareResult byDate = Order(a.Date, b.Date);
      return byDate != cmprEqual ? byDate : Order(a.Time, b.Time);
    }
    case bftLogical: return Order(qxl::LoadValue<std::uint16_t>(l) != 0, qxl::LoadValue<std::uint16_t>(r) != 0);
    default: throw EQXLException(30047, "Unknown DataType: '%s'", {qxl::BaseFieldTypeName(type)});
  }
}

}  // namespace

TQXLCompareResult CompareData(const void* Left, const void* Right, TQXLBaseFieldType LeftType,
                              TQXLBaseFieldType RightType, bool LeftNull, bool RightNull, std::int32_t Prefix,
                              bool CaseInsensitive, std::uint32_t /*Locale*/, std::int32_t LeftSize,
                              std::int32_t RightSize) {
  if (LeftNull && RightNull) return cmprBothNull;
  if (LeftNull) return cmprLeftNull;
  if (RightNull) return cmprRightNull;

  TQXLBaseFieldType common = LeftType;
  TQXLOwnedBlock leftConverted, rightConverted;
  const bool largeText = LeftType == bftClob || LeftType == bftWideClob;
  if (LeftType != RightType || largeText) {
    common = qxl::GetCommonDataType(LeftType, RightType, true);
    if (common == bftUnknown)
      throw EQXLException(30044, "Cannot compare Incompatible DataTypes: '%s' and '%s'",
                          {qxl::BaseFieldTypeName(LeftType), qxl::BaseFieldTypeName(RightType)});
    if (!Left || !Right) throw EQXLException(30140, "Value is Null");
    ConvertTo(common, LeftType, Left, LeftSize, leftConverted);
    ConvertTo(common, RightType, Right, RightSize, rightConverted);
  }
  if (!Left || !Right) throw EQXLException(30140, "Value is Null");
  std::string leftRoom, rightRoom;
  Left = qxl::PadShortValue(common, Left, LeftSize, leftRoom);
  Right = qxl::PadShortValue(common, Right, RightSize, rightRoom);
  return CompareTyped(Left, Right, LeftSize, RightSize, common, Prefix, CaseInsensitive);
}

int CompareDataOrder(const void* Left, const void* Right, TQXLBaseFieldType LeftType, TQXLBaseFieldType RightType,
                     bool LeftNull, bool RightNull, std::int32_t Prefix, bool CaseInsensitive, std::uint32_t Locale,
                     std::int32_t LeftSize, std::int32_t RightSize) {
  switch (qxl::CompareData(Left, Right, LeftType, RightType, LeftNull, RightNull, Prefix, CaseInsensitive, Locale,
                      LeftSize, RightSize)) {
    case cmprLower:
    case cmprLeftNull: return -1;
    case cmprGreater:
    case cmprRightNull: return 1;
    default: return 0;
  }
}

}  // namespace qxl
