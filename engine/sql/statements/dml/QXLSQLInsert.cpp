#include "engine/sql/statements/dml/QXLSQLInsert.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/QXLSQLSelect.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"
#include "engine/sql/statements/dml/QXLTableWriteLock.h"
#include "engine/sql/statements/dml/QXLStoreValueInField.h"

namespace qxl {

namespace {

constexpr const char* UnexpectedEnd = "Unexpected end of SQL command found at line %d, column %d";
constexpr const char* TableNameExpected = "Table name expected, but '%s' found at line %d, column %d";
constexpr const char* SymbolExpected = "')' or ',' symbol expected, but '%s' found at line %d, column %d";
constexpr const char* CountsDiffer =
    "Number of field names does not equal the number of field values: %d <> %d. Found at line %d, column %d";

[[noreturn]] void RaiseCountsDiffer(std::size_t Names, std::size_t Values, const TToken& At) {
  throw EQXLException(20259, CountsDiffer,
                      {static_cast<std::int32_t>(Names), static_cast<std::int32_t>(Values), At.LineNum, At.ColumnNum});
}

}  // namespace

TQXLSQLInsert::TQXLSQLInsert(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}

TQXLSQLInsert::~TQXLSQLInsert() = default;

void TQXLSQLInsert::Parse() {
  if (!CurrentToken()) throw EQXLException(30204, "Blank SQL command");
  const TToken Insert = Token;
  if (!NextToken()) RaiseAtPosition(30205, UnexpectedEnd, Insert);
  if (!TokenIsKeyword(rwINTO)) RaiseExpected(30206, "INTO", Token);
  ParseTarget();
  if (Token.TokenType == tktLeftParenthesis) {
    TToken Next;
    if (LLex->LookNextToken(Next) && IsReservedWord(Next, rwSELECT)) {
      ParseSelect();
      return;
    }
    ParseColumnNames();
  }
  if (TokenIsKeyword(rwVALUES)) {
    ParseValues();
    return;
  }
  if (Token.TokenType != tktLeftParenthesis && !TokenIsKeyword(rwSELECT)) RaiseAtPosition(30213, UnexpectedEnd, Token);
  ParseSelect();
}

void TQXLSQLInsert::ParseSelect() {
  FSelectStart = Token;
  const bool Parenthesised = Token.TokenType == tktLeftParenthesis;
  if (Parenthesised) NextToken();
  InternalSelecter = Make<TQXLSQLSelect>(*LLex, LQuery);
  if (Parenthesised) {
    if (!CurrentToken() || Token.TokenType != tktRightParenthesis)
      RaiseAtPosition(20256, "Missing symbol ')' at line %d, column %d", Token);
    NextToken();
  }
  if (CurrentToken())
    RaiseAtToken(20260, "End of SQL command expected, but '%s' found at line %d, column %d", Token);
}

void TQXLSQLInsert::ParseTarget() {
  ExpectNextToken(TableNameKinds, 30207, TableNameExpected);
  std::int32_t NameCode = 30207;
  if (TokenIsKeyword(rwMEMORY)) {
    IntoMemory = true;
    NameCode = 30208;
    ExpectNextToken(TableNameKinds, 30208, TableNameExpected);
  }
  TableName = NameOf(Token, NameCode, TableNameExpected);
  TToken Last = Token;
  if (!NextToken()) RaiseAtPosition(30209, UnexpectedEnd, Last);
  if (Token.TokenType == tktDot) {
    DatabaseFileName = TableName;
    ExpectNextToken(NameKinds | TokenTypeBit(tktParameter), 30493, TableNameExpected);
    TableName = NameOf(Token, 30493, TableNameExpected);
    Last = Token;
    if (!NextToken()) RaiseAtPosition(30209, UnexpectedEnd, Last);
  }
  if (TokenIsKeyword(rwPASSWORD)) {
    ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30210,
                    "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at line %d, column %d");
    Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    Last = Token;
    if (!NextToken()) RaiseAtPosition(30211, UnexpectedEnd, Last);
  }
}

void TQXLSQLInsert::ParseColumnNames() {
  for (;;) {
    ExpectNextToken(NameOrKeywordKinds, 2156, "Field name expected, but '%s' found at line %d, column %d");
    FieldNames.push_back(Token.Text);
    ExpectNextToken(TokenTypeBit(tktComma) | TokenTypeBit(tktRightParenthesis), 30212, SymbolExpected);
    if (Token.TokenType == tktRightParenthesis) break;
  }
  const TToken Close = Token;
  if (!NextToken()) RaiseAtPosition(30213, UnexpectedEnd, Close);
}

void TQXLSQLInsert::ParseValues() {
  ExpectNextToken(TokenTypeBit(tktLeftParenthesis), 30214, "'(' symbol expected, but '%s' found at line %d, column %d");
  for (;;) {
    const TToken Open = Token;
    std::vector<std::unique_ptr<TQXLExpression>> Row;
    for (;;) {
      const TToken Before = Token;
      if (!NextToken()) RaiseAtPosition(30203, UnexpectedEnd, Before);
      const TToken Start = Token;
      auto Value = std::make_unique<TQXLExpression>();
      Value->FInMemory = LQuery && LQuery->InMemory();
      Value->ParseForValueExpression(LQuery, LLex);
      if (Value->IsEmpty()) RaiseAtToken(30357, "Error parsing parameter '%s' at line %d, column %d", Start);
      Row.push_back(std::move(Value));
      if (!CurrentToken()) RaiseAtPosition(30203, UnexpectedEnd, Start);
      if (Token.TokenType == tktRightParenthesis) break;
      if (Token.TokenType != tktComma) RaiseAtToken(30212, SymbolExpected, Token);
    }
    // Every row must fit the column list: a row of another length would be
    // stored by position into the wrong columns.
    if (!FieldNames.empty() && FieldNames.size() != Row.size()) RaiseCountsDiffer(FieldNames.size(), Row.size(), Open);
    FieldValues.push_back(std::move(Row));
    FRowStarts.push_back(Open);
    if (!NextToken()) return;
    if (Token.TokenType != tktComma)
      RaiseAtToken(20260, "End of SQL command expected, but '%s' found at line %d, column %d", Token);
    ExpectNextToken(TokenTypeBit(tktLeftParenthesis), 30214,
                    "'(' symbol expected, but '%s' found at line %d, column %d");
  }
}

void TQXLSQLInsert::ExecSQL(TQXLDataSet* Query, bool, bool, bool& ReadOnly, TQXLAO*, TQXLCursor*) {
  RowsAffected = 0;
  if (InternalSelecter) {
    InsertSelected(Query, ReadOnly);
    return;
  }
  TQXLStatementTable Statement(Query, DatabaseFileName, TableName, Password, IntoMemory);
  Statement->Open();
  InsertValues(Statement.Table());
}

namespace {

// The copy of a SELECT result that an INSERT reads its rows from: a
// temporary table that is deleted on every way out.
class TInsertSource {
public:
  TInsertSource(TQXLDataSet* Query, TQXLDataSet& Result) {
    FTable.SetTemporary(true);
    const bool InMemory = Query && Query->InMemory();
    if (InMemory) FTable.SetInMemory(true);
    if (!InMemory && Query && Query->Database()) FTable.DisableTempFiles = Query->Database()->DisableTempFiles;
    FTable.SetTableName(UniqueNameWithGuid("TmpTableForInsert"));
    try {
      // The copy needs the rows, not the result's order.
      Result.IndexDefs().Clear();
      std::string Log;
      if (!FTable.ImportTable(Result, Log, nullptr))
        throw EQXLException(10403, "Error importing table. Cannot copy data due to error: %s\r\n", {Log});
      FTable.Open();
    } catch (...) {
      Discard();
      throw;
    }
  }
  ~TInsertSource() { Discard(); }
  TInsertSource(const TInsertSource&) = delete;
  TInsertSource& operator=(const TInsertSource&) = delete;

  TQXLTable& Table() { return FTable; }

private:
  // Closes the copy and deletes it when it was made; raises nothing.
  void Discard() noexcept {
    try {
      FTable.Close();
      if (FTable.Exists()) FTable.DeleteTable();
    } catch (...) {
      // The insertion's own outcome is the one reported.
    }
  }

  TQXLTable FTable;
};

}  // namespace

void TQXLSQLInsert::InsertSelected(TQXLDataSet* Query, bool& ReadOnly) {
  InternalSelecter->ExecSQL(Query, true, false, ReadOnly, nullptr, nullptr);
  TQXLDataSet* Result = InternalSelecter->GetResultDataset();
  if (!Result)
    throw EQXLException(10403, "Error importing table. Cannot copy data due to error: %s\r\n",
                        {std::string("the SELECT gave no result")});
  TQXLStatementTable Statement(Query, DatabaseFileName, TableName, Password, IntoMemory);
  TQXLTable& Target = Statement.Table();
  Target.Open();
  // The SELECT may give no more columns than the list names, or than the table has.
  const std::size_t Columns = static_cast<std::size_t>(Result->FieldCount());
  const std::size_t Room = FieldNames.empty() ? static_cast<std::size_t>(Target.FieldCount()) : FieldNames.size();
  if (Columns > Room) RaiseCountsDiffer(Room, Columns, FSelectStart);
  std::vector<TField*> Destinations;
  for (std::size_t I = 0; I < Columns; ++I)
    Destinations.push_back(FieldNames.empty() ? &Target.Fields(static_cast<std::int32_t>(I))
                                              : &Target.FieldByName(FieldNames[I]));

  TInsertSource Source(Query, *Result);
  TQXLTable& Rows = Source.Table();
  auto InsertRows = [&] {
    for (Rows.First(); !Rows.Eof(); Rows.Next()) {
      Target.Insert();
      try {
        for (std::size_t I = 0; I < Columns; ++I)
          CopyFieldValueInto(Rows.Fields(static_cast<std::int32_t>(I)), *Destinations[I]);
        Target.Post();
      } catch (...) {
        Target.Cancel();
        throw;
      }
      ++RowsAffected;
    }
  };
  if (Target.Database() && Target.Database()->InTransaction()) {
    InsertRows();
    return;
  }
  TQXLCursor& Cursor = *Target.Handle();
  if (!Cursor.LockTable(ltRW, TQXLTableWriteLock::Tries, TQXLTableWriteLock::DelayMS, true))
    throw EQXLException(20224, "Table is locked");
  const bool XIRW = Cursor.LockTable(ltXIRW, 1, 0, false);
  struct TRelease {
    TQXLCursor& Cursor;
    bool XIRW;
    ~TRelease() {
      try {
        if (XIRW) Cursor.UnlockTable(ltXIRW, true);
      } catch (...) {
      }
      try {
        Cursor.UnlockTable(ltRW, true);
      } catch (...) {
      }
    }
  } Release{Cursor, XIRW};
  Cursor.BeginBatchUpdate();
  try {
    InsertRows();
    Cursor.EndBatchUpdate();
  } catch (...) {
    try {
      Cursor.CancelBatchUpdate();
    } catch (...) {
      // The insertion's own failure is the one reported.
    }
    RowsAffected = 0;
    throw;
  }
}

void TQXLSQLInsert::InsertValues(TQXLTable& Table) {
  for (std::size_t R = 0; R < FieldValues.size(); ++R) {
    const auto& Row = FieldValues[R];
    // Without a column list a row may not have more values than the table has columns.
    if (FieldNames.empty() && Row.size() > static_cast<std::size_t>(Table.FieldCount()))
      RaiseCountsDiffer(static_cast<std::size_t>(Table.FieldCount()), Row.size(), FRowStarts[R]);
    Table.Insert();
    try {
      for (std::size_t I = 0; I < Row.size(); ++I) {
        const bool ByName = Row.size() == FieldNames.size() && !FieldNames[I].empty();
        TField& Field = ByName ? Table.FieldByName(FieldNames[I]) : Table.Fields(static_cast<std::int32_t>(I));
        const TQXLVariant* Value = Row[I]->GetValue(true);
        if (!Value) {
          const TQXLAdvFieldDef* Def = Table.AdvFieldDefs().Find(Field.FieldName);
          throw EQXLException(30356, "Parameter Value undefined (FieldName='%s', Type='%s')",
                              {ByName ? FieldNames[I] : Field.FieldName,
                               Def ? AdvancedFieldTypeName(Def->DataType) : std::string()});
        }
        StoreValueInField(Value, Field);
      }
      Table.Post();
    } catch (...) {
      Table.Cancel();
      throw;
    }
    ++RowsAffected;
  }
}

}  // namespace qxl
