#include "platform/CaseMap.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>

#include "platform/CodePage.h"

namespace platform {
namespace {

using CaseFn = UChar32 (*)(UChar32);

// Maps every character of Text; a surrogate pair is mapped as the one
// character it stands for, and only when its partner is a pair again.
void MapInPlace(char16_t* Text, std::size_t Length, CaseFn fn) {
  for (std::size_t i = 0; i < Length; ++i) {
    const char16_t c = Text[i];
    if (U16_IS_LEAD(c) && i + 1 < Length && U16_IS_TRAIL(Text[i + 1])) {
      const UChar32 mapped = fn(U16_GET_SUPPLEMENTARY(c, Text[i + 1]));
      if (U_IS_SUPPLEMENTARY(mapped)) {
        Text[i] = U16_LEAD(mapped);
        Text[i + 1] = U16_TRAIL(mapped);
      }
      ++i;
    } else if (!U16_IS_SURROGATE(c)) {
      const UChar32 mapped = fn(c);
      if (U_IS_BMP(mapped) && !U16_IS_SURROGATE(mapped)) Text[i] = static_cast<char16_t>(mapped);
    }
  }
}

using AnsiTable = std::array<char, 256>;

// A byte maps to its case partner only when the code page has the partner.
AnsiTable MakeAnsiTable(CaseFn fn) {
  AnsiTable t{};
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    char16_t w = AnsiCharToWide(byte);
    MapInPlace(&w, 1, fn);
    t[b] = IsAnsiChar(w) ? WideCharToAnsi(w) : byte;
  }
  return t;
}

const AnsiTable& UpperTable() {
  static const AnsiTable t = MakeAnsiTable(u_toupper);
  return t;
}

const AnsiTable& LowerTable() {
  static const AnsiTable t = MakeAnsiTable(u_tolower);
  return t;
}

std::string MapAnsi(std::string_view Text, const AnsiTable& t) {
  std::string s(Text);
  for (char& c : s) c = t[static_cast<unsigned char>(c)];
  return s;
}

}  // namespace

char16_t UpperCaseChar(char16_t c) {
  UpperCaseWideInPlace(&c, 1);
  return c;
}

char16_t LowerCaseChar(char16_t c) {
  LowerCaseWideInPlace(&c, 1);
  return c;
}

void UpperCaseWideInPlace(char16_t* Text, std::size_t Length) { MapInPlace(Text, Length, u_toupper); }

void LowerCaseWideInPlace(char16_t* Text, std::size_t Length) { MapInPlace(Text, Length, u_tolower); }

std::u16string UpperCaseWide(std::u16string_view Text) {
  std::u16string s(Text);
  UpperCaseWideInPlace(s.data(), s.size());
  return s;
}

std::u16string LowerCaseWide(std::u16string_view Text) {
  std::u16string s(Text);
  LowerCaseWideInPlace(s.data(), s.size());
  return s;
}

char UpperCaseAnsiChar(char c) { return UpperTable()[static_cast<unsigned char>(c)]; }

char LowerCaseAnsiChar(char c) { return LowerTable()[static_cast<unsigned char>(c)]; }

std::string UpperCaseAnsi(std::string_view Text) { return MapAnsi(Text, UpperTable()); }

std::string LowerCaseAnsi(std::string_view Text) { return MapAnsi(Text, LowerTable()); }

std::string UpperCaseAscii(std::string_view Text) {
  std::string s(Text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace platform
