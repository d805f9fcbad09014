// The table statements run on a database file: CREATE TABLE with every column
// option and the definitions the table then holds (read back after the
// database was closed and opened again), the names made for unnamed indexes,
// defaults, the positioned parse errors, CREATE on an existing table, DROP,
// TRUNCATE, and the renames.
#include <gtest/gtest.h>

#include <limits>

#include "engine/datasets/base/Field.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class DDLTable : public qxl::testsupport::SqlRunFixture {
protected:
  // Closes and opens the database again, so that definitions come from the file.
  void Reopen() {
    Db->Close();
    Db->Open();
  }

  static std::string Text(const TQXLVariant& Value) { return Value.IsNull() ? "<null>" : Value.GetAsAnsiString(); }
};

TEST_F(DDLTable, CreateTableStoresEveryColumnOption) {
  Run("CREATE TABLE T (Id AUTOINC(INTEGER, INCREMENT 2, INITIALVALUE 10, MINVALUE 5, MAXVALUE 1000, CYCLED), "
      "Name VARCHAR(40) NOT NULL DEFAULT 'x', "
      "Big AUTOINC(LARGEINT), "
      "Small AUTOINC(SMALLINT NOMAXVALUE NOCYCLED), "
      "Score DOUBLE DEFAULT 2.5 MINVALUE -1 MAXVALUE 100, "
      "Qty INTEGER DEFAULT 5 NULL, "
      "Sum3 INTEGER DEFAULT 1 + 2 NOT NULL, "
      "Neg INTEGER DEFAULT -7, "
      "Nothing INTEGER DEFAULT NULL, "
      "Stamp TIMESTAMP DEFAULT CURRENT_TIMESTAMP, "
      "Day DATE DEFAULT 'NOW', "
      "Quote VARCHAR(20) DEFAULT 'say \"hi\"', "
      "Doc BLOB BLOBBLOCKSIZE 4096 BLOBCOMPRESSIONALGORITHM zlib BLOBCOMPRESSIONMODE 6, "
      "Note MEMO BLOBCOMPRESSIONALGORITHM Unknown, "
      "G GUID FOO BAR, "
      "PRIMARY KEY (Id))");
  Reopen();
  std::unique_ptr<TQXLTable> T = Opened("T");
  const TQXLAdvFieldDefs& F = T->AdvFieldDefs();
  ASSERT_EQ(F.Count(), 15);

  const TQXLAdvFieldDef& Id = *F.Find("Id");
  EXPECT_EQ(Id.DataType, aftAutoInc);
  EXPECT_EQ(Id.AutoincIncrement, 2);
  EXPECT_EQ(Id.AutoincInitialValue, 10);
  EXPECT_EQ(Id.AutoincMinValue, 5);
  EXPECT_EQ(Id.AutoincMaxValue, 1000);
  EXPECT_TRUE(Id.AutoincCycled);
  EXPECT_EQ(F.Find("Big")->DataType, aftAutoIncLargeint);
  EXPECT_EQ(F.Find("Small")->DataType, aftAutoIncSmallint);
  EXPECT_EQ(F.Find("Small")->AutoincMaxValue, std::numeric_limits<std::int64_t>::max());

  const TQXLAdvFieldDef& Name = *F.Find("Name");
  EXPECT_EQ(Name.DataType, aftString);
  EXPECT_EQ(Name.Size, 40);
  EXPECT_TRUE(Name.Required);
  // A quoted default is kept as the string literal it reads back as.
  EXPECT_EQ(Text(Name.DefaultValue), "\"x\"");
  EXPECT_EQ(Text(F.Find("Quote")->DefaultValue), "\"say \"\"hi\"\"\"");

  EXPECT_DOUBLE_EQ(F.Find("Score")->DefaultValue.GetAsDouble(), 2.5);
  EXPECT_DOUBLE_EQ(F.Find("Score")->MinValue.GetAsDouble(), -1);
  EXPECT_DOUBLE_EQ(F.Find("Score")->MaxValue.GetAsDouble(), 100);
  // NULL after a default is the column's nullability; the default stays 5.
  EXPECT_EQ(F.Find("Qty")->DefaultValue.GetAsInteger(), 5);
  EXPECT_FALSE(F.Find("Qty")->Required);
  EXPECT_EQ(F.Find("Sum3")->DefaultValue.GetAsInteger(), 3);
  EXPECT_TRUE(F.Find("Sum3")->Required);
  EXPECT_EQ(F.Find("Neg")->DefaultValue.GetAsInteger(), -7);
  EXPECT_TRUE(F.Find("Nothing")->DefaultValue.IsNull());
  EXPECT_EQ(Text(F.Find("Stamp")->DefaultValue), "CURRENT_TIMESTAMP");
  EXPECT_EQ(Text(F.Find("Day")->DefaultValue), "NOW");

  const TQXLAdvFieldDef& Doc = *F.Find("Doc");
  EXPECT_EQ(Doc.BLOBBlockSize, 4096);
  EXPECT_EQ(Doc.BLOBCompressionAlgorithm, acaZLIB);
  EXPECT_EQ(Doc.BLOBCompressionMode, 6);
  EXPECT_EQ(F.Find("Note")->BLOBCompressionAlgorithm, acaNone);
  EXPECT_EQ(F.Find("G")->DataType, aftGuid);

  ASSERT_EQ(T->AdvIndexDefs().Count(), 1);
  const TQXLAdvIndexDef& Pk = T->AdvIndexDefs().Defs(0);
  EXPECT_EQ(Pk.Name, "C_PK$Id");
  EXPECT_EQ(Pk.Fields, "Id");
  EXPECT_TRUE(Pk.Options.Contains(ixPrimary));
  T->Close();

  // The defaults work when a record is added.
  T->Open();
  T->Append();
  T->Post();
  // The initial value is the last one given out: the first record gets one increment more.
  EXPECT_EQ(T->FieldByName("Id").AsInteger(), 12);
  EXPECT_EQ(T->FieldByName("Name").AsString(), "x");
  EXPECT_EQ(T->FieldByName("Quote").AsString(), "say \"hi\"");
  EXPECT_EQ(T->FieldByName("Qty").AsInteger(), 5);
  EXPECT_EQ(T->FieldByName("Sum3").AsInteger(), 3);
  EXPECT_FALSE(T->FieldByName("Stamp").IsNull());
}

TEST_F(DDLTable, IndexEntriesAreNamedAfterTheirKindAndColumns) {
  Run("CREATE TABLE T (A INTEGER PRIMARY KEY, B VARCHAR(10) UNIQUE, C INTEGER, "
      "INDEX (B, C), INDEX X (C DESC, B NOCASE), UNIQUE INDEX \"U Name\" (C ASC DESC, B NOCASE CASE))");
  std::unique_ptr<TQXLTable> T = Opened("T");
  const TQXLAdvIndexDefs& I = T->AdvIndexDefs();
  struct Expected {
    const char* Name;
    const char* Fields;
    const char* Desc;
    const char* CaseIns;
    bool Primary;
    bool Unique;
  } Cases[] = {
      {"C_PK$A", "A", "", "", true, false},
      {"C_Unique$B", "B", "", "", false, true},
      {"i$B$C", "B;C", "", "", false, false},
      {"X", "C;B", "C", "B", false, false},
      {"U Name", "C;B", "C", "", false, true},
  };
  ASSERT_EQ(I.Count(), 5);
  for (const Expected& E : Cases) {
    SCOPED_TRACE(E.Name);
    const TQXLAdvIndexDef* D = I.Find(E.Name);
    ASSERT_NE(D, nullptr);
    EXPECT_EQ(D->Fields, E.Fields);
    EXPECT_EQ(D->DescFields, E.Desc);
    EXPECT_EQ(D->CaseInsFields, E.CaseIns);
    EXPECT_EQ(D->Options.Contains(ixPrimary), E.Primary);
    EXPECT_EQ(D->Options.Contains(ixUnique), E.Unique);
  }
}

TEST_F(DDLTable, ParseErrorsNameWhatTheyFoundAndWhere) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"CREATE TABLE", 30249, "Blank SQL command"},
      {"CREATE TABLE IF EXISTS T (A INTEGER)", 30486, "Token 'NOT' expected, but 'EXISTS' found at line 1, column 17"},
      {"CREATE TABLE IF NOT T (A INTEGER)", 30487, "Token 'EXISTS' expected, but 'T' found at line 1, column 21"},
      {"CREATE TABLE T 5 INTEGER", 30226, "Token '(' expected, but '5' found at line 1, column 16"},
      {"CREATE TABLE T (5 INTEGER)", 30227, "Field name expected, but '5' found at line 1, column 17"},
      {"CREATE TABLE T (A 5)", 30228, "Field type expected, but '5' found at line 1, column 19"},
      {"CREATE TABLE T (A NUMBERS)", 30232, "Unknown field type 'NUMBERS' at line 1, column 19"},
      {"CREATE TABLE T (Name VARCHAR)", 30233, "'(' symbol expected, but ')' found at line 1, column 29"},
      {"CREATE TABLE T (Name VARCHAR(x))", 30235, "Decimal constant expected, but 'x' found at line 1, column 30"},
      {"CREATE TABLE T (Name VARCHAR(10 20))", 30236, "')' or ',' symbol expected, but '20' found at line 1, column 33"},
      {"CREATE TABLE T (Id INTEGER(4))", 30229, "')' or ',' symbol expected, but '(' found at line 1, column 27"},
      {"CREATE TABLE T (Id INTEGER NOT 5)", 30237, "Unexpected end of SQL command found at line 1, column 32"},
      {"CREATE TABLE T (Id INTEGER NOT DEFAULT)", 2011,
       "'NULL' expected (for NOT NULL), but 'DEFAULT' found at line 1, column 32"},
      {"CREATE TABLE T (Id AUTOINC(DOUBLE))", 30295, "Unsupported Autoinc DataType (DOUBLE) found at line 1, column 28"},
      {"CREATE TABLE T (Id AUTOINC(FOO))", 30294, "Unexpected token 'FOO' found at line 1, column 28"},
      {"CREATE TABLE T (Id AUTOINCLARGEINT(INTEGER))", 30294, "Unexpected token 'INTEGER' found at line 1, column 36"},
      {"CREATE TABLE T (Id AUTOINC(INCREMENT x))", 30292, "Integer expected, but 'x' found at line 1, column 38"},
      {"CREATE TABLE T (Id AUTOINC(INCREMENT 99999999999999999999))", 30291,
       "Integer expected, but '99999999999999999999' found at line 1, column 38"},
      // An unclosed list is refused when the text is cut into tokens.
      {"CREATE TABLE T (Id AUTOINC(INCREMENT 1", 30059, "Missing symbol ')' at line 1, column 27"},
      {"CREATE TABLE T (A INTEGER DEFAULT 1 DEFAULT 2)", 30299, "default value for column 'A' declared twice"},
      {"CREATE TABLE T (A INTEGER DEFAULT )", 30297, "Error parsing parameter ')' at line 1, column 35"},
      {"CREATE TABLE T (A INTEGER DEFAULT B + 1)", 30297, "Error parsing parameter 'B' at line 1, column 35"},
      {"CREATE TABLE T (A INTEGER, UNIQUE (A))", 30267, "'INDEX' keyword expected, but '(' found at line 1, column 35"},
      {"CREATE TABLE T (A INTEGER, UNIQUE KEY (A))", 30268, "'INDEX' keyword expected, but 'KEY' found at line 1, column 35"},
      {"CREATE TABLE T (A INTEGER, INDEX 5 (A))", 30269, "index name expected, but '5' found at line 1, column 34"},
      {"CREATE TABLE T (A INTEGER, INDEX X (5))", 30274, "Field name expected, but '5' found at line 1, column 37"},
      {"CREATE TABLE T (IF EXISTS A INTEGER)", 30488, "Token 'NOT' expected, but 'EXISTS' found at line 1, column 20"},
      {"CREATE TABLE T (IF NOT A INTEGER)", 30489, "Token 'EXISTS' expected, but 'A' found at line 1, column 24"},
      {"CREATE TABLE T (A INTEGER) x", 30246, "Unexpected token 'x' found at line 1, column 28"},
      {"DROP TABLE", 30251, "Blank SQL command"},
      {"DROP TABLE IF T", 30485, "Token 'EXISTS' expected, but 'T' found at line 1, column 15"},
      {"DROP TABLE T x y", 30246, "Unexpected token 'y' found at line 1, column 16"},
      {"TRUNCATE", 30490, "Blank SQL command"},
      {"TRUNCATE TABLE T , x", 30246, "Unexpected token ',' found at line 1, column 18"},
      {"ALTER TABLE", 30261, "Blank SQL command"},
      {"ALTER TABLE T SELECT", 30252,
       "ADD, DROP or MODIFY keyword expected, but 'SELECT' found at line 1, column 15"},
      {"ALTER TABLE T x y", 30253, "ADD, DROP or MODIFY keyword expected, but 'y' found at line 1, column 17"},
      {"ALTER TABLE T RENAME A B", 30352, "Token 'TO' expected, but 'B' found at line 1, column 24"},
      {"RENAME TABLE T AS U V", 30355, "Token 'TO' expected, but 'V' found at line 1, column 21"},
      {"RENAME TABLE T TO", 30161, "Unexpected end of SQL command found at line 1, column 16"},
      {"CREATE VIEW V AS SELECT 1", 30147, "Object type keyword expected, but 'VIEW' found at line 1, column 8"},
      {"CREATE TRIGGER X", 30147, "Object type keyword expected, but 'TRIGGER' found at line 1, column 8"},
      {"DROP VIEW V", 30149, "Object type keyword expected, but 'VIEW' found at line 1, column 6"},
      {"ALTER VIEW V", 30151, "Object type keyword expected, but 'VIEW' found at line 1, column 7"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code);
    EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
  // None of them made a table.
  std::vector<std::string> Tables;
  Db->GetTablesList(Tables);
  EXPECT_TRUE(Tables.empty());
}

TEST_F(DDLTable, CreateOnAnExistingTableAndDropOfAMissingOne) {
  Run("CREATE TABLE T (A INTEGER)");
  const auto [Code, Message] = Failure("CREATE TABLE T (B INTEGER)");
  EXPECT_EQ(Code, 30247);
  EXPECT_EQ(Message.rfind("Cannot create table. Table 'T' already exists", 0), 0u) << Message;
  // IF NOT EXISTS leaves the table as it is, but still reads the column list.
  Run("CREATE TABLE IF NOT EXISTS T (B INTEGER)");
  EXPECT_EQ(Opened("T")->AdvFieldDefs().Defs(0).Name, "A");
  EXPECT_EQ(Failure("CREATE TABLE IF NOT EXISTS T (B FOO)").first, 30232);

  // A table the engine refuses to create is reported under the statement's code.
  const auto [BadCode, BadMessage] = Failure("CREATE TABLE U (A INTEGER, A VARCHAR(5))");
  EXPECT_EQ(BadCode, 30248);
  EXPECT_NE(BadMessage.find("Duplicate field name"), std::string::npos) << BadMessage;

  Run("DROP TABLE T");
  EXPECT_FALSE(NewTable("T")->Exists());
  EXPECT_EQ(Failure("DROP TABLE T").first, 0);
  EXPECT_EQ(Failure("DROP TABLE IF EXISTS T").first, 0);
}

TEST_F(DDLTable, TruncateEmptiesAndRenamesKeepTheRecords) {
  std::unique_ptr<TQXLTable> P = CreatePeople();
  P->Open();
  AddPerson(*P, 1, "Ann", 1);
  AddPerson(*P, 2, "Bob", 2);
  P->Close();

  Run("RENAME TABLE People TO Persons");
  EXPECT_FALSE(NewTable("People")->Exists());
  Run("RENAME Persons TO Folk");
  Run("ALTER TABLE Folk RENAME TO Kin");
  Run("ALTER TABLE Kin RENAME COLUMN Name TO FullName");
  Run("ALTER TABLE Kin RENAME Score TO Points");
  std::unique_ptr<TQXLTable> K = Opened("Kin");
  EXPECT_EQ(Forward(*K), (std::vector<std::int32_t>{1, 2}));
  K->First();
  EXPECT_EQ(K->FieldByName("FullName").AsString(), "Ann");
  EXPECT_EQ(K->FieldByName("Points").AsFloat(), 1);
  K->Close();

  Run("TRUNCATE TABLE Kin");
  K->Open();
  EXPECT_TRUE(Forward(*K).empty());
  K->Close();
  Run("TRUNCATE Kin");

  const auto [Code, Message] = Failure("TRUNCATE TABLE Missing");
  EXPECT_EQ(Code, 30491);
  EXPECT_EQ(Message.rfind("Error truncating table: '", 0), 0u) << Message;
  EXPECT_EQ(Failure("ALTER TABLE Missing RENAME TO Other").first, 30265);
  EXPECT_EQ(Failure("ALTER TABLE Kin RENAME COLUMN Nope TO Other").first, 30265);
}

TEST_F(DDLTable, AlterTableChangesColumnsAndKeepsTheRecords) {
  Run("CREATE TABLE Clients (Id INTEGER NOT NULL, Client VARCHAR(20) DEFAULT 'none' MINVALUE 'a' MAXVALUE 'zz', "
      "A INTEGER, B INTEGER, C INTEGER, PRIMARY KEY (Id))");
  Run("INSERT INTO Clients VALUES (1, 'Ann', 11, 12, 13), (2, 'Bob', 21, 22, 23)");

  // MODIFY changes only what it names.
  Run("ALTER TABLE Clients MODIFY (client VARCHAR(80) NOT NULL)");
  Reopen();
  {
    std::unique_ptr<TQXLTable> T = Opened("Clients");
    const TQXLAdvFieldDef& Client = *T->AdvFieldDefs().Find("Client");
    EXPECT_EQ(Client.Name, "Client");
    EXPECT_EQ(Client.DataType, aftString);
    EXPECT_EQ(Client.Size, 80);
    EXPECT_TRUE(Client.Required);
    EXPECT_EQ(Text(Client.DefaultValue), "\"none\"");
    EXPECT_EQ(Text(Client.MinValue), "a");
    EXPECT_EQ(Text(Client.MaxValue), "zz");
    T->First();
    EXPECT_EQ(T->FieldByName("Client").AsString(), "Ann");
  }

  // Two columns go in one statement; the others keep their values.
  Run("ALTER TABLE Clients DROP (A, B)");
  // A column that exists already is passed over with IF NOT EXISTS; the new one starts NULL.
  Run("ALTER TABLE Clients ADD (IF NOT EXISTS C INTEGER, D INTEGER DEFAULT 4 NOT NULL, INDEX (D))");
  Run("ALTER TABLE Clients DROP C");
  Reopen();
  {
    std::unique_ptr<TQXLTable> T = Opened("Clients");
    std::vector<std::string> Names;
    for (std::int32_t I = 0; I < T->AdvFieldDefs().Count(); ++I) Names.push_back(T->AdvFieldDefs().Defs(I).Name);
    EXPECT_EQ(Names, (std::vector<std::string>{"Id", "Client", "D"}));
    EXPECT_NE(T->AdvIndexDefs().Find("i$D"), nullptr);
    EXPECT_NE(T->AdvIndexDefs().Find("C_PK$Id"), nullptr);
    EXPECT_EQ(Forward(*T), (std::vector<std::int32_t>{1, 2}));
    T->First();
    EXPECT_EQ(T->FieldByName("Client").AsString(), "Ann");
    T->Close();
  }
  Run("INSERT INTO Clients (Id, Client) VALUES (3, 'Cy')");
  std::unique_ptr<TQXLTable> T = Opened("Clients");
  T->Last();
  EXPECT_EQ(T->FieldByName("D").AsInteger(), 4);
  T->Close();

  struct Case {
    const char* Sql;
    const char* Cause;
  } Cases[] = {
      {"ALTER TABLE Clients ADD (D INTEGER)", "Field by name 'D' already exists"},
      {"ALTER TABLE Clients MODIFY (Nope INTEGER)", "Field 'Nope' not found"},
      {"ALTER TABLE Clients DROP (Nope)", "Nope"},
      {"ALTER TABLE Missing ADD (X INTEGER)", "Missing"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, 30265);
    EXPECT_EQ(Message.rfind("Error altering table: '", 0), 0u) << Message;
    EXPECT_NE(Message.find(C.Cause), std::string::npos) << Message;
  }
  // A value that no longer fits the new type fails the restructure, which leaves the table as it was.
  EXPECT_EQ(Failure("ALTER TABLE Clients MODIFY (Client INTEGER)").first, 30265);
  T->Open();
  EXPECT_EQ(T->FieldByName("Client").AsString(), "Ann");
  EXPECT_EQ(T->AdvFieldDefs().Find("Client")->DataType, aftString);
}

TEST_F(DDLTable, StructureStatementsAreRefusedInsideATransaction) {
  Run("CREATE TABLE T (A INTEGER)");
  Db->StartTransaction();
  EXPECT_EQ(Failure("CREATE TABLE U (A INTEGER)").first, 30248);
  EXPECT_EQ(Failure("DROP TABLE T").first, 30250);
  EXPECT_EQ(Failure("RENAME TABLE T TO U").first, 30265);
  EXPECT_EQ(Failure("ALTER TABLE T ADD (B INTEGER)").first, 30265);
  Db->Rollback();
  EXPECT_TRUE(NewTable("T")->Exists());
  EXPECT_FALSE(NewTable("U")->Exists());
}

}  // namespace
