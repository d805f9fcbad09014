// Value expressions: numeric arithmetic, date arithmetic, the string level,
// primaries and literals.
#include <charconv>
#include <cmath>

#include "engine/sql/grammar/QXLExprParserProductions.h"
#include "engine/sql/grammar/QXLSQLLiterals.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

std::unique_ptr<TQXLExprNode> Arithmetic1(TQXLDataOperator Op, std::unique_ptr<TQXLExprNode> Child) {
  return std::make_unique<TQXLExprNodeArithmetic>(Op, std::move(Child), true, false);
}

bool IsOperatorWord(const TToken& T) {
  if (T.TokenType != tktString || T.Text.empty()) return false;
  return T.Text.find_first_not_of("+-*/=<>|") == std::string::npos;
}

TConstKind KindOfType(TQXLBaseFieldType Type) {
  return IsNumericBaseFieldType(Type) ? TConstKind::Numeric : TConstKind::NonNumeric;
}

}  // namespace

TParsed TQXLExprParser::ValueExpression() {
  return Production(pValueExpression, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only,
        [this]() -> TParsed {
          TParsed Sum = NumericArithmetic();
          if (Sum && IsWord("||")) return Fail();
          return Sum;
        },
        [this] { return DateArithmetic(); }, [this] { return DateValue(); }, [this] { return StringLevel(); },
        [this] { return BooleanLiteral(); }, [this] { return NullLiteral(); }, [this] { return MimeToBin(); });
  });
}

TParsed TQXLExprParser::DateArithmetic() {
  return Production(pDateArithmetic, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only,
        [this]() -> TParsed {
          TParsed Date = DateValue();
          if (!Date || !(IsWord("+") || IsWord("-"))) return Fail();
          const TQXLDataOperator Sign = IsWord("+") ? doADD : doSUB;
          Next();
          TParsed Offset = ValueExpression();
          if (!Offset) return Fail();
          if (!Building()) return Success(nullptr);
          return Success(std::make_unique<TQXLExprNodeArithmetic>(
              doADD, std::move(Date.Node), Arithmetic1(Sign, std::move(Offset.Node)), true, false));
        },
        [this]() -> TParsed {
          TParsed Text = StringLevel();
          if (!Text || !IsWord("-")) return Fail();
          Next();
          TParsed Date = DateValue();
          if (!Date) return Fail();
          if (!Building()) return Success(nullptr);
          return Success(std::make_unique<TQXLExprNodeArithmetic>(
              doADD, std::move(Text.Node), Arithmetic1(doSUB, std::move(Date.Node)), true, false));
        });
  });
}

TParsed TQXLExprParser::NumericArithmetic() {
  return Production(pNumericArithmetic, 0, [this](std::int8_t) -> TParsed {
    TParsed First = Term();
    if (!First) return Fail();
    if (!IsWord("+") && !IsWord("-")) return First;
    std::unique_ptr<TQXLExprNodeArithmetic> Sum;
    if (Building()) {
      Sum = std::make_unique<TQXLExprNodeArithmetic>(doADD, true, false);
      Sum->AddChild(std::move(First.Node));
    }
    while (IsWord("+") || IsWord("-")) {
      const bool Minus = IsWord("-");
      Next();
      TParsed More = Term();
      if (!More) return Fail();
      if (Sum) Sum->AddChild(Minus ? Arithmetic1(doSUB, std::move(More.Node)) : std::move(More.Node));
    }
    return Success(std::move(Sum));
  });
}

TParsed TQXLExprParser::Term() {
  return Production(pTerm, 0, [this](std::int8_t) -> TParsed {
    TParsed Left = SignedFactor();
    if (!Left) return Fail();
    bool Combined = false;
    while (IsWord("*") || IsWord("/")) {
      const TQXLDataOperator Op = IsWord("*") ? doMUL : doDIV;
      Next();
      TParsed Right = SignedFactor();
      if (!Right) return Fail();
      Combined = true;
      if (Building())
        Left.Node = std::make_unique<TQXLExprNodeArithmetic>(Op, std::move(Left.Node), std::move(Right.Node), true,
                                                             false);
    }
    if (Combined) Left.Kind = TConstKind::NotConst;
    return Left;
  });
}

TParsed TQXLExprParser::SignedFactor() {
  return Production(pSignedFactor, 0, [this](std::int8_t) -> TParsed {
    const bool Minus = IsWord("-");
    if (Minus || IsWord("+")) Next();
    TParsed Factor = NumericPrimary();
    if (!Factor || !Minus) return Factor;
    // A sign is a node of its own: -5 is the negation of 5.
    return Success(Building() ? Arithmetic1(doSUB, std::move(Factor.Node)) : nullptr);
  });
}

TParsed TQXLExprParser::NumericPrimary() {
  return Production(pNumericPrimary, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only,
        [this]() -> TParsed {
          TParsed P = Primary();
          // Text and date constants go to the string level.
          if (P && P.Kind == TConstKind::NonNumeric) return Fail();
          return P;
        },
        [this] { return NumericFunction(); });
  });
}

TParsed TQXLExprParser::Primary() {
  return Production(pPrimary, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only, [this] { return Literal(); }, [this] { return ColumnReference(); }, [this] { return CountAll(); },
        [this] { return Aggregate(); }, [this] { return SubqueryOperand(SubqueryAnyRowsOneColumn); },
        [this] { return CoalesceOrCase(); }, [this] { return ParenthesisedValue(); }, [this] { return Cast(); });
  });
}

TParsed TQXLExprParser::Literal() {
  const TToken T = FToken;
  if (T.TokenType == tktInt || T.TokenType == tktFloat) {
    std::unique_ptr<TQXLExprNodeConst> Node;
    if (T.TokenType == tktInt) {
      std::int64_t V = 0;
      const auto [End, Error] = std::from_chars(T.Text.data(), T.Text.data() + T.Text.size(), V);
      const bool Fits = Error == std::errc() && End == T.Text.data() + T.Text.size();
      double D = 0;
      if (!Fits && !ReadSQLFloat(T.Text, D))
        RaiseFound(30062, "Invalid numeric symbol '%s' at line %d, column %d");
      if (Building()) {
        Node = std::make_unique<TQXLExprNodeConst>();
        if (!Fits)
          Node->Value().SetAsDouble(D);  // beyond 64 bits: kept as a floating-point number
        else if (V < 2147483647)
          Node->Value().SetAsInteger(static_cast<std::int32_t>(V));
        else
          Node->Value().SetAsInt64(V);
      }
    } else {
      double D = 0;
      if (!ReadSQLFloat(T.Text, D)) RaiseFound(30062, "Invalid numeric symbol '%s' at line %d, column %d");
      if (Building()) {
        Node = std::make_unique<TQXLExprNodeConst>();
        Node->Value().SetAsDouble(D);
      }
    }
    Next();
    return Success(std::move(Node), TConstKind::Numeric);
  }
  if (T.TokenType == tktQuotedString) {
    std::unique_ptr<TQXLExprNodeConst> Node;
    if (Building()) {
      Node = std::make_unique<TQXLExprNodeConst>();
      SetSQLStringConstant(Node->Value(), T.Text);
    }
    Next();
    return Success(std::move(Node), TConstKind::NonNumeric);
  }
  if (IsKeyword(rwDATE) || IsKeyword(rwTIME) || IsKeyword(rwTIMESTAMP)) {
    const TReservedWord Word = T.ReservedWord;
    Next();
    TQXLVariant Value;
    if (Word == rwDATE) {
      if (!IsKind(tktQuotedString))
        RaiseFound(20283, "Date string expected \"YYYY-MM-DD\", but found \"%s\" at line %d, column %d");
      if (!ReadSQLDate(FToken.Text, Value)) RaiseExpected(20284, "YYYY-MM-DD");
    } else if (Word == rwTIME) {
      if (!IsKind(tktQuotedString))
        RaiseFound(20285, "Time string expected \"HH:MM:SS\", but found \"%s\" at line %d, column %d");
      if (!ReadSQLTime(FToken.Text, Value)) RaiseExpected(20286, "HH:MM:SS");
    } else {
      if (!IsKind(tktQuotedString))
        RaiseFound(20287,
                   "Timestamp string expected \"YYYY-MM-DD HH:MM:SS\", but found \"%s\" at line %d, column %d");
      if (!ReadSQLTimestamp(FToken.Text, Value)) RaiseExpected(20288, "YYYY-MM-DD HH:MM:SS");
    }
    std::unique_ptr<TQXLExprNodeConst> Node;
    if (Building()) {
      Node = std::make_unique<TQXLExprNodeConst>();
      Node->Value().Assign(Value, true);
    }
    Next();
    return Success(std::move(Node), TConstKind::NonNumeric);
  }
  if (T.TokenType == tktParameter && T.ParamValue && !T.ParamValue->IsNull()) {
    const TQXLVariant& P = *T.ParamValue;
    // Dates are date values and Booleans Boolean literals, not primaries.
    if (P.IsDateTimeDataType() || P.DataType() == bftLogical) return Fail();
    std::unique_ptr<TQXLExprNodeConst> Node;
    if (Building()) {
      Node = std::make_unique<TQXLExprNodeConst>();
      Node->Value().Assign(P, true);
    }
    Next();
    return Success(std::move(Node), KindOfType(P.DataType()));
  }
  return Fail();
}

TParsed TQXLExprParser::ColumnReference() {
  const TToken First = FToken;
  const bool Name = (First.TokenType == tktString && !IsOperatorWord(First)) ||
                    First.TokenType == tktBracketedString || First.TokenType == tktReservedWord;
  if (!Name) return Fail();
  std::string TableName, FieldName = First.Text;
  Next();
  if (IsKind(tktDot)) {
    Next();
    if (IsKind(tktNone)) return Fail();
    TableName = First.Text;
    FieldName = FToken.Text;
    Next();
  }
  // A keyword is no column, and a name followed by "(" is a function.
  if (IsReservedWord(First, rwNone) || IsKind(tktLeftParenthesis)) return Fail();
  // Bound to a cursor, the reference looks its column up when it is made, so
  // an unknown column is reported where plain backtracking meets it: before
  // any later syntax error.
  auto Field = E.LCursor || Building() ? std::make_unique<TQXLExprNodeField>(E.LCursor, FieldName, TableName)
                                       : nullptr;
  return Success(Building() ? std::move(Field) : nullptr);
}

TParsed TQXLExprParser::ParenthesisedValue() {
  if (!IsKind(tktLeftParenthesis)) return Fail();
  Next();
  TParsed Inner = ValueExpression();
  if (!Inner || !IsKind(tktRightParenthesis)) return Fail();
  Next();
  return Inner;
}

TParsed TQXLExprParser::DateValue() {
  return Production(pDateValue, 0, [this](std::int8_t) -> TParsed {
    TQXLDataOperator Op = doUNDEFINED;
    if (IsKeyword(rwSYSDATE) || IsKeyword(rwNOW) || IsKeyword(rwCURRENT_TIMESTAMP))
      Op = doSYSDATE;
    else if (IsKeyword(rwCURRENT_TIME))
      Op = doCURRENT_TIME;
    else if (IsKeyword(rwCURRENT_DATE))
      Op = doCURRENT_DATE;
    if (Op != doUNDEFINED) {
      Next();
      return Success(Building() ? std::make_unique<TQXLExprNodeDateFunction>(Op, true, false) : nullptr);
    }
    if (IsKeyword(rwTODATE)) return ToDate();
    if (IsKind(tktParameter) && FToken.ParamValue && !FToken.ParamValue->IsNull() &&
        FToken.ParamValue->IsDateTimeDataType()) {
      std::unique_ptr<TQXLExprNodeConst> Node;
      if (Building()) {
        Node = std::make_unique<TQXLExprNodeConst>();
        Node->Value().Assign(*FToken.ParamValue, true);
      }
      Next();
      return Success(std::move(Node), TConstKind::NonNumeric);
    }
    return Fail();
  });
}

TParsed TQXLExprParser::StringLevel() {
  return Production(pStringLevel, 0, [this](std::int8_t) -> TParsed {
    TParsed First = StringOperand();
    if (!First) return Fail();
    if (!IsWord("||") && !IsWord("+")) return First;
    std::unique_ptr<TQXLExprNodeStringFunction> Concat;
    if (Building()) {
      Concat = std::make_unique<TQXLExprNodeStringFunction>(doCONCAT, true, false);
      Concat->AddChild(std::move(First.Node));
    }
    while (IsWord("||") || IsWord("+")) {
      Next();
      // An operand that does not parse after the operator is left out.
      TParsed More = StringOperand();
      if (More && Concat) Concat->AddChild(std::move(More.Node));
    }
    return Success(std::move(Concat));
  });
}

TParsed TQXLExprParser::StringOperand() {
  return Production(pStringOperand, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only, [this] { return Primary(); }, [this] { return StringFunction(); }, [this] { return DateValue(); });
  });
}

TParsed TQXLExprParser::MimeToBin() {
  if (!IsKeyword(rwMIMETOBIN)) return Fail();
  Next();
  Expect(IsKind(tktLeftParenthesis), 30479, "(");
  if (!IsKind(tktQuotedString))
    RaiseFound(30480, "String argument expected for function 'MimeToBin()', but '%s' found at line %d, column %d");
  std::unique_ptr<TQXLExprNodeConst> Text;
  if (Building()) {
    Text = std::make_unique<TQXLExprNodeConst>();
    Text->Value().SetAsAnsiString(FToken.Text);
  }
  Next();
  Expect(IsKind(tktRightParenthesis), 30481, ")");
  return Success(Building() ? std::make_unique<TQXLExprNodeBlob>(std::move(Text)) : nullptr);
}

}  // namespace qxl
