// The table component: the index chosen by name or by fields, key searches
// and ranges on a table of cases (descending and case-insensitive columns,
// NULLs, partial keys), master-detail, the structure changes round-tripped
// through a reopen, and the refusals of bad input that store nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "platform/Clock.h"
#include "tests/engine/datasets/dataset/TableFixture.h"
#include "tests/support/ScriptedUserInterface.h"

using namespace qxl;

namespace {

using Ids = std::vector<std::int32_t>;

class TableTest : public qxl::testsupport::TableFixture {
protected:
  // Codes: ID, Code (text, case-insensitive index), Grade (descending
  // index), Part (with Grade in a two-column index); Grade of ID 6 is NULL.
  std::unique_ptr<TQXLTable> CreateCodes() {
    std::unique_ptr<TQXLTable> T = NewTable("Codes");
    T->AdvFieldDefs().Add("ID", aftInteger, 0, true);
    T->AdvFieldDefs().Add("Code", aftString, 10, false);
    T->AdvFieldDefs().Add("Grade", aftInteger, 0, false);
    T->AdvFieldDefs().Add("Part", aftString, 10, false);
    T->AdvIndexDefs().Add("ByCode", "Code", TIndexOptions{}, false, "", "Code");
    T->AdvIndexDefs().Add("ByGradeDesc", "Grade", TIndexOptions{}, false, "Grade");
    T->AdvIndexDefs().Add("ByGradePart", "Grade;Part", TIndexOptions{});
    T->CreateTable();
    T->Open();
    struct Row {
      std::int32_t Id;
      const char* Code;
      std::int32_t Grade;
      const char* Part;
    };
    const Row Rows[] = {{1, "beta", 2, "x"}, {2, "Alpha", 1, "y"}, {3, "GAMMA", 3, "x"},
                        {4, "delta", 2, "a"}, {5, "alpha2", 1, "z"}, {6, "omega", 0, "m"}};
    for (const Row& R : Rows) {
      T->Append();
      T->FieldByName("ID").SetAsInteger(R.Id);
      T->FieldByName("Code").SetAsString(R.Code);
      if (R.Id != 6) T->FieldByName("Grade").SetAsInteger(R.Grade);
      T->FieldByName("Part").SetAsString(R.Part);
      T->Post();
    }
    return T;
  }
};

}  // namespace

TEST_F(TableTest, TheIndexChosenByNameOrByFieldsOrdersTheView) {
  std::unique_ptr<TQXLTable> T = CreateCodes();
  struct Case {
    const char* Name;
    bool ByFields;
    Ids Order;
  };
  const Case Cases[] = {
      {"", false, {1, 2, 3, 4, 5, 6}},
      {"ByCode", false, {2, 5, 1, 4, 3, 6}},
      {"Code", true, {2, 5, 1, 4, 3, 6}},
      {"ByGradeDesc", false, {3, 1, 4, 2, 5, 6}},
      {"Grade;Part", true, {6, 2, 5, 4, 1, 3}},
      {"", true, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    if (C.ByFields)
      T->SetIndexFieldNames(C.Name);
    else
      T->SetIndexName(C.Name);
    EXPECT_EQ(Forward(*T), C.Order);
    EXPECT_EQ(C.ByFields ? T->IndexFieldNames() : T->IndexName(), C.Name);
    EXPECT_EQ(C.ByFields ? T->IndexName() : T->IndexFieldNames(), "");
  }
  T->SetIndexName("ByGradePart");
  EXPECT_EQ(T->IndexFieldCount(), 2);
  EXPECT_EQ(T->GetIndexField(1).FieldName, "Part");
  EXPECT_THROW(T->GetIndexField(2), EDatabaseError);
  // An index that does not exist leaves the one in use.
  EXPECT_EQ(NativeCodeOf([&] { T->SetIndexName("NoSuchIndex"); }), 10325);
  EXPECT_EQ(MessageOf([&] { T->SetIndexFieldNames("Part"); }), "No index for fields 'Part'");
  EXPECT_EQ(T->IndexName(), "ByGradePart");
  EXPECT_EQ(Forward(*T), (Ids{6, 2, 5, 4, 1, 3}));
}

TEST_F(TableTest, KeySearchesOnACaseTable) {
  std::unique_ptr<TQXLTable> T = CreateCodes();
  struct Case {
    const char* Index;
    std::vector<Variant> Key;
    bool Nearest;
    bool Found;
    std::int32_t Id;  // where the table stands afterwards
  };
  const Case Cases[] = {
      {"ByCode", {Variant("ALPHA")}, false, true, 2},
      {"ByCode", {Variant("gamma")}, false, true, 3},
      {"ByCode", {Variant("gam")}, false, false, 2},
      {"ByCode", {Variant("b")}, true, true, 1},
      {"ByCode", {Variant("zz")}, true, true, 6},
      {"ByGradeDesc", {Variant(std::int32_t{2})}, false, true, 1},
      {"ByGradeDesc", {Variant(std::int32_t{9})}, true, true, 3},
      {"ByGradePart", {Variant(std::int32_t{2}), Variant("x")}, false, true, 1},
      {"ByGradePart", {Variant(std::int32_t{2})}, false, true, 4},
      {"ByGradePart", {Variant(std::int32_t{1}), Variant("q")}, true, true, 2},
      {"ByGradePart", {Variant(std::int32_t{4})}, true, true, 3},
      {"ByGradePart", {Variant::Null()}, false, true, 6},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Index) + " case " + std::to_string(&C - Cases));
    T->SetIndexName(C.Index);
    T->First();
    if (C.Nearest) {
      T->FindNearest(C.Key);
    } else {
      EXPECT_EQ(T->FindKey(C.Key), C.Found);
    }
    // A key that is not found leaves the table where it stood.
    EXPECT_EQ(T->FieldByName("ID").AsInteger(), C.Id);
  }
  // The set-key state: an exclusive key skips the equal ones.
  T->SetIndexName("ByGradePart");
  T->SetKey();
  T->FieldByName("Grade").SetAsInteger(2);
  T->SetKeyFieldCount(1);
  T->SetKeyExclusive(true);
  EXPECT_THROW(T->FieldByName("Code").SetAsString("no"), EQXLException);
  T->Post();
  T->GotoNearest();
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);
  EXPECT_THROW(T->KeyExclusive(), EDatabaseError);
  // A cancelled key edit keeps the key before it.
  T->EditKey();
  T->FieldByName("Grade").SetAsInteger(0);
  T->Cancel();
  T->First();
  T->GotoNearest();
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);
}

TEST_F(TableTest, RangesOnACaseTable) {
  std::unique_ptr<TQXLTable> T = CreateCodes();
  struct Case {
    const char* Index;
    std::vector<Variant> Start, End;
    Ids Shown;
  };
  const Case Cases[] = {
      {"ByCode", {Variant("alpha")}, {Variant("BETA")}, {2, 5, 1}},
      {"ByGradeDesc", {Variant(std::int32_t{2})}, {Variant(std::int32_t{1})}, {1, 4, 2, 5}},
      {"ByGradePart", {Variant(std::int32_t{2})}, {Variant(std::int32_t{2})}, {4, 1}},
      {"ByGradePart", {Variant(std::int32_t{1}), Variant("z")}, {Variant(std::int32_t{2}), Variant("b")}, {5, 4}},
      {"ByGradePart", {Variant::Null()}, {Variant::Null()}, {6}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Index) + " case " + std::to_string(&C - Cases));
    T->SetIndexName(C.Index);
    T->SetRange(C.Start, C.End);
    EXPECT_EQ(Forward(*T), C.Shown);
    EXPECT_EQ(T->RecordCount(), static_cast<std::int64_t>(C.Shown.size()));
    T->CancelRange();
    EXPECT_EQ(T->RecordCount(), 6);
  }
  T->SetIndexName("ByGradePart");
  T->SetRangeStart();
  T->FieldByName("Grade").SetAsInteger(3);
  T->Post();
  // An end never set leaves the range open at that side.
  T->SetRangeEnd();
  T->Post();
  T->ApplyRange();
  EXPECT_EQ(Forward(*T), (Ids{3}));
  T->CancelRange();
  EXPECT_EQ(Forward(*T).size(), 6u);
}

TEST_F(TableTest, ADetailFollowsItsMaster) {
  std::unique_ptr<TQXLTable> Owners = NewTable("Owners");
  Owners->AdvFieldDefs().Add("OwnerID", aftInteger, 0, true);
  Owners->CreateTable();
  Owners->Open();
  for (std::int32_t id : {10, 20, 30}) {
    Owners->Append();
    Owners->FieldByName("OwnerID").SetAsInteger(id);
    Owners->Post();
  }
  std::unique_ptr<TQXLTable> Items = NewTable("Items");
  Items->AdvFieldDefs().Add("ID", aftInteger, 0, true);
  Items->AdvFieldDefs().Add("Owner", aftInteger, 0, false);
  Items->AdvIndexDefs().Add("ByOwner", "Owner", TIndexOptions{});
  Items->CreateTable();
  Items->SetIndexName("ByOwner");
  Items->Open();
  const std::pair<std::int32_t, std::int32_t> Rows[] = {{1, 10}, {2, 20}, {3, 10}, {4, 30}};
  for (auto [id, owner] : Rows) {
    Items->Append();
    Items->FieldByName("ID").SetAsInteger(id);
    Items->FieldByName("Owner").SetAsInteger(owner);
    Items->Post();
  }
  TDataSource Source;
  Source.SetDataSet(Owners.get());
  Items->SetMasterFields("OwnerID");
  Items->SetMasterSource(&Source);
  Owners->First();
  EXPECT_EQ(Forward(*Items), (Ids{1, 3}));
  Owners->Next();
  EXPECT_EQ(Forward(*Items), (Ids{2}));
  Items->Append();
  Items->FieldByName("ID").SetAsInteger(5);
  EXPECT_EQ(Items->FieldByName("Owner").AsInteger(), 20);
  Items->Post();
  EXPECT_EQ(Forward(*Items), (Ids{2, 5}));
  Owners->Last();
  EXPECT_EQ(Forward(*Items), (Ids{4}));
  Owners->Close();
  EXPECT_EQ(Items->RecordCount(), 5);

  TDataSource Back;
  Back.SetDataSet(Items.get());
  EXPECT_EQ(MessageOf([&] { Owners->SetMasterSource(&Back); }), "Circular datalinks are not allowed");
  EXPECT_EQ(MessageOf([&] { Items->SetMasterSource(&Back); }), "Circular datalinks are not allowed");
  EXPECT_EQ(Owners->MasterSource(), nullptr);
}

TEST_F(TableTest, StructureChangesSurviveAReopen) {
  std::unique_ptr<TQXLTable> T = NewTable("AllTypes");
  std::vector<TQXLAdvancedFieldType> Types;
  for (std::int32_t t = aftChar; t <= aftGuid; ++t) {
    const auto Type = static_cast<TQXLAdvancedFieldType>(t);
    const std::int32_t Size = IsSizedAdvancedFieldType(Type) ? 12 : 0;
    T->AdvFieldDefs().Add("F" + std::to_string(t), Type, Size, false);
    Types.push_back(Type);
  }
  T->CreateTable();
  EXPECT_TRUE(T->Exists());
  T->Open();
  ASSERT_EQ(T->AdvFieldDefs().Count(), static_cast<std::int32_t>(Types.size()));
  for (std::size_t i = 0; i < Types.size(); ++i) {
    const TQXLAdvFieldDef& Def = T->AdvFieldDefs().Defs(static_cast<std::int32_t>(i));
    SCOPED_TRACE(Def.Name);
    EXPECT_EQ(AdvancedToBaseFieldType(Def.DataType), AdvancedToBaseFieldType(Types[i]));
    if (Types[i] == aftGuid)
      EXPECT_EQ(T->FieldDefs().Find(Def.Name).Size, 38);
    else
      EXPECT_EQ(Def.Size, IsSizedAdvancedFieldType(Types[i]) ? 12 : 0);
  }
  T->Close();

  T->RenameField("F2", "Text");
  T->AddIndex("ByText", "Text", TIndexOptions{ixUnique}, "Text", "");
  T->AddIndex("ByTwo", "F7;Text", TIndexOptions{});
  T->Open();
  EXPECT_NE(T->FindField("Text"), nullptr);
  EXPECT_EQ(T->FindField("F2"), nullptr);
  T->Append();
  T->FieldByName("Text").SetAsString("one");
  T->Post();
  T->Close();
  T->UpdateIndexDefs();
  ASSERT_GE(T->IndexDefs().IndexOf("ByText"), 0);
  EXPECT_EQ(T->IndexDefs().Find("ByText").Fields, "Text");
  EXPECT_TRUE(T->IndexDefs().Find("ByText").Options.Contains(ixUnique));
  EXPECT_TRUE(T->IndexDefs().Find("ByText").Options.Contains(ixDescending));
  EXPECT_EQ(T->IndexDefs().Find("ByTwo").Fields, "F7;Text");

  T->DeleteIndex("ByTwo");
  T->UpdateIndexDefs();
  EXPECT_LT(T->IndexDefs().IndexOf("ByTwo"), 0);
  EXPECT_EQ(NativeCodeOf([&] { T->DeleteIndex("ByTwo"); }), 20021);
  T->EmptyTable();
  T->Open();
  EXPECT_EQ(T->RecordCount(), 0);
  T->Close();
  T->RenameTable("Renamed");
  EXPECT_EQ(T->TableName(), "Renamed");
  EXPECT_TRUE(T->Exists());
  EXPECT_FALSE(NewTable("AllTypes")->Exists());
  T->DeleteTable();
  EXPECT_FALSE(T->Exists());
}

TEST_F(TableTest, StructureChangesAreRefusedInsideATransaction) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  Db->StartTransaction();
  EXPECT_EQ(NativeCodeOf([&] { T->AddIndex("ByScore", "Score", {}); }), 20175);
  EXPECT_EQ(NativeCodeOf([&] { T->DeleteIndex("ByName"); }), 20177);
  EXPECT_EQ(NativeCodeOf([&] { T->DeleteAllIndexes(); }), 20178);
  EXPECT_EQ(NativeCodeOf([&] { T->RenameField("Name", "Other"); }), 20179);
  EXPECT_EQ(NativeCodeOf([&] { T->RenameTable("Other"); }), 20181);
  EXPECT_EQ(NativeCodeOf([&] { T->CreateTable(); }), 20182);
  EXPECT_EQ(NativeCodeOf([&] { T->DeleteTable(); }), 20183);
  EXPECT_EQ(MessageOf([&] { T->DeleteTable(); }),
            "Cannot perform 'DeleteTable' operation on a database in transaction - Native error: 20183");
  Db->Rollback();
  EXPECT_TRUE(T->Exists());
  T->Open();
  EXPECT_NE(T->FindField("Name"), nullptr);
}

TEST_F(TableTest, BadInputIsRefusedAndStoresNothing) {
  std::unique_ptr<TQXLTable> Missing = NewTable("NoSuchTable");
  const std::string NotFound = MessageOf([&] { Missing->Open(); });
  EXPECT_NE(NotFound.find("NoSuchTable"), std::string::npos) << NotFound;
  EXPECT_FALSE(Missing->Active());
  EXPECT_FALSE(Missing->Exists());
  std::unique_ptr<TQXLTable> Blank = NewTable("   ");
  EXPECT_EQ(MessageOf([&] { Blank->Open(); }), "Missing TableName property");

  struct Case {
    const char* What;
    std::function<void(TQXLAdvFieldDefs&)> Define;
    std::int32_t Code;  // 0: the dataset library's error
  };
  const Case Cases[] = {
      {"empty name", [](TQXLAdvFieldDefs& D) { D.Add("", aftInteger, 0, false); }, 30499},
      {"duplicate name",
       [](TQXLAdvFieldDefs& D) {
         D.Add("A", aftInteger, 0, false);
         D.Add("a", aftString, 5, false);
       },
       0},
      {"unknown type", [](TQXLAdvFieldDefs& D) { D.Add("A", aftUnknown, 0, false); }, 30289},
      {"text without size", [](TQXLAdvFieldDefs& D) { D.Add("A", aftString, 0, false); }, 30453},
      {"compression mode",
       [](TQXLAdvFieldDefs& D) { D.Add("A", aftMemo, 0, false, acaZLIB, 0); }, 20257},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    std::unique_ptr<TQXLTable> T = NewTable("Bad");
    C.Define(T->AdvFieldDefs());
    try {
      T->CreateTable();
      ADD_FAILURE() << "created";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, C.Code) << E.Message;
    } catch (const EDatabaseError& E) {
      EXPECT_EQ(C.Code, 0) << E.Message;
    }
    EXPECT_FALSE(T->Exists());
  }

  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->SetIndexName("ByID");
  T->Open();
  AddPerson(*T, 1, "Amy");
  EXPECT_THROW(T->FindKey({Variant(std::int32_t{1}), Variant(std::int32_t{2})}), EDatabaseError);
  EXPECT_THROW(T->FieldByName("ID").SetAsString("not a number"), EDatabaseError);
  T->Edit();
  EXPECT_THROW(T->FieldByName("Score").SetAsString("abc"), EDatabaseError);
  EXPECT_EQ(NativeCodeOf([&] { T->FieldByName("Name").SetAsString(std::string(40, 'x')); }), 20056);
  T->Cancel();
  EXPECT_EQ(T->FieldByName("Name").AsString(), "Amy");
  EXPECT_EQ(NativeCodeOf([&] { T->AddIndex("", "Name", {}); }), 20046);
  EXPECT_EQ(NativeCodeOf([&] { T->AddIndex("X", "", {}); }), 20047);
  EXPECT_EQ(NativeCodeOf([&] { T->AddIndex("X", "Nothing", {}); }), 20050);
  T->SetIndexFieldNames("");
  EXPECT_EQ(MessageOf([&] { T->FindKey({Variant(std::int32_t{1})}); }), "No index currently active");
}

TEST_F(TableTest, LongOperationsReportToTheirEventsOrToAWaitWindow) {
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  ScriptedUserInterface Screen;
  std::unique_ptr<TQXLTable> T = CreatePeople();

  std::vector<std::string> Heard;
  T->BeforeExport = [&](TQXLTable&) { Heard.push_back("before"); };
  T->OnExportProgress = [&](TQXLTable&, std::int32_t Percent, bool& Continue) {
    Heard.push_back("progress " + std::to_string(Percent));
    Continue = Percent < 50;
  };
  T->AfterExport = [&](TQXLTable&) { Heard.push_back("after"); };
  T->DoBeforeOperation(TQXLTableOperation::Export);
  EXPECT_TRUE(T->DoOperationProgress(TQXLTableOperation::Export, 10));
  EXPECT_FALSE(T->DoOperationProgress(TQXLTableOperation::Export, 60));
  T->DoAfterOperation(TQXLTableOperation::Export);
  EXPECT_EQ(Heard, (std::vector<std::string>{"before", "progress 10", "progress 60", "after"}));
  EXPECT_TRUE(Screen.Log.empty());

  // Without events the wait window shows (with the bar as it stood) once half a second has
  // passed, and its Abort stops the work.
  T->DoBeforeOperation(TQXLTableOperation::Copy);
  EXPECT_TRUE(T->DoOperationProgress(TQXLTableOperation::Copy, 5));
  Clock.Advance(600);
  EXPECT_TRUE(T->DoOperationProgress(TQXLTableOperation::Copy, 20));
  Screen.AbortPressed = true;
  EXPECT_FALSE(T->DoOperationProgress(TQXLTableOperation::Copy, 30));
  T->DoAfterOperation(TQXLTableOperation::Copy);
  ASSERT_FALSE(Screen.Log.empty());
  EXPECT_NE(std::find(Screen.Log.begin(), Screen.Log.end(), "show Copy Table... 5"), Screen.Log.end());
  EXPECT_EQ(Screen.Log.back(), "hide");

  // A silent database shows nothing.
  Screen.Log.clear();
  Db->SilentMode = true;
  T->DoBeforeOperation(TQXLTableOperation::Restructure);
  Clock.Advance(600);
  EXPECT_TRUE(T->DoOperationProgress(TQXLTableOperation::Restructure, 20));
  T->DoAfterOperation(TQXLTableOperation::Restructure);
  EXPECT_TRUE(Screen.Log.empty());
}

TEST_F(TableTest, WhatAProviderAsks) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  EXPECT_EQ(std::string(TQXLDataSet::QuoteChar), "`");
  EXPECT_TRUE(T->PSIsSQLBased());
  ASSERT_NE(T->PSGetDefaultOrder(), nullptr);
  EXPECT_EQ(T->PSGetDefaultOrder()->Name, "ByID");
  T->SetIndexName("ByName");
  EXPECT_EQ(T->PSGetDefaultOrder()->Name, "ByName");
  T->SetIndexName("ByID");
  T->Open();
  for (std::int32_t id = 1; id <= 3; ++id) AddPerson(*T, id, "P" + std::to_string(id));
  EXPECT_EQ(T->PSGetKeyFields(), "ID");
  T->PSSetParams({Variant(std::int32_t{2})});
  EXPECT_EQ(Forward(*T), (Ids{2}));
  T->PSSetParams({});
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3}));

  // A transaction holds the database from its start to its end.
  EXPECT_FALSE(T->PSInTransaction());
  T->PSStartTransaction();
  EXPECT_TRUE(T->PSInTransaction());
  EXPECT_TRUE(T->DatabaseInUse(TQXLDataSet::duTransaction));
  AddPerson(*T, 4, "P4");
  T->PSEndTransaction(false);
  EXPECT_FALSE(T->PSInTransaction());
  EXPECT_FALSE(T->DatabaseInUse(TQXLDataSet::duTransaction));
  T->PSReset();
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3}));
  T->PSStartTransaction();
  AddPerson(*T, 5, "P5");
  T->PSEndTransaction(true);
  T->PSReset();
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3, 5}));
  EXPECT_EQ(T->PSGetTableName(), "People");

  EXPECT_FALSE(T->PSUpdateRecord(ukModify));
  std::vector<TUpdateKind> Asked;
  T->OnUpdateRecord = [&](TQXLDataSet&, TUpdateKind Kind, TUpdateAction& Action) {
    Asked.push_back(Kind);
    if (Kind == ukInsert) Action = uaApplied;
  };
  EXPECT_TRUE(T->PSUpdateRecord(ukInsert));
  EXPECT_FALSE(T->PSUpdateRecord(ukDelete));
  EXPECT_EQ(Asked, (std::vector<TUpdateKind>{ukInsert, ukDelete}));
}

// A field read row after row gives each row's own value: a NULL after a value
// reads as NULL, a shorter text after a longer one has no tail of it, and
// code-page text beyond ASCII comes back as the same UTF-8 it went in as.
TEST_F(TableTest, TypedReadsGiveEachRowsOwnValue) {
  struct Row {
    std::int32_t Id;
    const char* Name;  // nullptr: NULL
    bool HasScore;
    double Score;
  };
  const Row Rows[] = {{1, "a much longer name", true, 1.5}, {2, "ab", false, 0},
                      {3, nullptr, true, -2.25},           {4, "Gr\u00fc\u00dfe \u00e9t\u00e9", true, 0},
                      {5, "", true, 7},                    {6, "plain", false, 0}};
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  for (const Row& R : Rows) {
    T->Append();
    T->FieldByName("ID").SetAsInteger(R.Id);
    if (R.Name) T->FieldByName("Name").SetAsString(R.Name);
    if (R.HasScore) T->FieldByName("Score").SetAsFloat(R.Score);
    T->Post();
  }
  TField& Name = T->FieldByName("Name");
  TField& Score = T->FieldByName("Score");
  for (int Pass = 0; Pass < 2; ++Pass) {
    std::size_t At = 0;
    for (T->First(); !T->Eof(); T->Next(), ++At) {
      ASSERT_LT(At, std::size(Rows));
      const Row& R = Rows[At];
      SCOPED_TRACE(R.Id);
      EXPECT_EQ(T->FieldByName("ID").AsInteger(), R.Id);
      EXPECT_EQ(Name.AsString(), R.Name ? R.Name : "");
      if (!R.Name || *R.Name) {
        EXPECT_EQ(Name.IsNull(), !R.Name);
        EXPECT_EQ(Name.AsVariant().IsNull(), !R.Name);
      }
      EXPECT_EQ(Score.IsNull(), !R.HasScore);
      EXPECT_EQ(Score.AsFloat(), R.HasScore ? R.Score : 0);
      EXPECT_EQ(Score.AsInteger(), R.HasScore ? static_cast<std::int32_t>(R.Score) : 0);
      EXPECT_EQ(Score.AsString().empty(), !R.HasScore);
    }
    EXPECT_EQ(At, std::size(Rows));
  }
}
