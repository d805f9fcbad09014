// Built-in functions, CAST, COALESCE and CASE, the aggregates and the
// system values (LASTAUTOINC, ROWNUM).
#include "engine/sql/grammar/QXLExprParserProductions.h"
#include "engine/core/values/QXLDateFormat.h"
#include "engine/sql/grammar/QXLSQLLiterals.h"

namespace qxl {

namespace {

std::unique_ptr<TQXLExprNode> StringFunction1(TQXLDataOperator Op, std::unique_ptr<TQXLExprNode> Child) {
  auto Node = std::make_unique<TQXLExprNodeStringFunction>(Op, true, false);
  Node->AddChild(std::move(Child));
  return Node;
}

struct TMathFunction {
  TReservedWord Word;
  TQXLDataOperator Op;
};
constexpr TMathFunction OneArgumentMathFunctions[] = {
    {rwABS, doABS},   {rwACOS, doACOS}, {rwASIN, doASIN}, {rwATAN, doATAN},   {rwCEIL, doCEIL},
    {rwCOS, doCOS},   {rwEXP, doEXP},   {rwFLOOR, doFLOOR}, {rwLOG, doLOG},   {rwRAND, doRAND},
    {rwSIGN, doSIGN}, {rwSIN, doSIN},   {rwSQR, doSQR},   {rwSQRT, doSQRT},
};

}  // namespace

TParsed TQXLExprParser::NumericFunction() {
  return Production(pNumericFunction, 0, [this](std::int8_t) -> TParsed {
    if (IsKeyword(rwPOS) || IsKeyword(rwPOSITION)) return Position();
    if (IsKeyword(rwEXTRACT)) return Extract();
    if (IsKeyword(rwLENGTH)) return Length();
    if (IsKeyword(rwLAST_AUTOINC)) return LastAutoInc();
    if (IsKeyword(rwROWNUM)) {
      Next();
      if (!Building()) return Success(nullptr);
      return Success(std::make_unique<TQXLExprNodeSystem>(doROWNUM, E.FSessionName, E.FDatabaseName, std::string(),
                                                          std::string(), E.FInMemory));
    }
    if (IsKeyword(rwPOWER)) return Power();
    if (IsKeyword(rwROUND)) return Round();
    for (const TMathFunction& F : OneArgumentMathFunctions)
      if (IsKeyword(F.Word)) return OneArgumentMath();
    return Fail();
  });
}

TParsed TQXLExprParser::StringFunction() {
  return Production(pStringFunction, 0, [this](std::int8_t) -> TParsed {
    if (IsKeyword(rwUPPER) || IsKeyword(rwLOWER) || IsKeyword(rwTRIM) || IsKeyword(rwLTRIM) || IsKeyword(rwRTRIM))
      return CaseFunction();
    if (IsKeyword(rwSUBSTRING)) return Substring();
    if (IsKeyword(rwTOSTRING)) return ToString();
    return Fail();
  });
}

TParsed TQXLExprParser::Position() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30078, "(");
  TParsed Needle = StringLevel();
  if (!Needle) RaiseArgument(30079, "POS");
  Expect(IsKind(tktComma) || IsKeyword(rwIN), 30080, ",' or 'IN");
  TParsed Haystack = StringLevel();
  if (!Haystack) RaiseArgument(30081, "POS");
  Expect(IsKind(tktRightParenthesis), 30082, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeStringFunction>(doPOS, std::move(Needle.Node),
                                                              std::move(Haystack.Node), true, false));
}

TParsed TQXLExprParser::Extract() {
  static const char* const Fields = "YEAR or MONTH or DAY or HOUR or MINUTE or SECOND";
  Next();
  Expect(IsKind(tktLeftParenthesis), 20277, "(");
  TQXLDateTimeExtractField Field = dtefYear;
  if (!IsReservedWord(FToken, rwNone)) RaiseExpected(20278, Fields);
  if (IsKeyword(rwYEAR))
    Field = dtefYear;
  else if (IsKeyword(rwMONTH))
    Field = dtefMonth;
  else if (IsKeyword(rwDAY))
    Field = dtefDay;
  else if (IsKeyword(rwHOUR))
    Field = dtefHour;
  else if (IsKeyword(rwMINUTE))
    Field = dtefMinute;
  else if (IsKeyword(rwSECOND))
    Field = dtefSecond;
  else
    RaiseExpected(20279, Fields);
  Next();
  Expect(IsKeyword(rwFROM), 20280, "FROM");
  TParsed Source = Primary();
  if (!Source) RaiseArgument(20281, "EXTRACT (... FROM ...)");
  Expect(IsKind(tktRightParenthesis), 20282, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeDateFunction>(doEXTRACT, Field, std::move(Source.Node)));
}

TParsed TQXLExprParser::Length() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30083, "(");
  TParsed Text = StringLevel();
  if (!Text) RaiseArgument(30085, "LENGTH");
  Expect(IsKind(tktRightParenthesis), 30084, ")");
  return Success(Building() ? StringFunction1(doLENGTH, std::move(Text.Node)) : nullptr);
}

TParsed TQXLExprParser::LastAutoInc() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30086, "(");
  const std::string Table = FToken.Text;
  Next();
  const bool InMemory = IsKeyword(rwMEMORY);
  if (InMemory) Next();
  Expect(IsKind(tktComma), 30334, ",");
  const std::string Column = FToken.Text;
  Next();
  Expect(IsKind(tktRightParenthesis), 30089, ")");
  // The table is opened once, when the tree is built.
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeSystem>(doLASTAUTOINC, E.FSessionName, E.FDatabaseName, Table, Column,
                                                      InMemory || E.FInMemory));
}

TParsed TQXLExprParser::OneArgumentMath() {
  const TToken Name = FToken;
  TQXLDataOperator Op = doUNDEFINED;
  for (const TMathFunction& F : OneArgumentMathFunctions)
    if (Name.ReservedWord == F.Word) Op = F.Op;
  Next();
  Expect(IsKind(tktLeftParenthesis), 20261, "(");
  TParsed X = NumericArithmetic();
  if (!X) RaiseArgument(20262, std::string(ReservedWordNames[Name.ReservedWord]));
  Expect(IsKind(tktRightParenthesis), 20263, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeArithmetic>(Op, std::move(X.Node), true, false));
}

TParsed TQXLExprParser::Power() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 20264, "(");
  TParsed X = NumericArithmetic();
  if (!X) RaiseArgument(20265, "POWER");
  if (!IsKind(tktComma)) Raise(20267, "comma (\",\") expected but not found at line %d, column %d");
  Next();
  TParsed Y = NumericArithmetic();
  if (!Y) RaiseArgument(20268, "POWER");
  Expect(IsKind(tktRightParenthesis), 20266, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeArithmetic>(doPOWER, std::move(X.Node), std::move(Y.Node), true, false));
}

TParsed TQXLExprParser::Round() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30502, "(");
  TParsed X = NumericArithmetic();
  if (!X) RaiseArgument(30503, "ROUND");
  TParsed Digits;
  std::unique_ptr<TQXLExprNodeConst> Mode;
  bool HasMode = false;
  if (IsKind(tktComma)) {
    Next();
    Digits = NumericArithmetic();
    if (!Digits) RaiseArgument(30504, "ROUND");
    if (IsKind(tktComma)) {
      Next();
      if (!IsReservedWord(FToken, rwNone)) RaiseArgument(30505, "ROUND");
      HasMode = true;
      if (Building()) {
        Mode = std::make_unique<TQXLExprNodeConst>();
        Mode->Value().SetAsInteger(static_cast<std::int32_t>(FToken.ReservedWord));
      }
      Next();
    }
  }
  Expect(IsKind(tktRightParenthesis), 30506, ")");
  if (!Building()) return Success(nullptr);
  auto Node = std::make_unique<TQXLExprNodeArithmetic>(doROUND, true, false);
  Node->AddChild(std::move(X.Node));
  if (Digits) Node->AddChild(std::move(Digits.Node));
  if (HasMode) Node->AddChild(std::move(Mode));
  return Success(std::move(Node));
}

TParsed TQXLExprParser::CaseFunction() {
  TQXLDataOperator Op = doUPPER;
  if (IsKeyword(rwLOWER)) Op = doLOWER;
  if (IsKeyword(rwTRIM)) Op = doTRIM;
  if (IsKeyword(rwLTRIM)) Op = doLTRIM;
  if (IsKeyword(rwRTRIM)) Op = doRTRIM;
  Next();
  Expect(IsKind(tktLeftParenthesis), 30090, "(");
  TParsed Text = StringLevel();
  if (!Text)
    throw EQXLException(30092, "String argument expected for function '%s', but '%s' found at line %d, column %d",
                        {OperatorText(Op), FToken.Text, FToken.LineNum, FToken.ColumnNum});
  Expect(IsKind(tktRightParenthesis), 30091, ")");
  return Success(Building() ? StringFunction1(Op, std::move(Text.Node)) : nullptr);
}

TParsed TQXLExprParser::Substring() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30098, "(");
  TParsed Text = StringLevel();
  if (!Text) RaiseArgument(30099, OperatorText(doSUBSTRING));
  Expect(IsKind(tktComma) || IsKeyword(rwFROM), 30100, ",' or 'from");
  TParsed Start = NumericArithmetic();
  if (!Start) RaiseArgument(30101, OperatorText(doSUBSTRING));
  TParsed Count;
  if (!IsKind(tktRightParenthesis)) {
    Expect(IsKind(tktComma) || IsKeyword(rwFOR), 30103, ")' or ',' or 'FOR");
    Count = NumericArithmetic();
    if (!Count) RaiseArgument(30101, OperatorText(doSUBSTRING));
  }
  Expect(IsKind(tktRightParenthesis), 30104, ")");
  if (!Building()) return Success(nullptr);
  auto Node = std::make_unique<TQXLExprNodeStringFunction>(doSUBSTRING, true, false);
  Node->AddChild(std::move(Text.Node));
  Node->AddChild(std::move(Start.Node));
  if (Count) Node->AddChild(std::move(Count.Node));
  return Success(std::move(Node));
}

TParsed TQXLExprParser::ToString() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30093, "(");
  TParsed Value = ValueExpression();
  if (!Value) RaiseArgument(30094, OperatorText(doTOSTRING));
  Expect(IsKind(tktComma) || IsKeyword(rwFROM), 30095, ",");
  if (!IsKind(tktQuotedString))
    RaiseFound(30096, "Const DateFormat string expected, but '%s' found at line %d, column %d");
  const std::string Format = FToken.Text;
  if (!Building()) TDateFormater Probe(Format);  // a format that does not read fails where it stands
  Next();
  Expect(IsKind(tktRightParenthesis), 30097, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeDateFunction>(doTOSTRING, std::move(Value.Node), Format));
}

TParsed TQXLExprParser::ToDate() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 30105, "(");
  TParsed Text = StringLevel();
  if (!Text) RaiseArgument(30107, "ToDate");
  Expect(IsKind(tktComma) || IsKeyword(rwFROM), 30108, ",");
  if (!IsKind(tktQuotedString))
    RaiseFound(30109, "Const DateFormat string expected, but '%s' found at line %d, column %d");
  const std::string Format = FToken.Text;
  if (!Building()) TDateFormater Probe(Format);  // a format that does not read fails where it stands
  Next();
  Expect(IsKind(tktRightParenthesis), 30106, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeDateFunction>(doTODATE, std::move(Text.Node), Format));
}

TParsed TQXLExprParser::CountAll() {
  if (!IsKeyword(rwCOUNT)) return Fail();
  Next();
  if (!IsKind(tktLeftParenthesis)) return Fail();
  Next();
  if (!IsWord("*")) return Fail();
  Next();
  Expect(IsKind(tktRightParenthesis), 30073, ")");
  return Success(Building() ? std::make_unique<TQXLExprNodeAggregated>(doCOUNTALL) : nullptr);
}

TParsed TQXLExprParser::Aggregate() {
  TQXLDataOperator Op = doUNDEFINED;
  if (IsKeyword(rwCOUNT)) Op = doCOUNT;
  if (IsKeyword(rwAVG)) Op = doAVG;
  if (IsKeyword(rwMAX)) Op = doMAX;
  if (IsKeyword(rwMIN)) Op = doMIN;
  if (IsKeyword(rwSUM)) Op = doSUM;
  if (Op == doUNDEFINED) return Fail();
  Next();
  const bool Distinct = IsKeyword(rwDISTINCT);
  if (Distinct) Next();
  Expect(IsKind(tktLeftParenthesis), 30074, "(");
  TParsed Argument = ValueExpression();
  if (!Argument) RaiseArgument(30102, OperatorText(Op));
  Expect(IsKind(tktRightParenthesis), 30075, ")");
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeAggregated>(Op, Distinct, std::move(Argument.Node)));
}

TParsed TQXLExprParser::CoalesceOrCase() {
  if (IsKeyword(rwCOALESCE)) return Coalesce();
  if (IsKeyword(rwCASE)) return Case();
  return Fail();
}

TParsed TQXLExprParser::Coalesce() {
  Next();
  Expect(IsKind(tktLeftParenthesis), 20275, "(");
  if (IsKind(tktRightParenthesis)) Raise(20276, "COALESCE arguments are missing at line %d, column %d");
  std::vector<std::unique_ptr<TQXLExprNode>> Arguments;
  while (!IsKind(tktRightParenthesis)) {
    // Every argument must be a value: one that is not ends the parse here
    // rather than being read again and again.
    TParsed Argument = ValueExpression();
    if (!Argument)
      RaiseFound(30511, "Value expression expected for function 'COALESCE', but '%s' found at line %d, column %d");
    if (Building()) Arguments.push_back(std::move(Argument.Node));
    if (IsKind(tktComma)) Next();
  }
  Next();
  return Success(Building() ? TQXLExprNodeCase::CreateCoalesce(std::move(Arguments)) : nullptr);
}

TParsed TQXLExprParser::Case() {
  Next();
  std::unique_ptr<TQXLExprNodeCase> Node;
  if (IsKeyword(rwWHEN)) {
    if (Building()) Node = TQXLExprNodeCase::CreateSearchedCase();
    Expect(IsKeyword(rwWHEN), 30473, "WHEN");
    for (;;) {
      TParsed When = SearchCondition();
      if (!When)
        RaiseFound(30474, "Search Condition for CASE function expected, but '%s' found at line %d, column %d");
      Expect(IsKeyword(rwTHEN), 30475, "THEN");
      TParsed Result = ValueExpression();
      if (!Result)
        RaiseFound(30476, "When Expression for CASE function expected, but '%s' found at line %d, column %d");
      if (Node) {
        Node->AddWhenExpression(std::move(When.Node));
        Node->AddResultExpression(std::move(Result.Node));
      }
      if (!IsKeyword(rwWHEN)) break;
      Next();
    }
    if (IsKeyword(rwELSE)) {
      Next();
      TParsed Else = ValueExpression();
      if (!Else)
        RaiseFound(30477, "'Else Result Expression' for CASE function expected, but '%s' found at line %d, column %d");
      if (Node) Node->SetElseResultExpression(std::move(Else.Node));
    }
    Expect(IsKeyword(rwEND), 30478, "END");
  } else {
    TParsed Input = ValueExpression();
    if (!Input)
      RaiseFound(30467, "Input expression for CASE function expected, but '%s' found at line %d, column %d");
    if (Building()) Node = TQXLExprNodeCase::CreateSimpleCase(std::move(Input.Node));
    Expect(IsKeyword(rwWHEN), 30468, "WHEN");
    for (;;) {
      TParsed When = ValueExpression();
      if (!When)
        RaiseFound(30469, "When Expression for CASE function expected, but '%s' found at line %d, column %d");
      Expect(IsKeyword(rwTHEN), 30470, "THEN");
      TParsed Result = ValueExpression();
      if (!Result)
        RaiseFound(30469, "When Expression for CASE function expected, but '%s' found at line %d, column %d");
      if (Node) {
        Node->AddWhenExpression(std::move(When.Node));
        Node->AddResultExpression(std::move(Result.Node));
      }
      if (!IsKeyword(rwWHEN)) break;
      Next();
    }
    if (IsKeyword(rwELSE)) {
      Next();
      TParsed Else = ValueExpression();
      if (!Else)
        RaiseFound(30471, "'Else Result Expression' for CASE function expected, but '%s' found at line %d, column %d");
      if (Node) Node->SetElseResultExpression(std::move(Else.Node));
    }
    Expect(IsKeyword(rwEND), 30472, "END");
  }
  return Success(std::move(Node));
}

TParsed TQXLExprParser::Cast() {
  if (!IsKeyword(rwCAST)) return Fail();
  Next();
  if (!IsKind(tktLeftParenthesis)) return Fail();
  Next();
  TParsed Operand;
  if (IsKeyword(rwNULL)) {
    Operand = NullLiteral();
    Next();  // normally AS
  } else {
    Operand = ValueExpression();
    if (!Operand) return Fail();
    if (IsKind(tktComma) || IsKeyword(rwAS)) Next();
  }
  const TQXLAdvancedFieldType Type = FieldTypeBySqlName(FToken.Text);
  const bool Convertible = (Type >= aftChar && Type <= aftTimeStamp) || Type == aftMemo ||
                           Type == aftFormattedMemo || Type == aftWideMemo;
  if (!Convertible)
    throw EQXLException(30077, "Cannot convert an expression to specified type: '%s'", {AdvancedFieldTypeName(Type)});
  Next();
  TParsed Size;
  if (IsKind(tktLeftParenthesis)) {
    Next();
    Size = NumericArithmetic();
    Next();  // its closing parenthesis
    Expect(IsKind(tktRightParenthesis), 30465, ")");
  } else {
    Expect(IsKind(tktRightParenthesis), 30076, ")");
  }
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeCast>(std::move(Operand.Node), Type, std::move(Size.Node)));
}

}  // namespace qxl
