// The constraint manager: NOT NULL, CHECK, PRIMARY KEY and UNIQUE with their
// codes, linking to field and index IDs, generated names, and the constraints
// that primary and unique indexes bring and take away.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLConstraintForIndex.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"

namespace qxl {}
using namespace qxl;

namespace {

class ConstraintTest : public AbstractTableFixture {
public:
  void SetUp() override {
    AddField("A", aftInteger);
    AddField("B", aftInteger);
    AddField("S", aftString, 5);
    AddIndex("PK", {"A", "B"}, true, true);
    AddIndex("UQ", {"S"}, true);
  }
  TQXLConstraintDefNotNull* NotNull(const char* Column) {
    auto* c = Constraints.AddNotNull();
    c->ColumnName = Column;
    return c;
  }
  TQXLConstraintDefCheck* Check(const char* Column, const char* Min, const char* Max) {
    auto* c = Constraints.AddCheck();
    c->ColumnName = Column;
    if (Min) c->MinValue->SetAsAnsiString(Min);
    if (Max) c->MaxValue->SetAsAnsiString(Max);
    return c;
  }
  TQXLConstraintDefUnique* Key(bool Primary, const char* Name, const char* Index, std::vector<std::string> Cols) {
    TQXLConstraintDefUnique* c = Primary ? static_cast<TQXLConstraintDefUnique*>(Constraints.AddPK()) : Constraints.AddUnique();
    c->Name = Name;
    c->IndexName = Index;
    for (auto& col : Cols) c->Columns.push_back({col, -1});
    return c;
  }
  // The record with these values (nullptr: NULL); the text goes into S.
  std::vector<std::uint8_t> Record(const std::int32_t* A, const std::int32_t* B, const char* S = nullptr) {
    std::vector<std::uint8_t> r(static_cast<std::size_t>(Cursor.FRecordSize));
    Cursor.InternalInitRecord(r.data(), false);
    Cursor.SetFieldData(0, A, r.data());
    Cursor.SetFieldData(1, B, r.data());
    char text[16] = {};  // the field's whole size, as the dataset layer hands it over
    if (S) std::strncpy(text, S, sizeof text - 1);
    Cursor.SetFieldData(2, S ? text : nullptr, r.data());
    return r;
  }
  void Run(const std::vector<std::uint8_t>& r, bool Unique = true) {
    Table->ConstraintManager()->CheckConstraints(0, r.data(), nullptr, true, {}, true, Unique);
  }
  std::int32_t Check(const std::vector<std::uint8_t>& r, bool Unique = true) {
    return NativeCodeOf([&] { Run(r, Unique); });
  }
};

const std::int32_t zero = 0, five = 5, one = 1;

}  // namespace

TEST_F(ConstraintTest, NotNullAndCheckWithTheirTexts) {
  NotNull("A")->Name = "NN_A";
  Check("B", "1", nullptr)->Name = "CK_B";
  Create();
  EXPECT_EQ(Check(Record(&one, nullptr)), 0);  // NULL passes CHECK
  EXPECT_EQ(Check(Record(&one, &five)), 0);
  auto low = Record(&one, &zero);
  EXPECT_EQ(MessageOf([&] { Table->ConstraintManager()->CheckConstraints(0, low.data(), nullptr, true, {}, true, false); }),
            "Constraint 'CK_B' violated. Value in field 'B' cannot be lower than '1' - Native error: 30029");
  auto noA = Record(nullptr, &zero);
  EXPECT_EQ(MessageOf([&] { Table->ConstraintManager()->CheckConstraints(0, noA.data(), nullptr, true, {}, true, false); }),
            "Constraint 'NN_A' violated. Value in field 'A' cannot be null - Native error: 30026");
  // Without raising: false at the first violation.
  EXPECT_FALSE(Table->ConstraintManager()->CheckConstraints(0, noA.data(), nullptr, true, {}, false, false));
}

TEST_F(ConstraintTest, CheckMaximumAndTextBounds) {
  Check("A", nullptr, "4")->Name = "MAX";
  Check("S", "b", "m")->Name = "TXT";
  Create();
  EXPECT_EQ(Check(Record(&five, nullptr)), 30030);
  EXPECT_EQ(Check(Record(&one, nullptr, "a")), 30029);
  EXPECT_EQ(Check(Record(&one, nullptr, "c")), 0);
  EXPECT_EQ(Check(Record(&one, nullptr, "z")), 30030);
}

TEST_F(ConstraintTest, KeysAreTestedOnlyWhenAskedAndOnlyOnFilledTables) {
  NotNull("S")->Name = "NN_S";
  Key(true, "PKC", "PK", {"A", "B"});
  Key(false, "UQC", "UQ", {"S"});
  Create();
  Table->Indexes.Log.Duplicate = true;
  // An empty table cannot hold a duplicate: the index is not even asked.
  EXPECT_EQ(Check(Record(&one, nullptr, "x")), 0);
  EXPECT_TRUE(Table->Indexes.Log.Calls.empty());
  Insert({&one, &one});

  EXPECT_EQ(MessageOf([&] { Run(Record(nullptr, nullptr, "x")); }),
            "Constraint 'PKC' violated. Value in field 'A,B' cannot be null - Native error: 30330");
  EXPECT_EQ(Check(Record(&one, nullptr, "x")), 30319);  // one NULL column: tested for duplicates
  EXPECT_EQ(Check(Record(&one, nullptr, "x"), false), 0);
  EXPECT_EQ(Check(Record(&one, nullptr, nullptr), false), 30026);  // NOT NULL still is
  Table->ConstraintManager()->ConstraintDefs().Delete(1);
  EXPECT_EQ(MessageOf([&] { Run(Record(&one, nullptr, "x")); }),
            "Constraint unique 'UQC' violated. Duplicate found. - Native error: 30320");
  Table->Indexes.Log.Duplicate = false;
  EXPECT_EQ(Check(Record(&one, nullptr, "x")), 0);
  auto r = Record(&one, &one, "x");
  EXPECT_TRUE(Table->ConstraintManager()->CheckConstraints(0, r.data(), r.data(), false, {}, true, true));
  EXPECT_EQ(Table->Indexes.Log.Calls.back(), "CanUpdate UQ");
}

TEST_F(ConstraintTest, UnnamedConstraintsGetFreeGeneratedNames) {
  NotNull("A");
  NotNull("A");
  Check("B", "0", nullptr);
  Create();
  TQXLConstraintDefs& defs = Table->ConstraintManager()->ConstraintDefs();
  EXPECT_EQ(defs.GetDef(0)->Name, "$C_NotNull$Tasks$A");
  const std::string second = defs.GetDef(1)->Name;
  ASSERT_EQ(second.rfind("$C_NotNull$Tasks$A", 0), 0u);
  const int number = std::stoi(second.substr(18));
  EXPECT_GE(number, 0);
  EXPECT_LT(number, 65535);
  EXPECT_EQ(defs.GetDef(2)->Name, "$C_Check$Tasks$B");
}

TEST_F(ConstraintTest, LinkingFailuresNameWhatIsMissing) {
  struct Case {
    std::function<void(ConstraintTest&)> Add;
    std::int32_t Code;
  };
  const Case cases[] = {
      {[](ConstraintTest& t) { t.NotNull("Nope")->Name = "x"; }, 30027},
      {[](ConstraintTest& t) { t.Check("Nope", "1", nullptr)->Name = "x"; }, 30027},
      {[](ConstraintTest& t) { t.Key(true, "x", "NoIndex", {"A"}); }, 30325},
      {[](ConstraintTest& t) { t.Key(true, "x", "PK", {"Nope"}); }, 30331},
      {[](ConstraintTest& t) { t.Key(false, "x", "NoIndex", {"S"}); }, 30326},
      {[](ConstraintTest& t) { t.Key(false, "x", "UQ", {"Nope"}); }, 30332},
  };
  for (const Case& c : cases) {
    Constraints.Clear();
    c.Add(*this);
    FakeDatabaseData db;
    auto* table = static_cast<FakeTableData*>(db.FindOrCreateTableData(&Cursor));
    table->CreateFieldManager(Fields);
    table->CreateIndexManager(Indexes);
    EXPECT_EQ(NativeCodeOf([&] { table->CreateConstraintManager(Constraints); }), c.Code);
  }
}

TEST(ConstraintForIndex, PrimaryAndUniqueIndexesBringTheirConstraint) {
  TQXLConstraintDefs defs;
  TQXLIndexDef index;
  index.Name = "IX";
  index.ObjectID = 77;
  index.AssignByNames({"A", "B"}, {"ASC", "DESC"}, {"CASE", "CASE"});
  EXPECT_EQ(AddConstraintDefForIndex(index, defs), nullptr);
  index.Unique = true;
  TQXLConstraintDefUnique* u = AddConstraintDefForIndex(index, defs);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->ConstraintType, ctUnique);
  EXPECT_EQ(u->Name, "C_Unique$A$B");
  EXPECT_EQ(u->IndexName, "IX");
  EXPECT_EQ(u->IndexObjectID, 77);
  ASSERT_EQ(u->Columns.size(), 2u);
  EXPECT_EQ(u->Columns[1].ColumnName, "B");
  index.Primary = true;
  TQXLConstraintDefUnique* pk = AddConstraintDefForIndex(index, defs);
  EXPECT_EQ(pk->ConstraintType, ctPK);
  EXPECT_EQ(pk->Name, "C_PK$A$B");
  EXPECT_EQ(defs.Count(), 2);
}
