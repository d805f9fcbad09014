#pragma once
// The engine's typed, nullable value: the raw bytes of one value of a base
// field type, owned or linked, converted on demand, with arithmetic,
// comparison and a binary stream form. Column defaults, check bounds, search
// keys, SQL parameters and expression results are values of this class.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLTypes.h"
#include "platform/RuntimeVariant.h"

namespace qxl {

class TQXLStream;

class TQXLVariant {
public:
  // A NULL value of that type: no data, size 0, not linked.
  explicit TQXLVariant(TQXLBaseFieldType DataType = bftUnknown);
  virtual ~TQXLVariant();
  TQXLVariant(const TQXLVariant&) = delete;
  TQXLVariant& operator=(const TQXLVariant&) = delete;
  TQXLVariant(TQXLVariant&& Other) noexcept;
  TQXLVariant& operator=(TQXLVariant&& Other) noexcept;

  // Frees owned data; then NULL of DataType without data.
  void Clear(TQXLBaseFieldType DataType = bftUnknown);
  // Sets the null flag only: type and data stay and DataType is not used.
  void SetNull(TQXLBaseFieldType DataType = bftUnknown);

  TQXLBaseFieldType DataType() const { return FDataType; }
  // NULL: the type changes (data is dropped); otherwise the value is cast, and
  // becomes NULL of the new type when the cast fails.
  void SetDataType(TQXLBaseFieldType Value);
  std::int32_t DataSize() const { return FDataSize; }
  void* pData() const { return FPData; }
  bool IsDataLinked() const { return FIsDataLinked; }
  // NULL by its flag, or for want of data.
  bool IsNull() const { return FIsNull || !FPData; }

  // Takes Source's type, size and null flag; its data copied (CopyDataFlag)
  // or linked.
  void Assign(const TQXLVariant& Source, bool CopyDataFlag);
  // The value becomes the Size bytes at Buffer, copied or linked; not NULL.
  // Without a buffer or with a size of 0 or less: NULL of DataType.
  void SetData(const void* Buffer, std::int32_t Size, TQXLBaseFieldType DataType, bool CopyDataFlag);
  // Copies the data to Buffer. False for NULL and for text of at most one
  // byte; raises 20056 when MaxSize (-1: unlimited) is below the data size.
  bool CopyDataToAddress(void* Buffer, std::int32_t MaxSize) const;
  // Characters of a string value; -1 for NULL and other types.
  std::int32_t StrLen() const;

  bool IsNumericDataType() const { return qxl::IsNumericBaseFieldType(FDataType); }
  bool IsStringDataType() const { return qxl::IsStringBaseFieldType(FDataType); }
  bool IsWideStringDataType() const { return qxl::IsWideStringBaseFieldType(FDataType); }
  bool IsBlobDataType() const { return qxl::IsBlobBaseFieldType(FDataType); }
  bool IsDateTimeDataType() const { return qxl::IsDateTimeBaseFieldType(FDataType); }

  // Typed access. A setter gives an untyped value its own type, and converts
  // into the type a value already has; an empty text leaves the value NULL.
  // A getter raises 30016 on NULL, except the text getters, which give "".
  std::int8_t GetAsShortint() const;
  void SetAsShortint(std::int8_t Value);
  std::int16_t GetAsSmallint() const;
  void SetAsSmallint(std::int16_t Value);
  std::int32_t GetAsInteger() const;
  void SetAsInteger(std::int32_t Value);
  std::int64_t GetAsInt64() const;
  void SetAsInt64(std::int64_t Value);
  std::uint8_t GetAsByte() const;
  void SetAsByte(std::uint8_t Value);
  std::uint16_t GetAsWord() const;
  void SetAsWord(std::uint16_t Value);
  std::uint32_t GetAsCardinal() const;
  void SetAsCardinal(std::uint32_t Value);
  std::uint32_t GetAsLongWord() const { return GetAsCardinal(); }
  void SetAsLongWord(std::uint32_t Value) { SetAsCardinal(Value); }
  float GetAsSingle() const;
  void SetAsSingle(float Value);
  double GetAsDouble() const;
  void SetAsDouble(double Value);
  long double GetAsExtended() const;
  void SetAsExtended(long double Value);
  // UTF-8 in and out; the value holds Windows-1252 bytes.
  std::string GetAsAnsiString() const;
  void SetAsAnsiString(std::string_view Value);
  std::u16string GetAsWideString() const;
  void SetAsWideString(std::u16string_view Value);
  std::int32_t GetAsQXLDate() const;
  void SetAsQXLDate(std::int32_t Value);
  std::int32_t GetAsQXLTime() const;
  void SetAsQXLTime(std::int32_t Value);
  TQXLDateTime GetAsQXLDateTime() const;
  void SetAsQXLDateTime(const TQXLDateTime& Value);
  bool GetAsBoolean() const;
  void SetAsBoolean(bool Value);
  bool GetAsLogical() const { return GetAsBoolean(); }
  void SetAsLogical(bool Value) { SetAsBoolean(Value); }
  double GetAsCurrency() const;
  void SetAsCurrency(double Value);
  TDateTime GetAsTDate() const;
  void SetAsTDate(TDateTime Value);
  TDateTime GetAsTTime() const;
  void SetAsTTime(TDateTime Value);
  TDateTime GetAsTDateTime() const;
  void SetAsTDateTime(TDateTime Value);
  Variant GetAsVariant() const;
  void SetAsVariant(const Variant& Value);

  // Converts the value in place; a failed cast leaves it unchanged.
  void Cast(TQXLBaseFieldType NewDataType);

  // Arithmetic in place, in the common type of both operands.
  void InvertValue();
  void Add(const TQXLVariant& Value);
  void Sub(const TQXLVariant& Value);
  void Mul(const TQXLVariant& Value);
  void Division(const TQXLVariant& Value);

  // This value (left) against Value. Without TrueFalseNullLogic a NULL sorts
  // below every value and two NULLs are equal. PartialKey compares text over
  // Value's length only.
  TQXLCompareResult Compare(const TQXLVariant& Value, bool TrueFalseNullLogic, bool CaseInsensitive,
                            bool PartialKey) const;

  // A UTF-16 value whose text Windows-1252 holds without loss becomes 8-bit text.
  void TryToReduceWideStringToAnsiString();

  // Type byte, null flag (0 or 255), and when not NULL the size (32-bit) and
  // the data bytes.
  void SaveToStream(TQXLStream& Stream) const;
  void LoadFromStream(TQXLStream& Stream);

protected:
  // The setting rule: the Size bytes at Bytes, a value of Type (text with its
  // terminator; IsEmptyText when it has no characters), stored into this
  // value, converted to its type when it has one.
  void SetValue(TQXLBaseFieldType Type, const void* Bytes, std::int32_t Size, bool IsEmptyText);
  // The getting rule: this value as Type, in a string of bytes (text with its
  // terminator). Raises 30016 on NULL: text getters check for NULL first.
  std::string GetValue(TQXLBaseFieldType Type) const;
  // Windows-1252 text as it is held.
  std::string GetAnsiText() const;
  void SetAnsiText(std::string_view Ansi);

private:
  // The getting rule for a type of fixed size, in exactly that many bytes.
  std::string GetFixedBytes(TQXLBaseFieldType Type) const;
  template <typename T>
  T GetFixed(TQXLBaseFieldType Type) const;
  template <typename T>
  void SetFixed(TQXLBaseFieldType Type, const T& Value);
  // Frees owned data and forgets linked data.
  void ReleaseData();
  void Arithmetic(const TQXLVariant& Value, char Operator);

  TQXLBaseFieldType FDataType = bftUnknown;
  std::int32_t FDataSize = 0;
  void* FPData = nullptr;
  bool FIsDataLinked = false;
  bool FIsNull = true;
};

}  // namespace qxl
