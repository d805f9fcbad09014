#include "engine/core/values/QXLVariant.h"

#include <cstring>
#include <utility>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/values/QXLValueBytes.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

std::u16string_view UpToZero(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

}  // namespace

TQXLVariant::TQXLVariant(TQXLBaseFieldType DataType) : FDataType(DataType) {}

TQXLVariant::~TQXLVariant() {
  try {
    ReleaseData();
  } catch (...) {
    // A damaged block cannot be reported from a destructor; it is freed anyway.
  }
}

TQXLVariant::TQXLVariant(TQXLVariant&& Other) noexcept
    : FDataType(Other.FDataType),
      FDataSize(std::exchange(Other.FDataSize, 0)),
      FPData(std::exchange(Other.FPData, nullptr)),
      FIsDataLinked(std::exchange(Other.FIsDataLinked, false)),
      FIsNull(std::exchange(Other.FIsNull, true)) {}

TQXLVariant& TQXLVariant::operator=(TQXLVariant&& Other) noexcept {
  if (this != &Other) {
    try {
      ReleaseData();
    } catch (...) {
    }
    FDataType = Other.FDataType;
    FDataSize = std::exchange(Other.FDataSize, 0);
    FPData = std::exchange(Other.FPData, nullptr);
    FIsDataLinked = std::exchange(Other.FIsDataLinked, false);
    FIsNull = std::exchange(Other.FIsNull, true);
  }
  return *this;
}

void TQXLVariant::ReleaseData() {
  void* data = std::exchange(FPData, nullptr);
  const bool owned = !std::exchange(FIsDataLinked, false);
  FDataSize = 0;
  if (data && owned) QXLMemoryManager().FreeAndNillMem(data);
}

void TQXLVariant::Clear(TQXLBaseFieldType DataType) {
  FDataType = DataType;
  FIsNull = true;
  ReleaseData();
}

void TQXLVariant::SetNull(TQXLBaseFieldType /*DataType*/) { FIsNull = true; }

void TQXLVariant::SetDataType(TQXLBaseFieldType Value) {
  if (IsNull()) {
    if (FPData)
      Clear(Value);
    else
      FDataType = Value;
    return;
  }
  try {
    Cast(Value);
  } catch (const EQXLException& e) {
    // Only a value that does not convert becomes NULL; running out of memory
    // or a damaged block is no answer about the value.
    if (e.NativeError != 30051 && e.NativeError != 30052) throw;
    Clear(Value);
  }
}

void TQXLVariant::Assign(const TQXLVariant& Source, bool CopyDataFlag) {
  if (&Source == this) return;
  Clear(Source.FDataType);
  FDataSize = Source.FDataSize;
  FIsNull = Source.IsNull();
  if (FIsNull) return;
  if (CopyDataFlag) {
    FPData = QXLMemoryManager().GetMem(FDataSize);
    std::memcpy(FPData, Source.FPData, static_cast<std::size_t>(FDataSize));
  } else {
    FPData = Source.FPData;
    FIsDataLinked = true;
  }
}

void TQXLVariant::SetData(const void* Buffer, std::int32_t Size, TQXLBaseFieldType DataType, bool CopyDataFlag) {
  // Every value holds at least one byte (text its terminator): no buffer or
  // no size gives a NULL, never a size that a copy or a stream would trust.
  if (!Buffer || Size <= 0) {
    Clear(DataType);
    return;
  }
  if (!CopyDataFlag) {
    Clear(DataType);
    // Linked data is only read through this value, never written.
    FPData = const_cast<void*>(Buffer);
    FIsDataLinked = true;
  } else {
    if (!FPData || FIsDataLinked || FDataSize != Size) {
      Clear(DataType);
      FPData = QXLMemoryManager().GetMem(Size);
    }
    std::memcpy(FPData, Buffer, static_cast<std::size_t>(Size));
    FIsDataLinked = false;
  }
  FDataType = DataType;
  FDataSize = Size;
  FIsNull = false;
}

bool TQXLVariant::CopyDataToAddress(void* Buffer, std::int32_t MaxSize) const {
  if (IsNull()) return false;
  if (MaxSize != -1 && MaxSize < FDataSize) throw EQXLException(20056, "Buffer size exceeded");
  if (IsStringDataType() && FDataSize <= 1) return false;
  std::memcpy(Buffer, FPData, static_cast<std::size_t>(FDataSize));
  return true;
}

std::int32_t TQXLVariant::StrLen() const {
  if (IsNull() || !IsStringDataType()) return -1;
  return IsWideStringDataType() ? FDataSize / 2 - 1 : FDataSize - 1;
}

void TQXLVariant::SetValue(TQXLBaseFieldType Type, const void* Bytes, std::int32_t Size, bool IsEmptyText) {
  if (FDataType == Type && FPData && !FIsDataLinked && !qxl::IsStringBaseFieldType(Type) && FDataSize == Size) {
    std::memcpy(FPData, Bytes, static_cast<std::size_t>(Size));
    FIsNull = false;
    return;
  }
  ReleaseData();
  FIsNull = true;
  if (FDataType == bftUnknown) FDataType = Type;
  if (IsEmptyText) return;
  void* block = nullptr;
  std::int32_t size = 0;
  if (FDataType == Type)
    qxl::CopyDataToNewMemory(Type, Bytes, block, size);
  else
    block = qxl::ConvertData(Bytes, Size, Type, FDataType, size);
  FPData = block;
  FDataSize = size;
  FIsNull = block == nullptr;
}

std::string TQXLVariant::GetValue(TQXLBaseFieldType Type) const {
  if (IsNull()) throw EQXLException(30016, "Value is Null");
  if (FDataType == Type) return std::string(static_cast<const char*>(FPData), static_cast<std::size_t>(FDataSize));
  std::int32_t size = 0;
  const TQXLOwnedBlock block(qxl::ConvertData(FPData, FDataSize, FDataType, Type, size));
  return std::string(static_cast<const char*>(block.get()), static_cast<std::size_t>(size));
}

std::string TQXLVariant::GetFixedBytes(TQXLBaseFieldType Type) const {
  // Exactly the type's size: data set with another size is cut or padded with zeros.
  std::string bytes = GetValue(Type);
  bytes.resize(static_cast<std::size_t>(qxl::GetDataTypeSize(Type)), '\0');
  return bytes;
}

template <typename T>
T TQXLVariant::GetFixed(TQXLBaseFieldType Type) const {
  // A long double has room beyond the 10 bytes of an extended value.
  std::string bytes = GetFixedBytes(Type);
  bytes.resize(sizeof(T), '\0');
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

template <typename T>
void TQXLVariant::SetFixed(TQXLBaseFieldType Type, const T& Value) {
  SetValue(Type, &Value, static_cast<std::int32_t>(qxl::GetDataTypeSize(Type)), false);
}

std::string TQXLVariant::GetAnsiText() const {
  if (IsNull()) return std::string();
  return std::string(UpToZero(GetValue(bftVarchar)));
}

void TQXLVariant::SetAnsiText(std::string_view Ansi) {
  const std::string text(UpToZero(Ansi));
  SetValue(bftVarchar, text.c_str(), static_cast<std::int32_t>(text.size() + 1), text.empty());
}

std::int8_t TQXLVariant::GetAsShortint() const { return GetFixed<std::int8_t>(bftSignedInt8); }
void TQXLVariant::SetAsShortint(std::int8_t Value) { SetFixed(bftSignedInt8, Value); }
std::int16_t TQXLVariant::GetAsSmallint() const { return GetFixed<std::int16_t>(bftSignedInt16); }
void TQXLVariant::SetAsSmallint(std::int16_t Value) { SetFixed(bftSignedInt16, Value); }
std::int32_t TQXLVariant::GetAsInteger() const { return GetFixed<std::int32_t>(bftSignedInt32); }
void TQXLVariant::SetAsInteger(std::int32_t Value) { SetFixed(bftSignedInt32, Value); }
std::int64_t TQXLVariant::GetAsInt64() const { return GetFixed<std::int64_t>(bftSignedInt64); }
void TQXLVariant::SetAsInt64(std::int64_t Value) { SetFixed(bftSignedInt64, Value); }
std::uint8_t TQXLVariant::GetAsByte() const { return GetFixed<std::uint8_t>(bftUnsignedInt8); }
void TQXLVariant::SetAsByte(std::uint8_t Value) { SetFixed(bftUnsignedInt8, Value); }
std::uint16_t TQXLVariant::GetAsWord() const { return GetFixed<std::uint16_t>(bftUnsignedInt16); }
void TQXLVariant::SetAsWord(std::uint16_t Value) { SetFixed(bftUnsignedInt16, Value); }
std::uint32_t TQXLVariant::GetAsCardinal() const { return GetFixed<std::uint32_t>(bftUnsignedInt32); }
void TQXLVariant::SetAsCardinal(std::uint32_t Value) { SetFixed(bftUnsignedInt32, Value); }
float TQXLVariant::GetAsSingle() const { return GetFixed<float>(bftSingle); }
void TQXLVariant::SetAsSingle(float Value) { SetFixed(bftSingle, Value); }
double TQXLVariant::GetAsDouble() const { return GetFixed<double>(bftDouble); }
void TQXLVariant::SetAsDouble(double Value) { SetFixed(bftDouble, Value); }
long double TQXLVariant::GetAsExtended() const { return GetFixed<long double>(bftExtended); }
void TQXLVariant::SetAsExtended(long double Value) { SetFixed(bftExtended, Value); }
std::int32_t TQXLVariant::GetAsQXLDate() const { return GetFixed<std::int32_t>(bftDate); }
void TQXLVariant::SetAsQXLDate(std::int32_t Value) { SetFixed(bftDate, Value); }
std::int32_t TQXLVariant::GetAsQXLTime() const { return GetFixed<std::int32_t>(bftTime); }
void TQXLVariant::SetAsQXLTime(std::int32_t Value) { SetFixed(bftTime, Value); }
TQXLDateTime TQXLVariant::GetAsQXLDateTime() const { return GetFixed<TQXLDateTime>(bftDateTime); }
void TQXLVariant::SetAsQXLDateTime(const TQXLDateTime& Value) { SetFixed(bftDateTime, Value); }
bool TQXLVariant::GetAsBoolean() const { return GetFixed<std::uint16_t>(bftLogical) != 0; }
void TQXLVariant::SetAsBoolean(bool Value) { SetFixed<std::uint16_t>(bftLogical, Value ? 0xFFFF : 0); }
double TQXLVariant::GetAsCurrency() const { return GetFixed<double>(bftCurrency); }
void TQXLVariant::SetAsCurrency(double Value) { SetFixed(bftCurrency, Value); }

TDateTime TQXLVariant::GetAsTDate() const { return QXLDateToDateTime(GetAsQXLDate()); }
void TQXLVariant::SetAsTDate(TDateTime Value) { SetAsQXLDate(DateTimeToQXLDate(Value)); }
TDateTime TQXLVariant::GetAsTTime() const { return QXLTimeToDateTime(GetAsQXLTime()); }
void TQXLVariant::SetAsTTime(TDateTime Value) { SetAsQXLTime(DateTimeToQXLTime(Value)); }
TDateTime TQXLVariant::GetAsTDateTime() const { return QXLDateTimeToDateTime(GetAsQXLDateTime()); }
void TQXLVariant::SetAsTDateTime(TDateTime Value) { SetAsQXLDateTime(DateTimeToQXLDateTime(Value)); }

std::string TQXLVariant::GetAsAnsiString() const { return platform::AnsiToUtf8(GetAnsiText()); }
void TQXLVariant::SetAsAnsiString(std::string_view Value) { SetAnsiText(platform::Utf8ToAnsi(Value)); }

std::u16string TQXLVariant::GetAsWideString() const {
  if (IsNull()) return std::u16string();
  const std::string bytes = GetValue(bftWideVarchar);
  return qxl::LoadWideText(bytes.data(), bytes.size() / 2);
}

void TQXLVariant::SetAsWideString(std::u16string_view Value) {
  const std::u16string text(UpToZero(Value));
  SetValue(bftWideVarchar, text.c_str(), static_cast<std::int32_t>(2 * (text.size() + 1)), text.empty());
}

void TQXLVariant::Cast(TQXLBaseFieldType NewDataType) {
  if (NewDataType == FDataType) return;
  if (IsNull()) {
    Clear(NewDataType);
    return;
  }
  void* block = nullptr;
  std::int32_t size = 0;
  if (FDataType == bftClob && NewDataType == bftVarchar) {
    // The text as it is, plus a terminator: always in a block of this value's
    // own, since linked data belongs to someone else and must not grow.
    block = QXLMemoryManager().GetMem(std::int64_t{FDataSize} + 1);
    size = FDataSize + 1;
    std::memcpy(block, FPData, static_cast<std::size_t>(FDataSize));
    static_cast<char*>(block)[FDataSize] = '\0';
  } else {
    block = qxl::ConvertData(FPData, FDataSize, FDataType, NewDataType, size);
  }
  void* old = std::exchange(FPData, block);
  const bool owned = !std::exchange(FIsDataLinked, false);
  FDataSize = size;
  FDataType = NewDataType;
  FIsNull = false;
  if (old && owned) QXLMemoryManager().FreeAndNillMem(old);
}

TQXLCompareResult TQXLVariant::Compare(const TQXLVariant& Value, bool TrueFalseNullLogic, bool CaseInsensitive,
                                       bool PartialKey) const {
  const std::int32_t prefix = PartialKey ? Value.StrLen() : -1;
  const TQXLCompareResult result =
      qxl::CompareData(FPData, Value.FPData, FDataType, Value.FDataType, IsNull(), Value.IsNull(), prefix,
                  CaseInsensitive, LOCALE_USER_DEFAULT, FDataSize, Value.FDataSize);
  if (TrueFalseNullLogic) return result;
  switch (result) {
    case cmprLeftNull: return cmprLower;
    case cmprRightNull: return cmprGreater;
    case cmprBothNull: return cmprEqual;
    default: return result;
  }
}

void TQXLVariant::TryToReduceWideStringToAnsiString() {
  if (!IsWideStringDataType()) return;
  const std::string ansi = GetAnsiText();
  if (platform::AnsiToWide(ansi) != GetAsWideString()) return;
  Clear(bftUnknown);
  SetAnsiText(ansi);
}

}  // namespace qxl
