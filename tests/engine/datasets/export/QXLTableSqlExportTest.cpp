// The export of a table as an SQL script: a table of every column type with
// quotes in its defaults, bounds and values, BLOBs, bytes and times with
// milliseconds, compared as text; the options; names that must be quoted;
// the targets (string, stream in the 8-bit code page, file); and failures,
// which leave the table closed.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/export/QXLExportToSqlOptions.h"
#include "engine/datasets/export/QXLSqlScriptText.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

using namespace qxl;

namespace {

void SetBytes(TField& Field, std::string_view Bytes, TQXLBaseFieldType Type) {
  TQXLVariant Value(Type);
  Value.SetData(Bytes.data(), static_cast<std::int32_t>(Bytes.size()), Type, true);
  Field.SetValue(Value);
}

std::int32_t Ms(int H, int M, int S, int Z) { return ((H * 60 + M) * 60 + S) * 1000 + Z; }

// An engine date from a calendar date.
std::int32_t Day(int Y, int M, int D) { return DateTimeToQXLDate(platform::EncodeDate(Y, M, D)); }

class SqlExportTest : public qxl::testsupport::TableFixture {
protected:
  // Every column type; quotes in defaults and bounds; one full record and
  // one of NULLs.
  std::unique_ptr<TQXLTable> CreateEveryType() {
    std::unique_ptr<TQXLTable> T = NewTable("Stock");
    TQXLAdvFieldDefs& D = T->AdvFieldDefs();
    D.Add("Id", aftInteger, 0, true);
    D.Add("Ch", aftChar, 5, false).DefaultValue.SetAsAnsiString("it's");
    TQXLAdvFieldDef& Str = D.Add("Str", aftString, 20, false);
    Str.DefaultValue.SetAsAnsiString("a'b");
    Str.MinValue.SetAsAnsiString("'a");
    Str.MaxValue.SetAsAnsiString("z'");
    D.Add("WCh", aftWideChar, 4, false);
    D.Add("WStr", aftWideString, 10, false);
    D.Add("Si", aftShortint, 0, false);
    TQXLAdvFieldDef& Sm = D.Add("Sm", aftSmallint, 0, false);
    Sm.DefaultValue.SetAsInteger(7);
    Sm.MinValue.SetAsInteger(-5);
    Sm.MaxValue.SetAsInteger(500);
    D.Add("La", aftLargeint, 0, false);
    D.Add("By", aftByte, 0, false);
    D.Add("Wo", aftWord, 0, false);
    D.Add("Ca", aftCardinal, 0, false);
    D.Add("Ai", aftAutoInc, 0, false);
    D.Add("Sg", aftSingle, 0, false);
    D.Add("Db", aftDouble, 0, false).DefaultValue.SetAsDouble(2.5);
    D.Add("Ex", aftExtended, 0, false);
    D.Add("Bo", aftBoolean, 0, false);
    D.Add("Cu", aftCurrency, 0, false);
    D.Add("Da", aftDate, 0, false);
    D.Add("Ti", aftTime, 0, false);
    D.Add("Dt", aftDateTime, 0, false);
    D.Add("Ts", aftTimeStamp, 0, false);
    D.Add("Bt", aftBytes, 4, false);
    D.Add("Vb", aftVarBytes, 8, false);
    D.Add("Bl", aftBlob, 0, false, acaZLIB, 6);
    D.Add("Gr", aftGraphic, 0, false);
    D.Add("Me", aftMemo, 0, false);
    D.Add("Fm", aftFormattedMemo, 0, false);
    D.Add("Wm", aftWideMemo, 0, false);
    D.Add("Gu", aftGuid, 0, false);
    T->AdvIndexDefs().Add("PK", "Id", TIndexOptions{ixPrimary});
    T->AdvIndexDefs().Add("ByStr", "Str;Da", TIndexOptions{ixUnique}, false, "Da", "str");
    T->AdvIndexDefs().Add("Index", "La", TIndexOptions{});
    T->CreateTable();

    T->Open();
    T->Append();
    T->FieldByName("Id").SetAsInteger(1);
    T->FieldByName("Ch").SetAsString("O'K");
    T->FieldByName("Str").SetAsString("it's");
    T->FieldByName("WCh").SetAsString("w");
    T->FieldByName("WStr").SetAsString("wide");
    T->FieldByName("Si").SetAsInteger(-8);
    T->FieldByName("Sm").SetAsInteger(300);
    T->FieldByName("La").SetAsLargeInt(-9000000000LL);
    T->FieldByName("By").SetAsInteger(255);
    T->FieldByName("Wo").SetAsInteger(65535);
    T->FieldByName("Ca").SetAsLargeInt(4000000000LL);
    T->FieldByName("Sg").SetAsFloat(0.5);
    T->FieldByName("Db").SetAsFloat(-1.25);
    T->FieldByName("Ex").SetAsFloat(1e20);
    T->FieldByName("Bo").SetAsBoolean(true);
    T->FieldByName("Cu").SetAsFloat(12.3456);
    T->FieldByName("Da").SetAsDateTime(platform::EncodeDate(2024, 2, 29));
    TQXLVariant Time(bftTime);
    Time.SetAsQXLTime(Ms(13, 5, 9, 123));
    T->FieldByName("Ti").SetValue(Time);
    TQXLVariant Stamp(bftDateTime);
    Stamp.SetAsQXLDateTime({Day(1999, 12, 31), Ms(23, 59, 58, 7)});
    T->FieldByName("Dt").SetValue(Stamp);
    Stamp.SetAsQXLDateTime({Day(2001, 1, 2), Ms(3, 4, 5, 0)});
    T->FieldByName("Ts").SetValue(Stamp);
    SetBytes(T->FieldByName("Bt"), std::string("\x00\x01\xFE\xFF", 4), bftBytes);
    SetBytes(T->FieldByName("Vb"), "abc", bftVarBytes);
    SetBytes(T->FieldByName("Bl"), std::string("\x00\xFFhi", 4), bftBlob);
    SetBytes(T->FieldByName("Gr"), "GIF", bftBlob);
    T->FieldByName("Me").SetAsString("line'1\r\nline 2");
    T->FieldByName("Fm").SetAsString("{\\rtf1}");
    T->FieldByName("Wm").SetAsString("W");
    T->FieldByName("Gu").SetAsString("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    T->Post();
    T->Append();
    T->FieldByName("Id").SetAsInteger(2);
    for (const char* Name : {"Ch", "Str", "Sm", "Db"}) T->FieldByName(Name).Clear();
    TQXLVariant Eight(bftTime);
    Eight.SetAsQXLTime(Ms(8, 0, 0, 0));
    T->FieldByName("Ti").SetValue(Eight);
    T->Post();
    T->Close();
    return T;
  }
};

TEST(SqlScriptText, NamesAreQuotedWhereTheLexerWouldNotReadThemAsOneName) {
  struct Case {
    const char* Name;
    const char* Written;
  } Cases[] = {
      {"Stock", "Stock"},           {"Col_1", "Col_1"},         {"My Table", "'My Table'"},
      {"a-b", "'a-b'"},             {"select", "'select'"},     {"Absolute", "'Absolute'"},
      {"MimeToBin", "'MimeToBin'"}, {"O'Brien", "'O''Brien'"},  {"a;b", "'a;b'"},
      {"1st", "'1st'"},             {"x.y", "'x.y'"},           {"Ma\xC3\x9F", "'Ma\xC3\x9F'"},
  };
  for (const Case& C : Cases) EXPECT_EQ(SqlScriptName(C.Name), C.Written) << C.Name;
}

TEST(SqlScriptText, LiteralsOfDatesTimesBytesAndNumbers) {
  EXPECT_EQ(SqlQuotedString("it's ''"), "'it''s '''''");
  EXPECT_EQ(SqlDateLiteral(Day(1, 1, 1)), "'0001-01-01'");
  EXPECT_EQ(SqlTimeLiteral(0), "ToDate('00:00:00','HH24:NN:SS')");
  EXPECT_EQ(SqlTimeLiteral(Ms(23, 59, 59, 999)), "'23:59:59.999'");
  EXPECT_EQ(SqlTimeLiteral(Ms(0, 0, 1, 50)), "'00:00:01.050'");
  EXPECT_EQ(SqlDateTimeLiteral({Day(2020, 3, 4), Ms(5, 6, 7, 0)}), "'2020-03-04 05:06:07'");
  EXPECT_EQ(SqlBinaryLiteral(""), "MimeToBin('')");
  EXPECT_EQ(SqlBinaryLiteral(std::string("\0\0\0", 3)), "MimeToBin('AAAA')");

  // "." whatever the locale's decimal separator.
  platform::TFormatSettings& Settings = platform::FormatSettings();
  const char Saved = Settings.DecimalSeparator;
  Settings.DecimalSeparator = ',';
  TQXLVariant Value(bftDouble);
  Value.SetAsDouble(-1.5);
  const std::string DoubleText = SqlNumberText(Value);
  TQXLVariant Money(bftCurrency);
  Money.SetAsCurrency(2.25);
  const std::string MoneyText = SqlNumberText(Money);
  Settings.DecimalSeparator = Saved;
  EXPECT_EQ(DoubleText, "-1.5");
  EXPECT_EQ(MoneyText, "2.25");
}

TEST_F(SqlExportTest, EveryTypeWithQuotesBlobsBytesAndMilliseconds) {
  std::unique_ptr<TQXLTable> T = CreateEveryType();
  T->ExportToSqlOptions().Data = true;
  const std::string Script = T->ExportToSQL();
  const std::string Expected =
      "DROP TABLE Stock;\r\n"
      "CREATE TABLE Stock (\r\n"
      "  Id INTEGER NOT NULL,\r\n"
      "  Ch CHAR(5) DEFAULT 'it''s',\r\n"
      "  Str VARCHAR(20) DEFAULT 'a''b' MINVALUE '''a' MAXVALUE 'z''',\r\n"
      "  WCh WIDECHAR(4),\r\n"
      "  WStr WIDESTRING(10),\r\n"
      "  Si SHORTINT,\r\n"
      "  Sm SMALLINT DEFAULT 7 MINVALUE -5 MAXVALUE 500,\r\n"
      "  La LARGEINT,\r\n"
      "  'By' BYTE,\r\n"
      "  Wo WORD,\r\n"
      "  Ca CARDINAL,\r\n"
      "  Ai AUTOINC,\r\n"
      "  Sg SINGLE,\r\n"
      "  Db FLOAT DEFAULT 2.5,\r\n"
      "  Ex EXTENDED,\r\n"
      "  Bo LOGICAL,\r\n"
      "  Cu CURRENCY,\r\n"
      "  Da DATE,\r\n"
      "  Ti TIME,\r\n"
      "  Dt DATETIME,\r\n"
      "  Ts TIMESTAMP,\r\n"
      "  Bt BYTES(4),\r\n"
      "  Vb VARBYTES(8),\r\n"
      "  Bl BLOB,\r\n"
      "  Gr GRAPHIC,\r\n"
      "  Me MEMO,\r\n"
      "  Fm FORMATTEDMEMO,\r\n"
      "  Wm WIDEMEMO,\r\n"
      "  Gu GUID, \r\n"
      "  PRIMARY KEY PK (Id), \r\n"
      "  UNIQUE INDEX ByStr (Str NOCASE, Da DESC), \r\n"
      "  INDEX 'Index' (La)\r\n"
      ");\r\n"
      "INSERT INTO Stock values (1, 'O''K', 'it''s', 'w', 'wide', -8, 300, -9000000000, 255, 65535, 4000000000, 1, "
      "0.5, -1.25, 1E20, True, 12.3456, '2024-02-29', '13:05:09.123', '1999-12-31 23:59:58.007', "
      "'2001-01-02 03:04:05', MimeToBin('AAH+/w=='), MimeToBin('YWJj'), MimeToBin('AP9oaQ=='), MimeToBin('R0lG'), "
      "'line''1\r\nline 2', MimeToBin('e1xydGYxfQ=='), MimeToBin('VwA='), '{01234567-89AB-CDEF-0123-456789ABCDEF}');\r\n"
      "INSERT INTO Stock values (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 2, NULL, NULL, NULL, "
      "NULL, NULL, NULL, ToDate('08:00:00','HH24:NN:SS'), NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);\r\n"
      "\r\n";
  EXPECT_EQ(Script, Expected);
  EXPECT_FALSE(T->Active());
}

TEST_F(SqlExportTest, OptionsChooseWhatIsWritten) {
  std::unique_ptr<TQXLTable> T = NewTable("My Table");
  T->AdvFieldDefs().Add("Value", aftInteger, 0, true);
  T->AdvFieldDefs().Add("Memo Text", aftMemo, 0, false, acaBZIP, 9).BLOBBlockSize = 4096;
  T->CreateTable();
  T->Open();
  T->Append();
  T->FieldByName("Value").SetAsInteger(3);
  T->Post();
  T->Close();

  struct Case {
    bool Structure, AddDropTable, BlobSettings, Data, FieldNames;
    const char* Expected;
  } Cases[] = {
      {false, true, true, false, true, "\r\n"},
      {true, true, false, false, false,
       "DROP TABLE 'My Table';\r\nCREATE TABLE 'My Table' (\r\n  'Value' INTEGER NOT NULL,\r\n"
       "  'Memo Text' MEMO\r\n);\r\n\r\n"},
      {true, false, true, false, false,
       "CREATE TABLE 'My Table' (\r\n  'Value' INTEGER NOT NULL,\r\n"
       "  'Memo Text' MEMO BLOBBlockSize 4096 BLOBCompressionAlgorithm BZIP BLOBCompressionMode 9\r\n);\r\n\r\n"},
      {false, false, false, true, false, "INSERT INTO 'My Table' values (3, NULL);\r\n\r\n"},
      {false, false, false, true, true, "INSERT INTO 'My Table' ('Value', 'Memo Text') values (3, NULL);\r\n\r\n"},
  };
  for (const Case& C : Cases) {
    TQXLExportToSqlOptions Options;
    Options.Structure = C.Structure;
    Options.AddDropTable = C.AddDropTable;
    Options.BlobSettings = C.BlobSettings;
    Options.Data = C.Data;
    Options.FieldNamesInInserts = C.FieldNames;
    T->SetExportToSqlOptions(Options);
    EXPECT_EQ(T->ExportToSQL(), C.Expected);
  }
}

TEST_F(SqlExportTest, StreamAndFileTakeTheEightBitCodePage) {
  std::unique_ptr<TQXLTable> T = NewTable("Caf\xC3\xA9");
  T->AdvFieldDefs().Add("N", aftString, 10, false);
  T->CreateTable();
  T->Open();
  T->Append();
  T->FieldByName("N").SetAsString("\xE2\x82\xAC" "5");  // the euro sign is 0x80 in the code page
  T->Post();
  T->Close();
  T->ExportToSqlOptions().Structure = false;
  T->ExportToSqlOptions().Data = true;

  EXPECT_EQ(T->ExportToSQL(), "INSERT INTO 'Caf\xC3\xA9' values ('\xE2\x82\xAC" "5');\r\n\r\n");
  const std::string Ansi = "INSERT INTO 'Caf\xE9' values ('\x80" "5');\r\n\r\n";

  TQXLMemoryStream Stream;
  Stream.Write("--\r\n", 4);
  T->ExportToSQL(Stream);
  ASSERT_EQ(Stream.Size(), static_cast<std::int64_t>(4 + Ansi.size()));
  EXPECT_EQ(std::string(static_cast<const char*>(Stream.Buffer()) + 4, Ansi.size()), Ansi);

  const std::string File = Dir.File("script.sql");
  std::ofstream(File) << "an older and much longer file that the export replaces entirely";
  T->ExportToSQL(File);
  std::ifstream In(File, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(In), {}), Ansi);
}

// Takes the first Limit bytes, then refuses.
class TShortStream : public TQXLMemoryStream {
public:
  explicit TShortStream(std::int32_t Limit) : FLimit(Limit) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int32_t Room = std::max<std::int32_t>(0, FLimit - static_cast<std::int32_t>(Size()));
    return TQXLMemoryStream::Write(Buffer, std::min(Count, Room));
  }

private:
  std::int32_t FLimit;
};

TEST_F(SqlExportTest, FailuresLeaveTheTableClosedAndWhatWasWritten) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  // An open table is refused before anything is written.
  T->Open();
  TQXLMemoryStream Untouched;
  EXPECT_THROW(T->ExportToSQL(Untouched), EDatabaseError);
  EXPECT_EQ(Untouched.Size(), 0);
  EXPECT_TRUE(T->Active());
  T->Close();

  TShortStream Short(30);
  try {
    T->ExportToSQL(Short);
    FAIL() << "a stream that refuses bytes must fail the export";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 20320);
  }
  EXPECT_EQ(std::string(static_cast<const char*>(Short.Buffer()), static_cast<std::size_t>(Short.Size())),
            std::string("DROP TABLE People;\r\nCREATE TABLE People (\r\n").substr(0, 30));
  EXPECT_FALSE(T->Active());
  // The table opens again normally afterwards.
  EXPECT_EQ(T->ExportToSQL().substr(0, 18), "DROP TABLE People;");
}

}  // namespace
