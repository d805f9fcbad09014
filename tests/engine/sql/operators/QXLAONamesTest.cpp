// Name resolution over an operator with two inputs: unique internal names,
// ambiguous and qualified references, hidden columns, and an order that an
// index of the table already serves.
#include "tests/engine/sql/operators/OperatorFixture.h"

namespace qxl::optest {
namespace {

// An operator that shows every column of both inputs (the column side of a
// join without its rows).
class PairAO : public TQXLAOFilterable {
public:
  PairAO(std::unique_ptr<TQXLAO> Left, std::unique_ptr<TQXLAO> Right)
      : TQXLAOFilterable(std::move(Left), std::move(Right)) {
    FIsMaterialized = false;
    for (TQXLAO* Child : {FLeftAO.get(), FRightAO.get()})
      for (std::int32_t i = 0; i < Child->FieldCount(); ++i) {
        TQXLFieldLink& L = FFieldLinks.emplace_back();
        L.AO = Child;
        L.FieldNo = i;
        L.IsHidden = Child->FieldLink(i).IsHidden;
        L.FieldType = Child->FieldLink(i).FieldType;
      }
    MakeUniqueFieldNames();
  }
};

class Names : public OperatorTest {
protected:
  void SetUp() override {
    for (const char* Name : {"A", "B", "C"}) MakeTable(Name, {{"X", aftInteger}, {"Y", aftInteger}}, {"1|2"});
  }
  static std::unique_ptr<PairAO> ThreeTables() {
    return std::make_unique<PairAO>(std::make_unique<PairAO>(Scan("A"), Scan("B", "BB")), Scan("C"));
  }
};

TEST_F(Names, RepeatedColumnNamesGetSuffixes) {
  auto Tree = ThreeTables();
  std::vector<std::string> Got;
  for (std::int32_t i = 0; i < Tree->FieldCount(); ++i) Got.push_back(Tree->FieldLink(i).FieldName);
  EXPECT_EQ(Got, (std::vector<std::string>{"X", "Y", "X_1", "Y_1", "X_12", "Y_12"}));
  EXPECT_EQ(Tree->GetFieldName(2, false), "X");
  EXPECT_EQ(Tree->GetFieldName(2, true), "X_1");
  EXPECT_EQ(CodeOf([&] { Tree->GetFieldName(6, false); }), 10306);
}

TEST_F(Names, UnqualifiedNamesMatchEveryInputAndQualifiersPickOne) {
  struct Case {
    const char* Name;
    const char* Qualifier;
    std::vector<std::int32_t> Numbers;
  } Cases[] = {
      {"x", "", {0, 2, 4}}, {"X", "A", {0}}, {"X", "BB", {2}}, {"X", "B", {}}, {"Y", "c", {5}},
      {"X_1", "", {2}},  // the operator's own internal name
      {"Z", "", {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Name) + " / " + C.Qualifier);
    auto Tree = ThreeTables();
    TQXLIntegerArray Numbers;
    EXPECT_EQ(Tree->FieldExists(C.Name, C.Qualifier, true, Numbers, false, false),
              static_cast<std::int32_t>(C.Numbers.size()));
    std::vector<std::int32_t> Got(Numbers.Items(), Numbers.Items() + Numbers.ItemCount());
    EXPECT_EQ(Got, C.Numbers);
    // Matched columns are shown, in this operator and down to the table.
    for (std::int32_t No : C.Numbers) EXPECT_FALSE(Tree->FieldLink(No).IsHidden);
    EXPECT_TRUE(Tree->FieldLink(1).IsHidden || std::string(C.Name) == "Y");
  }
  // "*" with a qualifier takes that input's columns only.
  auto Tree = ThreeTables();
  TQXLIntegerArray Star;
  EXPECT_EQ(Tree->FieldExists("*", "BB", true, Star, false, false), 2);
  EXPECT_EQ(Star[0], 2);
  EXPECT_EQ(Star[1], 3);
  EXPECT_EQ(Tree->FieldExists("*", "", false, Star, false, false), 6);
}

TEST_F(Names, AnAmbiguousSelectItemTakesTheFirstMatch) {
  auto Tree = ThreeTables();
  auto List = Items(Col("X"), Col("Y", "C", "Last"));
  Tree->SetResultFields(List, false);
  ASSERT_EQ(Tree->ResultFieldsOrder().ItemCount(), 2);
  EXPECT_EQ(Tree->ResultFieldsOrder()[0], 0);
  EXPECT_EQ(Tree->ResultFieldsOrder()[1], 5);
  EXPECT_EQ(Tree->GetFieldNameByVisibleNumber(1), "Last");
  EXPECT_EQ(Tree->GetFieldNameByColumnName("last"), "Y_12");
  TQXLVariant V;
  EXPECT_EQ(CodeOf([&] { Tree->GetFieldValue(V, 3, false, false); }), 10310);
}

TEST_F(Names, AnOrderThatAnIndexServesStaysWithTheTable) {
  MakeTable("I", {{"K", aftInteger}, {"V", aftString, 5}}, {"3|c", "1|a", "2|b"}, "K");
  MakeTable("N", {{"K", aftInteger}, {"V", aftString, 5}}, {"3|c", "1|a", "2|b"});
  for (const char* Table : {"I", "N"}) {
    SCOPED_TRACE(Table);
    auto T = Scan(Table);
    T->SetIndex("K", "", "");
    std::vector<std::string> Fields, AscDesc, CaseIns;
    // Asked here directly: the table keeps an order its index serves.
    const bool Handed = T->TransferIndexToParentIfNeeded(Fields, AscDesc, CaseIns);
    EXPECT_EQ(Handed, std::string(Table) == "N");
    EXPECT_EQ(T->HasResultIndex(), !Handed);
    if (Handed) T->SetIndex("K", "", "");
    auto Projection = std::make_unique<TQXLAOTableExpr>(std::move(T));
    auto List = Items(Col("V"));
    Projection->SetResultFields(List, false);
    EXPECT_EQ(Run(*Projection), (Rows{"a", "b", "c"}));
  }
}

TEST_F(Names, AColumnOfAnEmptyResultReadsNull) {
  MakeTable("E", {{"K", aftInteger}}, {});
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("E"));
  auto List = Items(Col("K"));
  Projection->SetResultFields(List, false);
  EXPECT_EQ(Run(*Projection), Rows{});
  TQXLVariant V(bftSignedInt32);
  V.SetAsInteger(5);
  Projection->GetFieldValue(V, Projection->GetFieldNoByVisibleNumber(0), true, false);
  EXPECT_TRUE(V.IsNull());
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(Names, AnInnerAliasLeavesTheTableNameToTheEnclosingQuery) {
  // SELECT B, (SELECT COUNT(*) FROM T1 AS X WHERE X.B < T1.B) FROM T1
  MakeTable("T1", {{"B", aftInteger}}, {"1", "2", "3", "2"});
  auto Outer = Scan("T1");
  TQXLIntegerArray Shown;
  ASSERT_EQ(Outer->FieldExists("B", "", true, Shown, false, false), 1);
  ASSERT_TRUE(Outer->OpenTables());
  Rows Got;
  for (Outer->First(); !Outer->GetEof(); Outer->Next()) {
    auto List = Items(Expr("COUNT(*)"));
    auto Inner = std::make_unique<TQXLAOGroupBy>(Scan("T1", "X"), nullptr, List);
    Inner->SetResultFields(List, false);
    std::unique_ptr<TQXLExpression> Where = Condition("X.B < T1.B");
    Where->ApplyFilterParts(Inner.get(), Outer.get(), nullptr, true, false);
    // The whole condition went down to the inner table.
    EXPECT_TRUE(Where->IsEmpty());
    ASSERT_TRUE(Inner->OpenTables());
    Inner->Execute(true, Outer.get(), nullptr);
    TQXLVariant B;
    Outer->GetFieldValue(B, Shown[0], true, false);
    Got.push_back(B.GetAsAnsiString() + "|" + Read(*Inner->ResultDataset()).at(0));
  }
  EXPECT_EQ(Got, (Rows{"1|0", "2|1", "3|3", "2|1"}));
}

}  // namespace
}  // namespace qxl::optest
