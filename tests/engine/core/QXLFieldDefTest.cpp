#include <gtest/gtest.h>

#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/values/QXLVariant.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"
#include "tests/engine/core/QXLTestExpression.h"

using namespace qxl;

namespace {

TQXLFieldDef* AddField(TQXLFieldDefs& defs, const char* name, TQXLAdvancedFieldType type, std::int32_t size = 0) {
  auto* f = defs.AddCreated();
  f->Name = name;
  f->SetFieldDefDataType(type, size);
  return f;
}

// The stored bytes after the type and size fields of a field with the
// default auto-increment settings and an untyped NULL default.
const Bytes kAutoincAndNullDefault = Int64LE(1) + Int64LE(0) + Int64LE(0) + Int64LE(0x7FFFFFFFFFFFFFFF) + Bytes{0} +
                                     Bytes{0, 0xFF};

}  // namespace

TEST(QXLFieldDef, NewDefinitionDefaults) {
  TQXLFieldDef f;
  EXPECT_EQ(f.BaseFieldType, bftUnknown);
  EXPECT_EQ(f.BLOBBlockSize, 102400);
  EXPECT_EQ(f.AutoincIncrement, 1);
  EXPECT_EQ(f.AutoincMaxValue, 0x7FFFFFFFFFFFFFFF);
  EXPECT_TRUE(f.DefaultValue->IsNull());
  EXPECT_EQ(f.DefaultValueExpr, nullptr);
}

TEST(QXLFieldDef, IntegerFieldGoldenBytes) {
  TQXLFieldDef f;
  f.Name = "ID";
  f.ObjectID = 1;
  f.SetFieldDefDataType(aftInteger, 0);
  TQXLMemoryStream s;
  f.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), (Bytes{2, 'I', 'D'} + Int32LE(1) + Bytes{7, 7} + Int32LE(0) + kAutoincAndNullDefault));
}

// A BLOB field stores its three BLOB settings; that makes it 6 bytes longer.
TEST(QXLFieldDef, BlobFieldGoldenBytesAndRoundTrip) {
  TQXLFieldDef f;
  f.Name = "DOC";
  f.ObjectID = 2;
  f.SetFieldDefDataType(aftMemo, 0);
  f.BLOBCompressionAlgorithm = acaZLIB;
  f.BLOBCompressionMode = 6;
  f.BLOBBlockSize = 1048576;
  f.AutoincCycled = true;
  f.DefaultValue->SetAsAnsiString("abc");
  TQXLMemoryStream s;
  f.SaveToStream(s);
  const Bytes expected = Bytes{3, 'D', 'O', 'C'} + Int32LE(2) + Bytes{bftClob, aftMemo} + Int32LE(0) + Bytes{1, 6} +
                         Int32LE(1048576) + Int64LE(1) + Int64LE(0) + Int64LE(0) + Int64LE(0x7FFFFFFFFFFFFFFF) +
                         Bytes{1} + Bytes{bftVarchar, 0} + Int32LE(4) + Text("abc") + Bytes{0};
  EXPECT_EQ(ContentOf(s), expected);

  s.SetPosition(0);
  TQXLFieldDef back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Name, "DOC");
  EXPECT_EQ(back.BaseFieldType, bftClob);
  EXPECT_EQ(back.AdvancedFieldType, aftMemo);
  EXPECT_EQ(back.BLOBCompressionAlgorithm, acaZLIB);
  EXPECT_EQ(back.BLOBCompressionMode, 6);
  EXPECT_EQ(back.BLOBBlockSize, 1048576);
  EXPECT_TRUE(back.AutoincCycled);
  EXPECT_EQ(back.DefaultValue->GetAsAnsiString(), "abc");
  // Sizes are recomputed, not stored.
  EXPECT_EQ(back.MemoryDataSize, 10);
  EXPECT_EQ(back.DiskDataSize, 6);
  TQXLMemoryStream again;
  back.SaveToStream(again);
  EXPECT_EQ(ContentOf(again), expected);
}

TEST(QXLFieldDef, TruncatedStreamRaisesTheCodeOfTheCutField) {
  TQXLFieldDef f;
  f.Name = "B";
  f.SetFieldDefDataType(aftBlob, 0);
  TQXLMemoryStream s;
  f.SaveToStream(s);
  const Bytes all = ContentOf(s);
  struct {
    std::size_t start;
    std::int32_t code;
  } fields[] = {{0, 10166}, {1, 10167}, {2, 10169}, {6, 10187}, {7, 10188}, {8, 10189}, {12, 10192},
                {13, 10193}, {14, 10194}, {18, 30407}, {26, 30408}, {34, 30409}, {42, 30410}, {50, 30411},
                {51, 10183}};
  for (auto c : fields) {
    Fill(s, Bytes(all.begin(), all.begin() + static_cast<long>(c.start)));
    TQXLFieldDef d;
    EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), c.code) << "cut at " << c.start;
  }
}

TEST(QXLFieldDef, DamagedTypeOrSizeIsRefused) {
  const std::pair<std::uint8_t, std::int32_t> cases[] = {
      {bftUnknown, 0}, {bftBFile, 0}, {200, 0}, {bftVarchar, -5}, {bftWideChar, 0x7FFFFFFF}};
  for (auto [type, size] : cases) {
    TQXLMemoryStream s;
    Fill(s, Bytes{0} + Int32LE(1) + Bytes{type, 0} + Int32LE(size) + kAutoincAndNullDefault);
    TQXLFieldDef d;
    EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), 30050) << int(type) << " " << size;
  }
}

TEST(QXLFieldDef, SetFieldDefDataTypeDerivesTheOtherTypeAndSizes) {
  TQXLFieldDef f;
  f.SetFieldDefDataType(aftString, 20);
  EXPECT_EQ(f.BaseFieldType, bftVarchar);
  EXPECT_EQ(f.MemoryDataSize, 21);
  EXPECT_EQ(f.DiskDataSize, 21);
  f.SetFieldDefDataType(bftClob, 0);
  EXPECT_EQ(f.AdvancedFieldType, aftMemo);
  EXPECT_EQ(f.MemoryDataSize, 10);
  EXPECT_EQ(f.DiskDataSize, 6);
  EXPECT_EQ(MessageOf([&] { f.SetFieldDefDataType(aftUnknown, 0); }),
            "Unsupported data type 'Unknown' - Native error: 30007");
  EXPECT_EQ(NativeCodeOf([&] { f.SetFieldDefDataType(bftBFile, 0); }), 30008);
  EXPECT_EQ(f.BaseFieldType, bftClob);
}

TEST(QXLFieldDef, AssignCopiesAllButTheVisibleFieldReference) {
  TQXLFieldDef src;
  src.Name = "N";
  src.ObjectID = 4;
  src.SchemaName = "S";
  src.SetFieldDefDataType(aftLargeint, 0);
  src.DiskOffset = 3;
  src.MemoryOffset = 5;
  src.FieldNoReference = 8;
  src.AutoincIncrement = 7;
  src.DefaultValue->SetAsInteger(42);
  TQXLFieldDef copy;
  copy.FieldNoReference = 2;
  copy.Assign(src);
  EXPECT_EQ(copy.Name, "N");
  EXPECT_EQ(copy.SchemaName, "S");
  EXPECT_EQ(copy.BaseFieldType, bftSignedInt64);
  EXPECT_EQ(copy.MemoryOffset, 5);
  EXPECT_EQ(copy.DiskOffset, 3);
  EXPECT_EQ(copy.AutoincIncrement, 7);
  EXPECT_EQ(copy.FieldNoReference, 2);
  EXPECT_EQ(copy.DefaultValue->GetAsInteger(), 42);
  EXPECT_FALSE(copy.DefaultValue->IsDataLinked());
  TQXLMetaObjectDef other;
  EXPECT_THROW(copy.Assign(other), EQXLInvalidCast);
}

TEST(QXLFieldDef, DefaultExpressionsComeFromTheSQLLayer) {
  TQXLFieldDef f;
  f.SetFieldDefDataType(aftString, 20);
  f.DefaultValue->SetAsAnsiString("CURRENT_DATE");
  f.CreateDefaultValueExpr();
  EXPECT_EQ(f.DefaultValueExpr, nullptr);  // no SQL layer yet

  TestExpressionServices services([](const TQXLVariant& v) { return v.GetAsAnsiString() == "CURRENT_DATE"; });
  f.CreateDefaultValueExpr();
  auto* e = dynamic_cast<TestExpression*>(f.DefaultValueExpr.get());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Parsed, std::vector<std::string>{"CURRENT_DATE"});

  // Loading and copying make the expression again; a plain value has none.
  TQXLMemoryStream s;
  f.SaveToStream(s);
  s.SetPosition(0);
  TQXLFieldDef loaded, copied;
  loaded.LoadFromStream(s);
  EXPECT_NE(loaded.DefaultValueExpr, nullptr);
  copied.Assign(f);
  EXPECT_NE(copied.DefaultValueExpr, nullptr);
  f.DefaultValue->SetAsAnsiString("plain");
  f.CreateDefaultValueExpr();
  EXPECT_EQ(f.DefaultValueExpr, nullptr);
}

TEST(QXLFieldDef, OnlyNonEmptyTextDefaultsAreOfferedAsExpressions) {
  static int asked = 0;
  TestExpressionServices services([](const TQXLVariant&) { return ++asked > 0; });
  TQXLFieldDef f;
  f.SetFieldDefDataType(aftInteger, 0);
  f.DefaultValue->SetAsInteger(5);
  f.CreateDefaultValueExpr();
  f.DefaultValue->Clear(bftVarchar);
  f.CreateDefaultValueExpr();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(f.DefaultValueExpr, nullptr);
  f.DefaultValue->SetAsWideString(u"X");
  f.CreateDefaultValueExpr();
  EXPECT_EQ(asked, 1);
  EXPECT_NE(f.DefaultValueExpr, nullptr);
}

TEST(QXLFieldDefs, RecordLayoutStartsAfterTheNullBitmap) {
  for (int n : {8, 9}) {
    TQXLFieldDefs defs;
    for (int i = 0; i < n - 1; ++i) AddField(defs, ("F" + std::to_string(i)).c_str(), aftInteger);
    AddField(defs, "B", aftBlob);
    defs.RecalcFieldOffsets();
    const int bitmap = n == 8 ? 1 : 2;
    EXPECT_EQ(defs.GetDef(0)->MemoryOffset, bitmap);
    EXPECT_EQ(defs.GetDef(0)->DiskOffset, bitmap);
    EXPECT_EQ(defs.GetDef(1)->MemoryOffset, bitmap + 4);
    EXPECT_EQ(defs.GetDef(n - 1)->MemoryOffset, bitmap + 4 * (n - 1));
    EXPECT_EQ(defs.GetMemoryRecordBufferSize(), bitmap + 4 * (n - 1) + 10);
    EXPECT_EQ(defs.GetDiskRecordBufferSize(), bitmap + 4 * (n - 1) + 6);
  }
  TQXLFieldDefs empty;
  EXPECT_EQ(empty.GetMemoryRecordBufferSize(), 0);
}

TEST(QXLFieldDefs, ListStoredFormAndLookups) {
  TQXLFieldDefs defs;
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(0));

  AddField(defs, "ID", aftInteger);
  AddField(defs, "Name", aftString, 30);
  Fill(s, {});
  defs.SaveToStream(s);
  s.SetPosition(0);
  TQXLFieldDefs back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.FLoadedItemCount, 2);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.GetFieldDefByName("id"), back.GetDef(0));
  EXPECT_EQ(back.GetFieldDefByName("NAME")->MemoryDataSize, 31);

  TQXLFieldDefs copy;
  copy.Assign(back);
  EXPECT_EQ(copy.GetDef(1)->FieldSize, 30);
  back.GetDef(1)->Name = "Id";
  EXPECT_EQ(NativeCodeOf([&] { copy.Assign(back); }), 10424);
}
