// The rows a DISTINCT result has seen: integers of every width, NULLs, and
// the move to the general comparison when other values come after integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/values/QXLVariant.h"
#include "engine/sql/operators/QXLAODistinctRows.h"

namespace qxl {
namespace {

// One value of a test row: its kind and what it holds.
struct TValue {
  enum { Null, I8, I16, I32, I64, U8, U32, Dbl, Text } Kind;
  std::int64_t N = 0;
  double D = 0;
  std::string S;
};

TValue Null() { return {TValue::Null, 0, 0, {}}; }
TValue Int(std::int64_t N, decltype(TValue::Kind) Kind = TValue::I32) { return {Kind, N, 0, {}}; }
TValue Dbl(double D) { return {TValue::Dbl, 0, D, {}}; }
TValue Text(std::string S) { return {TValue::Text, 0, 0, std::move(S)}; }

std::vector<TQXLVariant> Row(const std::vector<TValue>& Values) {
  std::vector<TQXLVariant> row(Values.size());
  for (std::size_t k = 0; k < Values.size(); ++k) {
    const TValue& v = Values[k];
    TQXLVariant& to = row[k];
    switch (v.Kind) {
      case TValue::Null: to.SetNull(); break;
      case TValue::I8: to.SetAsShortint(static_cast<std::int8_t>(v.N)); break;
      case TValue::I16: to.SetAsSmallint(static_cast<std::int16_t>(v.N)); break;
      case TValue::I32: to.SetAsInteger(static_cast<std::int32_t>(v.N)); break;
      case TValue::I64: to.SetAsInt64(v.N); break;
      case TValue::U8: to.SetAsByte(static_cast<std::uint8_t>(v.N)); break;
      case TValue::U32: to.SetAsCardinal(static_cast<std::uint32_t>(v.N)); break;
      case TValue::Dbl: to.SetAsDouble(v.D); break;
      case TValue::Text: to.SetAsAnsiString(v.S); break;
    }
  }
  return row;
}

TEST(DistinctRows, RepeatsAreFoundWhateverTheWidthOrKindOfTheValues) {
  struct TStep {
    std::vector<TValue> Values;
    bool New;
  };
  struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
  } cases[] = {
      {"NULL equals NULL",
       {{{Int(1), Null()}, true},
        {{Int(1), Null()}, false},
        {{Null(), Int(1)}, true},
        {{Null(), Null()}, true},
        {{Null(), Null()}, false},
        {{Int(1), Int(0)}, true}}},
      {"integers of every width",
       {{{Int(5)}, true},
        {{Int(5, TValue::I64)}, false},
        {{Int(5, TValue::U8)}, false},
        {{Int(5, TValue::I8)}, false},
        {{Int(-5, TValue::I16)}, true},
        {{Int(-5, TValue::I64)}, false},
        {{Int(4000000000, TValue::U32)}, true},
        {{Int(4000000000, TValue::I64)}, false},
        {{Int(-294967296)}, true}}},
      {"other values after integers",
       {{{Int(1), Null()}, true},
        {{Int(2), Int(3)}, true},
        {{Null(), Null()}, true},
        {{Dbl(1.0), Null()}, false},
        {{Int(2), Dbl(3.0)}, false},
        {{Int(2), Dbl(3.5)}, true},
        {{Null(), Null()}, false},
        {{Int(2, TValue::I64), Int(3, TValue::I8)}, false},
        {{Int(7), Int(7)}, true},
        {{Dbl(7), Dbl(7)}, false}}},
      {"text with its case",
       {{{Text("a")}, true}, {{Text("A")}, true}, {{Text("a")}, false}, {{Null()}, true}, {{Null()}, false}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TQXLAODistinctRows seen;
    for (std::size_t i = 0; i < c.Steps.size(); ++i) {
      std::vector<TQXLVariant> row = Row(c.Steps[i].Values);
      EXPECT_EQ(seen.Insert(row), c.Steps[i].New) << "row " << i;
    }
  }
}

}  // namespace
}  // namespace qxl
