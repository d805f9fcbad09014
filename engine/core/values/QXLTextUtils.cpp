#include "engine/core/values/QXLTextUtils.h"

#include <cstdint>
#include <vector>

#include "platform/CaseMap.h"
#include "platform/Collation.h"
#include "platform/DateTime.h"

namespace qxl {

std::u16string UpperCaseWide(std::u16string_view Text) { return platform::UpperCaseWide(Text); }

std::u16string LowerCaseWide(std::u16string_view Text) { return platform::LowerCaseWide(Text); }

namespace {

// The LIKE matcher works on tokens, and between wildcards places each run of
// fixed-width tokens at the leftmost position that fits: a later placement
// never matches where an earlier one fails, as the next '%' can absorb the
// difference. That gives the answers of the plain recursive matcher in time
// proportional to data times pattern, without recursion, whatever the pattern.
enum class TokenKind : std::uint8_t { Any, One, Literal, Dangling };

template <typename Ch>
struct Token {
  TokenKind Kind;
  Ch Char;
  std::size_t Pos;  // where the token starts in the pattern
};

template <typename Ch>
std::basic_string_view<Ch> UpToZero(std::basic_string_view<Ch> s) {
  const auto z = s.find(Ch(0));
  return z == s.npos ? s : s.substr(0, z);
}

template <typename Ch>
std::vector<Token<Ch>> Tokenize(std::basic_string_view<Ch> p, bool HasEscape, Ch EscapeChar) {
  std::vector<Token<Ch>> tokens;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Ch c = p[i];
    if (c == Ch('%'))
      tokens.push_back({TokenKind::Any, c, i});
    else if (c == Ch('_'))
      tokens.push_back({TokenKind::One, c, i});
    else if (HasEscape && c == EscapeChar) {
      // An escape with nothing after it matches no character.
      if (i + 1 < p.size())
        tokens.push_back({TokenKind::Literal, p[i + 1], i});
      else
        tokens.push_back({TokenKind::Dangling, c, i});
      ++i;
    } else {
      tokens.push_back({TokenKind::Literal, c, i});
    }
  }
  return tokens;
}

template <typename Ch>
class LikeMatcher {
public:
  LikeMatcher(std::basic_string_view<Ch> Data, std::basic_string_view<Ch> Pattern, bool HasEscape,
              Ch EscapeChar, bool CaseInsensitive)
      : FData(UpToZero(Data)),
        FPattern(UpToZero(Pattern)),
        FTokens(Tokenize(FPattern, HasEscape, EscapeChar)),
        FFlags(platform::SORT_STRINGSORT | (CaseInsensitive ? platform::NORM_IGNORECASE : 0)) {
    ComputeRestIsPercent();
  }

  bool Match() const {
    std::size_t d = 0, t = 0;
    Walked w = Walk(d, t);
    for (;;) {
      if (w.Result != WalkResult::Reached) return w.Result == WalkResult::Matched;
      d = w.D;
      t = w.T;
      if (t == FTokens.size()) return d == FData.size();
      // At a '%' that is not the last thing in the pattern.
      if (d == FData.size()) return false;
      bool placed = false;
      for (std::size_t x = d; x < FData.size() && !placed; ++x) {
        w = Walk(x, t + 1);
        if (w.Result == WalkResult::Matched) return true;
        if (w.Result == WalkResult::DataEnded) return false;
        if (w.Result == WalkResult::Reached) {
          if (w.T < FTokens.size()) placed = true;  // leftmost run before another '%'
          else if (w.D == FData.size()) return true;  // the last run must end with the data
        }
      }
      if (!placed) return false;
    }
  }

private:
  enum class WalkResult : std::uint8_t { Matched, DataEnded, Mismatch, Reached };
  struct Walked {
    WalkResult Result;
    std::size_t D, T;
  };

  // Matches fixed-width tokens from token t at data position d up to the next
  // '%' or the pattern's end.
  Walked Walk(std::size_t d, std::size_t t) const {
    for (;; ++t, ++d) {
      if (FRestIsPercent[t]) return {WalkResult::Matched, d, t};
      if (t == FTokens.size() || FTokens[t].Kind == TokenKind::Any) return {WalkResult::Reached, d, t};
      if (d == FData.size()) return {WalkResult::DataEnded, d, t};
      const Token<Ch>& tok = FTokens[t];
      if (tok.Kind == TokenKind::Dangling) return {WalkResult::Mismatch, d, t};
      if (tok.Kind == TokenKind::Literal && !Equal(FData[d], tok.Char)) return {WalkResult::Mismatch, d, t};
    }
  }

  bool Equal(Ch a, Ch b) const {
    if (a == b) return true;
    if constexpr (sizeof(Ch) == 1)
      return platform::CompareStringAnsi(FFlags, std::string_view(&a, 1), std::string_view(&b, 1)) == 0;
    else
      return platform::CompareStringWide(FFlags, std::u16string_view(&a, 1), std::u16string_view(&b, 1)) == 0;
  }

  // Whether the pattern from each token on counts as a lone '%', which matches
  // whatever data is left. For 8-bit text that is the exact text "%"; for
  // UTF-16 text the collation decides, so that characters it ignores do not
  // count. A token of such characters is skipped instead of asking again.
  void ComputeRestIsPercent() {
    const std::size_t n = FTokens.size();
    FRestIsPercent.assign(n + 1, false);
    for (std::size_t t = n; t-- > 0;) {
      const auto rest = FPattern.substr(FTokens[t].Pos);
      if constexpr (sizeof(Ch) == 1) {
        FRestIsPercent[t] = rest == "%";
      } else {
        const std::size_t end = t + 1 < n ? FTokens[t + 1].Pos : FPattern.size();
        const auto own = FPattern.substr(FTokens[t].Pos, end - FTokens[t].Pos);
        FRestIsPercent[t] = IsIgnorable(own) ? FRestIsPercent[t + 1] : IsPercent(rest);
      }
    }
  }

  static constexpr std::uint32_t kPercentFlags = platform::SORT_STRINGSORT | platform::NORM_IGNORECASE;

  static bool IsIgnorable(std::u16string_view s) {
    for (char16_t c : s)
      if (platform::CompareStringWide(kPercentFlags, std::u16string_view(&c, 1), u"") != 0) return false;
    return true;
  }

  static bool IsPercent(std::u16string_view s) { return platform::CompareStringWide(kPercentFlags, s, u"%") == 0; }

  std::basic_string_view<Ch> FData, FPattern;
  std::vector<Token<Ch>> FTokens;
  std::vector<bool> FRestIsPercent;
  std::uint32_t FFlags;
};

}  // namespace

bool MatchLikeAnsi(std::string_view Data, std::string_view Pattern, bool HasEscape, char EscapeChar,
                   bool CaseInsensitive) {
  return LikeMatcher<char>(Data, Pattern, HasEscape, EscapeChar, CaseInsensitive).Match();
}

bool MatchLikeWide(std::u16string_view Data, std::u16string_view Pattern, bool HasEscape, char16_t EscapeChar,
                   bool CaseInsensitive) {
  return LikeMatcher<char16_t>(Data, Pattern, HasEscape, EscapeChar, CaseInsensitive).Match();
}

namespace {

// Collects the digits from Pos on, then steps over one more character (the
// separator, whatever it is). True when exactly Count digits were there.
bool ReadDigitGroup(std::string_view Text, int Count, int& Value, std::size_t& Pos) {
  int digits = 0, value = 0;
  for (; Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9'; ++Pos, ++digits)
    if (digits < Count) value = value * 10 + (Text[Pos] - '0');
  if (Pos < Text.size()) {
    // One character, however many bytes it takes.
    ++Pos;
    while (Pos < Text.size() && (static_cast<unsigned char>(Text[Pos]) & 0xC0) == 0x80) ++Pos;
  } else {
    ++Pos;
  }
  if (digits != Count) return false;
  Value = value;
  return true;
}

// Reads the groups of the given widths; true when they all fit and nothing
// but one separator follows the last.
template <std::size_t N>
bool ReadGroups(std::string_view Text, const int (&Widths)[N], int (&Values)[N]) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < N; ++i)
    if (!ReadDigitGroup(Text, Widths[i], Values[i], pos)) return false;
  return pos >= Text.size();
}

// Splits "<head>.<1 to 3 digits>" where the head ends in a digit; the
// fraction as milliseconds.
bool SplitFraction(std::string_view Text, std::string_view& Head, int& Milliseconds) {
  const std::size_t dot = Text.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || Text[dot - 1] < '0' || Text[dot - 1] > '9') return false;
  const std::string_view fraction = Text.substr(dot + 1);
  if (fraction.empty() || fraction.size() > 3) return false;
  int value = 0;
  for (char Ch : fraction) {
    if (Ch < '0' || Ch > '9') return false;
    value = value * 10 + (Ch - '0');
  }
  for (std::size_t i = fraction.size(); i < 3; ++i) value *= 10;
  Head = Text.substr(0, dot);
  Milliseconds = value;
  return true;
}

}  // namespace

bool TryParseDate(std::string_view Text, TDateTime& Value) {
  int v[3];
  if (!ReadGroups(Text, {4, 2, 2}, v)) return false;
  Value = platform::EncodeDate(v[0], v[1], v[2]);
  return true;
}

bool TryParseTime(std::string_view Text, TDateTime& Value) {
  int v[3];
  if (!ReadGroups(Text, {2, 2, 2}, v)) return false;
  Value = platform::EncodeTime(v[0], v[1], v[2], 0);
  return true;
}

bool TryParseDateTime(std::string_view Text, TDateTime& Value) {
  int v[6];
  if (!ReadGroups(Text, {4, 2, 2, 2, 2, 2}, v)) return false;
  Value = platform::ComposeDateTime(platform::EncodeDate(v[0], v[1], v[2]), platform::EncodeTime(v[3], v[4], v[5], 0));
  return true;
}

bool TryParseTimeWithFraction(std::string_view Text, TDateTime& Value) {
  std::string_view head;
  int ms = 0, v[3];
  if (!SplitFraction(Text, head, ms) || !ReadGroups(head, {2, 2, 2}, v)) return false;
  Value = platform::EncodeTime(v[0], v[1], v[2], ms);
  return true;
}

bool TryParseDateTimeWithFraction(std::string_view Text, TDateTime& Value) {
  std::string_view head;
  int ms = 0, v[6];
  if (!SplitFraction(Text, head, ms) || !ReadGroups(head, {4, 2, 2, 2, 2, 2}, v)) return false;
  Value =
      platform::ComposeDateTime(platform::EncodeDate(v[0], v[1], v[2]), platform::EncodeTime(v[3], v[4], v[5], ms));
  return true;
}

}  // namespace qxl
