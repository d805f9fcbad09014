// The engine error a dataset raises for a failed record operation: its code,
// its text from the fixed table (the constraint's own for -8) and its message.
#include <gtest/gtest.h>

#include "engine/datasets/QXLEngineError.h"

using namespace qxl;

TEST(EngineErrorTest, EveryCodeCarriesItsTextInTheMessage) {
  struct Case {
    std::int32_t Code;
    const char* Given;
    const char* Text;
  };
  const Case cases[] = {
      {-1, "x", "Error adding record"},
      {-2, "x", "Error updating record"},
      {-3, "x", "Error deleting record"},
      {-4, "x", "Error updating record - record was modified by other process"},
      {-5, "x", "Error deleting record - record was modified by other process"},
      {-6, "x", "Error updating record - record was deleted by other process"},
      {-7, "x", "Error deleting record - record was deleted by other process"},
      {-8, "Value in field 'Must' cannot be null", "Value in field 'Must' cannot be null"},
      {-9, "x", "Cannot update record in temporary mode"},
      {-10, "x", "Cannot delete record in temporary mode"},
      {-11, "x", "Cannot cancel operation in temporary mode"},
      {-12, "x", "Record is locked"},
      {-13, "x", "Table is locked"},
      {-14, "x", ""},
      {5, "x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Code);
    const EQXLEngineError e(c.Code, c.Given);
    EXPECT_EQ(e.ErrorCode(), c.Code);
    EXPECT_EQ(e.ErrorMessage(), c.Text);
    EXPECT_EQ(e.Message, "Ostrel Engine Error # " + std::to_string(c.Code) + " " + c.Text);
  }
}

TEST(EngineErrorTest, CheckRaisesForEveryCodeButZero) {
  EXPECT_NO_THROW(CheckEngineError(0, "ignored"));
  try {
    CheckEngineError(-13, "ignored");
    ADD_FAILURE() << "no error raised";
  } catch (const EQXLEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), -13);
    EXPECT_STREQ(e.what(), "Ostrel Engine Error # -13 Table is locked");
  }
  EXPECT_THROW(RaiseEngineError(-8, "Constraint failed"), EDatabaseError);
}
