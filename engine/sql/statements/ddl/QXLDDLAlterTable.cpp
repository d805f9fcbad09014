#include "engine/sql/statements/ddl/QXLDDLAlterTable.h"

#include <exception>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"

namespace qxl {

namespace {
constexpr const char* ActionExpected = "ADD, DROP or MODIFY keyword expected, but '%s' found at line %d, column %d";
}  // namespace

void TQXLDDLAlterTable::Parse() {
  CurrentToken();
  if (!NextToken()) throw EQXLException(30261, "Blank SQL command");
  ParseTableReference();
  if (!CurrentToken()) RaiseAtPosition(30161, "Unexpected end of SQL command found at line %d, column %d",
                                       PreviousToken());
  if (Token.TokenType != tktReservedWord) RaiseAtToken(30253, ActionExpected, Token);
  switch (Token.ReservedWord) {
    case rwADD:
    case rwMODIFY:
      AlterType = TokenIsKeyword(rwADD) ? atAdd : atModify;
      NextTokenOrEnd(30161);
      ParseColumnList();
      break;
    case rwDROP:
      AlterType = atDrop;
      NextTokenOrEnd(30161);
      // The names stand in parentheses as a rule; without them the first
      // name is not passed over.
      if (Token.TokenType == tktLeftParenthesis) NextTokenOrEnd(30161);
      ParseFieldNameList(DropColumnNamesList);
      break;
    case rwRENAME:
      NextTokenOrEnd(30161);
      if (TokenIsKeyword(rwTO)) {
        AlterType = atRenameTable;
        NextTokenOrEnd(30161);
        NewTableName = Token.Text;
        break;
      }
      AlterType = atRenameColumn;
      if (TokenIsKeyword(rwCOLUMN)) NextTokenOrEnd(30161);
      RenameColumnOldNamesList.push_back(Token.Text);
      NextTokenOrEnd(30161);
      if (!TokenIsKeyword(rwTO)) RaiseExpected(30352, "TO", Token);
      NextTokenOrEnd(30161);
      RenameColumnNewNamesList.push_back(Token.Text);
      break;
    default:
      RaiseAtToken(30252, ActionExpected, Token);
  }
}

void TQXLDDLRenameTable::Parse() {
  if (!CurrentToken()) throw EQXLException(30354, "Blank SQL command");
  ParseTableReference();
  if (!CurrentToken()) RaiseAtPosition(30161, "Unexpected end of SQL command found at line %d, column %d",
                                       PreviousToken());
  if (!TokenIsKeyword(rwTO)) RaiseExpected(30355, "TO", Token);
  NextTokenOrEnd(30161);
  NewTableName = Token.Text;
}

void TQXLDDLAlterTable::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  try {
    const std::unique_ptr<TQXLStatementTable> Statement = MakeStatementTable(Query);
    Alter(Statement->Table());
  } catch (const std::exception& Error) {
    throw EQXLException(30265, "Error altering table: '%s'", {std::string(Error.what())});
  }
}

void TQXLDDLAlterTable::Alter(TQXLTable& Table) {
  // Opening reads the current columns and indexes into the definitions a restructure starts from.
  Table.Open();
  Table.Close();
  TQXLAdvFieldDefs& Fields = Table.RestructureFieldDefs();
  switch (AlterType) {
    case atAdd:
      for (const auto& Def : SQLFieldDefs.List) {
        if (Fields.Find(Def->FieldName)) {
          if (Def->CreateIfNotExists) continue;
          throw EQXLException(30351, "Field by name '%s' already exists", {Def->FieldName});
        }
        Def->ApplyTo(Fields.AddFieldDef());
      }
      AddIndexEntries(Indexes, Table.RestructureIndexDefs());
      break;
    case atDrop:
      for (const std::string& Name : DropColumnNamesList) Fields.DeleteFieldDef(Name);
      break;
    case atModify:
      for (const auto& Def : SQLFieldDefs.List) {
        TQXLAdvFieldDef* Current = Fields.Find(Def->FieldName);
        if (!Current) throw EQXLException(30259, "Field '%s' not found", {Def->FieldName});
        // The column keeps its name as stored, whatever letter case the statement wrote.
        const std::string Name = Current->Name;
        Def->ApplyTo(*Current);
        Current->Name = Name;
      }
      AddIndexEntries(Indexes, Table.RestructureIndexDefs());
      break;
    case atRenameColumn:
      for (std::size_t I = 0; I < RenameColumnOldNamesList.size(); ++I)
        Table.RenameField(RenameColumnOldNamesList[I], RenameColumnNewNamesList[I]);
      return;
    case atRenameTable:
      Table.RenameTable(NewTableName);
      return;
  }
  std::string Log;
  if (!Table.RestructureTable(Log)) throw EQXLException(30347, "Restructure table error: '%s'", {Log});
}

}  // namespace qxl
