// Names compared without regard to case: ASCII names in place, any other
// through the full case mapping, which can reach ASCII from other letters.
#include <gtest/gtest.h>

#include "engine/core/values/QXLShortString.h"

using namespace qxl;

TEST(SameNameIgnoringCase, ComparesAsciiAndOtherLetters) {
  struct Case {
    const char* A;
    const char* B;
    bool Same;
  };
  const Case Cases[] = {
      {"TaskList", "TASKLIST", true},
      {"tasklist", "TaskList", true},
      {"Task_1", "task_1", true},
      {"Task", "Tasks", false},
      {"Task[", "Task{", false},  // '[' and '{' are 32 apart but are not letters
      {"", "", true},
      {"Überweisung", "ÜBERWEISUNG", true},
      {"überweisung", "UEBERWEISUNG", false},
      {"Straße", "STRASSE", false},
      {"Ärger", "arger", false},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(SameNameIgnoringCase(C.A, C.B), C.Same) << C.A << " / " << C.B;
    EXPECT_EQ(SameNameIgnoringCase(C.B, C.A), C.Same) << C.B << " / " << C.A;
  }
}
