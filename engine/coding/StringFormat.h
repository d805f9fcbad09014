#pragma once
// Text formats that turn bytes into printable text and back, with the
// process-wide registry by format number. Only the plain copy and Base64
// convert; the other formats are registered but refuse to convert.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/Exception.h"

namespace qxl {

class EStringFormat : public platform::Exception {
public:
  using Exception::Exception;
};

// A format is a class with class operations only; each class has one constant
// instance, and a pointer to it stands for the class.
class TStringFormat {
public:
  virtual ~TStringFormat() = default;
  // Bytes from text in the format. Len below 0: Value is zero-terminated.
  virtual std::string ToStr(const char* Value, std::int32_t Len) const;
  // Text in the format from bytes. Len below 0: Value is zero-terminated.
  virtual std::string StrTo(const char* Value, std::int32_t Len) const;
  virtual std::string Name() const { return "copy Input to Output"; }
  virtual std::int32_t Format() const { return 1; }
  virtual bool IsValid(const char* Value, std::int32_t Len, bool ToStr) const;

  static const TStringFormat* Class();
};

using TStringFormatClass = const TStringFormat*;

// The formats with an alphabet (CharTable): text to bytes is valid when every
// character is in it. Those that do not provide their alphabet raise their own
// "Not implemented" text from CharTable, so every conversion fails with it.
class TCharTableFormat : public TStringFormat {
public:
  std::string ToStr(const char* Value, std::int32_t Len) const override;
  std::string StrTo(const char* Value, std::int32_t Len) const override;
  bool IsValid(const char* Value, std::int32_t Len, bool ToStr) const override;
  virtual std::string CharTable() const = 0;
};

class TStringFormat_HEX : public TCharTableFormat {
public:
  std::string Name() const override { return "Hexadecimal"; }
  std::int32_t Format() const override { return 16; }
  std::string CharTable() const override;

  static const TStringFormat* Class();
};

class TStringFormat_HEXL : public TStringFormat_HEX {
public:
  std::string Name() const override { return "Hexadecimal lowercase"; }
  std::int32_t Format() const override { return 1016; }
  std::string CharTable() const override;

  static const TStringFormat* Class();
};

// Base64 without line breaks; decoding skips every character outside the
// alphabet.
class TStringFormat_MIME64 : public TStringFormat_HEX {
public:
  std::string ToStr(const char* Value, std::int32_t Len) const override;
  std::string StrTo(const char* Value, std::int32_t Len) const override;
  std::string Name() const override { return "MIME Base 64"; }
  std::int32_t Format() const override { return 4196; }
  std::string CharTable() const override;

  static const TStringFormat* Class();
};

class TStringFormat_UU : public TCharTableFormat {
public:
  std::string Name() const override { return "UU Coding"; }
  std::int32_t Format() const override { return 21845; }
  std::string CharTable() const override;

  static const TStringFormat* Class();
};

class TStringFormat_XX : public TStringFormat_UU {
public:
  std::string Name() const override { return "XX Coding"; }
  std::int32_t Format() const override { return 22616; }
  std::string CharTable() const override;

  static const TStringFormat* Class();
};

// Adds each class whose Format is not -1, replacing a registered class of the
// same number in its place.
void RegisterStringFormatClasses(std::initializer_list<TStringFormatClass> Classes);
// The first registered class with that number (-1: the default, Base64), or nil.
TStringFormatClass FindStringFormat(std::int32_t Format);

// Empty for a nil Value, Format 0 or Len 0; raises EStringFormat for an
// unknown format or input the format refuses.
std::string BytesToFormat(const void* Value, std::int32_t Len, std::int32_t Format);
std::string FormatToBytes(const void* Value, std::int32_t Len, std::int32_t Format);

}  // namespace qxl
