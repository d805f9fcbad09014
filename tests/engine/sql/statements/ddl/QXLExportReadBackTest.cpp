// A table exported as an SQL script and read back through CREATE TABLE and
// INSERT into another database file: the same columns and settings, the same
// indexes, the same rows (quotes, NULLs, BLOBs, bytes, times with
// milliseconds), and defaults that give the same values.
#include <gtest/gtest.h>

#include "engine/datasets/base/Field.h"
#include "engine/datasets/export/QXLExportToSqlOptions.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class ExportReadBack : public qxl::testsupport::SqlRunFixture {
protected:
  void SetUp() override {
    SqlRunFixture::SetUp();
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker2");
    Maker.SetDatabaseFileName(Dir.File("copy.qxl"));
    Maker.PageSize = 1024;
    Maker.CreateDatabase();
    Copy = std::make_unique<TQXLDatabase>();
    Copy->SetDatabaseName("Copy");
    Copy->SetDatabaseFileName(Dir.File("copy.qxl"));
    Copy->MultiUser = true;
    Copy->Open();
  }

  static void SetBytes(TField& Field, std::string_view Bytes) {
    TQXLVariant Value(Field.ValueType());
    Value.SetData(Bytes.data(), static_cast<std::int32_t>(Bytes.size()), Field.ValueType(), true);
    Field.SetValue(Value);
  }

  std::unique_ptr<TQXLTable> CreateStock() {
    std::unique_ptr<TQXLTable> T = NewTable("Stock");
    TQXLAdvFieldDefs& D = T->AdvFieldDefs();
    D.Add("Id", aftAutoInc, 0, true);
    D.Add("Code", aftInteger, 0, true);
    TQXLAdvFieldDef& Str = D.Add("Str", aftString, 20, false);
    Str.DefaultValue.SetAsAnsiString("a'b \"c\"");
    Str.MinValue.SetAsAnsiString("'a");
    Str.MaxValue.SetAsAnsiString("z'");
    D.Add("Ch", aftChar, 5, false);
    D.Add("WStr", aftWideString, 10, false);
    TQXLAdvFieldDef& Sm = D.Add("Sm", aftSmallint, 0, false);
    Sm.DefaultValue.SetAsInteger(7);
    Sm.MinValue.SetAsInteger(-5);
    Sm.MaxValue.SetAsInteger(500);
    D.Add("La", aftLargeint, 0, false);
    D.Add("Db", aftDouble, 0, false).DefaultValue.SetAsDouble(-2.5);
    D.Add("Bo", aftBoolean, 0, false);
    D.Add("Cu", aftCurrency, 0, false);
    D.Add("Da", aftDate, 0, false);
    D.Add("Ti", aftTime, 0, false);
    D.Add("Dt", aftDateTime, 0, false);
    D.Add("Bt", aftBytes, 4, false);
    D.Add("Bl", aftBlob, 0, false, acaZLIB, 6);
    D.Add("Me", aftMemo, 0, false);
    D.Add("Wm", aftWideMemo, 0, false);
    D.Add("Gu", aftGuid, 0, false);
    T->AdvIndexDefs().Add("PK", "Id", TIndexOptions{ixPrimary});
    T->AdvIndexDefs().Add("ByStr", "Str;Da", TIndexOptions{ixUnique}, false, "Da", "Str");
    T->AdvIndexDefs().Add("Index", "La", TIndexOptions{});
    T->CreateTable();

    T->Open();
    T->Append();
    T->FieldByName("Code").SetAsInteger(1);
    T->FieldByName("Str").SetAsString("it's \"x\"");
    T->FieldByName("Ch").SetAsString("O'K");
    T->FieldByName("WStr").SetAsString("wide\xC3\xA9");
    T->FieldByName("Sm").SetAsInteger(300);
    T->FieldByName("La").SetAsLargeInt(-9000000000LL);
    T->FieldByName("Db").SetAsFloat(0.125);
    T->FieldByName("Bo").SetAsBoolean(true);
    T->FieldByName("Cu").SetAsFloat(12.3456);
    T->FieldByName("Da").SetAsDateTime(platform::EncodeDate(2024, 2, 29));
    TQXLVariant Time(bftTime);
    Time.SetAsQXLTime(((13 * 60 + 5) * 60 + 9) * 1000 + 123);
    T->FieldByName("Ti").SetValue(Time);
    T->FieldByName("Dt").SetAsDateTime(platform::EncodeDate(1999, 12, 31) + 0.5);
    SetBytes(T->FieldByName("Bt"), std::string("\x00\x01\xFE\xFF", 4));
    SetBytes(T->FieldByName("Bl"), std::string("\x00\xFFhi", 4));
    T->FieldByName("Me").SetAsString("line'1\r\nline 2");
    T->FieldByName("Wm").SetAsString("W");
    T->FieldByName("Gu").SetAsString("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    T->Post();
    // A record of NULLs where they are allowed.
    T->Append();
    T->FieldByName("Code").SetAsInteger(2);
    for (const char* Name : {"Str", "Sm", "Db"}) T->FieldByName(Name).Clear();
    T->Post();
    T->Close();
    return T;
  }

  static std::string Shown(const TQXLVariant& Value) {
    if (Value.IsNull()) return "<null>";
    if (Value.IsWideStringDataType()) return platform::WideToUtf8(Value.GetAsWideString());
    if (Value.IsBlobDataType() || Value.DataType() == bftBytes || Value.DataType() == bftVarBytes) {
      std::string Hex;
      const auto* Bytes = static_cast<const unsigned char*>(Value.pData());
      for (std::int32_t I = 0; I < Value.DataSize(); ++I) Hex += std::to_string(Bytes[I]) + " ";
      return Hex;
    }
    return Value.GetAsAnsiString();
  }

  // Every field of every record, as text.
  static std::vector<std::string> Rows(TQXLTable& T) {
    std::vector<std::string> Rows;
    for (T.First(); !T.Eof(); T.Next()) {
      std::string Row;
      for (std::int32_t I = 0; I < T.FieldCount(); ++I) {
        TQXLVariant Value(T.Fields(I).ValueType());
        T.Fields(I).GetValue(Value);
        Row += T.Fields(I).FieldName + "=" + Shown(Value) + "|";
      }
      Rows.push_back(Row);
    }
    return Rows;
  }

  std::unique_ptr<TQXLDatabase> Copy;
};

TEST_F(ExportReadBack, TheScriptMakesTheSameTableWithTheSameRows) {
  std::unique_ptr<TQXLTable> Original = CreateStock();
  Original->ExportToSqlOptions().Data = true;
  Original->ExportToSqlOptions().BlobSettings = true;
  // Both forms of INSERT; the script's DROP TABLE replaces the first copy.
  for (bool FieldNames : {false, true}) {
    SCOPED_TRACE(FieldNames ? "with column names" : "by position");
    Original->ExportToSqlOptions().FieldNamesInInserts = FieldNames;
    const std::string Script = Original->ExportToSQL();
    EXPECT_EQ(Run(Script, "Copy"), 2);

    Original->Open();
    TQXLTable ReadBack;
    ReadBack.SetDatabaseName("Copy");
    ReadBack.SetTableName("Stock");
    ReadBack.Open();

    const TQXLAdvFieldDefs& A = Original->AdvFieldDefs();
    const TQXLAdvFieldDefs& B = ReadBack.AdvFieldDefs();
    ASSERT_EQ(A.Count(), B.Count());
    for (std::int32_t I = 0; I < A.Count(); ++I) {
      const TQXLAdvFieldDef& X = A.Defs(I);
      const TQXLAdvFieldDef& Y = B.Defs(I);
      SCOPED_TRACE(X.Name);
      EXPECT_EQ(X.Name, Y.Name);
      EXPECT_EQ(X.DataType, Y.DataType);
      EXPECT_EQ(X.Size, Y.Size);
      EXPECT_EQ(X.Required, Y.Required);
      EXPECT_EQ(Shown(X.MinValue), Shown(Y.MinValue));
      EXPECT_EQ(Shown(X.MaxValue), Shown(Y.MaxValue));
      EXPECT_EQ(X.DefaultValue.IsNull(), Y.DefaultValue.IsNull());
      EXPECT_EQ(X.BLOBCompressionAlgorithm, Y.BLOBCompressionAlgorithm);
      EXPECT_EQ(X.BLOBCompressionMode, Y.BLOBCompressionMode);
      EXPECT_EQ(X.BLOBBlockSize, Y.BLOBBlockSize);
    }
    const TQXLAdvIndexDefs& IA = Original->AdvIndexDefs();
    const TQXLAdvIndexDefs& IB = ReadBack.AdvIndexDefs();
    ASSERT_EQ(IA.Count(), IB.Count());
    for (std::int32_t I = 0; I < IA.Count(); ++I) {
      SCOPED_TRACE(IA.Defs(I).Name);
      EXPECT_EQ(IA.Defs(I).Name, IB.Defs(I).Name);
      EXPECT_EQ(IA.Defs(I).Fields, IB.Defs(I).Fields);
      EXPECT_EQ(IA.Defs(I).DescFields, IB.Defs(I).DescFields);
      EXPECT_EQ(IA.Defs(I).CaseInsFields, IB.Defs(I).CaseInsFields);
      EXPECT_EQ(IA.Defs(I).Options, IB.Defs(I).Options);
    }
    EXPECT_EQ(Rows(*Original), Rows(ReadBack));
    if (FieldNames) {
      // The defaults give the same values in both tables.
      for (TQXLTable* T : {Original.get(), &ReadBack}) {
        T->Append();
        T->FieldByName("Code").SetAsInteger(3);
        T->Post();
      }
      EXPECT_EQ(Rows(*Original), Rows(ReadBack));
    }
    Original->Close();
    ReadBack.Close();
  }
}

}  // namespace
