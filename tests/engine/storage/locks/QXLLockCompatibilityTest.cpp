// The seven lock modes: which pairs two sessions may hold together and which
// mode of one session covers another, as one table.
#include "engine/storage/locks/QXLLockCompatibility.h"

#include <gtest/gtest.h>

#include <string>

using namespace qxl;

namespace {

const char* const Names[] = {"IS", "S", "SIRW", "XIRW", "RW", "U", "X"};

// Per mode: the modes another session may hold beside it, and the modes it covers.
struct TRow {
  TQXLLockType Mode;
  std::string Compatible;
  std::string Covers;
};

std::string Set(bool (*Relation)(TQXLLockType, TQXLLockType), TQXLLockType Mode) {
  std::string Text;
  for (int k = 0; k < qxl::LockTypeCount; ++k)
    if (Relation(Mode, static_cast<TQXLLockType>(k))) Text += std::string(Text.empty() ? "" : " ") + Names[k];
  return Text;
}

TEST(LockCompatibility, TableAndCovering) {
  const TRow Rows[] = {
      {ltIS, "IS S SIRW XIRW RW U", "IS U"},
      {ltS, "IS S SIRW XIRW U", "IS S U"},
      {ltSIRW, "IS S SIRW RW U", "IS SIRW U"},
      {ltXIRW, "IS S U", "IS S SIRW XIRW U"},
      {ltRW, "IS SIRW U", "IS S SIRW RW U"},
      {ltU, "IS S SIRW XIRW RW U", "IS U"},
      {ltX, "", "IS S SIRW XIRW RW U X"},
  };
  for (const TRow& Row : Rows) {
    EXPECT_EQ(Set(qxl::IsLockCompatible, Row.Mode), Row.Compatible) << Names[Row.Mode];
    EXPECT_EQ(Set(qxl::LockCovers, Row.Mode), Row.Covers) << Names[Row.Mode];
    for (int k = 0; k < qxl::LockTypeCount; ++k)
      EXPECT_EQ(qxl::IsLockCompatible(Row.Mode, static_cast<TQXLLockType>(k)),
                qxl::IsLockCompatible(static_cast<TQXLLockType>(k), Row.Mode));
  }
}

}  // namespace
