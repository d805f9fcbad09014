#include "platform/Collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/CodePage.h"

namespace platform {
namespace {

// The two collators of one locale. Once built they are only read: ICU's const
// compare is safe from many threads at once.
struct CollatorSet {
  std::string Name;
  std::unique_ptr<icu::Collator> CaseSensitive;
  std::unique_ptr<icu::Collator> IgnoreCase;
};

std::unique_ptr<icu::Collator> MakeCollator(const icu::Locale& locale, UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !c) return nullptr;
  c->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, status);
  c->setAttribute(UCOL_STRENGTH, strength, status);
  if (U_FAILURE(status)) return nullptr;
  return c;
}

std::unique_ptr<CollatorSet> MakeSet(std::string_view name) {
  const icu::Locale locale = name.empty() ? icu::Locale::getRoot() : icu::Locale(std::string(name).c_str());
  if (locale.isBogus()) throw ECollationError("Unknown collation locale '" + std::string(name) + "'");
  auto set = std::make_unique<CollatorSet>();
  set->Name = name;
  set->CaseSensitive = MakeCollator(locale, UCOL_TERTIARY);
  set->IgnoreCase = MakeCollator(locale, UCOL_SECONDARY);
  if (!set->CaseSensitive || !set->IgnoreCase)
    throw ECollationError("Cannot create the collator for locale '" + std::string(name) + "'");
  return set;
}

// Every set ever built stays alive until the process ends, so that a reader
// holding the previous one is never left with a freed collator; selecting a
// locale again reuses its set. Locale changes are rare; comparisons then cost
// one atomic load.
struct Registry {
  std::mutex Lock;
  std::vector<std::unique_ptr<CollatorSet>> Sets;
  std::atomic<const CollatorSet*> Current{nullptr};

  Registry() { Select(""); }

  void Select(std::string_view name) {
    std::lock_guard guard(Lock);
    auto known = std::find_if(Sets.begin(), Sets.end(), [&](const auto& set) { return set->Name == name; });
    if (known == Sets.end()) known = Sets.insert(Sets.end(), MakeSet(name));
    Current.store(known->get(), std::memory_order_release);
  }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

const CollatorSet& Current() { return *TheRegistry().Current.load(std::memory_order_acquire); }

int ToSign(UCollationResult r) { return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0; }

}  // namespace

void SetCollationLocale(std::string_view Locale) { TheRegistry().Select(Locale); }

std::string CollationLocale() { return Current().Name; }

int CompareStringWide(std::uint32_t Flags, std::u16string_view A, std::u16string_view B) {
  const CollatorSet& set = Current();
  const icu::Collator& c = (Flags & NORM_IGNORECASE) ? *set.IgnoreCase : *set.CaseSensitive;
  if (A.size() > INT32_MAX || B.size() > INT32_MAX) throw ECollationError("Text too long to compare");
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r = c.compare(A.data(), static_cast<int32_t>(A.size()), B.data(),
                                       static_cast<int32_t>(B.size()), status);
  if (U_FAILURE(status)) throw ECollationError("Text cannot be compared");
  return ToSign(r);
}

int CompareStringAnsi(std::uint32_t Flags, std::string_view A, std::string_view B) {
  // Short text (single characters from the LIKE matcher, names) needs no heap.
  constexpr std::size_t kShort = 64;
  if (A.size() <= kShort && B.size() <= kShort) {
    char16_t a[kShort], b[kShort];
    for (std::size_t i = 0; i < A.size(); ++i) a[i] = AnsiCharToWide(A[i]);
    for (std::size_t i = 0; i < B.size(); ++i) b[i] = AnsiCharToWide(B[i]);
    return CompareStringWide(Flags, std::u16string_view(a, A.size()), std::u16string_view(b, B.size()));
  }
  return CompareStringWide(Flags, AnsiToWide(A), AnsiToWide(B));
}

}  // namespace platform
