#include "platform/Format.h"

#include <charconv>

namespace platform {
namespace {

struct Spec {
  bool LeftJustify = false;
  int Width = -1;
  int Precision = -1;
  char Type = 0;
};

// Reads "[-][width][.precision]type" after a '%'; false when malformed.
bool ParseSpec(std::string_view t, std::size_t& i, Spec& spec) {
  auto number = [&](int& n) {
    std::size_t start = i;
    n = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9' && n < 100000) n = n * 10 + (t[i++] - '0');
    return i > start;
  };
  if (i < t.size() && t[i] == '-') {
    spec.LeftJustify = true;
    ++i;
  }
  int n;
  if (number(n)) spec.Width = n;
  if (i < t.size() && t[i] == '.') {
    ++i;
    spec.Precision = number(n) ? n : 0;
  }
  if (i >= t.size()) return false;
  spec.Type = t[i++];
  return true;
}

std::string IntegerText(const Spec& spec, bool negative, std::uint64_t magnitude) {
  char digits[32];
  const int base = (spec.Type == 'x' || spec.Type == 'X') ? 16 : 10;
  auto res = std::to_chars(digits, digits + sizeof digits, magnitude, base);
  std::string body(digits, res.ptr);
  if (base == 16)
    for (char& c : body) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
  if (spec.Precision > static_cast<int>(body.size())) body.insert(0, spec.Precision - body.size(), '0');
  if (negative) body.insert(0, 1, '-');
  return body;
}

bool FormatOne(const Spec& spec, const FormatArg& arg, std::string& piece) {
  const auto& v = arg.value();
  switch (spec.Type) {
    case 'd':
    case 'u':
    case 'x':
    case 'X':
      if (auto p = std::get_if<std::int64_t>(&v)) {
        const bool neg = *p < 0 && spec.Type == 'd';
        std::uint64_t mag = static_cast<std::uint64_t>(*p);
        if (neg) mag = 0 - mag;
        piece = IntegerText(spec, neg, mag);
      } else if (auto q = std::get_if<std::uint64_t>(&v)) {
        piece = IntegerText(spec, false, *q);
      } else {
        return false;
      }
      return true;
    case 's':
      if (auto s = std::get_if<std::string_view>(&v)) piece = std::string(*s);
      else if (auto o = std::get_if<std::string>(&v)) piece = *o;
      else if (auto c = std::get_if<char>(&v)) piece = std::string(1, *c);
      else return false;
      if (spec.Precision >= 0 && static_cast<int>(piece.size()) > spec.Precision) piece.resize(spec.Precision);
      return true;
    case 'f':
    case 'e':
    case 'g': {
      auto d = std::get_if<double>(&v);
      if (!d) return false;
      // to_chars writes what printf writes in the C locale, whatever locale
      // the process has set, and needs no bound on the text's length.
      const int precision = spec.Precision >= 0 ? spec.Precision : (spec.Type == 'g' ? 15 : 2);
      const auto form = spec.Type == 'f'   ? std::chars_format::fixed
                        : spec.Type == 'e' ? std::chars_format::scientific
                                           : std::chars_format::general;
      std::string buf(static_cast<std::size_t>(precision) + 400, '\0');
      auto res = std::to_chars(buf.data(), buf.data() + buf.size(), *d, form, precision);
      if (res.ec != std::errc()) return false;
      piece.assign(buf.data(), res.ptr);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

bool TryFormat(std::string& Out, std::string_view Template, std::span<const FormatArg> Args) {
  Out.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < Template.size();) {
    const char c = Template[i++];
    if (c != '%') {
      Out.push_back(c);
      continue;
    }
    if (i < Template.size() && Template[i] == '%') {
      Out.push_back('%');
      ++i;
      continue;
    }
    Spec spec;
    if (!ParseSpec(Template, i, spec) || next >= Args.size()) return false;
    std::string piece;
    if (!FormatOne(spec, Args[next++], piece)) return false;
    if (spec.Width > static_cast<int>(piece.size())) {
      const std::string pad(spec.Width - piece.size(), ' ');
      piece = spec.LeftJustify ? piece + pad : pad + piece;
    }
    Out += piece;
  }
  return true;
}

std::string FormatArgs(std::string_view Template, std::span<const FormatArg> Args) {
  std::string out;
  if (!TryFormat(out, Template, Args))
    throw EFormatError("Format '" + std::string(Template) + "' invalid or incompatible with argument");
  return out;
}

}  // namespace platform
