#pragma once
// Upper and lower case in the manner of the platform's CharUpperBuff and
// CharLowerBuff: one code unit in, one out, so the length never changes. A
// character whose case partner would not fit (German sharp s, or a Windows-1252
// character whose partner the code page lacks) stays as it is.
#include <string>
#include <string_view>

namespace platform {

char16_t UpperCaseChar(char16_t c);
char16_t LowerCaseChar(char16_t c);
std::u16string UpperCaseWide(std::u16string_view Text);
std::u16string LowerCaseWide(std::u16string_view Text);
// In place, over the whole buffer.
void UpperCaseWideInPlace(char16_t* Text, std::size_t Length);
void LowerCaseWideInPlace(char16_t* Text, std::size_t Length);

// Windows-1252 text.
char UpperCaseAnsiChar(char c);
char LowerCaseAnsiChar(char c);
std::string UpperCaseAnsi(std::string_view Text);
std::string LowerCaseAnsi(std::string_view Text);

// Only the 26 ASCII letters change; every other byte stays.
std::string UpperCaseAscii(std::string_view Text);

}  // namespace platform
