#include "engine/coding/StringFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/Format.h"

namespace qxl {

namespace {

constexpr char Base64Table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr int Base64Pad = 64;

std::size_t Length(const char* Value, std::int32_t Len) {
  if (!Value) return 0;
  return Len < 0 ? std::strlen(Value) : static_cast<std::size_t>(Len);
}

// Digit value of a Base64 character, 64 for the pad, -1 outside the alphabet.
constexpr auto Base64Digits = [] {
  std::array<signed char, 256> digits{};
  digits.fill(-1);
  for (int i = 0; i <= Base64Pad; ++i) digits[static_cast<unsigned char>(Base64Table[i])] = static_cast<signed char>(i);
  return digits;
}();

void AddClasses(std::vector<TStringFormatClass>& List, std::initializer_list<TStringFormatClass> Classes);

struct TRegistry {
  TRegistry() {
    AddClasses(Classes, {TStringFormat::Class(), TStringFormat_HEX::Class(), TStringFormat_HEXL::Class(),
                         TStringFormat_MIME64::Class(), TStringFormat_UU::Class(), TStringFormat_XX::Class()});
  }
  std::mutex Lock;
  std::vector<TStringFormatClass> Classes;
};

void AddClasses(std::vector<TStringFormatClass>& List, std::initializer_list<TStringFormatClass> Classes) {
  for (TStringFormatClass c : Classes) {
    if (!c || c->Format() == -1) continue;
    auto same = std::find_if(List.begin(), List.end(), [&](TStringFormatClass r) { return r->Format() == c->Format(); });
    if (same != List.end())
      *same = c;
    else
      List.push_back(c);
  }
}

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// The one constant object that stands for the format class F.
template <class F>
const TStringFormat* Instance() {
  static const F instance;
  return &instance;
}

}  // namespace

// --- TStringFormat ---------------------------------------------------------

std::string TStringFormat::ToStr(const char* Value, std::int32_t Len) const {
  return std::string(Value ? Value : "", Length(Value, Len));
}

std::string TStringFormat::StrTo(const char* Value, std::int32_t Len) const {
  return std::string(Value ? Value : "", Length(Value, Len));
}

bool TStringFormat::IsValid(const char*, std::int32_t, bool) const { return true; }

const TStringFormat* TStringFormat::Class() { return Instance<TStringFormat>(); }

// --- formats with an alphabet ----------------------------------------------

std::string TCharTableFormat::ToStr(const char*, std::int32_t) const {
  CharTable();
  return {};
}

std::string TCharTableFormat::StrTo(const char*, std::int32_t) const {
  CharTable();
  return {};
}

bool TCharTableFormat::IsValid(const char* Value, std::int32_t Len, bool ToStr) const {
  if (!ToStr) return true;
  const std::string table = CharTable();
  const std::size_t n = Length(Value, Len);
  for (std::size_t i = 0; i < n; ++i)
    if (table.find(Value[i]) == std::string::npos) return false;
  return true;
}

std::string TStringFormat_HEX::CharTable() const { throw platform::Exception("Not Implemented 2"); }

const TStringFormat* TStringFormat_HEX::Class() { return Instance<TStringFormat_HEX>(); }

std::string TStringFormat_HEXL::CharTable() const { throw platform::Exception("Not implemented 3"); }

const TStringFormat* TStringFormat_HEXL::Class() { return Instance<TStringFormat_HEXL>(); }

std::string TStringFormat_UU::CharTable() const { throw platform::Exception("Not implemented 5"); }

const TStringFormat* TStringFormat_UU::Class() { return Instance<TStringFormat_UU>(); }

std::string TStringFormat_XX::CharTable() const { throw platform::Exception("Not implemented 6"); }

const TStringFormat* TStringFormat_XX::Class() { return Instance<TStringFormat_XX>(); }

// --- Base64 ----------------------------------------------------------------

std::string TStringFormat_MIME64::CharTable() const { return Base64Table; }

std::string TStringFormat_MIME64::StrTo(const char* Value, std::int32_t Len) const {
  const std::size_t n = Length(Value, Len);
  const auto* in = reinterpret_cast<const unsigned char*>(Value);
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (std::size_t i = 0; i < n; i += 3) {
    const std::size_t count = std::min<std::size_t>(3, n - i);
    std::uint32_t group = std::uint32_t(in[i]) << 16;
    if (count > 1) group |= std::uint32_t(in[i + 1]) << 8;
    if (count > 2) group |= in[i + 2];
    out += Base64Table[(group >> 18) & 63];
    out += Base64Table[(group >> 12) & 63];
    out += count > 1 ? Base64Table[(group >> 6) & 63] : '=';
    out += count > 2 ? Base64Table[group & 63] : '=';
  }
  return out;
}

// A group of four pads ("=" alone, or "QQ===") gives no bytes rather than a
// negative count; a pad does not end the data, later groups are decoded too.
std::string TStringFormat_MIME64::ToStr(const char* Value, std::int32_t Len) const {
  const std::size_t n = Length(Value, Len);
  std::string out;
  out.reserve(n);
  int digits[4];
  int have = 0;
  auto flush = [&] {
    int pads = 0;
    std::uint32_t group = 0;
    for (int i = 0; i < 4; ++i) {
      const int d = i < have ? digits[i] : Base64Pad;
      if (d == Base64Pad) ++pads;
      group = (group << 6) | std::uint32_t(d == Base64Pad ? 0 : d);
    }
    for (int i = 0; i < 3 - pads; ++i) out += static_cast<char>(group >> (16 - 8 * i));
    have = 0;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const int d = Base64Digits[static_cast<unsigned char>(Value[i])];
    if (d < 0) continue;
    digits[have++] = d;
    if (have == 4) flush();
  }
  if (have > 0) flush();
  return out;
}

const TStringFormat* TStringFormat_MIME64::Class() { return Instance<TStringFormat_MIME64>(); }

// --- registry --------------------------------------------------------------

void RegisterStringFormatClasses(std::initializer_list<TStringFormatClass> Classes) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  AddClasses(r.Classes, Classes);
}

TStringFormatClass FindStringFormat(std::int32_t Format) {
  if (Format == -1) Format = 4196;
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  for (TStringFormatClass c : r.Classes)
    if (c->Format() == Format) return c;
  return nullptr;
}

namespace {

// Through the registry: bytes from text in Format (ToBytes) or text in Format
// from bytes.
std::string Convert(const void* Value, std::int32_t Len, std::int32_t Format, bool ToBytes) {
  if (!Value || Format == 0 || Len == 0) return {};
  TStringFormatClass c = FindStringFormat(Format);
  if (!c) throw EStringFormat(platform::Format("String Format \"%d\" not exists.", Format));
  const char* text = static_cast<const char*>(Value);
  if (!c->IsValid(text, Len, ToBytes)) {
    const char* message = ToBytes ? "Input is not an valid %s Format." : "Input can not be convert to %s Format.";
    throw EStringFormat(platform::Format(message, c->Name()));
  }
  return ToBytes ? c->ToStr(text, Len) : c->StrTo(text, Len);
}

}  // namespace

std::string BytesToFormat(const void* Value, std::int32_t Len, std::int32_t Format) {
  return Convert(Value, Len, Format, false);
}

std::string FormatToBytes(const void* Value, std::int32_t Len, std::int32_t Format) {
  return Convert(Value, Len, Format, true);
}

}  // namespace qxl
