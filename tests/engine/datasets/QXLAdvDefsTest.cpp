// The dataset layer's column and index definitions and their conversions to
// and from the dataset's and the engine's definitions.
#include <gtest/gtest.h>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLFieldDefConversion.h"
#include "engine/datasets/QXLIndexDefConversion.h"
#include "engine/datasets/base/FieldDefs.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

void AddEngineField(TQXLFieldDefs& Defs, const char* Name, TQXLAdvancedFieldType Type, std::int32_t Size,
                    std::int32_t ObjectID) {
  TQXLFieldDef* f = Defs.AddCreated();
  f->Name = Name;
  f->SetFieldDefDataType(Type, Size);
  f->ObjectID = ObjectID;
  f->FieldNoReference = Defs.Count() - 1;
}

TQXLFieldDefs& Columns(TQXLFieldDefs& Defs) {
  AddEngineField(Defs, "Id", aftAutoInc, 0, 11);
  AddEngineField(Defs, "Name", aftString, 40, 12);
  AddEngineField(Defs, "Code", aftInteger, 0, 13);
  return Defs;
}

}  // namespace

TEST(QXLAdvFieldDefs, NewDefinitionsAndCopies) {
  TQXLAdvFieldDef d;
  EXPECT_EQ(d.ObjectID, -1);
  EXPECT_EQ(d.AutoincIncrement, 1);
  EXPECT_EQ(d.AutoincMaxValue, 9223372036854775807LL);
  EXPECT_EQ(d.BLOBBlockSize, 102400);
  EXPECT_TRUE(d.DefaultValue.IsNull());

  TQXLAdvFieldDefs defs;
  TQXLAdvFieldDef& a = defs.Add("Amount", aftInteger, 0, true, acaZLIB, 2);
  a.MinValue.SetAsInteger(5);
  TQXLAdvFieldDefs copy;
  copy.Assign(defs);
  a.MinValue.SetAsInteger(9);
  ASSERT_NE(copy.Find("AMOUNT"), nullptr);
  EXPECT_EQ(copy.Find("amount")->MinValue.GetAsInteger(), 5);
  EXPECT_EQ(copy.Find("amount")->BLOBCompressionAlgorithm, acaZLIB);
  EXPECT_TRUE(copy.Find("amount")->Required);
  EXPECT_EQ(copy.Find("missing"), nullptr);

  EXPECT_EQ(NativeCodeOf([&] { defs.DeleteFieldDef("Nope"); }), 30349);
  defs.DeleteFieldDef("aMOUNT");
  EXPECT_EQ(defs.Count(), 0);
}

TEST(QXLAdvIndexDefs, DeletesByNameAndSkipsTemporaryIndexesOnRequest) {
  int updates = 0;
  TQXLAdvIndexDefs defs([&] { ++updates; });
  defs.Add("ByName", "Name", {});
  defs.Add("MyTemporaryIdx", "Code", {});
  defs.Add("Scratch", "Code", {}, true);
  TQXLAdvIndexDefs copy;
  copy.Assign(defs, true);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy.Defs(0).Name, "ByName");
  copy.Assign(defs, false);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(NativeCodeOf([&] { defs.DeleteIndexDef("Unknown"); }), 20190);
  defs.DeleteIndexDef("byname");
  EXPECT_EQ(defs.Find("ByName"), nullptr);
  defs.Update();
  EXPECT_EQ(updates, 1);
}

TEST(QXLFieldDefConversion, TableCreationBringsColumnAndIndexConstraints) {
  TQXLAdvFieldDefs adv;
  adv.Add("Id", aftInteger, 0, true);
  adv.Add("Name", aftString, 40, false).BLOBBlockSize = 0;
  TQXLAdvFieldDef& code = adv.Add("Code", aftInteger, 0, false);
  code.MaxValue.SetAsInteger(99);
  code.DefaultValue.SetAsInteger(7);

  TQXLFieldDefs fields;
  Columns(fields);
  TQXLIndexDefs indexes;
  FillQXLIndexDef(*indexes.AddCreated(), "PK", "Id;Name", {ixPrimary, ixUnique}, false, "", "", "", fields);
  FillQXLIndexDef(*indexes.AddCreated(), "UCode", "Code", {ixUnique}, false, "", "", "", fields);
  FillQXLIndexDef(*indexes.AddCreated(), "Plain", "Name", {}, false, "", "", "", fields);

  TQXLFieldDefs made;
  TQXLConstraintDefs constraints;
  AdvFieldDefsToQXLDefs(adv, made, indexes, constraints, false);
  ASSERT_EQ(made.Count(), 3);
  EXPECT_EQ(made.GetDef(1)->BaseFieldType, bftVarchar);
  EXPECT_EQ(made.GetDef(1)->FieldSize, 40);
  EXPECT_EQ(made.GetDef(1)->BLOBBlockSize, 102400);
  EXPECT_EQ(made.GetDef(2)->DefaultValue->GetAsInteger(), 7);
  ASSERT_EQ(constraints.Count(), 4);
  EXPECT_EQ(constraints.GetDef(0)->ConstraintType, ctNotNull);
  EXPECT_EQ(static_cast<TQXLColumnConstraintDef*>(constraints.GetDef(0))->ColumnName, "Id");
  auto* check = static_cast<TQXLConstraintDefCheck*>(constraints.GetDef(1));
  EXPECT_EQ(check->ConstraintType, ctCheck);
  EXPECT_EQ(check->ColumnName, "Code");
  EXPECT_TRUE(check->MinValue->IsNull());
  EXPECT_EQ(check->MaxValue->GetAsInteger(), 99);
  EXPECT_EQ(constraints.GetDef(2)->Name, "C_PK$Id$Name");
  EXPECT_EQ(constraints.GetDef(3)->Name, "C_Unique$Code");

  // A temporary table keeps only what its indexes bring.
  AdvFieldDefsToQXLDefs(adv, made, indexes, constraints, true);
  ASSERT_EQ(constraints.Count(), 2);
  EXPECT_EQ(constraints.GetDef(0)->ConstraintType, ctPK);
}

TEST(QXLFieldDefConversion, OpeningReadsRequiredAndRangesThroughTheVisibleFields) {
  TQXLFieldDefs all;
  Columns(all);
  // A projection that shows Code and Id only, in that order.
  TQXLFieldDefs visible;
  AddEngineField(visible, "Code", aftInteger, 0, 13);
  visible.GetDef(0)->FieldNoReference = 2;
  AddEngineField(visible, "Id", aftGuid, 38, 11);
  visible.GetDef(1)->FieldNoReference = 0;
  visible.GetDef(1)->BLOBCompressionAlgorithm = static_cast<TQXLCompressionAlgorithm>(9);

  TQXLConstraintDefs constraints;
  constraints.AddNotNull()->ColumnObjectID = 13;
  constraints.AddNotNull()->ColumnObjectID = 12;  // Name: hidden
  TQXLConstraintDefCheck* check = constraints.AddCheck();
  check->ColumnObjectID = 11;
  check->MinValue->SetAsInteger(1);
  constraints.AddPK()->Name = "C_PK$Id";

  TQXLAdvFieldDefs adv;
  QXLFieldDefsToAdvFieldDefs(visible, all, constraints, adv);
  ASSERT_EQ(adv.Count(), 2);
  EXPECT_EQ(adv.Defs(0).Name, "Code");
  EXPECT_EQ(adv.Defs(0).ObjectID, 13);
  EXPECT_TRUE(adv.Defs(0).Required);
  EXPECT_FALSE(adv.Defs(1).Required);
  EXPECT_EQ(adv.Defs(1).Size, 0);  // a GUID carries no size
  EXPECT_EQ(adv.Defs(1).BLOBCompressionAlgorithm, acaNone);
  EXPECT_EQ(adv.Defs(1).MinValue.GetAsInteger(), 1);

  TQXLConstraintDefs missing;
  missing.AddNotNull()->ColumnObjectID = 99;
  EXPECT_EQ(NativeCodeOf([&] { QXLFieldDefsToAdvFieldDefs(visible, all, missing, adv); }), 30032);
  missing.Clear();
  missing.AddCheck()->ColumnObjectID = 99;
  EXPECT_EQ(NativeCodeOf([&] { QXLFieldDefsToAdvFieldDefs(visible, all, missing, adv); }), 30031);
}

TEST(QXLFieldDefConversion, EngineFieldsBecomeDatasetDefinitions) {
  TQXLFieldDefs all;
  Columns(all);
  AddEngineField(all, "Key", aftGuid, 38, 14);
  TQXLConstraintDefs constraints;
  constraints.AddNotNull()->ColumnObjectID = 11;  // auto-increment: not required
  constraints.AddNotNull()->ColumnObjectID = 12;
  TFieldDefs defs;
  QXLFieldDefsToFieldDefs(all, constraints, defs);
  ASSERT_EQ(defs.Count(), 4);
  struct Row {
    const char* Name;
    TFieldType Type;
    std::int32_t Size;
    bool Required;
  };
  const Row rows[] = {
      {"Id", ftAutoInc, 0, false},
      {"Name", ftString, 40, true},
      {"Code", ftInteger, 0, false},
      {"Key", ftGuid, 0, false},
  };
  for (std::int32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(rows[i].Name);
    EXPECT_EQ(defs[i].Name, rows[i].Name);
    EXPECT_EQ(defs[i].DataType, rows[i].Type);
    EXPECT_EQ(defs[i].Size, rows[i].Size);
    EXPECT_EQ(defs[i].Required, rows[i].Required);
  }
  EXPECT_TRUE(FieldDefsContainName(defs, "KEY"));
  EXPECT_FALSE(FieldDefsContainName(defs, "Keys"));
}

TEST(QXLFieldDefConversion, DatasetTypesRoundTripThroughTheOtherForms) {
  struct Row {
    TFieldType Type;
    std::int32_t Size;
    TQXLAdvancedFieldType Advanced;
  };
  const Row rows[] = {
      {ftString, 30, aftString},   {ftFixedChar, 4, aftChar},  {ftWideString, 12, aftWideChar},
      {ftSmallint, 0, aftSmallint}, {ftInteger, 0, aftInteger}, {ftLargeint, 0, aftLargeint},
      {ftWord, 0, aftWord},         {ftAutoInc, 0, aftAutoInc}, {ftFloat, 0, aftDouble},
      {ftCurrency, 0, aftCurrency}, {ftBoolean, 0, aftBoolean}, {ftDate, 0, aftDate},
      {ftTime, 0, aftTime},         {ftDateTime, 0, aftDateTime}, {ftBytes, 8, aftBytes},
      {ftVarBytes, 16, aftVarBytes}, {ftBlob, 0, aftBlob},      {ftMemo, 0, aftMemo},
      {ftWideMemo, 0, aftWideMemo}, {ftGraphic, 0, aftGraphic},
  };
  TFieldDefs source;
  for (std::size_t i = 0; i < std::size(rows); ++i)
    source.Add("F" + std::to_string(i), rows[i].Type, rows[i].Size, i % 2 == 0);

  TQXLAdvFieldDefs adv;
  FieldDefsToAdvFieldDefs(source, adv);
  TFieldDefs back;
  AdvFieldDefsToFieldDefs(adv, back);
  TQXLFieldDefs engine;
  FieldDefsToQXLFieldDefs(source, engine);
  TFieldDefs fromEngine;
  QXLFieldDefsToFieldDefs(engine, TQXLConstraintDefs(), fromEngine);
  for (std::int32_t i = 0; i < source.Count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(adv.Defs(i).DataType, rows[i].Advanced);
    EXPECT_EQ(back[i].DataType, rows[i].Type);
    EXPECT_EQ(back[i].Size, rows[i].Size);
    EXPECT_EQ(back[i].Required, source[i].Required);
    EXPECT_EQ(engine.GetDef(i)->AdvancedFieldType, rows[i].Advanced);
    EXPECT_EQ(fromEngine[i].DataType, rows[i].Type);
    EXPECT_EQ(fromEngine[i].Size, rows[i].Size);
  }
  TFieldDefs unknown;
  unknown.Add("X", ftADT);
  EXPECT_EQ(NativeCodeOf([&] { FieldDefsToAdvFieldDefs(unknown, adv); }), 30289);
}

TEST(QXLIndexDefConversion, FillQXLIndexDefReadsColumnListsAndOptions) {
  TQXLFieldDefs fields;
  AddEngineField(fields, "A", aftString, 40, 1);
  AddEngineField(fields, "B", aftString, 40, 2);
  struct Row {
    const char* Fields;
    TIndexOptions Options;
    const char* Desc;
    const char* CaseIns;
    const char* Sizes;
    bool DescA, DescB, CaseA, CaseB;
    std::int32_t SizeA, SizeB;
  };
  const Row rows[] = {
      {"A, B", {ixDescending}, "", "", "", true, true, false, false, 20, 20},
      {"A, B", {ixDescending}, "b", "", "", false, true, false, false, 20, 20},
      {"A;B", {ixCaseInsensitive}, "", "A", "40;", false, false, true, false, 40, 20},
      {" A ; B ", {}, "", "", "7,9", false, false, false, false, 7, 9},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Fields);
    TQXLIndexDef d;
    FillQXLIndexDef(d, "Ix", r.Fields, r.Options, false, r.Desc, r.CaseIns, r.Sizes, fields);
    ASSERT_EQ(d.ColumnCount(), 2);
    EXPECT_EQ(d.GetIndexColumn(0).FieldName, "A");
    EXPECT_EQ(d.GetIndexColumn(1).FieldName, "B");
    EXPECT_EQ(d.GetIndexColumn(0).Descending, r.DescA);
    EXPECT_EQ(d.GetIndexColumn(1).Descending, r.DescB);
    EXPECT_EQ(d.GetIndexColumn(0).CaseInsensitive, r.CaseA);
    EXPECT_EQ(d.GetIndexColumn(1).CaseInsensitive, r.CaseB);
    EXPECT_EQ(d.GetIndexColumn(0).MaxIndexedSize, r.SizeA);
    EXPECT_EQ(d.GetIndexColumn(1).MaxIndexedSize, r.SizeB);
  }
  TQXLIndexDef d;
  EXPECT_EQ(NativeCodeOf([&] { FillQXLIndexDef(d, "", "A", {}, false, "", "", "", fields); }), 20048);
  EXPECT_EQ(NativeCodeOf([&] { FillQXLIndexDef(d, "Ix", "", {}, false, "", "", "", fields); }), 20049);
  EXPECT_EQ(MessageOf([&] { FillQXLIndexDef(d, "Ix", "A;Zed", {}, false, "", "", "", fields); }),
            "Cannot find index field 'Zed' - Native error: 20050");
  EXPECT_THROW(FillQXLIndexDef(d, "Ix", "A", {}, false, "", "", "x1", fields), platform::Exception);
}

TEST(QXLIndexDefConversion, EngineIndexesRoundTripThroughTheDatasetLayer) {
  TQXLFieldDefs fields;
  Columns(fields);
  TQXLIndexDefs engine;
  FillQXLIndexDef(*engine.AddCreated(), "PK", "Id;Name", {ixPrimary, ixUnique}, false, "Name", "Name", "4;30",
                  fields);
  FillQXLIndexDef(*engine.AddCreated(), "Tmp", "Code", {ixDescending}, true, "", "", "", fields);

  TQXLAdvIndexDefs adv;
  QXLIndexDefsToAdvIndexDefs(engine, adv);
  ASSERT_EQ(adv.Count(), 2);
  const TQXLAdvIndexDef& pk = adv.Defs(0);
  EXPECT_EQ(pk.Fields, "Id;Name");
  EXPECT_EQ(pk.DescFields, "Name");
  EXPECT_EQ(pk.CaseInsFields, "Name");
  EXPECT_EQ(pk.MaxIndexedSizes, "4;30");
  EXPECT_EQ(pk.Options, (TIndexOptions{ixPrimary, ixUnique}));
  // A descending column does not make the index descending in the options.
  EXPECT_EQ(adv.Defs(1).Options, TIndexOptions{});
  EXPECT_EQ(adv.Defs(1).DescFields, "Code");
  EXPECT_TRUE(adv.Defs(1).Temporary);

  TQXLIndexDefs again;
  AdvIndexDefsToQXLIndexDefs(adv, again, fields);
  ASSERT_EQ(again.Count(), 2);
  for (std::int32_t i = 0; i < 2; ++i) {
    const TQXLIndexDef& a = *engine.GetIndexDef(i);
    const TQXLIndexDef& b = *again.GetIndexDef(i);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Unique, b.Unique);
    EXPECT_EQ(a.Primary, b.Primary);
    EXPECT_EQ(a.Temporary, b.Temporary);
    ASSERT_EQ(a.ColumnCount(), b.ColumnCount());
    for (std::int32_t c = 0; c < a.ColumnCount(); ++c) {
      EXPECT_EQ(a.GetIndexColumn(c).FieldName, b.GetIndexColumn(c).FieldName);
      EXPECT_EQ(a.GetIndexColumn(c).Descending, b.GetIndexColumn(c).Descending);
      EXPECT_EQ(a.GetIndexColumn(c).CaseInsensitive, b.GetIndexColumn(c).CaseInsensitive);
      EXPECT_EQ(a.GetIndexColumn(c).MaxIndexedSize, b.GetIndexColumn(c).MaxIndexedSize);
    }
  }
}

TEST(QXLIndexDefConversion, DatasetIndexesGainWholeIndexDirectionAndCase) {
  TQXLAdvIndexDefs adv;
  adv.Add("All", "A;B", {ixUnique}, false, " a;b ", "A");
  adv.Add("Some", "A;B", {}, false, "B", "a;B");
  TIndexDefs defs;
  AdvIndexDefsToIndexDefs(adv, defs);
  EXPECT_EQ(defs[0].Options, (TIndexOptions{ixUnique, ixDescending}));
  EXPECT_EQ(defs[1].Options, TIndexOptions{ixCaseInsensitive});
  EXPECT_EQ(defs[1].DescFields, "B");

  TQXLAdvIndexDefs back;
  IndexDefsToAdvIndexDefs(defs, back);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Defs(0).DescFields, " a;b ");
  EXPECT_EQ(back.Defs(1).CaseInsFields, "a;B");
  EXPECT_EQ(back.Defs(1).Options, TIndexOptions{ixCaseInsensitive});
}
