#pragma once
// Tables of texts to parse: whether each text parses and to what value. A text
// that does not parse must leave the value as it was.
#include <cstddef>

#include <gtest/gtest.h>

namespace platform::test {

template <typename T>
struct ParseCase {
  const char* text;
  bool ok;
  T value;
};

template <typename T, std::size_t N, typename Parse>
void ExpectParses(const ParseCase<T> (&cases)[N], Parse parse) {
  for (const ParseCase<T>& c : cases) {
    T v = T(-99);
    ASSERT_EQ(parse(c.text, v), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.value : T(-99)) << c.text;
  }
}

}  // namespace platform::test
