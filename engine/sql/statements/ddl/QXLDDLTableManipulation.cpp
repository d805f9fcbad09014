#include "engine/sql/statements/ddl/QXLDDLTableManipulation.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/grammar/QXLSQLLiterals.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

constexpr const char* UnexpectedEnd = "Unexpected end of SQL command found at line %d, column %d";
constexpr const char* FieldNameExpected = "Field name expected, but '%s' found at line %d, column %d";
constexpr const char* SymbolExpected = "')' or ',' symbol expected, but '%s' found at line %d, column %d";
constexpr const char* IntegerExpected = "Integer expected, but '%s' found at line %d, column %d";
constexpr const char* ParameterError = "Error parsing parameter '%s' at line %d, column %d";

bool NeedsLength(TQXLAdvancedFieldType Type) {
  switch (Type) {
    case aftChar:
    case aftString:
    case aftWideChar:
    case aftWideString:
    case aftBytes:
    case aftVarBytes: return true;
    default: return false;
  }
}

bool IsAutoincType(TQXLAdvancedFieldType Type) { return Type >= aftAutoInc && Type <= aftAutoIncCardinal; }

// The width a type name chooses inside AUTOINC(...); aftUnknown for a type that gives none.
TQXLAdvancedFieldType AutoincOfWidth(TQXLAdvancedFieldType Type) {
  switch (Type) {
    case aftShortint: return aftAutoIncShortint;
    case aftSmallint: return aftAutoIncSmallint;
    case aftInteger: return aftAutoInc;
    case aftLargeint: return aftAutoIncLargeint;
    case aftByte: return aftAutoIncByte;
    case aftWord: return aftAutoIncWord;
    case aftCardinal: return aftAutoIncCardinal;
    default: return IsAutoincType(Type) ? Type : aftUnknown;
  }
}

bool ReadInt64(const std::string& Text, std::int64_t& Value) {
  const char* First = Text.data();
  const char* Last = First + Text.size();
  if (First != Last && *First == '+') ++First;
  const auto [End, Error] = std::from_chars(First, Last, Value);
  return Error == std::errc() && End == Last && First != Last;
}

// The words a default is evaluated from when a record is added.
bool IsCurrentTimeWord(const std::string& Upper) {
  return Upper == "NOW" || Upper == "CURRENT_TIMESTAMP" || Upper == "CURRENT_TIME" || Upper == "CURRENT_DATE" ||
         Upper == "SYSDATE";
}

bool IsFloatType(TQXLBaseFieldType Type) {
  return Type == bftSingle || Type == bftDouble || Type == bftExtended || Type == bftCurrency;
}

}  // namespace

void TQXLDDLTableManipulation::Parse() { CheckNothingLeft(); }

void TQXLDDLTableManipulation::CheckNothingLeft() {
  if (CurrentToken()) RaiseAtToken(30246, "Unexpected token '%s' found at line %d, column %d", Token);
}

void TQXLDDLTableManipulation::CheckNothingFollows() {
  if (NextToken()) RaiseAtToken(30246, "Unexpected token '%s' found at line %d, column %d", Token);
}

TToken TQXLDDLTableManipulation::PreviousToken() const {
  const std::int32_t No = LLex->GetCurrentTokenNo();
  const TSQLCommand& Command = LLex->Command(LLex->CurrentCommandNo());
  if (No <= 0 || Command.Tokens.empty()) return Token;
  return Command.Tokens[static_cast<std::size_t>(std::min(No, Command.NumTokens()) - 1)];
}

void TQXLDDLTableManipulation::NextTokenOrEnd(std::int32_t Code) {
  if (!NextToken()) RaiseAtPosition(Code, UnexpectedEnd, PreviousToken());
}

void TQXLDDLTableManipulation::ParseTableReference() {
  TQXLTableNameParts Parts = ParseTableName();
  DatabaseName = std::move(Parts.DatabaseName);
  TableName = std::move(Parts.TableName);
  if (Parts.InMemory) IntoMemory = true;
  Password = std::move(Parts.Password);
  TableAlias = std::move(Parts.Alias);
}

void TQXLDDLTableManipulation::ParseColumnList() {
  if (!CurrentToken() || Token.TokenType != tktLeftParenthesis) RaiseExpected(30226, "(", Token);
  for (;;) {
    ExpectNextToken(NameOrKeywordKinds, 30227, FieldNameExpected);
    if (TokenIsKeyword(rwPRIMARY))
      ParseIndexItem(true, false);
    else if (TokenIsKeyword(rwUNIQUE))
      ParseIndexItem(false, true);
    else if (TokenIsKeyword(rwINDEX))
      ParseIndexItem(false, false);
    else
      ParseColumn();
    // Each item ends on the "," or ")" after it.
    if (Token.TokenType == tktRightParenthesis) return;
  }
}

void TQXLDDLTableManipulation::ParseIndexItem(bool Primary, bool Unique) {
  TQXLIndexEntry Entry;
  Entry.Primary = Primary;
  Entry.Unique = Unique;
  if (Primary) {
    ExpectNextToken(0, 0, nullptr);
    if (TokenIsKeyword(rwKEY)) ExpectNextToken(0, 0, nullptr);
  } else {
    if (Unique) {
      ExpectNextToken(TokenTypeBit(tktReservedWord), 30267,
                      "'INDEX' keyword expected, but '%s' found at line %d, column %d");
      if (!TokenIsKeyword(rwINDEX))
        RaiseAtToken(30268, "'INDEX' keyword expected, but '%s' found at line %d, column %d", Token);
    }
    ExpectNextToken(0, 0, nullptr);
  }
  if (Token.TokenType != tktLeftParenthesis) {
    if (!TokenIs(NameOrKeywordKinds))
      RaiseAtToken(30269, "index name expected, but '%s' found at line %d, column %d", Token);
    Entry.IndexName = Token.Text;
    ExpectNextToken(0, 0, nullptr);
    if (Token.TokenType != tktLeftParenthesis) RaiseExpected(30226, "(", Token);
  }
  ParseIndexColumns(Entry.IndexFields);
  Indexes.push_back(std::move(Entry));
  NextTokenOrEnd(30161);
  if (Token.TokenType != tktComma && Token.TokenType != tktRightParenthesis)
    RaiseAtToken(30229, SymbolExpected, Token);
}

void TQXLDDLTableManipulation::ParseIndexColumns(std::vector<TQXLIndexField>& Fields) {
  for (;;) {
    NextTokenOrEnd(30333);
    if (!TokenIs(NameOrKeywordKinds)) RaiseAtToken(30274, FieldNameExpected, Token);
    TQXLIndexField Field;
    Field.FieldName = Token.Text;
    for (;;) {
      NextTokenOrEnd(30333);
      if (TokenIsKeyword(rwASC))
        Field.desc = false;
      else if (TokenIsKeyword(rwDESC))
        Field.desc = true;
      else if (TokenIsKeyword(rwNOCASE))
        Field.nocase = true;
      else if (TokenIsKeyword(rwCASE))
        Field.nocase = false;
      else
        break;
    }
    Fields.push_back(std::move(Field));
    if (Token.TokenType == tktRightParenthesis) return;
    if (Token.TokenType != tktComma) RaiseAtToken(30229, SymbolExpected, Token);
  }
}

void TQXLDDLTableManipulation::ParseColumn() {
  TSQLFieldDef& Def = SQLFieldDefs.AddCreated();
  if (TokenIsKeyword(rwIF)) {
    ExpectNextToken(0, 0, nullptr);
    if (!TokenIsKeyword(rwNOT)) RaiseExpected(30488, "NOT", Token);
    ExpectNextToken(0, 0, nullptr);
    if (!TokenIsKeyword(rwEXISTS)) RaiseExpected(30489, "EXISTS", Token);
    ExpectNextToken(NameOrKeywordKinds, 30227, FieldNameExpected);
    Def.CreateIfNotExists = true;
  }
  Def.FieldName = Token.Text;
  ParseTypeClause(Def);
  ParseColumnOptions(Def);
}

void TQXLDDLTableManipulation::ParseTypeClause(TSQLFieldDef& Def) {
  ExpectNextToken(TokenTypeBit(tktString) | TokenTypeBit(tktBracketedString) | TokenTypeBit(tktReservedWord), 30228,
                  "Field type expected, but '%s' found at line %d, column %d");
  Def.FieldType = FieldTypeBySqlName(Token.Text);
  if (Def.FieldType == aftUnknown)
    throw EQXLException(30232, "Unknown field type '%s' at line %d, column %d",
                        {Token.Text, Token.LineNum, Token.ColumnNum});
  Def.newFieldType = true;
  if (NeedsLength(Def.FieldType)) {
    ExpectNextToken(TokenTypeBit(tktLeftParenthesis), 30233,
                    "'(' symbol expected, but '%s' found at line %d, column %d");
    ExpectNextToken(TokenTypeBit(tktInt), 30235, "Decimal constant expected, but '%s' found at line %d, column %d");
    std::int64_t Length = 0;
    if (!ReadInt64(Token.Text, Length) || Length > std::numeric_limits<std::int32_t>::max())
      RaiseAtToken(30235, "Decimal constant expected, but '%s' found at line %d, column %d", Token);
    Def.Length = static_cast<std::int32_t>(Length);
    Def.newLength = true;
    ExpectNextToken(TokenTypeBit(tktRightParenthesis), 30236, SymbolExpected);
  }
  if (IsAutoincType(Def.FieldType)) {
    TToken Next;
    if (LLex->LookNextToken(Next) && Next.TokenType == tktLeftParenthesis) {
      NextToken();
      ParseAutoincParameters(Def);
    }
  }
}

std::int64_t TQXLDDLTableManipulation::ReadIntegerParameter(std::int32_t EndCode) {
  NextTokenOrEnd(EndCode);
  if (Token.TokenType != tktInt) RaiseAtToken(30292, IntegerExpected, Token);
  std::int64_t Value = 0;
  if (!ReadInt64(Token.Text, Value)) RaiseAtToken(30291, IntegerExpected, Token);
  return Value;
}

void TQXLDDLTableManipulation::ParseAutoincParameters(TSQLFieldDef& Def) {
  NextTokenOrEnd(30290);
  while (Token.TokenType != tktRightParenthesis) {
    if (Token.TokenType == tktComma) {
      NextTokenOrEnd(30290);
      continue;
    }
    if (TokenIsKeyword(rwINCREMENT)) {
      Def.AutoincIncrement = ReadIntegerParameter(30290);
      Def.newAutoincIncrement = true;
    } else if (TokenIsKeyword(rwINITIALVALUE) || TokenIsKeyword(rwSTARTVALUE)) {
      Def.AutoincLastValue = ReadIntegerParameter(30290);
      Def.newAutoincLastValue = true;
    } else if (TokenIsKeyword(rwMINVALUE)) {
      Def.AutoincMinValue = ReadIntegerParameter(30290);
      Def.newAutoincMinValue = true;
    } else if (TokenIsKeyword(rwMAXVALUE)) {
      Def.AutoincMaxValue = ReadIntegerParameter(30290);
      Def.newAutoincMaxValue = true;
    } else if (TokenIsKeyword(rwNOMINVALUE)) {
      Def.AutoincMinValue = 0;
      Def.newAutoincMinValue = true;
    } else if (TokenIsKeyword(rwNOMAXVALUE)) {
      Def.AutoincMaxValue = std::numeric_limits<std::int64_t>::max();
      Def.newAutoincMaxValue = true;
    } else if (TokenIsKeyword(rwCYCLED)) {
      Def.AutoincCycled = true;
      Def.newAutoincCycled = true;
    } else if (TokenIsKeyword(rwNOCYCLED)) {
      Def.AutoincCycled = false;
      Def.newAutoincCycled = true;
    } else {
      const TQXLAdvancedFieldType Named = Token.TokenType == tktString || Token.TokenType == tktReservedWord
                                              ? FieldTypeBySqlName(Token.Text)
                                              : aftUnknown;
      if (Def.FieldType != aftAutoInc || Named == aftUnknown)
        RaiseAtToken(30294, "Unexpected token '%s' found at line %d, column %d", Token);
      const TQXLAdvancedFieldType Width = AutoincOfWidth(Named);
      if (Width == aftUnknown)
        RaiseAtToken(30295, "Unsupported Autoinc DataType (%s) found at line %d, column %d", Token);
      Def.FieldType = Width;
    }
    NextTokenOrEnd(30290);
  }
}

void TQXLDDLTableManipulation::NextOptionToken() {
  NextTokenOrEnd(30161);
  if (!TokenIs(NameOrKeywordKinds | TokenTypeBit(tktComma) | TokenTypeBit(tktRightParenthesis)))
    RaiseAtToken(30229, SymbolExpected, Token);
}

void TQXLDDLTableManipulation::ParseColumnOptions(TSQLFieldDef& Def) {
  NextOptionToken();
  while (Token.TokenType != tktComma && Token.TokenType != tktRightParenthesis) {
    if (TokenIsKeyword(rwNOT)) {
      const TToken Not = Token;
      if (!NextToken()) RaiseAtPosition(30161, UnexpectedEnd, Not);
      if (Token.TokenType != tktReservedWord) RaiseAtPosition(30237, UnexpectedEnd, Token);
      if (!TokenIsKeyword(rwNULL))
        RaiseAtToken(2011, "'NULL' expected (for NOT NULL), but '%s' found at line %d, column %d", Token);
      Def.Required = true;
      Def.newRequired = true;
    } else if (TokenIsKeyword(rwNULL)) {
      Def.Required = false;
      Def.newRequired = true;
    } else if (TokenIsKeyword(rwBLOBBLOCKSIZE)) {
      const std::int64_t Size = ReadIntegerParameter(30161);
      if (Size < 0 || Size > std::numeric_limits<std::int32_t>::max()) RaiseAtToken(30291, IntegerExpected, Token);
      Def.BlobBlockSize = static_cast<std::int32_t>(Size);
      Def.newBlobBlockSize = true;
    } else if (TokenIsKeyword(rwBLOBCOMPRESSIONMODE)) {
      const std::int64_t Mode = ReadIntegerParameter(30161);
      if (Mode < 0 || Mode > 255) RaiseAtToken(30291, IntegerExpected, Token);
      Def.BlobCompressionMode = static_cast<std::uint8_t>(Mode);
      Def.newBlobCompressionMode = true;
    } else if (TokenIsKeyword(rwBLOBCOMPRESSIONALGORITHM)) {
      NextTokenOrEnd(30161);
      const std::string Name = platform::UpperCaseAscii(Token.Text);
      Def.BlobCompressionAlgorithm = acaNone;
      for (std::size_t I = 0; I < CompressionAlgorithmNames.size(); ++I)
        if (Name == CompressionAlgorithmNames[I]) Def.BlobCompressionAlgorithm = static_cast<TQXLCompressionAlgorithm>(I);
      Def.newBlobCompressionAlgorithm = true;
    } else if (TokenIsKeyword(rwDEFAULT)) {
      ParseDefault(Def);
      // An expression default ends on the token after it.
      if (!CurrentToken()) RaiseAtPosition(30161, UnexpectedEnd, PreviousToken());
      if (!TokenIs(NameOrKeywordKinds | TokenTypeBit(tktComma) | TokenTypeBit(tktRightParenthesis)))
        RaiseAtToken(30229, SymbolExpected, Token);
      continue;
    } else if (TokenIsKeyword(rwMINVALUE)) {
      ReadBound(Def.MinValue);
      Def.newMinValue = true;
    } else if (TokenIsKeyword(rwMAXVALUE)) {
      ReadBound(Def.MaxValue);
      Def.newMaxValue = true;
    } else if (TokenIsKeyword(rwNOMINVALUE)) {
      Def.MinValue.Clear();
      Def.newMinValue = true;
    } else if (TokenIsKeyword(rwNOMAXVALUE)) {
      Def.MaxValue.Clear();
      Def.newMaxValue = true;
    } else if (TokenIsKeyword(rwPRIMARY) || TokenIsKeyword(rwUNIQUE)) {
      TQXLIndexEntry Entry;
      Entry.Primary = TokenIsKeyword(rwPRIMARY);
      Entry.Unique = !Entry.Primary;
      Entry.IndexFields.push_back(TQXLIndexField{Def.FieldName, false, false});
      Indexes.push_back(std::move(Entry));
      TToken Next;
      if (IsReservedWord(Token, rwPRIMARY) && LLex->LookNextToken(Next) && IsReservedWord(Next, rwKEY)) NextToken();
    }
    // Any other word is passed over.
    NextOptionToken();
  }
}

void TQXLDDLTableManipulation::ParseDefault(TSQLFieldDef& Def) {
  NextTokenOrEnd(30161);
  if (Def.newDefaultValue)
    throw EQXLException(30299, "default value for column '%s' declared twice", {Def.FieldName});
  Def.newDefaultValue = true;
  Def.DefaultValue.Clear();
  const std::string Upper = platform::UpperCaseAscii(Token.Text);
  if (TokenIs(NameOrKeywordKinds) && IsCurrentTimeWord(Upper)) {
    Def.DefaultValue.SetAsAnsiString(Upper);
    NextToken();
    return;
  }
  if (Token.TokenType == tktQuotedString) {
    // Kept as the string literal it reads back as; a double quote inside is doubled.
    std::string Literal = "\"";
    for (char Ch : Token.Text) {
      if (Ch == '"') Literal += '"';
      Literal += Ch;
    }
    Literal += '"';
    Def.DefaultValue.SetAsWideString(platform::Utf8ToWide(Literal));
    NextToken();
    return;
  }
  const TToken Start = Token;
  TQXLExpression Expr;
  Expr.FInMemory = LQuery && LQuery->InMemory();
  Expr.ParseForValueExpression(LQuery, LLex);
  CurrentToken();
  if (Expr.IsEmpty()) RaiseAtToken(30297, ParameterError, Start);
  try {
    const TQXLVariant* Value = Expr.GetValue(true);
    if (!Value || Value->IsNull()) return;
    // The default keeps the type of its value: a number stays a number and
    // a date a date, so that no text conversion stands between them.
    if (Value->IsStringDataType()) {
      const std::u16string Text = Value->GetAsWideString();
      if (!Text.empty()) Def.DefaultValue.SetAsWideString(Text);
    } else if (IsFloatType(Value->DataType())) {
      Def.DefaultValue.SetAsDouble(Value->GetAsDouble());
    } else if (Value->IsNumericDataType()) {
      Def.DefaultValue.SetAsInt64(Value->GetAsInt64());
    } else {
      Def.DefaultValue.Assign(*Value, true);
    }
  } catch (const platform::Exception&) {
    RaiseAtToken(30297, ParameterError, Start);
  }
}

void TQXLDDLTableManipulation::ReadBound(TQXLVariant& Value) {
  NextTokenOrEnd(30161);
  Value.Clear();
  bool Negative = false;
  if (Token.TokenType == tktString && (Token.Text == "-" || Token.Text == "+")) {
    Negative = Token.Text == "-";
    NextTokenOrEnd(30161);
    if (Token.TokenType != tktInt && Token.TokenType != tktFloat) RaiseAtToken(30292, IntegerExpected, Token);
  }
  if (Token.TokenType == tktQuotedString) {
    // A bound of a text or date column.
    SetSQLStringConstant(Value, Token.Text);
    return;
  }
  if (Token.TokenType == tktFloat) {
    double Number = 0;
    if (!ReadSQLFloat(Token.Text, Number)) RaiseAtToken(30292, IntegerExpected, Token);
    Value.SetAsDouble(Negative ? -Number : Number);
    return;
  }
  std::int64_t Number = 0;
  const std::string Text = Negative ? "-" + Token.Text : Token.Text;
  if (!ReadInt64(Text, Number)) RaiseAtToken(30291, IntegerExpected, Token);
  Value.SetAsInt64(Number);
}

std::unique_ptr<TQXLStatementTable> TQXLDDLTableManipulation::MakeStatementTable(TQXLDataSet* Query) const {
  return std::make_unique<TQXLStatementTable>(Query, DatabaseName, TableName, Password, IntoMemory);
}

void TQXLDDLTableManipulation::AddColumnDefs(TQXLAdvFieldDefs& Defs) const {
  for (const auto& Def : SQLFieldDefs.List) Def->ApplyTo(Defs.AddFieldDef());
}

}  // namespace qxl
