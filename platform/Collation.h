#pragma once
// Locale comparison of text in the manner of the platform's CompareString:
// one process-wide collator for the configured locale orders names, values and
// index keys alike. Punctuation is significant; case is the last difference
// looked at, and none at all with the ignore-case flag.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exception.h"

namespace platform {

// Comparison flags, with the values the callers pass.
constexpr std::uint32_t NORM_IGNORECASE = 0x1;
// Punctuation counts as the other characters do. It is the only order this
// platform has, so the flag is accepted without changing anything.
constexpr std::uint32_t SORT_STRINGSORT = 0x1000;

class ECollationError : public Exception {
public:
  using Exception::Exception;
};

// Selects the collation locale by its name ("de", "sv_SE", "en-US"); an empty
// name selects the root order. Raises ECollationError when no collator can be
// built. Comparisons already running finish with the previous locale.
void SetCollationLocale(std::string_view Locale);
// The name last set, empty for the root order.
std::string CollationLocale();

// <0, 0 or >0 as A sorts before, with or after B.
int CompareStringWide(std::uint32_t Flags, std::u16string_view A, std::u16string_view B);
// The same for Windows-1252 text, compared as its UTF-16 form.
int CompareStringAnsi(std::uint32_t Flags, std::string_view A, std::string_view B);

}  // namespace platform
