#include <gtest/gtest.h>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/values/QXLVariant.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

template <typename T>
void SetTableAndColumn(T& d) {
  d.Name = "C";
  d.ObjectID = 9;
  d.TableSchemaObjectID = -1;
  d.TableObjectID = 3;
  d.TableName = "T";
}

const Bytes kHeader = Bytes{1, 'C'} + Int32LE(9);

}  // namespace

// NOT NULL and CHECK names: a byte of length plus one, then length and bytes.
TEST(QXLConstraintDefNotNull, GoldenBytesAndRoundTrip) {
  TQXLConstraintDefNotNull d;
  SetTableAndColumn(d);
  d.ColumnName = "ID";
  d.ColumnObjectID = 4;
  TQXLMemoryStream s;
  d.SaveToStream(s);
  const Bytes expected = kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(4) + Bytes{1, 0} + Bytes{2, 1, 'T'} +
                         Bytes{3, 2, 'I', 'D'};
  EXPECT_EQ(ContentOf(s), expected);
  s.SetPosition(0);
  TQXLConstraintDefNotNull back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.TableName, "T");
  EXPECT_EQ(back.ColumnName, "ID");
  EXPECT_EQ(back.TableSchemaName, "");
  EXPECT_EQ(back.ColumnObjectID, 4);
  EXPECT_EQ(back.ConstraintType, ctNotNull);
}

// UNIQUE and PRIMARY KEY names: a 32-bit length plus one, then length and bytes.
TEST(QXLConstraintDefUnique, GoldenBytesAndRoundTrip) {
  TQXLConstraintDefPrimary d;
  SetTableAndColumn(d);
  d.IndexName = "PK";
  d.IndexObjectID = 12;
  d.Columns = {{"ID", 4}, {"", -1}};
  TQXLMemoryStream s;
  d.SaveToStream(s);
  const Bytes expected = kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(12) + Int32LE(1) + Bytes{0} + Int32LE(2) +
                         Bytes{1, 'T'} + Int32LE(3) + Bytes{2, 'P', 'K'} + Int32LE(2) + Int32LE(4) + Int32LE(3) +
                         Bytes{2, 'I', 'D'} + Int32LE(-1) + Int32LE(1) + Bytes{0};
  EXPECT_EQ(ContentOf(s), expected);
  s.SetPosition(0);
  TQXLConstraintDefPrimary back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.IndexName, "PK");
  EXPECT_EQ(back.IndexObjectID, 12);
  ASSERT_EQ(back.Columns.size(), 2u);
  EXPECT_EQ(back.Columns[0].ColumnName, "ID");
  EXPECT_EQ(back.Columns[1].ColumnObjectID, -1);
  EXPECT_EQ(back.ConstraintType, ctPK);
}

TEST(QXLConstraintDefCheck, BoundsFollowTheNamesAndUseCheckCodes) {
  TQXLConstraintDefCheck d;
  SetTableAndColumn(d);
  d.ColumnName = "N";
  d.MinValue->SetAsInteger(1);
  TQXLMemoryStream s;
  d.SaveToStream(s);
  const Bytes names = Bytes{1, 0} + Bytes{2, 1, 'T'} + Bytes{2, 1, 'N'};
  const Bytes expected = kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(-1) + names + Bytes{bftSignedInt32, 0} +
                         Int32LE(4) + Int32LE(1) + Bytes{0, 0xFF};
  EXPECT_EQ(ContentOf(s), expected);
  s.SetPosition(0);
  TQXLConstraintDefCheck back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.MinValue->GetAsInteger(), 1);
  EXPECT_TRUE(back.MaxValue->IsNull());

  // Each field cut off raises the CHECK record's own read code.
  struct {
    std::size_t start;
    std::int32_t code;
  } cuts[] = {{6, 10230}, {10, 10231}, {14, 10232}, {18, 10233}, {19, 10234}, {20, 10235},
              {21, 10236}, {23, 10237}, {24, 10238}};
  for (auto c : cuts) {
    Fill(s, Bytes(expected.begin(), expected.begin() + static_cast<long>(c.start)));
    TQXLConstraintDefCheck cut;
    EXPECT_EQ(NativeCodeOf([&] { cut.LoadFromStream(s); }), c.code) << c.start;
  }
}

// Each field of a stored record cut off raises that field's read code.
TEST(QXLConstraintDef, CutRecordsRaiseTheCodeOfTheCutField) {
  struct Cut {
    std::size_t start;
    std::int32_t code;
  };
  auto expectCuts = [](const TQXLConstraintDef& whole, auto makeEmpty, std::initializer_list<Cut> cuts) {
    TQXLMemoryStream s;
    whole.SaveToStream(s);
    const Bytes all = ContentOf(s);
    for (const Cut& c : cuts) {
      Fill(s, Bytes(all.begin(), all.begin() + static_cast<long>(c.start)));
      auto cut = makeEmpty();
      EXPECT_EQ(NativeCodeOf([&] { cut.LoadFromStream(s); }), c.code) << int(whole.ConstraintType) << " at " << c.start;
    }
  };
  TQXLConstraintDefNotNull notNull;
  SetTableAndColumn(notNull);
  notNull.ColumnName = "ID";
  expectCuts(notNull, [] { return TQXLConstraintDefNotNull(); },
             {{0, 10166}, {1, 10167}, {2, 10169}, {6, 10249}, {10, 10250}, {14, 10251}, {18, 10252}, {19, 10253},
              {20, 10254}, {21, 10255}, {23, 10256}, {24, 10257}});
  TQXLConstraintDefUnique unique;
  SetTableAndColumn(unique);
  unique.IndexName = "PK";
  unique.Columns = {{"ID", 4}};
  expectCuts(unique, [] { return TQXLConstraintDefUnique(); },
             {{6, 30303}, {10, 30304}, {14, 30317}, {18, 30305}, {22, 30306}, {23, 30307}, {27, 30308},
              {29, 30321}, {33, 30322}, {36, 30309}, {40, 30310}, {44, 30311}, {48, 30312}});
}

// A name of 255 bytes cannot be described by a length-plus-one byte: NOT NULL
// and CHECK records refuse it instead of storing a wrapped length.
TEST(QXLConstraintDefNotNull, NamesAreLimitedTo254Bytes) {
  TQXLConstraintDefNotNull d;
  d.ColumnName = std::string(254, 'c');
  TQXLMemoryStream s;
  d.SaveToStream(s);
  s.SetPosition(0);
  TQXLConstraintDefNotNull back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.ColumnName.size(), 254u);

  d.ColumnName = std::string(255, 'c');
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 10247);
  TQXLConstraintDefCheck check;
  check.TableName = std::string(255, 't');
  EXPECT_EQ(NativeCodeOf([&] { check.SaveToStream(s); }), 10223);

  // SetNames cuts to what can be stored; the schema name is not stored here.
  d.SetNames(std::string(300, 'c'), std::string(255, 't'), std::string(300, 's'));
  EXPECT_EQ(d.ColumnName.size(), 254u);
  EXPECT_EQ(d.TableName.size(), 254u);
  EXPECT_EQ(d.SchemaName.size(), 255u);
  EXPECT_EQ(d.TableSchemaName, "");
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 0);

  // UNIQUE records have room for 255 bytes.
  TQXLConstraintDefUnique u;
  u.IndexName = std::string(255, 'i');
  EXPECT_EQ(NativeCodeOf([&] { u.SaveToStream(s); }), 0);
}

TEST(QXLConstraintDef, DamagedNameLengthsAreRefused) {
  const Bytes ids = kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(4);
  struct {
    Bytes bytes;
    std::int32_t code;
  } cases[] = {
      {ids + Bytes{3, 5, 'A', 'B'}, 10253},  // inner length disagrees with the prefix
      {ids + Bytes{2, 0, 'A'}, 10253},
  };
  TQXLMemoryStream s;
  for (auto& c : cases) {
    Fill(s, c.bytes);
    TQXLConstraintDefNotNull d;
    EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), c.code);
  }
  const Bytes uniqueIds = kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(12);
  for (std::int32_t prefix : {-1, 257, 0x7FFFFFFF}) {
    Fill(s, uniqueIds + Int32LE(prefix) + Bytes(300, 0));
    TQXLConstraintDefUnique d;
    EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), 30305) << prefix;
  }
  Fill(s, uniqueIds + Int32LE(1) + Bytes{0} + Int32LE(1) + Bytes{0} + Int32LE(1) + Bytes{0} + Int32LE(-3));
  TQXLConstraintDefUnique d;
  EXPECT_EQ(NativeCodeOf([&] { d.LoadFromStream(s); }), 30309);
}

TEST(QXLConstraintDefs, ListStoresKindBeforeEachDefinition) {
  TQXLConstraintDefs defs;
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(0));

  defs.AddNotNull()->ColumnName = "A";
  defs.AddCheck()->MaxValue->SetAsInteger(5);
  defs.AddPK()->Columns = {{"A", 1}};
  defs.AddUnique()->IndexName = "U";
  Fill(s, {});
  defs.SaveToStream(s);
  const Bytes all = ContentOf(s);
  EXPECT_EQ(Bytes(all.begin(), all.begin() + 5), (Int32LE(4) + Bytes{ctNotNull}));

  s.SetPosition(0);
  TQXLConstraintDefs back;
  back.LoadFromStream(s);
  ASSERT_EQ(back.Count(), 4);
  EXPECT_EQ(dynamic_cast<TQXLConstraintDefNotNull&>(*back.GetDef(0)).ColumnName, "A");
  EXPECT_EQ(dynamic_cast<TQXLConstraintDefCheck&>(*back.GetDef(1)).MaxValue->GetAsInteger(), 5);
  EXPECT_EQ(dynamic_cast<TQXLConstraintDefPrimary&>(*back.GetDef(2)).Columns.size(), 1u);
  EXPECT_EQ(dynamic_cast<TQXLConstraintDefUnique&>(*back.GetDef(3)).IndexName, "U");
  TQXLMemoryStream again;
  back.SaveToStream(again);
  EXPECT_EQ(ContentOf(again), all);

  TQXLConstraintDefs copy;
  copy.Assign(back);
  ASSERT_EQ(copy.Count(), 4);
  EXPECT_EQ(copy.GetDef(2)->ConstraintType, ctPK);
  EXPECT_NE(copy.GetDef(1), back.GetDef(1));
  EXPECT_EQ(dynamic_cast<TQXLConstraintDefCheck&>(*copy.GetDef(1)).MaxValue->GetAsInteger(), 5);
}

TEST(QXLConstraintDefs, TheForeignKeyKindIsRefused) {
  TQXLMemoryStream s;
  Fill(s, Int32LE(1) + Bytes{ctFK} + kHeader);
  TQXLConstraintDefs defs;
  EXPECT_EQ(MessageOf([&] { defs.LoadFromStream(s); }), "Unknown Constraint Type: '1' - Native error: 30316");

  TQXLConstraintDefs source;
  source.AddDef(std::make_unique<TQXLConstraintDef>(ctFK));
  EXPECT_EQ(MessageOf([&] { defs.Assign(source); }), "Not implemented yet - Native error: 30035");
}

TEST(QXLConstraintDefs, AFailedLoadKeepsTheDefinitionBeingRead) {
  TQXLMemoryStream s;
  Fill(s, Int32LE(2) + Bytes{ctNotNull} + kHeader + Int32LE(-1) + Int32LE(3) + Int32LE(4) + Bytes{1, 0} +
              Bytes{2, 1, 'T'} + Bytes{1, 0} + Bytes{ctUnique, 0});
  TQXLConstraintDefs defs;
  EXPECT_EQ(NativeCodeOf([&] { defs.LoadFromStream(s); }), 10169);
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.GetDef(1)->ConstraintType, ctUnique);
}
