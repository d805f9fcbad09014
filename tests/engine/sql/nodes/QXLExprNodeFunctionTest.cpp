#include <gtest/gtest.h>

#include <limits>
#include <set>

#include "engine/coding/StringFormat.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBlob.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

using Maker = std::function<TNodePtr()>;
const Maker null = [] { return Null(); };
Maker I(std::int32_t v) {
  return [v] { return Int(v); };
}
Maker D(double v) {
  return [v] { return Dbl(v); };
}
Maker S(const char* v) {
  return [v] { return Str(v); };
}
Maker W(const char16_t* v) {
  return [v] { return WStr(v); };
}
Maker K(std::int32_t Keyword) {
  return [Keyword] { return Int(Keyword); };
}

struct Outcome {
  std::string Text;
  TQXLBaseFieldType Type;
};

template <class Node>
Outcome Evaluate(TQXLDataOperator Op, const std::vector<Maker>& Operands) {
  Node node(Op, true, false);
  for (const Maker& m : Operands) node.AddChild(m());
  const TQXLVariant* v = node.GetDataValue();
  return {Text(v), v->DataType()};
}

template <class Node>
std::int32_t ErrorOf(TQXLDataOperator Op, const std::vector<Maker>& Operands) {
  return CodeOf([&] { Evaluate<Node>(Op, Operands); });
}

std::string Describe(TQXLDataOperator Op, const std::vector<Maker>& Operands) {
  std::string s = std::to_string(static_cast<int>(Op)) + ":";
  for (const Maker& m : Operands) s += " " + Text(m()->GetDataValue());
  return s;
}

TEST(ExprNodeArithmeticTest, ValuesAndTypesOfTheOperators) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    std::string Text;
    TQXLBaseFieldType Type;
  } cases[] = {
      {doDIV, {I(7), I(2)}, "3", bftSignedInt32},
      {doDIV, {D(7), I(2)}, "3.5", bftDouble},
      {doADD, {I(1), null}, "NULL", bftSignedInt32},
      {doADD, {S("a"), null}, "a", bftVarchar},
      {doADD, {I(1), I(2), I(3)}, "6", bftSignedInt32},
      {doADD, {S("n"), I(1)}, "n1", bftVarchar},
      {doSUB, {I(5)}, "-5", bftSignedInt32},
      {doMUL, {I(6), I(7)}, "42", bftSignedInt32},
      {doMUL, {I(6), null}, "NULL", bftSignedInt32},
      {doABS, {I(-5)}, "5", bftSignedInt32},
      {doABS, {D(-2.5)}, "2.5", bftDouble},
      {doABS, {null}, "NULL", bftSignedInt32},
      {doSQR, {I(-3)}, "9", bftSignedInt32},
      {doSQR, {null}, "NULL", bftSignedInt32},
      {doSQRT, {I(16)}, "4", bftDouble},
      {doPOWER, {I(2), I(10)}, "1024", bftDouble},
      {doEXP, {I(0)}, "1", bftDouble},
      {doLOG, {I(1)}, "0", bftDouble},
      {doCOS, {I(0)}, "1", bftDouble},
      {doSIN, {I(0)}, "0", bftDouble},
      {doATAN, {I(0)}, "0", bftDouble},
      {doASIN, {I(0)}, "0", bftDouble},
      {doACOS, {I(1)}, "0", bftDouble},
      {doCEIL, {D(1.2)}, "2", bftSignedInt32},
      {doCEIL, {D(-1.2)}, "-1", bftSignedInt32},
      {doFLOOR, {D(-1.2)}, "-2", bftSignedInt32},
      {doSIGN, {D(-0.5)}, "-1", bftSignedInt32},
      {doSIGN, {I(0)}, "0", bftSignedInt32},
      {doSIGN, {I(9)}, "1", bftSignedInt32},
      {doROUND, {D(2.5)}, "2", bftSignedInt32},
      {doROUND, {D(3.5)}, "4", bftSignedInt32},
      {doROUND, {D(-2147483648.4)}, "-2147483648", bftSignedInt32},
      {doROUND, {D(2.345), I(2)}, "2.34", bftDouble},
      {doROUND, {D(2.345), I(2), K(287)}, "2.35", bftDouble},  // HALFUP
      {doROUND, {D(2.341), I(2), K(289)}, "2.35", bftDouble},  // RNDPOS
      {doROUND, {D(-2.349), I(2), K(290)}, "-2.34", bftDouble},  // RNDDOWN
      {doROUND, {D(1250), I(-2)}, "1200", bftDouble},
  };
  for (const Case& c : cases) {
    const Outcome o = Evaluate<TQXLExprNodeArithmetic>(c.Op, c.Operands);
    EXPECT_EQ(o.Text, c.Text) << Describe(c.Op, c.Operands);
    if (o.Text != "NULL") {
      EXPECT_EQ(o.Type, c.Type) << Describe(c.Op, c.Operands);
    }
  }
}

TEST(ExprNodeArithmeticTest, FailuresCarryTheirCodes) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    std::int32_t Code;
  } cases[] = {
      {doDIV, {I(7), I(0)}, 30128},
      {doSUB, {S("x")}, 30123},
      {doMUL, {S("a"), I(2)}, 30126},
      {doCEIL, {null}, 30016},
      {doSQRT, {null}, 30016},
      {doROUND, {null}, 30016},
      {doROUND, {D(1.5), null}, 30016},
      {doPOWER, {null, I(1)}, 30016},
      // Results beyond Int32 are refused instead of wrapping.
      {doROUND, {D(3e9)}, 30122},
      {doROUND, {D(-2147483649.0)}, 30122},
      {doCEIL, {D(2147483647.5)}, 30122},
      {doFLOOR, {D(-3e10)}, 30122},
      {doCEIL, {D(std::numeric_limits<double>::quiet_NaN())}, 30122},
      {doRAND, {I(0)}, 30135},
      {doRAND, {I(-4)}, 30135},
      {doRAND, {null}, 30016},
      {doROUND, {D(1.5), I(0), K(12)}, 30139},
      // Arguments outside a function's domain, and results beyond Double.
      {doSQRT, {I(-1)}, 30143},
      {doLOG, {I(0)}, 30143},
      {doACOS, {I(2)}, 30143},
      {doASIN, {D(-1.5)}, 30143},
      {doEXP, {I(1000)}, 30143},
      {doPOWER, {I(0), I(-1)}, 30143},
      {doCONCAT, {I(1)}, 30121},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf<TQXLExprNodeArithmetic>(c.Op, c.Operands), c.Code) << Describe(c.Op, c.Operands);
  EXPECT_NE(MessageOf([] { Evaluate<TQXLExprNodeArithmetic>(doROUND, {D(3e9)}); }).find("'ROUND'"),
            std::string::npos);
  EXPECT_NE(MessageOf([] { Evaluate<TQXLExprNodeArithmetic>(doFLOOR, {D(3e9)}); }).find("'FLOOR'"),
            std::string::npos);
  EXPECT_NE(MessageOf([] { Evaluate<TQXLExprNodeArithmetic>(doRAND, {I(0)}); }).find("'RAND'"), std::string::npos);
  EXPECT_NE(MessageOf([] { Evaluate<TQXLExprNodeArithmetic>(doSQRT, {I(-1)}); }).find("'SQRT'"), std::string::npos);
}

TEST(ExprNodeArithmeticTest, RoundModeKeywordsPickTheirModes) {
  struct Case {
    std::int32_t Keyword;
    const char* Positive;
    const char* Negative;
  } cases[] = {
      {283, "2.34", "-2.34"},  // HALFEVEN
      {284, "2.35", "-2.34"},  // HALFPOS
      {285, "2.34", "-2.35"},  // HALFNEG
      {286, "2.34", "-2.34"},  // HALFDOWN
      {287, "2.35", "-2.35"},  // HALFUP
      {288, "2.34", "-2.35"},  // RNDNEG
      {289, "2.35", "-2.34"},  // RNDPOS
      {290, "2.34", "-2.34"},  // RNDDOWN
      {291, "2.35", "-2.35"},  // RNDUP
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Evaluate<TQXLExprNodeArithmetic>(doROUND, {D(2.345), I(2), K(c.Keyword)}).Text, c.Positive) << c.Keyword;
    EXPECT_EQ(Evaluate<TQXLExprNodeArithmetic>(doROUND, {D(-2.345), I(2), K(c.Keyword)}).Text, c.Negative) << c.Keyword;
  }
  EXPECT_EQ(ErrorOf<TQXLExprNodeArithmetic>(doROUND, {D(2.345), I(2), K(282)}), 30139);
  EXPECT_EQ(ErrorOf<TQXLExprNodeArithmetic>(doROUND, {D(2.345), I(2), K(292)}), 30139);
}

TEST(ExprNodeArithmeticTest, RandStaysBelowItsArgument) {
  TQXLExprNodeArithmetic node(doRAND, Int(3), true, false);
  std::set<std::int32_t> seen;
  for (int i = 0; i < 200; ++i) {
    const std::int32_t v = node.GetDataValue()->GetAsInteger();
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 3);
    seen.insert(v);
  }
  EXPECT_GT(seen.size(), 1u);
  TQXLExprNodeArithmetic one(doRAND, Int(1), true, false);
  EXPECT_EQ(Text(one.GetDataValue()), "0");
}

TEST(ExprNodeArithmeticTest, ReportedTypes) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    TQXLAdvancedFieldType Type;
  } cases[] = {
      {doABS, {D(1)}, aftDouble},        {doSQR, {I(1)}, aftInteger},          {doCEIL, {D(1)}, aftInteger},
      {doRAND, {I(1)}, aftInteger},      {doROUND, {D(1)}, aftInteger},        {doROUND, {D(1), I(1)}, aftDouble},
      {doPOWER, {I(1), I(1)}, aftDouble}, {doADD, {I(1), D(1)}, aftDouble},    {doADD, {S("a"), I(1)}, aftString},
      {doADD, {[] { return Date(2020, 1, 1); }, I(1)}, aftDate},
  };
  for (const Case& c : cases) {
    TQXLExprNodeArithmetic node(c.Op, true, false);
    for (const Maker& m : c.Operands) node.AddChild(m());
    EXPECT_EQ(node.GetDataType(), c.Type) << Describe(c.Op, c.Operands);
  }
}

TEST(ExprNodeArithmeticTest, AStringPlusANumberIsSizedForTheNumbersText) {
  NodeTestCursor cursor;
  cursor.SetText("NAME", "x");
  cursor.SetInt("ID", -2147483647);
  TQXLExprNodeArithmetic sum(doADD, std::make_unique<TQXLExprNodeField>(&cursor, "NAME", ""),
                             std::make_unique<TQXLExprNodeField>(&cursor, "ID", ""), true, false);
  const std::int32_t size = sum.GetDataSize();
  EXPECT_EQ(size, 21 + 11);  // the column's bytes and the longest Int32 text
  EXPECT_GE(size, sum.GetDataValue()->StrLen());
  TQXLExprNodeArithmetic numbers(doADD, Int(1), Int(2), true, false);
  EXPECT_EQ(numbers.GetDataSize(), 0);
}

TEST(ExprNodeStringFunctionTest, ValuesOfTheFunctions) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    std::string Text;
    TQXLBaseFieldType Type;
  } cases[] = {
      {doCONCAT, {S("a"), null}, "a", bftVarchar},
      {doCONCAT, {null, null}, "NULL", bftVarchar},
      {doCONCAT, {null, S("b"), null}, "b", bftVarchar},
      {doCONCAT, {S("a"), I(1), S("b")}, "a1b", bftVarchar},
      {doCONCAT, {I(1), S("b")}, "1b", bftVarchar},
      {doUPPER, {S("abé")}, "ABÉ", bftVarchar},
      {doUPPER, {W(u"ωx")}, "ΩX", bftWideVarchar},
      {doLOWER, {S("ABC")}, "abc", bftVarchar},
      {doUPPER, {I(12)}, "12", bftVarchar},
      {doUPPER, {null}, "NULL", bftVarchar},
      {doTRIM, {S(" \t a b\r\n")}, "a b", bftVarchar},
      {doLTRIM, {S("  a ")}, "a ", bftVarchar},
      {doRTRIM, {S("  a ")}, "  a", bftVarchar},
      {doTRIM, {S("   ")}, "NULL", bftVarchar},
      {doTRIM, {W(u" w ")}, "w", bftWideVarchar},
      {doLENGTH, {null}, "0", bftSignedInt32},
      {doLENGTH, {I(1234)}, "4", bftSignedInt32},
      {doLENGTH, {S("é€")}, "2", bftSignedInt32},
      {doPOS, {S("b"), S("abc")}, "2", bftSignedInt32},
      {doPOS, {S(""), S("abc")}, "0", bftSignedInt32},
      {doPOS, {null, S("abc")}, "0", bftSignedInt32},
      {doPOS, {S("x"), S("abc")}, "0", bftSignedInt32},
      {doPOS, {S("€"), W(u"a€")}, "2", bftSignedInt32},
      {doPOS, {I(3), S("123")}, "3", bftSignedInt32},
      {doSUBSTRING, {S("abcdef"), I(0), I(2)}, "ab", bftVarchar},
      {doSUBSTRING, {S("abc"), I(2)}, "bc", bftVarchar},
      {doSUBSTRING, {S("abc"), I(2), I(-1)}, "NULL", bftVarchar},
      {doSUBSTRING, {S("abc"), I(5)}, "NULL", bftVarchar},
      {doSUBSTRING, {null, I(1), I(2)}, "NULL", bftVarchar},
      {doSUBSTRING, {W(u"ωxyz"), I(2), I(2)}, "xy", bftWideVarchar},
      {doSUBSTRING, {I(12345), I(2), I(3)}, "234", bftVarchar},
  };
  for (const Case& c : cases) {
    const Outcome o = Evaluate<TQXLExprNodeStringFunction>(c.Op, c.Operands);
    EXPECT_EQ(o.Text, c.Text) << Describe(c.Op, c.Operands);
    if (o.Text != "NULL") {
      EXPECT_EQ(o.Type, c.Type) << Describe(c.Op, c.Operands);
    }
  }
  EXPECT_EQ(ErrorOf<TQXLExprNodeStringFunction>(doSUBSTRING, {S("abc"), null}), 30016);
  EXPECT_EQ(ErrorOf<TQXLExprNodeStringFunction>(doSUBSTRING, {S("abc"), I(1), null}), 30016);
  EXPECT_EQ(ErrorOf<TQXLExprNodeStringFunction>(doADD, {S("abc")}), 30131);
}

TEST(ExprNodeStringFunctionTest, TypesAndSizes) {
  NodeTestCursor cursor;
  auto col = [&](const char* Name) -> Maker {
    return [&cursor, Name] { return std::make_unique<TQXLExprNodeField>(&cursor, Name, ""); };
  };
  auto size = [&](const char* Name) { return cursor.FFieldDefs->GetFieldDefByName(Name)->MemoryDataSize; };
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    TQXLAdvancedFieldType Type;
    std::int32_t Size;
  } cases[] = {
      {doUPPER, {col("NAME")}, aftString, 21},
      {doUPPER, {col("WNAME")}, aftWideString, 42},
      {doUPPER, {col("ID")}, aftInteger, 4},
      {doTRIM, {col("MEMO")}, aftString, size("MEMO")},
      {doLOWER, {col("WMEMO")}, aftWideString, size("WMEMO")},
      {doLENGTH, {col("NAME")}, aftInteger, 0},
      {doPOS, {S("a"), col("NAME")}, aftInteger, 0},
      {doSUBSTRING, {col("NAME"), I(1), I(3)}, aftString, 21},
      {doSUBSTRING, {S("abc"), I(1), I(2)}, aftString, 3},
      {doSUBSTRING, {[] { return Null(bftVarchar); }, I(1), I(7)}, aftString, 7},
      {doSUBSTRING, {[] { return Null(bftVarchar); }, I(1)}, aftString, 4096},
  };
  for (const Case& c : cases) {
    TQXLExprNodeStringFunction node(c.Op, true, false);
    for (const Maker& m : c.Operands) node.AddChild(m());
    EXPECT_EQ(node.GetDataType(), c.Type) << Describe(c.Op, c.Operands);
    EXPECT_EQ(node.GetDataSize(), c.Size) << Describe(c.Op, c.Operands);
  }
}

TEST(ExprNodeStringFunctionTest, ConcatenationSizingWrapsOtherTypesInACast) {
  NodeTestCursor cursor;
  cursor.SetText("NAME", "id:");
  cursor.SetInt("ID", 12);
  TQXLExprNodeStringFunction node(doCONCAT, std::make_unique<TQXLExprNodeField>(&cursor, "NAME", ""),
                                  std::make_unique<TQXLExprNodeField>(&cursor, "ID", ""), true, false);
  EXPECT_EQ(Text(node.GetDataValue()), "id:12");
  EXPECT_EQ(node.GetDataType(), aftString);
  EXPECT_EQ(node.GetDataSize(), 21 + 11);
  auto* cast = dynamic_cast<TQXLExprNodeCast*>(node.Child(1));
  ASSERT_NE(cast, nullptr);
  EXPECT_EQ(cast->CastType(), aftString);
  EXPECT_NE(dynamic_cast<TQXLExprNodeField*>(cast->Child(0)), nullptr);
  EXPECT_EQ(dynamic_cast<TQXLExprNodeCast*>(node.Child(0)), nullptr);
  EXPECT_EQ(Text(node.GetDataValue()), "id:12");
  EXPECT_EQ(node.GetDataSize(), 21 + 11);  // a second sizing wraps nothing more
  EXPECT_EQ(cast, node.Child(1));
}

TEST(ExprNodeCastTest, ValuesAndSizes) {
  std::string long5000(5000, 'x');
  struct Case {
    Maker Operand;
    TQXLAdvancedFieldType Type;
    Maker Size;
    std::string Text;
    std::int32_t DataSize;
  } cases[] = {
      {S("abcdef"), aftString, I(3), "abc", 3},
      {W(u"ωxyz"), aftWideString, I(2), "ωx", 2},
      {[&] { return Str(long5000); }, aftString, nullptr, std::string(4096, 'x'), 5000},
      {I(12), aftString, nullptr, "12", 11},
      {I(12), aftString, I(0), "NULL", 0},
      {S("42"), aftInteger, nullptr, "42", 0},
      {D(2.5), aftInteger, nullptr, "2", 0},
      {null, aftString, nullptr, "NULL", 11},
      {[] { return Int64(1); }, aftString, nullptr, "1", 20},
      {[] { return Date(2020, 1, 2); }, aftString, nullptr, Text(Date(2020, 1, 2)->GetDataValue()), 26},
      {[] { return Bool(true); }, aftWideString, nullptr, Text(Bool(true)->GetDataValue()), 5},
  };
  for (const Case& c : cases) {
    TQXLExprNodeCast node(c.Operand(), c.Type, c.Size ? c.Size() : nullptr);
    const TQXLVariant* v = node.GetDataValue();
    EXPECT_EQ(Text(v), c.Text) << Text(c.Operand()->GetDataValue());
    EXPECT_EQ(v->DataType(), AdvancedToBaseFieldType(c.Type)) << Text(c.Operand()->GetDataValue());
    EXPECT_EQ(node.GetDataType(), c.Type);
    EXPECT_EQ(node.GetDataSize(), c.DataSize) << Text(c.Operand()->GetDataValue());
  }
  NodeTestCursor cursor;
  TQXLExprNodeCast fromBlob(std::make_unique<TQXLExprNodeField>(&cursor, "MEMO", ""), aftString, nullptr);
  EXPECT_EQ(fromBlob.GetDataSize(), 4096);
  TQXLExprNodeCast unsupported(Null(bftUnknown), aftString, nullptr);
  EXPECT_EQ(CodeOf([&] { unsupported.GetDataSize(); }), 30466);
  TQXLExprNodeCast bad(Str("abc"), aftInteger, nullptr);
  EXPECT_NE(CodeOf([&] { bad.GetDataValue(); }), 0);
}

TEST(ExprNodeBlobTest, DecodesBase64IntoABinaryValue) {
  const std::string bytes("\x01\x00\xff", 3);
  const std::string text = TStringFormat_MIME64::Class()->StrTo(bytes.data(), 3);
  TQXLExprNodeBlob node(Str(text));
  const TQXLVariant* v = node.GetDataValue();
  ASSERT_FALSE(v->IsNull());
  EXPECT_EQ(v->DataType(), bftBlob);
  ASSERT_EQ(v->DataSize(), 3);
  EXPECT_EQ(std::string(static_cast<const char*>(v->pData()), 3), bytes);
  EXPECT_EQ(node.GetDataType(), aftString);
  EXPECT_EQ(node.GetDataSize(), 0);

  // The engine keeps no value without bytes: no bytes is a NULL Blob.
  TQXLExprNodeBlob empty(Str(""));
  EXPECT_TRUE(empty.GetDataValue()->IsNull());
  EXPECT_EQ(empty.GetDataValue()->DataType(), bftBlob);
  TQXLExprNodeBlob garbage(Str("!!"));
  EXPECT_TRUE(garbage.GetDataValue()->IsNull());
}

}  // namespace
}  // namespace qxl::nodetest
