// The dataset's field and index definition lists: lookups in any letter case,
// positions, copies, and the errors of bad names and positions.
#include <gtest/gtest.h>

#include "engine/datasets/base/Component.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/FieldDefs.h"
#include "engine/datasets/base/IndexDefs.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

TEST(FieldDefs, AddsFindsAndNumbersByPosition) {
  TFieldDefs defs;
  defs.Add("Id", ftInteger, 0, true);
  defs.Add("Name", ftString, 40);
  EXPECT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.Find("NAME").Size, 40);
  EXPECT_EQ(defs.Find("name").FieldNo(), 2);
  EXPECT_TRUE(defs[0].Required);
  EXPECT_EQ(defs.IndexOf("missing"), -1);
  defs.Delete(0);
  EXPECT_EQ(defs[0].Name, "Name");
  EXPECT_EQ(defs[0].FieldNo(), 1);
}

TEST(FieldDefs, AssignCopiesTheDefinitions) {
  TFieldDefs a, b;
  a.Add("Id", ftAutoInc);
  b.Add("Other", ftString, 5);
  b.Assign(a);
  a[0].Name = "Changed";
  ASSERT_EQ(b.Count(), 1);
  EXPECT_EQ(b[0].Name, "Id");
  EXPECT_EQ(b[0].DataType, ftAutoInc);
}

TEST(FieldDefs, BadNamesAndPositionsRaiseWithTheOwnerAsSubject) {
  TComponent owner;
  owner.Name = "Tasks";
  TFieldDefs defs(&owner);
  defs.Add("Id", ftInteger);
  EXPECT_EQ(MessageOf([&] { defs.Add("ID", ftString, 4); }), "Tasks: Duplicate field name 'ID'");
  EXPECT_EQ(MessageOf([&] { defs.Add("", ftString, 4); }), "Tasks: Field definition has no name");
  EXPECT_EQ(MessageOf([&] { defs.Find("Nope"); }), "Tasks: Field 'Nope' not found");
  EXPECT_THROW(defs.Items(1), EDatabaseError);
  EXPECT_THROW(defs.Items(-1), EDatabaseError);
  EXPECT_EQ(defs.Count(), 1);
}

TEST(IndexDefs, AddsFindsCopiesAndRefusesBadNames) {
  TIndexDefs defs;
  defs.Add("ByName", "Name;Id", {ixUnique, ixCaseInsensitive});
  const TIndexDef& d = defs.Find("BYNAME");
  EXPECT_EQ(d.Fields, "Name;Id");
  EXPECT_TRUE(d.Options.Contains(ixUnique));
  EXPECT_TRUE(d.Options.Contains(ixCaseInsensitive));
  EXPECT_FALSE(d.Options.Contains(ixPrimary));
  EXPECT_THROW(defs.Add("byname", "Id", {}), EDatabaseError);
  EXPECT_THROW(defs.Add("", "Id", {}), EDatabaseError);
  EXPECT_EQ(MessageOf([&] { defs.Find("X"); }), "Index 'X' not found");
  TIndexDefs copy;
  copy.Assign(defs);
  defs.Delete(0);
  EXPECT_EQ(defs.Count(), 0);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy[0].Name, "ByName");
}
