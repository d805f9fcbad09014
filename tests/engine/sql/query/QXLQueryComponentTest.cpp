// The query component without any table: its SQL text checks, the
// parameters parsed from the text and handed to the processor with their
// engine types, the statement handle's life through the reasons of database
// use, and the master link's refusal of a circle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/sql/query/QXLQuery.h"
#include "engine/sql/statements/QXLSQLProcessor.h"

using namespace qxl;

namespace {

class QueryComponent : public ::testing::Test {
protected:
  void SetUp() override { Query.SetDatabaseName("MEMORY"); }

  // The native code of what F raises, 0 when nothing.
  template <typename F>
  static std::int32_t CodeOf(F&& Step) {
    try {
      Step();
    } catch (const EQXLException& E) {
      return E.NativeError;
    }
    return 0;
  }

  TQXLEngineScope Engine;
  TQXLQuery Query;
};

TEST_F(QueryComponent, TextChecksBeforeAndWhilePreparing) {
  // No lines: the run refuses before preparing; Prepare refuses a text under two characters.
  EXPECT_EQ(CodeOf([&] { Query.Open(); }), 20034);
  EXPECT_EQ(CodeOf([&] { Query.ExecSQL(); }), 20034);
  EXPECT_EQ(CodeOf([&] { Query.Prepare(); }), 30142);
  EXPECT_FALSE(Query.Prepared());
  EXPECT_FALSE(Query.DatabaseInUse(TQXLDataSet::duPrepared));
  // One character and its line break pass both checks and reach the processor.
  Query.SQL().Add("x");
  EXPECT_EQ(CodeOf([&] { Query.ExecSQL(); }), 30154);
  EXPECT_EQ(CodeOf([&] { Query.Open(); }), 30154);
  EXPECT_FALSE(Query.Active());
  EXPECT_EQ(Query.StmtHandle(), nullptr);
  EXPECT_FALSE(Query.DatabaseInUse(TQXLDataSet::duExecSQL));
}

TEST_F(QueryComponent, RowsAffectedIsUnknownAfterPrepareAndHandleLivesWhilePrepared) {
  Query.SQL().Add("people");
  EXPECT_EQ(Query.RowsAffected(), -1);
  Query.Prepare();
  ASSERT_NE(Query.StmtHandle(), nullptr);
  EXPECT_EQ(Query.RowsAffected(), -1);
  EXPECT_EQ(Query.StmtHandle()->SqlText(), "people\r\n");
  EXPECT_EQ(CodeOf([&] { Query.ExecSQL(); }), 30154);
  // ExecSQL's own reason is gone, the explicit prepare keeps the handle.
  EXPECT_NE(Query.StmtHandle(), nullptr);
  Query.UnPrepare();
  EXPECT_EQ(Query.StmtHandle(), nullptr);
  EXPECT_FALSE(Query.DatabaseInUse(TQXLDataSet::duPrepared));
  // Changing the text unprepares.
  Query.Prepare();
  Query.SQL().Add("more");
  EXPECT_FALSE(Query.Prepared());
  EXPECT_EQ(Query.StmtHandle(), nullptr);
}

TEST_F(QueryComponent, ParametersComeFromTheTextAndKeepTheirValues) {
  Query.SQL().Add("SELECT * FROM t WHERE a = :First AND b = ':not' AND c = :\"Second one\" AND d = \":\"");
  ASSERT_EQ(Query.ParamCount(), 2);
  EXPECT_EQ(Query.Params()[0].Name, "First");
  EXPECT_EQ(Query.Params()[1].Name, "Second one");
  EXPECT_EQ(Query.Text(), "SELECT * FROM t WHERE a = ? AND b = ':not' AND c = ? AND d = \":\"\r\n");
  Query.ParamByName("first").SetAsInteger(5);
  // A new text keeps the values of the parameters it still names.
  Query.SetSQL({"SELECT * FROM t WHERE x = :Third OR y = :FIRST"});
  ASSERT_EQ(Query.ParamCount(), 2);
  EXPECT_EQ(Query.Params()[0].Name, "Third");
  EXPECT_TRUE(Query.Params()[0].IsNull());
  EXPECT_EQ(Query.Params()[1].Value, Variant(std::int32_t{5}));
  // Without ParamCheck the text is taken as it stands and the parameters stay.
  Query.SetParamCheck(false);
  Query.SQL().Add("AND z = :Fourth");
  EXPECT_EQ(Query.ParamCount(), 2);
  EXPECT_EQ(Query.Text(), "SELECT * FROM t WHERE x = :Third OR y = :FIRST\r\nAND z = :Fourth\r\n");
}

TEST_F(QueryComponent, ParametersReachTheProcessorWithEngineTypes) {
  Query.SQL().Add("people :a :b :c :d :e");
  Query.ParamByName("a").SetAsString("text");
  Query.ParamByName("b").SetAsString("");
  Query.ParamByName("b").Clear();  // NULL, typed ftString
  Query.ParamByName("c").SetAsInteger(42);
  Query.ParamByName("d").SetAsBlob(std::string("\x00\x01", 2));
  // e stays untyped and NULL.
  Query.Prepare();
  EXPECT_EQ(CodeOf([&] { Query.ExecSQL(); }), 30154);
  TQXLSQLParams& Sent = Query.StmtHandle()->SQLParams();
  ASSERT_EQ(Sent.GetCount(), 5);
  const TQXLBaseFieldType StringType = AdvancedToBaseFieldType(FieldTypeToAdvancedFieldType(ftString));
  EXPECT_EQ(Sent.GetValue(0)->Name, "a");
  EXPECT_EQ(Sent.GetValue(0)->GetAsAnsiString(), "text");
  EXPECT_TRUE(Sent.GetValue(1)->IsNull());
  EXPECT_EQ(Sent.GetValue(1)->DataType(), StringType);
  EXPECT_NE(StringType, bftUnknown);
  EXPECT_EQ(Sent.GetValue(2)->GetAsInteger(), 42);
  EXPECT_EQ(Sent.GetValue(3)->DataType(), bftBlob);
  EXPECT_EQ(Sent.GetValue(3)->DataSize(), 2);
  EXPECT_TRUE(Sent.GetValue(4)->IsNull());
  EXPECT_EQ(Sent.GetValue(4)->DataType(), bftUnknown);
}

TEST_F(QueryComponent, AMasterLinkedBackToTheQueryIsRefused) {
  TQXLQuery Detail;
  TDataSource OfQuery;
  OfQuery.SetDataSet(&Query);
  Detail.SetDataSource(&OfQuery);
  TDataSource OfDetail;
  OfDetail.SetDataSet(&Detail);
  try {
    Query.SetDataSource(&OfDetail);
    FAIL() << "a circle was accepted";
  } catch (const EDatabaseError& E) {
    EXPECT_NE(std::string(E.what()).find("Circular datalinks are not allowed"), std::string::npos);
  }
  EXPECT_EQ(Query.DataSource(), nullptr);
  Detail.SetDataSource(nullptr);
}

}  // namespace
