// Search conditions: OR, AND, NOT, truth tests and the predicates, with the
// parse-time decisions on NULL logic, NULL rewrites and prefix matches.
#include "engine/sql/grammar/QXLExprParserProductions.h"

namespace qxl {

namespace {

std::unique_ptr<TQXLExprNode> Boolean1(TQXLDataOperator Op, std::unique_ptr<TQXLExprNode> Child) {
  return std::make_unique<TQXLExprNodeBoolean>(Op, std::move(Child), true, false);
}

bool IsTextOrDateType(const TQXLVariant& V) {
  return V.IsStringDataType() || V.IsWideStringDataType() || V.IsDateTimeDataType();
}

// The number of characters of UTF-8 text.
std::size_t CharacterCount(const std::string& Text) {
  std::size_t N = 0;
  for (char Ch : Text)
    if ((static_cast<unsigned char>(Ch) & 0xC0) != 0x80) ++N;
  return N;
}

}  // namespace

TParsed TQXLExprParser::SearchCondition() {
  return Production(pSearchCondition, 0, [this](std::int8_t) -> TParsed {
    TParsed First = AndTerm();
    if (!First) return Fail();
    std::unique_ptr<TQXLExprNode> Tree = std::move(First.Node);
    while (IsKeyword(rwOR)) {
      Next();
      TParsed More = AndTerm();
      if (!More) RaiseFound(30070, "Boolean expression expected, but '%s' found at line %d, column %d");
      if (Building())
        Tree = std::make_unique<TQXLExprNodeBoolean>(doOR, std::move(Tree), std::move(More.Node), true, false);
    }
    return Success(std::move(Tree));
  });
}

TParsed TQXLExprParser::AndTerm() {
  return Production(pAndTerm, 0, [this](std::int8_t) -> TParsed {
    TParsed First = NotTerm();
    if (!First) return Fail();
    if (!IsKeyword(rwAND)) return First;
    std::unique_ptr<TQXLExprNodeBoolean> Group;
    if (Building()) {
      Group = std::make_unique<TQXLExprNodeBoolean>(doAND, true, false, std::string());
      Group->AddChild(std::move(First.Node));
    }
    while (IsKeyword(rwAND)) {
      Next();
      TParsed More = NotTerm();
      if (!More) RaiseFound(30069, "Boolean expression expected, but '%s' found at line %d, column %d");
      if (Group) Group->AddChild(std::move(More.Node));
    }
    return Success(std::move(Group));
  });
}

TParsed TQXLExprParser::NotTerm() {
  return Production(pNotTerm, 0, [this](std::int8_t) -> TParsed {
    if (!IsKeyword(rwNOT)) return TruthTest();
    Next();
    // One NOT only: NOT NOT x does not parse.
    TParsed Term = TruthTest();
    if (!Term) return Fail();
    return Success(Building() ? Boolean1(doNOT, std::move(Term.Node)) : nullptr);
  });
}

TParsed TQXLExprParser::TruthTest() {
  return Production(pTruthTest, 0, [this](std::int8_t) -> TParsed {
    TParsed P = BooleanPrimary();
    if (!P || !IsKeyword(rwIS)) return P;
    Next();
    const bool Negated = IsKeyword(rwNOT);
    if (Negated) Next();
    TQXLDataOperator Wrap = doUNDEFINED;
    if (IsKeyword(rwTRUE))
      Wrap = Negated ? doNOT : doUNDEFINED;
    else if (IsKeyword(rwFALSE))
      Wrap = Negated ? doUNDEFINED : doNOT;
    else if (IsKeyword(rwUNKNOWN))
      Wrap = Negated ? doISNOTNULL : doISNULL;
    else
      RaiseExpected(30067, "TRUE, FALSE or UNKNOWN");
    Next();
    if (Building() && Wrap != doUNDEFINED) P.Node = Boolean1(Wrap, std::move(P.Node));
    return Success(std::move(P.Node));
  });
}

TParsed TQXLExprParser::BooleanPrimary() {
  return Production(pBooleanPrimary, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only, [this] { return Predicate(); },
        [this]() -> TParsed {
          if (!IsKind(tktLeftParenthesis)) return Fail();
          Next();
          TParsed Inner = SearchCondition();
          if (!Inner) return Fail();
          Next();  // its closing parenthesis: the lexer has checked the balance
          return Success(std::move(Inner.Node));
        },
        [this] { return Operand(); });
  });
}

TParsed TQXLExprParser::Predicate() {
  return Production(pPredicate, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only, [this] { return BooleanLiteral(); }, [this] { return QuantifiedComparison(); },
        [this] { return Comparison(); }, [this] { return LikePredicate(); }, [this] { return IsNullPredicate(); },
        [this] { return BetweenPredicate(); }, [this] { return InPredicate(); }, [this] { return ExistsPredicate(); });
  });
}

TParsed TQXLExprParser::BooleanLiteral() {
  const bool IsParameter = IsKind(tktParameter) && FToken.ParamValue && !FToken.ParamValue->IsNull() &&
                           FToken.ParamValue->DataType() == bftLogical;
  if (!IsKeyword(rwTRUE) && !IsKeyword(rwFALSE) && !IsParameter) return Fail();
  std::unique_ptr<TQXLExprNodeConst> Node;
  if (Building()) {
    Node = std::make_unique<TQXLExprNodeConst>();
    if (IsParameter)
      Node->Value().Assign(*FToken.ParamValue, true);
    else
      Node->Value().SetAsBoolean(IsKeyword(rwTRUE));
  }
  Next();
  return Success(std::move(Node), TConstKind::NonNumeric);
}

namespace {
TQXLDataOperator ComparisonOperatorOf(const TToken& T) {
  if (T.TokenType != tktString) return doUNDEFINED;
  if (T.Text == "=") return doEQ;
  if (T.Text == "<>") return doNE;
  if (T.Text == ">") return doGT;
  if (T.Text == "<") return doLT;
  if (T.Text == ">=") return doGE;
  if (T.Text == "<=") return doLE;
  return doUNDEFINED;
}
}  // namespace

TParsed TQXLExprParser::QuantifiedComparison() {
  TParsed Left = Operand();
  if (!Left) return Fail();
  const TQXLDataOperator Op = ComparisonOperatorOf(FToken);
  if (Op == doUNDEFINED) return Fail();
  Next();
  if (!IsKeyword(rwALL) && !IsKeyword(rwANY) && !IsKeyword(rwSOME)) return Fail();
  const TQXLQuantifier Quantifier = IsKeyword(rwALL) ? qALL : qANY;
  Next();
  TParsed Right = SubqueryOperand(SubqueryAnyRowsOneColumn);
  if (!Right) return Fail();
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeComparison>(Op, Quantifier, std::move(Left.Node), std::move(Right.Node),
                                                          E.F3ValueLogic, E.FCaseInsensitive, E.FPartialKey));
}

TParsed TQXLExprParser::Comparison() {
  TParsed Left = Operand();
  if (!Left) return Fail();
  const TQXLDataOperator Op = ComparisonOperatorOf(FToken);
  if (Op == doUNDEFINED) return Fail();
  Next();
  TParsed Right = Operand();
  if (!Right) return Fail();
  if (!Building()) return Success(nullptr);
  return Success(BuildComparison(Op, std::move(Left.Node), std::move(Right.Node)));
}

std::unique_ptr<TQXLExprNode> TQXLExprParser::BuildComparison(TQXLDataOperator Op, std::unique_ptr<TQXLExprNode> Left,
                                                              std::unique_ptr<TQXLExprNode> Right) {
  auto* LeftConst = dynamic_cast<TQXLExprNodeConst*>(Left.get());
  auto* RightConst = dynamic_cast<TQXLExprNodeConst*>(Right.get());

  bool PartialKey = false;
  bool LeftLostStar = false;
  if (E.FPartialKey) {
    for (TQXLExprNodeConst* Side : {LeftConst, RightConst}) {
      if (!Side || Side->Value().IsNull() ||
          !(Side->Value().IsStringDataType() || Side->Value().IsWideStringDataType()))
        continue;
      std::u16string Text = Side->Value().GetAsWideString();
      if (Text.empty() || Text.back() != u'*') continue;
      Text.pop_back();
      const TQXLBaseFieldType Type = Side->Value().DataType();
      Side->Value().Clear(Type);
      if (!Text.empty()) Side->Value().SetAsWideString(Text);
      if (Type != bftWideChar && Type != bftWideVarchar) Side->Value().TryToReduceWideStringToAnsiString();
      PartialKey = true;
      if (Side == LeftConst) LeftLostStar = true;
    }
  }
  // A prefix match compares over the right operand's length, so the prefix
  // must stand on the right: 'Sm*' = Name reads as Name = 'Sm*'.
  if (LeftLostStar && !RightConst) {
    std::swap(Left, Right);
    std::swap(LeftConst, RightConst);
    Op = MirrorComparisonOperator(Op);
  }

  const bool LeftField = dynamic_cast<TQXLExprNodeField*>(Left.get()) != nullptr;
  const bool RightField = dynamic_cast<TQXLExprNodeField*>(Right.get()) != nullptr;
  // Col = '' and a NULL text or date parameter ask whether Col is NULL.
  const TQXLExprNodeConst* Constant = LeftField ? RightConst : RightField ? LeftConst : nullptr;
  if (Constant && (Op == doEQ || Op == doNE) && Constant->Value().IsNull() && IsTextOrDateType(Constant->Value()))
    return Boolean1(Op == doEQ ? doISNULL : doISNOTNULL, std::move(LeftField ? Left : Right));

  // Two-valued logic where one side is a column and the other a NULL, text or
  // date constant, or where a text meets a value that is NULL at parse time.
  bool TwoValued = Constant && (Constant->Value().IsNull() || IsTextOrDateType(Constant->Value()));
  static const TQXLVariant Unevaluated;
  const TQXLVariant& L = LeftConst ? LeftConst->Value() : Unevaluated;
  const TQXLVariant& R = RightConst ? RightConst->Value() : Unevaluated;
  const auto IsText = [](const TQXLVariant& V) { return V.IsStringDataType() || V.IsWideStringDataType(); };
  if ((IsText(L) && R.IsNull()) || (IsText(R) && L.IsNull())) TwoValued = true;

  return std::make_unique<TQXLExprNodeComparison>(Op, std::move(Left), std::move(Right), !TwoValued,
                                                  E.FCaseInsensitive, PartialKey);
}

TParsed TQXLExprParser::LikePredicate() {
  TParsed Value = Operand();
  if (!Value) return Fail();
  const bool Negated = IsKeyword(rwNOT);
  if (Negated) Next();
  if (!IsKeyword(rwLIKE)) return Fail();
  Next();
  TParsed Pattern = Operand();
  if (!Pattern) return Fail();
  bool HasEscape = false;
  std::string Escape;
  if (IsKeyword(rwESCAPE)) {
    Next();
    HasEscape = true;
    Escape = IsKind(tktParameter) && FToken.ParamValue ? FToken.ParamValue->GetAsAnsiString() : FToken.Text;
    if (FToken.TokenType == tktNone || CharacterCount(Escape) != 1)
      Raise(20294, "Invalid escape character length (should be a single character) at line %d, column %d");
    Next();
  }
  if (!Building()) return Success(nullptr);
  auto* PatternConst = dynamic_cast<TQXLExprNodeConst*>(Pattern.Node.get());
  if (!HasEscape && PatternConst && PatternConst->IsLikePatternEqualToPartialComparePattern()) {
    PatternConst->TruncateForPartialCompare();
    return Success(std::make_unique<TQXLExprNodeComparison>(Negated ? doNE : doEQ, std::move(Value.Node),
                                                            std::move(Pattern.Node), false, E.FCaseInsensitive,
                                                            true));
  }
  auto Like = std::make_unique<TQXLExprNodeBoolean>(Negated ? doNOTLIKE : doLIKE, E.FCaseInsensitive, false, Escape);
  Like->AddChild(std::move(Value.Node));
  Like->AddChild(std::move(Pattern.Node));
  return Success(std::move(Like));
}

TParsed TQXLExprParser::IsNullPredicate() {
  TParsed Value = Operand();
  if (!Value || !IsKeyword(rwIS)) return Fail();
  Next();
  const bool Negated = IsKeyword(rwNOT);
  if (Negated) Next();
  if (!IsKeyword(rwNULL)) return Fail();
  Next();
  return Success(Building() ? Boolean1(Negated ? doISNOTNULL : doISNULL, std::move(Value.Node)) : nullptr);
}

TParsed TQXLExprParser::BetweenPredicate() {
  TParsed Value = Operand();
  if (!Value) return Fail();
  const bool Negated = IsKeyword(rwNOT);
  if (Negated) Next();
  if (!IsKeyword(rwBETWEEN)) return Fail();
  Next();
  TParsed Low = Operand();
  if (!Low || !IsKeyword(rwAND)) return Fail();
  Next();
  TParsed High = Operand();
  if (!High) return Fail();
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeBoolean>(Negated ? doNOTBETWEEN : doBETWEEN, std::move(Value.Node),
                                                       std::move(Low.Node), std::move(High.Node), true, false));
}

TParsed TQXLExprParser::InPredicate() {
  TParsed Value = Operand();
  if (!Value) return Fail();
  const bool Negated = IsKeyword(rwNOT);
  if (Negated) Next();
  if (!IsKeyword(rwIN)) return Fail();
  Next();
  if (!IsKind(tktLeftParenthesis)) return Fail();
  Next();
  if (IsKeyword(rwSELECT)) {
    TParsed Subquery = SubqueryAt(SubqueryAnyRowsOneColumn);
    if (IsKind(tktRightParenthesis)) Next();
    if (!Building()) return Success(nullptr);
    return Success(std::make_unique<TQXLExprNodeBoolean>(Negated ? doNOTIN : doIN, std::move(Value.Node),
                                                         std::move(Subquery.Node), true, false));
  }
  std::vector<std::unique_ptr<TQXLExprNode>> Items;
  for (;;) {
    TParsed Item = ValueExpression();
    if (!Item) return Fail();
    Items.push_back(std::move(Item.Node));
    if (IsKind(tktRightParenthesis)) break;
    if (IsKind(tktComma)) Next();
  }
  Next();
  if (!Building()) return Success(nullptr);
  auto In = std::make_unique<TQXLExprNodeBoolean>(Negated ? doNOTIN : doIN, true, false, std::string());
  In->AddChild(std::move(Value.Node));
  for (auto& Item : Items) In->AddChild(std::move(Item));
  return Success(std::move(In));
}

TParsed TQXLExprParser::ExistsPredicate() {
  if (!IsKeyword(rwEXISTS)) return Fail();
  if (!SubqueriesAvailable()) RaiseUnavailable("EXISTS");
  Next();
  std::int32_t Opened = 0;
  for (; IsKind(tktLeftParenthesis); ++Opened) Next();
  TParsed Subquery = SubqueryAt(SubqueryAnyRowsAnyColumns);
  for (; Opened > 0; --Opened) {
    if (!IsKind(tktRightParenthesis)) Raise(30492, "Missing symbol ')' at line %d, column %d");
    Next();
  }
  if (!Building()) return Success(nullptr);
  return Success(std::make_unique<TQXLExprNodeBoolean>(doEXISTS, std::move(Subquery.Node), true, false));
}

TParsed TQXLExprParser::Operand() {
  return Production(pOperand, 0, [this](std::int8_t Only) -> TParsed {
    return FirstOf(
        Only, [this] { return SubqueryOperand(SubqueryOneRowOneColumn); }, [this] { return NullLiteral(); },
        [this] { return ValueExpression(); });
  });
}

TParsed TQXLExprParser::SubqueryOperand(std::uint8_t Limits) {
  // Remembered per position, so that a run of "(" is walked once however
  // many operands start inside it.
  return Production(pSubqueryOperand, Limits, [this, Limits](std::int8_t) -> TParsed {
    if (IsKeyword(rwSELECT)) return SubqueryAt(Limits);
    if (!IsKind(tktLeftParenthesis)) return Fail();
    Next();
    TParsed Inner = SubqueryOperand(Limits);
    if (!Inner) return Fail();
    Next();
    return Inner;
  });
}

bool TQXLExprParser::SubqueriesAvailable() const { return dynamic_cast<TQXLSubqueryHost*>(E.LDataset) != nullptr; }

TParsed TQXLExprParser::SubqueryAt(std::uint8_t Limits) {
  // Without a query to run them for (a dataset filter) there are no subqueries.
  if (!SubqueriesAvailable()) RaiseUnavailable("Subquery");
  std::unique_ptr<TQXLExprNode> Node;
  if (Building())
    Node = std::make_unique<TQXLExprNodeSubquery>(Limits != SubqueryAnyRowsAnyColumns,
                                                  Limits == SubqueryOneRowOneColumn, E.LDataset, &L);
  else
    dynamic_cast<TQXLSubqueryHost&>(*E.LDataset).CreateSubqueryCommand(L).reset();
  // The query's parser moved the lexer past the subquery's text.
  SetPos(Pos());
  return Success(std::move(Node));
}

TParsed TQXLExprParser::NullLiteral() {
  const bool IsNullParameter = IsKind(tktParameter) && FToken.ParamValue && FToken.ParamValue->IsNull();
  if (!IsKeyword(rwNULL) && !IsNullParameter) return Fail();
  TQXLBaseFieldType Type = bftSignedInt32;
  if (IsNullParameter && FToken.ParamValue->DataType() != bftUnknown) Type = FToken.ParamValue->DataType();
  std::unique_ptr<TQXLExprNodeConst> Node;
  if (Building()) {
    Node = std::make_unique<TQXLExprNodeConst>();
    Node->Value().Clear(Type);
  }
  Next();
  const bool Numeric = IsNumericBaseFieldType(Type);
  return Success(std::move(Node), Numeric ? TConstKind::Numeric : TConstKind::NonNumeric);
}

}  // namespace qxl
