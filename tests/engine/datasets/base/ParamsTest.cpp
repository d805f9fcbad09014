// SQL parameters: the parser on a table of texts, and the parameter list's
// lookups and value copies.
#include <gtest/gtest.h>

#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Params.h"

using namespace qxl;

TEST(Params, ParserFindsNamesAndKeepsProtectedColons) {
  struct Row {
    const char* SQL;
    const char* Text;
    std::vector<std::string> Names;
  };
  const Row rows[] = {
      {"SELECT * FROM T WHERE Id = :Id", "SELECT * FROM T WHERE Id = ?", {"Id"}},
      {"UPDATE T SET A=:a, B=:b_2 WHERE C=:A", "UPDATE T SET A=?, B=? WHERE C=?", {"a", "b_2"}},
      {"SELECT '10:30', ':x' FROM T", "SELECT '10:30', ':x' FROM T", {}},
      {"SELECT TOSTRING(D, 'HH24::NN') WHERE T = '12::00' AND X=:p", "SELECT TOSTRING(D, 'HH24::NN') WHERE T = '12::00' AND X=?", {"p"}},
      {"SELECT 1::2 FROM T", "SELECT 1:2 FROM T", {}},
      {"WHERE a = :\"my param\" OR b = :c", "WHERE a = ? OR b = ?", {"my param", "c"}},
      {"a : b :", "a : b :", {}},
      {"x=:Name;y=:NAME", "x=?;y=?", {"Name"}},
      {"unterminated 'literal :p", "unterminated 'literal :p", {}},
      {"", "", {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.SQL);
    TParams params;
    EXPECT_EQ(params.ParseSQL(r.SQL, true), r.Text);
    ASSERT_EQ(params.Count(), static_cast<std::int32_t>(r.Names.size()));
    for (std::int32_t i = 0; i < params.Count(); ++i) {
      EXPECT_EQ(params[i].Name, r.Names[static_cast<std::size_t>(i)]);
      EXPECT_EQ(params[i].ParamType, ptInput);
      EXPECT_EQ(params[i].DataType, ftUnknown);
    }
    TParams none;
    EXPECT_EQ(none.ParseSQL(r.SQL, false), r.Text);
    EXPECT_EQ(none.Count(), 0);
  }
}

TEST(Params, LookupsValuesAndCopies) {
  TParams params;
  params.ParseSQL("WHERE Id = :Id AND Name = :Name", true);
  params.ParamByName("id").SetAsInteger(7);
  params.ParamByName("NAME").SetAsString("Ann");
  EXPECT_EQ(params[0].DataType, ftInteger);
  EXPECT_TRUE(params[0].Bound);
  EXPECT_EQ(params[0].Value, Variant(std::int32_t(7)));
  EXPECT_EQ(params.FindParam("missing"), nullptr);
  EXPECT_THROW(params.ParamByName("missing"), EDatabaseError);
  EXPECT_THROW(params.Items(2), EDatabaseError);

  TParams fresh;
  fresh.ParseSQL("WHERE Name = :name AND Other = :Other", true);
  fresh.AssignValues(params);
  EXPECT_EQ(fresh[0].Value, Variant("Ann"));
  EXPECT_EQ(fresh[0].DataType, ftString);
  EXPECT_TRUE(fresh[1].IsNull());
  EXPECT_FALSE(fresh[1].Bound);

  TParams copy;
  copy.Assign(params);
  params[1].Clear();
  EXPECT_TRUE(params[1].IsNull());
  EXPECT_EQ(params[1].DataType, ftString);
  EXPECT_EQ(copy[1].Value, Variant("Ann"));
}
