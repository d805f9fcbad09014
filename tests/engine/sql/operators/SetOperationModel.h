#pragma once
// The set operator's reference: rows of a nullable integer and a nullable
// text, and UNION, INTERSECT and EXCEPT with and without ALL over multisets
// of them, NULL equal to NULL.
//
// Threads: one test thread.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace qxl::settest {

struct TSetRow {
  std::optional<std::int32_t> A;
  std::optional<std::string> B;
  // NULL equals NULL and sorts first, as inside the engine's set operations.
  bool operator==(const TSetRow&) const = default;
  bool operator<(const TSetRow& Other) const { return std::tie(A, B) < std::tie(Other.A, Other.B); }
};

enum class TModelSet { Union, Intersect, Except };

inline const char* ModelSetName(TModelSet Kind) {
  switch (Kind) {
    case TModelSet::Union: return "UNION";
    case TModelSet::Intersect: return "INTERSECT";
    case TModelSet::Except: return "EXCEPT";
  }
  return "?";
}

// The sorted multiset the operation must give. With ALL, INTERSECT keeps each
// left row that occurs on the right and EXCEPT each left row that does not,
// as often as it occurs on the left; without ALL every row comes once.
inline std::vector<TSetRow> ModelSetOperation(const std::vector<TSetRow>& Left, const std::vector<TSetRow>& Right,
                                              TModelSet Kind, bool All) {
  std::vector<TSetRow> Out;
  auto inRight = [&](const TSetRow& Row) { return std::find(Right.begin(), Right.end(), Row) != Right.end(); };
  switch (Kind) {
    case TModelSet::Union:
      Out = Left;
      Out.insert(Out.end(), Right.begin(), Right.end());
      break;
    case TModelSet::Intersect:
      for (const TSetRow& r : Left)
        if (inRight(r)) Out.push_back(r);
      break;
    case TModelSet::Except:
      for (const TSetRow& r : Left)
        if (!inRight(r)) Out.push_back(r);
      break;
  }
  std::sort(Out.begin(), Out.end());
  if (!All) Out.erase(std::unique(Out.begin(), Out.end()), Out.end());
  return Out;
}

// Small domains, so that rows repeat within a side and across the sides;
// the texts differ in case, which the operations tell apart.
inline std::vector<TSetRow> RandomSetRows(std::mt19937& Rng, std::int32_t Count, std::int32_t ValueRange) {
  static const char* const Texts[] = {"a", "A", "b", "bb"};
  std::uniform_int_distribution<std::int32_t> value(0, std::max(0, ValueRange - 1));
  std::uniform_int_distribution<std::int32_t> text(0, 3);
  std::uniform_int_distribution<std::int32_t> percent(0, 99);
  std::vector<TSetRow> Rows;
  for (std::int32_t i = 0; i < Count; ++i) {
    TSetRow r;
    if (percent(Rng) >= 15) r.A = value(Rng);
    if (percent(Rng) >= 15) r.B = Texts[text(Rng)];
    Rows.push_back(r);
  }
  return Rows;
}

}  // namespace qxl::settest
