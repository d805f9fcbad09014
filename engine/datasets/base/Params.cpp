#include "engine/datasets/base/Params.h"

#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

namespace {

bool IsNameChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

void TParam::Clear() {
  Value = Variant::Null();
  Bound = false;
}

void TParam::Set(TFieldType Type, Variant NewValue) {
  DataType = Type;
  Value = std::move(NewValue);
  Bound = true;
}

void TParam::SetAsString(const std::string& Text) { Set(ftString, Variant(Text)); }
void TParam::SetAsWideString(const std::u16string& Text) { Set(ftWideString, Variant(Text)); }
void TParam::SetAsInteger(std::int32_t Number) { Set(ftInteger, Variant(Number)); }
void TParam::SetAsLargeInt(std::int64_t Number) { Set(ftLargeint, Variant(Number)); }
void TParam::SetAsFloat(double Number) { Set(ftFloat, Variant(Number)); }
void TParam::SetAsCurrency(double Amount) { Set(ftCurrency, Variant::Currency(Amount)); }
void TParam::SetAsBoolean(bool Flag) { Set(ftBoolean, Variant(Flag)); }
void TParam::SetAsDate(TDateTime Date) { Set(ftDate, Variant::Date(Date)); }
void TParam::SetAsTime(TDateTime Time) { Set(ftTime, Variant::Date(Time)); }
void TParam::SetAsDateTime(TDateTime DateTime) { Set(ftDateTime, Variant::Date(DateTime)); }
void TParam::SetAsMemo(const std::string& Text) { Set(ftMemo, Variant(Text)); }
void TParam::SetAsBlob(const std::string& Bytes) { Set(ftBlob, Variant(Bytes)); }

void TParam::SetValue(const Variant& NewValue) {
  Value = NewValue;
  Bound = true;
}

TParam& TParams::Items(std::int32_t Index) const {
  if (Index < 0 || Index >= Count()) DatabaseErrorFmt(FOwner, "Parameter index out of range (%d)", Index);
  return *FItems[static_cast<std::size_t>(Index)];
}

TParam& TParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
  FItems.push_back(std::make_unique<TParam>(Name, DataType, ParamType));
  return *FItems.back();
}

TParam* TParams::FindParam(std::string_view Name) const {
  for (const auto& p : FItems)
    if (SameNameIgnoringCase(p->Name, Name)) return p.get();
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view Name) const {
  TParam* p = FindParam(Name);
  if (!p) DatabaseErrorFmt(FOwner, "Parameter '%s' not found", Name);
  return *p;
}

void TParams::Assign(const TParams& Source) {
  if (&Source == this) return;
  std::vector<std::unique_ptr<TParam>> items;
  for (const auto& p : Source.FItems) items.push_back(std::make_unique<TParam>(*p));
  FItems = std::move(items);
}

void TParams::AssignValues(const TParams& Source) {
  for (const auto& p : FItems)
    if (const TParam* s = Source.FindParam(p->Name)) {
      p->DataType = s->DataType;
      p->Value = s->Value;
      p->Bound = s->Bound;
    }
}

std::string TParams::ParseSQL(std::string_view SQL, bool DoCreate) {
  std::string out;
  std::size_t i = 0;
  auto found = [&](std::string Name) {
    out += '?';
    if (DoCreate && !FindParam(Name)) CreateParam(ftUnknown, Name, ptInput);
  };
  while (i < SQL.size()) {
    const char c = SQL[i];
    if (c == '\'') {
      const std::size_t end = SQL.find('\'', i + 1);
      const std::size_t stop = end == std::string_view::npos ? SQL.size() : end + 1;
      out.append(SQL.substr(i, stop - i));
      i = stop;
    } else if (c == ':' && i + 1 < SQL.size() && SQL[i + 1] == ':') {
      out += ':';
      i += 2;
    } else if (c == ':' && i + 1 < SQL.size() && SQL[i + 1] == '"') {
      const std::size_t end = SQL.find('"', i + 2);
      const std::size_t stop = end == std::string_view::npos ? SQL.size() : end;
      found(std::string(SQL.substr(i + 2, stop - i - 2)));
      i = end == std::string_view::npos ? SQL.size() : end + 1;
    } else if (c == ':' && i + 1 < SQL.size() && IsNameChar(SQL[i + 1])) {
      std::size_t end = i + 1;
      while (end < SQL.size() && IsNameChar(SQL[end])) ++end;
      found(std::string(SQL.substr(i + 1, end - i - 1)));
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace qxl
