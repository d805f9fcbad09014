#pragma once
// The join operator's reference: random tables of rows with an identity, one
// or two nullable keys and a nullable value, and a nested-loop join over them
// that says which pairs and lone rows every join kind must produce.
//
// Threads: one test thread.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace qxl::jointest {

using TOptInt = std::optional<std::int32_t>;

struct TJoinRow {
  TJoinRow(std::int32_t AId = 0, TOptInt AK = std::nullopt, TOptInt AK2 = std::nullopt, TOptInt AV = std::nullopt)
      : Id(AId), K(AK), K2(AK2), V(AV) {}
  std::int32_t Id = 0;
  TOptInt K;   // first key column
  TOptInt K2;  // second key column
  TOptInt V;   // the value a residual condition looks at
};

enum class TModelJoin { Cross, Inner, Left, Right, Full };

inline const char* ModelJoinName(TModelJoin Kind) {
  switch (Kind) {
    case TModelJoin::Cross: return "CROSS";
    case TModelJoin::Inner: return "INNER";
    case TModelJoin::Left: return "LEFT";
    case TModelJoin::Right: return "RIGHT";
    case TModelJoin::Full: return "FULL";
  }
  return "?";
}

// One output row: the identities of its left and right rows, nullopt for
// the side that reads as NULL.
struct TJoinPair {
  TOptInt L;
  TOptInt R;
  bool operator==(const TJoinPair&) const = default;
  bool operator<(const TJoinPair& Other) const {
    return std::tie(L, R) < std::tie(Other.L, Other.R);
  }
};

// The residual condition: nullopt stands for an SQL NULL, which is not true.
using TResidual = std::function<std::optional<bool>(const TJoinRow& L, const TJoinRow& R)>;

// Which key columns pair rows: none (nested loop), K, or K and K2.
enum class TModelKeys { None, One, Two };

inline bool KeysMatch(const TJoinRow& L, const TJoinRow& R, TModelKeys Keys) {
  if (Keys == TModelKeys::None) return true;
  if (!L.K || !R.K || *L.K != *R.K) return false;
  if (Keys == TModelKeys::Two && (!L.K2 || !R.K2 || *L.K2 != *R.K2)) return false;
  return true;
}

// Nested loops over every pair: what the join must produce, as a sorted multiset.
inline std::vector<TJoinPair> ModelJoin(const std::vector<TJoinRow>& Left, const std::vector<TJoinRow>& Right,
                                        TModelJoin Kind, TModelKeys Keys, const TResidual& Residual) {
  std::vector<TJoinPair> Out;
  std::vector<bool> RightMatched(Right.size(), false);
  for (const TJoinRow& l : Left) {
    bool matched = false;
    for (std::size_t j = 0; j < Right.size(); ++j) {
      const TJoinRow& r = Right[j];
      bool holds = Kind == TModelJoin::Cross || KeysMatch(l, r, Keys);
      if (holds && Kind != TModelJoin::Cross && Residual) holds = Residual(l, r).value_or(false);
      if (!holds) continue;
      matched = true;
      RightMatched[j] = true;
      Out.push_back({l.Id, r.Id});
    }
    if (!matched && (Kind == TModelJoin::Left || Kind == TModelJoin::Full)) Out.push_back({l.Id, std::nullopt});
  }
  if (Kind == TModelJoin::Right || Kind == TModelJoin::Full)
    for (std::size_t j = 0; j < Right.size(); ++j)
      if (!RightMatched[j]) Out.push_back({std::nullopt, Right[j].Id});
  std::sort(Out.begin(), Out.end());
  return Out;
}

// The shape of a random table: how many rows, the key range, how often a
// key is NULL, and keys drawn from runs that the other side lacks.
struct TTableShape {
  std::int32_t Rows = 0;
  std::int32_t KeyRange = 1;      // keys 0 .. KeyRange-1 (before the offset)
  std::int32_t KeyOffset = 0;     // added to every key
  std::int32_t NullPercent = 0;   // share of NULL keys
  std::int32_t Key2Range = 2;
  std::int32_t ValueRange = 4;    // V in 0 .. ValueRange-1, sometimes NULL
};

inline std::vector<TJoinRow> RandomRows(std::mt19937& Rng, const TTableShape& Shape, std::int32_t FirstId) {
  std::uniform_int_distribution<std::int32_t> key(0, std::max(0, Shape.KeyRange - 1));
  std::uniform_int_distribution<std::int32_t> key2(0, std::max(0, Shape.Key2Range - 1));
  std::uniform_int_distribution<std::int32_t> value(0, std::max(0, Shape.ValueRange - 1));
  std::uniform_int_distribution<std::int32_t> percent(0, 99);
  std::vector<TJoinRow> Rows;
  for (std::int32_t i = 0; i < Shape.Rows; ++i) {
    TJoinRow r;
    r.Id = FirstId + i;
    if (percent(Rng) >= Shape.NullPercent) r.K = key(Rng) + Shape.KeyOffset;
    if (percent(Rng) >= Shape.NullPercent / 2) r.K2 = key2(Rng);
    if (percent(Rng) >= 10) r.V = value(Rng);
    Rows.push_back(r);
  }
  return Rows;
}

}  // namespace qxl::jointest
