#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "engine/core/schema/QXLUniqueName.h"

using namespace qxl;

TEST(UniqueNameWithGuid, PrefixThenABracedUpperCaseGuid) {
  std::string name = qxl::UniqueNameWithGuid("TEMPORARY_INDEX_");
  EXPECT_TRUE(std::regex_match(
      name, std::regex(R"(TEMPORARY_INDEX_\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})")))
      << name;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(qxl::UniqueNameWithGuid("T")).second);
}
