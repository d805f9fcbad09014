#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

const char* NodeName(TQXLDataOperator Op) {
  switch (Op) {
    case doIN: return "IN";
    case doNOTIN: return "NOT IN";
    case doBETWEEN: return "BETWEEN";
    case doNOTBETWEEN: return "NOT BETWEEN";
    case doSYSDATE: return "SYSDATE";
    case doCURRENT_DATE: return "CURRENT_DATE";
    case doCAST: return "CAST";
    case doPOS: return "POS";
    case doSUBSTRING: return "SUBSTRING";
    case doLENGTH: return "LENGTH";
    case doEXTRACT: return "EXTRACT";
    case doTOSTRING: return "TOSTRING";
    case doTODATE: return "TODATE";
    case doMIMETOBIN: return "MIMETOBIN";
    case doROUND: return "ROUND";
    case doABS: return "ABS";
    case doPOWER: return "POWER";
    default: return nullptr;
  }
}

// The tree as text: columns by name, constants by value (texts quoted), and
// operators with their operands; a comparison marks two-valued logic {2} and
// a prefix match {p}.
std::string Shape(TQXLExprNode* N) {
  if (!N) return "nil";
  if (auto* F = dynamic_cast<TQXLExprNodeField*>(N)) return (F->TableName().empty() ? "" : F->TableName() + ".") + F->FieldName();
  if (auto* C = dynamic_cast<TQXLExprNodeConst*>(N)) {
    const TQXLVariant& V = C->Value();
    if (V.IsNull()) return "NULL";
    if (V.IsStringDataType() || V.IsWideStringDataType()) return "'" + Text(&V) + "'";
    if (V.IsDateTimeDataType()) return "#" + Text(&V);
    return Text(&V);
  }
  const char* Name = NodeName(N->Operator());
  std::string S = Name ? Name : OperatorText(N->Operator());
  if (auto* Cmp = dynamic_cast<TQXLExprNodeComparison*>(N)) {
    if (!Cmp->ThreeValueLogic()) S += "{2}";
    if (Cmp->PartialKey()) S += "{p}";
  }
  if (N->ChildCount() == 0) return S;
  S += "(";
  for (std::int32_t i = 0; i < N->ChildCount(); ++i) S += (i ? "," : "") + Shape(N->Child(i));
  return S + ")";
}

class ExpressionGrammar : public ::testing::Test {
protected:
  TExpressionTestCursor Cursor;
  void SetUp() override { Cursor.Standard(); }

  std::string ConditionShape(const std::string& Filter, bool PartialKey = false) {
    TQXLExpression E;
    E.ParseForFilter(&Cursor, Filter, false, PartialKey);
    return Shape(E.Root());
  }
  std::string ValueShape(const std::string& Sql) {
    TQXLLexer L(Sql, nullptr, false);
    L.GetNextCommand();
    TQXLExpression E;
    E.ParseForValueExpression(nullptr, &L);
    TToken Rest;
    return Shape(E.Root()) + (L.GetCurrentToken(Rest) ? " rest " + Rest.Text : "");
  }
  // TRUE, FALSE or NULL of the filter over the current record, or the error.
  std::string Evaluate(const std::string& Filter, bool CaseInsensitive = false, bool PartialKey = false) {
    try {
      TQXLExpression E;
      E.ParseForFilter(&Cursor, Filter, CaseInsensitive, PartialKey);
      E.AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false);
      const TQXLVariant* V = E.GetValue(true);
      if (!V || V->IsNull()) return "NULL";
      return V->GetAsBoolean() ? "TRUE" : "FALSE";
    } catch (const EQXLException& Ex) {
      return std::to_string(Ex.NativeError) + ": " + Ex.what();
    }
  }
};

TEST_F(ExpressionGrammar, ConditionsBindByPrecedenceAndFixTheirNullLogicWhenParsed) {
  struct Case {
    const char* Filter;
    const char* Shape;
  } Cases[] = {
      {"NAME = 'a' OR ID = 1 AND QTY = 2", "OR(={2}(NAME,'a'),AND(=(ID,1),=(QTY,2)))"},
      {"NOT ID = 1", "NOT(=(ID,1))"},
      {"ID = 1 AND QTY = 2 AND BIG = 3", "AND(=(ID,1),=(QTY,2),=(BIG,3))"},
      {"ID = 1 OR QTY = 2 OR BIG = 3", "OR(OR(=(ID,1),=(QTY,2)),=(BIG,3))"},
      {"ID = 1 AND (QTY = 2 AND (BIG = 3 AND FLAG))", "AND(=(ID,1),=(QTY,2),=(BIG,3),FLAG)"},
      {"((ID = 1))", "=(ID,1)"},
      {"ID = -5", "=(ID,-(5))"},
      {"ID = QTY", "=(ID,QTY)"},
      {"NAME = NULL", "={2}(NAME,NULL)"},
      {"NAME <> NULL", "<>{2}(NAME,NULL)"},
      {"NAME = ''", "IS NULL(NAME)"},
      {"NAME <> ''", "IS NOT NULL(NAME)"},
      {"DUE = DATE '2020-01-31'", "={2}(DUE,#31.01.2020)"},
      {"'x' = ID", "={2}('x',ID)"},
      {"'x' = 'y'", "=('x','y')"},
      {"NAME LIKE 'Sm%'", "={2}{p}(NAME,'Sm')"},
      {"NAME NOT LIKE 'Sm%'", "<>{2}{p}(NAME,'Sm')"},
      {"NAME LIKE 'S_m%'", "LIKE(NAME,'S_m%')"},
      {"NAME LIKE '%m'", "LIKE(NAME,'%m')"},
      {"NAME LIKE 'Sm%' ESCAPE '\\'", "LIKE(NAME,'Sm%')"},
      {"ID IN (1, 2 3)", "IN(ID,1,2,3)"},
      {"ID NOT IN (1)", "NOT IN(ID,1)"},
      {"ID BETWEEN 1 AND 10 AND FLAG", "AND(BETWEEN(ID,1,10),FLAG)"},
      {"ID NOT BETWEEN QTY AND 10", "NOT BETWEEN(ID,QTY,10)"},
      {"QTY IS NULL OR NAME IS NOT NULL", "OR(IS NULL(QTY),IS NOT NULL(NAME))"},
      {"FLAG IS TRUE", "FLAG"},
      {"FLAG IS NOT TRUE", "NOT(FLAG)"},
      {"FLAG IS FALSE", "NOT(FLAG)"},
      {"FLAG IS NOT FALSE", "FLAG"},
      {"FLAG IS UNKNOWN", "IS NULL(FLAG)"},
      {"(ID = 1) IS NOT UNKNOWN", "IS NOT NULL(=(ID,1))"},
      {"TRUE", "True"},
      {"T.ID = [ID]", "=(T.ID,ID)"},
      {"[DUE] = CURRENT_DATE", "=(DUE,CURRENT_DATE)"},
      {"UPPER(NAME) = 'SMITH'", "={2}(UPPER(NAME),'SMITH')"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ConditionShape(C.Filter), C.Shape) << C.Filter;
}

TEST_F(ExpressionGrammar, ValuesBindByPrecedenceAndTheStringLevelConcatenates) {
  struct Case {
    const char* Sql;
    const char* Shape;
  } Cases[] = {
      {"ID - QTY + BIG", "+(ID,-(QTY),BIG)"},
      {"2 * 3 / 4", "/(*(2,3),4)"},
      {"2 + 3 * 4", "+(2,*(3,4))"},
      {"(2 + 3) * 4", "*(+(2,3),4)"},
      {"-ID * +2", "*(-(ID),2)"},
      {"'abc' + 1", "||('abc',1)"},
      {"'abc' || 1", "||('abc',1)"},
      {"ID + 1", "+(ID,1)"},
      {"ID || 'x'", "||(ID,'x')"},
      {"UPPER(ID + 1)", "UPPER(||(ID,1))"},
      {"DATE '2020-01-31' + 1", "||(#31.01.2020,1)"},
      {"SYSDATE - 1", "+(SYSDATE,-(1))"},
      {"CURRENT_DATE + ID", "+(CURRENT_DATE,+(ID))"},
      {"NAME - SYSDATE", "+(NAME,-(SYSDATE))"},
      {"'a' || LENGTH(NAME)", "||('a') rest LENGTH"},
      {"'a' || (LENGTH(NAME))", "||('a',LENGTH(NAME))"},
      {"CAST(ID AS VARCHAR(20))", "CAST(ID,20)"},
      {"CAST(ID, INTEGER)", "CAST(ID)"},
      {"CAST(NULL AS INTEGER)", "CAST(NULL)"},
      {"ROUND(PRICE, 2, HALFUP)", "ROUND(PRICE,2,287)"},
      {"ROUND(PRICE)", "ROUND(PRICE)"},
      {"ABS(-ID)", "ABS(-(ID))"},
      {"POWER(2, ID)", "POWER(2,ID)"},
      {"EXTRACT(YEAR FROM (SYSDATE))", "EXTRACT(SYSDATE)"},
      {"EXTRACT(MONTH FROM DUE) + 1", "+(EXTRACT(DUE),1)"},
      {"POSITION('m' IN NAME)", "POS('m',NAME)"},
      {"POS('m', NAME)", "POS('m',NAME)"},
      {"SUBSTRING(NAME FROM 2 FOR 3)", "SUBSTRING(NAME,2,3)"},
      {"SUBSTRING(NAME, 2)", "SUBSTRING(NAME,2)"},
      {"TOSTRING(DUE, 'YYYY')", "TOSTRING(DUE)"},
      {"TODATE('2020', 'YYYY')", "TODATE('2020')"},
      {"MIMETOBIN('AAEC')", "MIMETOBIN('AAEC')"},
      {"NULL", "NULL"},
      {"2147483646 + 2147483647", "+(2147483646,2147483647)"},
      {"1.5e1 + .5", "+(15,0.5)"},
      {"NAME ID", "NAME rest ID"},
      {"- - 5", "nil rest -"},
  };
  for (const Case& C : Cases) EXPECT_EQ(ValueShape(C.Sql), C.Shape) << C.Sql;
}

TEST_F(ExpressionGrammar, IntegerLiteralsAreThirtyTwoBitBelowTheirLimit) {
  struct Case {
    const char* Sql;
    TQXLBaseFieldType Type;
  } Cases[] = {{"2147483646", bftSignedInt32},
               {"2147483647", bftSignedInt64},
               {"9223372036854775807", bftSignedInt64},
               {"99999999999999999999", bftDouble},
               {"1.0", bftDouble},
               {"'x'", bftVarchar},
               {"'\xE2\x82\xAC'", bftVarchar},
               {"'\xE2\x80\x9C\xCE\xB1'", bftWideVarchar},
               {"''", bftVarchar}};
  for (const Case& C : Cases) {
    TQXLLexer L(C.Sql, nullptr, false);
    L.GetNextCommand();
    TQXLExpression E;
    E.ParseForValueExpression(nullptr, &L);
    ASSERT_NE(E.Root(), nullptr) << C.Sql;
    EXPECT_EQ(E.Root()->Value().DataType(), C.Type) << C.Sql;
  }
}

TEST_F(ExpressionGrammar, FiltersEvaluateByTheDialectsNullRules) {
  struct Case {
    const char* Filter;
    const char* Result;
  } Cases[] = {
      // Against constants a comparison is two-valued: NULL is the lowest value.
      {"QTY = NULL", "TRUE"},
      {"QTY <> NULL", "FALSE"},
      {"ID = NULL", "FALSE"},
      {"NOTE <> 'x'", "TRUE"},
      {"NOTE = 'x'", "FALSE"},
      {"NOTE < 'a'", "TRUE"},
      {"NOTE = ''", "TRUE"},
      {"NAME = ''", "FALSE"},
      // Between columns it is three-valued: a NULL operand never holds.
      {"ID = QTY", "FALSE"},
      {"ID <> QTY", "FALSE"},
      {"NOT (ID = QTY)", "TRUE"},
      {"QTY = 5", "FALSE"},
      {"NOT (QTY = 5)", "TRUE"},
      {"ID IN (1, NULL, 7)", "TRUE"},
      {"ID IN (1, NULL)", "FALSE"},
      {"QTY IN (1, 2)", "NULL"},
      {"QTY NOT IN (1, 2)", "NULL"},
      {"NAME IN ('x', 'SMITH')", "TRUE"},
      {"NAME LIKE 'Sm%'", "TRUE"},
      {"NAME LIKE 'sm%'", "FALSE"},
      {"NAME LIKE 'S_i%'", "TRUE"},
      {"NAME NOT LIKE '%h'", "FALSE"},
      {"NOTE LIKE '%'", "TRUE"},
      {"NOTE LIKE 'a%'", "FALSE"},
      {"NAME LIKE NULL", "NULL"},
      {"ID BETWEEN 1 AND 10", "TRUE"},
      {"ID BETWEEN 1 AND NULL", "NULL"},
      {"NOT (QTY BETWEEN 1 AND 2)", "NULL"},
      {"QTY IS NULL AND ID IS NOT NULL", "TRUE"},
      {"FLAG", "TRUE"},
      {"NOT FLAG OR QTY = 1", "FALSE"},
      {"FLAG AND (QTY IN (1))", "NULL"},
      {"(QTY IN (1)) OR FLAG", "TRUE"},
      {"FLAG IS NOT TRUE", "FALSE"},
      {"(QTY IN (1)) IS UNKNOWN", "TRUE"},
      // Precedence and arithmetic.
      {"ID + 1 = 8", "TRUE"},
      {"ID * 2 - 4 = 10", "TRUE"},
      {"2 + 3 * 4 = 14", "TRUE"},
      {"(2 + 3) * 4 = 20", "TRUE"},
      {"ID - 2 + 5 = 10", "TRUE"},
      {"PRICE * 2 = 5", "TRUE"},
      {"BIG > 2147483647", "TRUE"},
      {"ID = -(-7)", "TRUE"},
      {"NAME || 'x' = 'Smithx'", "TRUE"},
      {"UPPER(NAME) = 'SMITH'", "TRUE"},
      {"LENGTH(NAME) = 5", "TRUE"},
      {"WNAME = 'Jones'", "TRUE"},
      // Dates.
      {"DUE = DATE '2020-01-31'", "TRUE"},
      {"DUE > DATE '2020-01-30' AND DUE < DATE '2020-02-01'", "TRUE"},
      {"EXTRACT(YEAR FROM DUE) = 2020", "TRUE"},
      {"EXTRACT(DAY FROM DUE) = 31", "TRUE"},
      {"DUE + 1 = DATE '2020-02-01'", "TRUE"},
      {"DUE - 1 = DATE '2020-01-30'", "TRUE"},
      {"SYSDATE - 1 < SYSDATE", "TRUE"},
      {"CURRENT_DATE + 1 > CURRENT_DATE", "TRUE"},
      {"TODATE('2020-01-30', 'YYYY-MM-DD') + 1 = DUE", "TRUE"},
      {"DUE - TODATE('2020-01-30', 'YYYY-MM-DD') = 1", "TRUE"},
      {"TOSTRING(DUE, 'YYYY') = '2020'", "TRUE"},
      // A date literal is text at the value level, not a date value.
      {"DATE '2020-01-31' - DUE = 0", "30066: Boolean expression expected, but '-' found at line 1, column 19 - Native error: 30066"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Evaluate(C.Filter), C.Result) << C.Filter;
}

TEST_F(ExpressionGrammar, CaseAndPrefixSwitchesOfAFilter) {
  struct Case {
    const char* Filter;
    bool CaseInsensitive, PartialKey;
    const char* Result;
  } Cases[] = {
      {"NAME = 'smith'", false, false, "FALSE"},
      {"NAME = 'smith'", true, false, "TRUE"},
      {"NAME LIKE 'sm%'", true, false, "TRUE"},
      {"NAME = 'Sm*'", false, true, "TRUE"},
      {"'Sm*' = NAME", false, true, "TRUE"},
      {"'Sm*' <= NAME", false, true, "TRUE"},
      {"'Sx*' = NAME", false, true, "FALSE"},
      {"NAME = 'Sx*'", false, true, "FALSE"},
      {"NAME = 'Sm*'", false, false, "FALSE"},
      {"NOTE = ''", false, true, "TRUE"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Evaluate(C.Filter, C.CaseInsensitive, C.PartialKey), C.Result) << C.Filter;
}

TEST_F(ExpressionGrammar, MalformedTextRaisesItsCodeWithTheOffendingTokenAndPlace) {
  struct Case {
    const char* Filter;
    const char* Error;
  } Cases[] = {
      {"", "30119: Blank SQL command"},
      {" -- nothing\n", "30119: Blank SQL command"},
      {"ID = 1 AND", "30069: Boolean expression expected, but '' found"},
      {"ID = 1 AND )", "30060: "},
      {"ID = 1 OR +", "30070: Boolean expression expected, but '+' found at line 1, column 11"},
      {"FLAG IS MAYBE", "30067: Token 'TRUE, FALSE or UNKNOWN' expected, but 'MAYBE' found at line 1, column 9"},
      {"NAME LIKE 'a' ESCAPE 'ab'", "20294: Invalid escape character length (should be a single character) at line 1, column 22"},
      {"DUE = DATE 5", "20283: Date string expected \"YYYY-MM-DD\", but found \"5\" at line 1, column 12"},
      {"DUE = DATE '2020-13-01'", "20284: Token 'YYYY-MM-DD' expected, but '2020-13-01' found at line 1, column 12"},
      {"DUE = DATE '2020-1-31'", "20284: "},
      {"ATIME = TIME 5", "20285: "},
      {"ATIME = TIME '25:00:00'", "20286: "},
      {"STAMP = TIMESTAMP '2020-01-01'", "20288: "},
      {"UPPER() = 'A'", "30092: String argument expected for function 'UPPER', but ')' found at line 1, column 7"},
      {"LENGTH NAME = 1", "30083: Token '(' expected, but 'NAME' found at line 1, column 8"},
      {"POS('a' NAME) = 1", "30080: Token ',' or 'IN' expected, but 'NAME' found at line 1, column 9"},
      {"POWER(2 3) = 1", "20267: comma (\",\") expected but not found at line 1, column 9"},
      {"ROUND(PRICE, 2, 5) = 1", "30505: Argument expected for function 'ROUND' at line 1, column 17"},
      {"ABS() = 1", "20262: Argument expected for function 'ABS' at line 1, column 5"},
      {"EXTRACT(YEAR FROM SYSDATE) = 1", "20281: Argument expected for function 'EXTRACT (... FROM ...)'"},
      {"EXTRACT(WEEK FROM DUE) = 1", "20278: Token 'YEAR or MONTH or DAY or HOUR or MINUTE or SECOND' expected"},
      {"EXTRACT(ZONE FROM DUE) = 1", "20279: "},
      {"SUBSTRING(NAME 2) = 'a'", "30100: Token ',' or 'from' expected, but '2' found"},
      {"SUBSTRING(NAME, 2 3) = 'a'", "30103: Token ')' or ',' or 'FOR' expected, but '3' found"},
      {"TOSTRING(DUE, 5) = 'a'", "30096: Const DateFormat string expected, but '5' found at line 1, column 15"},
      {"TODATE(NAME) = DUE", "30108: "},
      {"MIMETOBIN(5) = 1", "30480: String argument expected for function 'MimeToBin()', but '5' found"},
      {"CAST(ID AS BLOB) = 1", "30077: Cannot convert an expression to specified type: 'BLOB'"},
      {"CAST(ID AS NOTHING) = 1", "30077: Cannot convert an expression to specified type: 'Unknown'"},
      {"CAST(ID AS VARCHAR(20) = 1", "30059: "},
      {"CAST(ID AS VARCHAR(20) 5) = 1", "30465: Token ')' expected, but '5' found"},
      {"COALESCE() = 1", "20276: COALESCE arguments are missing at line 1, column 10"},
      {"COALESCE(ID, +) = 1", "30511: Value expression expected for function 'COALESCE', but '+' found at line 1, column 14"},
      {"CASE WHEN FLAG 1 END = 1", "30475: Token 'THEN' expected, but '1' found at line 1, column 16"},
      {"CASE ID WHEN 1 THEN 2 ELSE END = 1", "30471: "},
      {"SUM ID = 1", "30074: Token '(' expected, but 'ID' found at line 1, column 5"},
      {"COUNT(*, 1) = 1", "30073: Token ')' expected, but ',' found at line 1, column 8"},
      {"SUM DISTINCT () = 1", "30102: Argument expected for function 'SUM' at line 1, column 15"},
      {"LASTAUTOINC(T ID) = 1", "30334: Token ',' expected, but 'ID' found at line 1, column 15"},
      {"CASE WHEN FLAG THEN 1 ELSE 2 = 1", "30478: Token 'END' expected, but '=' found"},
      {"ID IN (SELECT ID FROM T)", "30512: 'Subquery'"},
      {"EXISTS (SELECT ID FROM T)", "30512: 'EXISTS'"},
      {"ID = (SELECT ID FROM T)", "30512: 'Subquery' cannot be used in this expression at line 1, column 7"},
      {"- - 5 = ID", "30066: Boolean expression expected, but '-' found at line 1, column 1"},
      {"NOT NOT FLAG", "30066: Boolean expression expected, but 'NOT' found at line 1, column 1"},
      {"ID = 1 garbage", "30066: Boolean expression expected, but 'garbage' found at line 1, column 8"},
      {"ID = 1; ID = 2", "30066: Boolean expression expected, but 'ID' found at line 1, column 9"},
      {"MISSING = 1", "30115: Field 'MISSING' not found"},
      {"MISSING = 1 AND", "30115: Field 'MISSING' not found"},
      {"ID = 1 OR MISSING", "30115: Field 'MISSING' not found"},
      {"NAME = 'abc", "30061: Unterminated string at line 1, column 8"},
      {"ID = 12ab", "30062: "},
      {"ID = :p", "30358: Value for parameter 'p' not found"},
      {"ID = 1 AND\nQTY = ", "30066: "},
  };
  for (const Case& C : Cases) {
    const std::string Got = Evaluate(C.Filter);
    EXPECT_EQ(Got.substr(0, std::string(C.Error).size()), C.Error) << C.Filter << " -> " << Got;
  }
}

}  // namespace
}  // namespace qxl::exprtest
