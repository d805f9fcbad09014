#pragma once
// The parameters of an SQL text: named values with a dataset field type, and
// the parser that finds them in the text (":name", or :"name with blanks";
// "::" stands for one colon; single-quoted literals are not searched).
// Thread rule: one thread.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/values/QXLTypes.h"
#include "platform/RuntimeVariant.h"

namespace qxl {

class TComponent;

enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam {
public:
  TParam() = default;
  TParam(std::string Name_, TFieldType DataType_, TParamType ParamType_)
      : Name(std::move(Name_)), DataType(DataType_), ParamType(ParamType_) {}

  bool IsNull() const { return Value.IsNull() || Value.IsEmpty(); }
  // NULL, type kept, not bound.
  void Clear();

  // Each typed setter gives the parameter its type and binds it.
  void SetAsString(const std::string& Text);
  void SetAsWideString(const std::u16string& Text);
  void SetAsInteger(std::int32_t Number);
  void SetAsLargeInt(std::int64_t Number);
  void SetAsFloat(double Number);
  void SetAsCurrency(double Amount);
  void SetAsBoolean(bool Flag);
  void SetAsDate(TDateTime Date);
  void SetAsTime(TDateTime Time);
  void SetAsDateTime(TDateTime DateTime);
  void SetAsMemo(const std::string& Text);
  void SetAsBlob(const std::string& Bytes);
  // Keeps the parameter's type; binds it.
  void SetValue(const Variant& NewValue);

  std::string Name;
  TFieldType DataType = ftUnknown;
  TParamType ParamType = ptUnknown;
  // A value was given, as opposed to one taken from a master record.
  bool Bound = false;
  Variant Value;

private:
  void Set(TFieldType Type, Variant NewValue);
};

class TParams {
public:
  // Errors name Owner as their subject.
  explicit TParams(const TComponent* Owner = nullptr) : FOwner(Owner) {}
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  // An index outside the list raises EDatabaseError.
  TParam& Items(std::int32_t Index) const;
  TParam& operator[](std::int32_t Index) const { return Items(Index); }

  TParam& CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
  // In any letter case; nullptr when none.
  TParam* FindParam(std::string_view Name) const;
  // In any letter case; none raises EDatabaseError.
  TParam& ParamByName(std::string_view Name) const;
  void Clear() { FItems.clear(); }
  // Copies of Source's parameters in place of this list's.
  void Assign(const TParams& Source);
  // Each parameter of this list takes the type, value and binding of
  // Source's parameter of the same name, when there is one.
  void AssignValues(const TParams& Source);

  // The text with each parameter as "?" and each "::" as ":". With DoCreate,
  // a parameter of each new name is appended (input, no type), in the order met.
  std::string ParseSQL(std::string_view SQL, bool DoCreate);

private:
  const TComponent* FOwner;
  std::vector<std::unique_ptr<TParam>> FItems;
};

}  // namespace qxl
