// The engine dataset through a table component on a database file: rows
// made, browsed both ways through a ring of buffers smaller than the table,
// edited, posted, cancelled and deleted with the events in their order;
// bookmarks across changes; filters, Locate and Lookup; read-only and
// in-memory settings; and the values the SQL layer reads and writes.
#include <gtest/gtest.h>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/QXLEngineError.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/datasets/dataset/QXLBLOBStream.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

using namespace qxl;

namespace {

class DataSetTest : public qxl::testsupport::TableFixture {};

using Ids = std::vector<std::int32_t>;

}  // namespace

TEST_F(DataSetTest, RowsAreAddedBrowsedBothWaysChangedAndDeletedWithTheirEvents) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  T->SetBufferCount(3);
  std::vector<std::string> Events;
  auto Log = [&](const char* Name) { return [&Events, Name](TDataSet&) { Events.push_back(Name); }; };
  T->BeforeInsert = Log("BeforeInsert");
  T->AfterInsert = Log("AfterInsert");
  T->BeforeEdit = Log("BeforeEdit");
  T->AfterEdit = Log("AfterEdit");
  T->BeforePost = Log("BeforePost");
  T->AfterPost = Log("AfterPost");
  T->BeforeCancel = Log("BeforeCancel");
  T->AfterCancel = Log("AfterCancel");
  T->BeforeDelete = Log("BeforeDelete");
  T->AfterDelete = Log("AfterDelete");

  for (std::int32_t id = 1; id <= 8; ++id) AddPerson(*T, id, "N" + std::to_string(id), id * 1.5);
  EXPECT_EQ(Events.size(), 32u);
  EXPECT_EQ((std::vector<std::string>(Events.begin(), Events.begin() + 4)),
            (std::vector<std::string>{"BeforeInsert", "AfterInsert", "BeforePost", "AfterPost"}));
  EXPECT_EQ(T->RecordCount(), 8);
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Backward(*T), (Ids{8, 7, 6, 5, 4, 3, 2, 1}));

  Events.clear();
  T->First();
  T->MoveBy(4);
  ASSERT_EQ(T->FieldByName("ID").AsInteger(), 5);
  EXPECT_EQ(T->RecNo(), 5);
  T->Edit();
  T->FieldByName("Name").SetAsString("Changed");
  EXPECT_EQ(T->State(), dsEdit);
  T->Cancel();
  EXPECT_EQ(T->FieldByName("Name").AsString(), "N5");
  T->Edit();
  T->FieldByName("Name").SetAsString("Changed");
  T->Post();
  EXPECT_EQ(T->State(), dsBrowse);
  T->First();
  T->MoveBy(2);
  ASSERT_EQ(T->FieldByName("ID").AsInteger(), 3);
  T->Delete();
  EXPECT_EQ(Events, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeEdit",
                                              "AfterEdit", "BeforePost", "AfterPost", "BeforeDelete", "AfterDelete"}));

  // What was stored is what another component reads.
  T->Close();
  std::unique_ptr<TQXLTable> Again = NewTable("People");
  Again->Open();
  EXPECT_EQ(Forward(*Again), (Ids{1, 2, 4, 5, 6, 7, 8}));
  Again->First();
  Again->MoveBy(3);
  EXPECT_EQ(Again->FieldByName("Name").AsString(), "Changed");
  EXPECT_DOUBLE_EQ(Again->FieldByName("Score").AsFloat(), 7.5);
}

TEST_F(DataSetTest, BookmarksSurviveChangesAndCompareInTheViewsOrder) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  const char* Names[] = {"Eve", "Bob", "Dan", "Amy", "Cal"};
  for (std::int32_t id = 1; id <= 5; ++id) AddPerson(*T, id, Names[id - 1]);
  T->First();
  const TBookmark First = T->GetBookmark();
  T->MoveBy(3);
  const TBookmark Fourth = T->GetBookmark();
  ASSERT_EQ(T->FieldByName("ID").AsInteger(), 4);

  T->First();
  T->Next();
  T->Edit();
  T->FieldByName("Name").SetAsString("Bea");
  T->Post();
  T->GotoBookmark(Fourth);
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 4);
  EXPECT_TRUE(T->BookmarkValid(Fourth));

  EXPECT_EQ(T->CompareBookmarks(First, Fourth), -1);
  EXPECT_EQ(T->CompareBookmarks(Fourth, First), 1);
  EXPECT_EQ(T->CompareBookmarks(Fourth, Fourth), 0);
  EXPECT_EQ(T->CompareBookmarks(Fourth, {}), -1);
  EXPECT_EQ(T->CompareBookmarks({}, Fourth), 1);
  EXPECT_EQ(T->CompareBookmarks({}, {}), 0);
  // By name "Amy" (4) comes before "Eve" (1).
  T->SetIndexName("ByName");
  EXPECT_EQ(T->CompareBookmarks(First, Fourth), 1);

  T->GotoBookmark(Fourth);
  T->Delete();
  EXPECT_FALSE(T->BookmarkValid(Fourth));
  EXPECT_TRUE(T->BookmarkValid(First));
}

TEST_F(DataSetTest, FiltersLocateAndLookup) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  AddPerson(*T, 1, "amy", 10);
  AddPerson(*T, 2, "Bob", 20);
  AddPerson(*T, 3, "", 30);
  AddPerson(*T, 4, "Amelia", 40);

  T->SetFilterText("Score > 15");
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3, 4}));
  T->SetFiltered(true);
  EXPECT_EQ(Forward(*T), (Ids{2, 3, 4}));
  T->SetFilterText("Score < 35");
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3}));
  std::int32_t Asked = 0;
  T->SetOnFilterRecord([&](TDataSet& D, bool& Accept) {
    ++Asked;
    Accept = D.FieldByName("ID").AsInteger() != 2;
  });
  EXPECT_EQ(Forward(*T), (Ids{1, 3}));
  EXPECT_GT(Asked, 0);
  T->SetOnFilterRecord(nullptr);
  T->SetFiltered(false);
  EXPECT_EQ(Forward(*T), (Ids{1, 2, 3, 4}));

  struct Case {
    const char* Name;
    TLocateOptions Options;
    bool Found;
    std::int32_t Id;
  };
  const Case Cases[] = {
      {"Bob", {}, true, 2},
      {"bob", {}, false, 0},
      {"bob", {loCaseInsensitive}, true, 2},
      {"Am", {loPartialKey}, true, 4},
      {"AM", {loPartialKey, loCaseInsensitive}, true, 1},
      {"Am", {}, false, 0},
      {"Zed", {}, false, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    T->Last();
    EXPECT_EQ(T->Locate("Name", {Variant(C.Name)}, C.Options), C.Found);
    EXPECT_EQ(T->FieldByName("ID").AsInteger(), C.Found ? C.Id : 4);
  }
  EXPECT_TRUE(T->Locate("Name", {Variant::Null()}, {}));
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);

  T->First();
  EXPECT_EQ(T->Lookup("Name", {Variant("Bob")}, "Score"), Variant(20.0));
  EXPECT_TRUE(T->Lookup("Name", {Variant("Nobody")}, "Score").IsNull());
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 1);
  // A search on two fields goes through the dataset's own scan.
  EXPECT_TRUE(T->Locate("Name;Score", {Variant("Amelia"), Variant(40.0)}, {}));
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 4);
  T->Close();
  EXPECT_EQ(NativeCodeOf([&] { T->Locate("Name", {Variant("Bob")}, {}); }), 10271);
}

TEST_F(DataSetTest, AReadOnlyDataSetChangesNothing) {
  CreatePeople()->Open();
  {
    std::unique_ptr<TQXLTable> W = NewTable("People");
    W->Open();
    AddPerson(*W, 1, "Amy");
  }
  std::unique_ptr<TQXLTable> T = NewTable("People");
  T->SetReadOnly(true);
  T->Open();
  EXPECT_FALSE(T->CanModify());
  EXPECT_THROW(T->Edit(), EDatabaseError);
  EXPECT_THROW(T->Insert(), EDatabaseError);
  EXPECT_THROW(T->Delete(), EDatabaseError);
  EXPECT_EQ(T->State(), dsBrowse);
  TField& Notes = T->FieldByName("Notes");
  EXPECT_EQ(NativeCodeOf([&] { T->CreateBlobStream(Notes, bmWrite); }), 10107);
  EXPECT_EQ(NativeCodeOf([&] { TQXLBLOBStream S(Notes, bmReadWrite); }), 10106);
  EXPECT_EQ(T->RecordCount(), 1);
  EXPECT_THROW(T->SetReadOnly(false), EDatabaseError);
}

TEST_F(DataSetTest, DatabaseNameAndInMemoryFollowEachOther) {
  TQXLTable T;
  EXPECT_EQ(T.CurrentVersion(), "7.80 ");
  T.SetDatabaseName("memory");
  EXPECT_TRUE(T.InMemory());
  T.SetDatabaseName("Db");
  EXPECT_FALSE(T.InMemory());
  T.SetInMemory(true);
  EXPECT_EQ(T.DatabaseName(), "MEMORY");
  T.SetInMemory(false);
  EXPECT_EQ(T.DatabaseName(), "MEMORY");
  EXPECT_FALSE(T.InMemory());
  TQXLTable Blank;
  Blank.SetTableName("People");
  EXPECT_EQ(MessageOf([&] { Blank.Open(); }), "DatabaseName property is blank");
  EXPECT_FALSE(Blank.Active());
}

TEST_F(DataSetTest, TheDatabaseIsHeldWhileAReasonIsPending) {
  CreatePeople();
  std::unique_ptr<TQXLTable> T = NewTable("People");
  EXPECT_EQ(T->Database(), nullptr);
  const std::int32_t Before = Db->RefCount();
  T->Open();
  EXPECT_EQ(T->Database(), Db.get());
  EXPECT_EQ(Db->RefCount(), Before + 1);
  EXPECT_EQ(Db->DataSetCount(), 1u);
  EXPECT_THROW(T->SetDatabaseName("Other"), EDatabaseError);
  T->SetDatabaseUse(TQXLDataSet::duExecSQL, true);
  T->Close();
  EXPECT_EQ(T->Database(), Db.get());
  T->SetDatabaseUse(TQXLDataSet::duExecSQL, false);
  EXPECT_EQ(T->Database(), nullptr);
  EXPECT_EQ(Db->RefCount(), Before);
  EXPECT_EQ(Db->DataSetCount(), 0u);
  // The database closing closes its datasets.
  T->Open();
  Db->Close();
  EXPECT_FALSE(T->Active());
  EXPECT_EQ(T->Database(), nullptr);
}

TEST_F(DataSetTest, TheSQLLayersValuesAndProjection) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  AddPerson(*T, 1, "Amy", 2.5);
  std::unique_ptr<TQXLTable> Copy = CreatePeople("People2");
  Copy->Open();
  T->First();
  T->Edit();
  TQXLVariant Notes;
  Notes.SetData("a memo", 6, bftClob, true);
  T->SetFieldValue(Notes, 3, false);
  T->Post();

  TQXLVariant Value;
  T->GetFieldValue(Value, 1, true);
  EXPECT_EQ(Value.GetAsAnsiString(), "Amy");
  T->GetFieldValue(Value, 3, false);
  EXPECT_EQ(Value.DataType(), bftClob);
  EXPECT_EQ(std::string(static_cast<const char*>(Value.pData()), static_cast<std::size_t>(Value.DataSize())),
            "a memo");

  Copy->Append();
  for (std::int32_t f = 0; f < 4; ++f) T->CopyFieldValue(f, false, f, *Copy);
  Copy->Post();
  EXPECT_EQ(Copy->FieldByName("Name").AsString(), "Amy");
  EXPECT_EQ(Copy->FieldByName("Notes").AsString(), "a memo");
  EXPECT_DOUBLE_EQ(Copy->FieldByName("Score").AsFloat(), 2.5);

  EXPECT_FALSE(T->IsDistinctApplied());
  T->ApplyProjection({"Score", "ID"}, {"Points", "ID"});
  ASSERT_TRUE(T->Active());
  ASSERT_EQ(T->FieldCount(), 2);
  EXPECT_EQ(T->Fields(0).FieldName, "Points");
  EXPECT_DOUBLE_EQ(T->Fields(0).AsFloat(), 2.5);
  EXPECT_EQ(T->Fields(1).AsInteger(), 1);
}

TEST_F(DataSetTest, ARefusedPostKeepsTheEditUntilACorrectedOne) {
  std::unique_ptr<TQXLTable> T = CreatePeople();
  T->Open();
  AddPerson(*T, 1, "Amy");
  AddPerson(*T, 2, "Bob");
  T->Last();
  T->Edit();
  T->FieldByName("ID").SetAsInteger(1);
  try {
    T->Post();
    ADD_FAILURE() << "a second ID 1 was stored";
  } catch (const EQXLEngineError& E) {
    EXPECT_EQ(E.ErrorCode(), -8);
    EXPECT_FALSE(E.ErrorMessage().empty());
  }
  EXPECT_EQ(T->State(), dsEdit);
  ASSERT_NE(T->Handle()->FEditRecordBuffer, nullptr);
  T->FieldByName("ID").SetAsInteger(3);
  T->Post();
  EXPECT_EQ(T->Handle()->FEditRecordBuffer, nullptr);
  EXPECT_EQ(Forward(*T), (Ids{1, 3}));
  // The same refusal for a new record leaves the insert open.
  T->Append();
  T->FieldByName("ID").SetAsInteger(3);
  EXPECT_THROW(T->Post(), EQXLEngineError);
  EXPECT_EQ(T->State(), dsInsert);
  T->Cancel();
  EXPECT_EQ(T->RecordCount(), 2);
}

TEST_F(DataSetTest, InMemoryAndTemporaryTables) {
  struct Case {
    const char* What;
    bool Temporary;
  };
  for (const Case C : {Case{"in memory", false}, Case{"temporary", true}}) {
    SCOPED_TRACE(C.What);
    TQXLTable T;
    if (C.Temporary)
      T.SetTemporary(true);
    else
      T.SetInMemory(true);
    EXPECT_EQ(T.DatabaseName(), C.Temporary ? "TEMP" : "MEMORY");
    T.SetTableName("Scratch");
    T.AdvFieldDefs().Add("ID", aftInteger, 0, true);
    T.AdvFieldDefs().Add("Name", aftString, 10, false);
    T.CreateTable();
    EXPECT_TRUE(T.Exists());
    T.Open();
    for (std::int32_t id = 1; id <= 3; ++id) {
      T.Append();
      T.FieldByName("ID").SetAsInteger(id);
      T.FieldByName("Name").SetAsString("n" + std::to_string(id));
      T.Post();
    }
    T.First();
    std::vector<std::int32_t> Seen;
    for (; !T.Eof(); T.Next()) Seen.push_back(T.FieldByName("ID").AsInteger());
    EXPECT_EQ(Seen, (Ids{1, 2, 3}));
    T.First();
    if (C.Temporary) {
      // The rows of a temporary table are written once.
      try {
        T.Edit();
        ADD_FAILURE() << "a temporary row was edited";
      } catch (const EQXLEngineError& E) {
        EXPECT_EQ(E.ErrorCode(), -9);
      }
      EXPECT_THROW(T.Delete(), EQXLEngineError);
    } else {
      T.Edit();
      T.FieldByName("Name").SetAsString("changed");
      T.Post();
      EXPECT_EQ(T.FieldByName("Name").AsString(), "changed");
    }
    T.Close();
    T.DeleteTable();
    EXPECT_FALSE(T.Exists());
  }
}

TEST_F(DataSetTest, ADatabaseOfTheDefaultSessionJoinsTheSessionTheDataSetNames) {
  CreatePeople();
  TQXLSession Named;
  Named.SetSessionName("Second");
  TQXLDatabase Other;
  Other.SetDatabaseName("Other");
  Other.SetDatabaseFileName(File);
  Other.MultiUser = true;
  ASSERT_EQ(Other.Session(), DefaultSession());
  TQXLTable T;
  T.SetSessionName("Second");
  T.SetDatabaseName("Other");
  T.SetTableName("People");
  T.Open();
  EXPECT_EQ(Other.Session(), &Named);
  EXPECT_EQ(T.Database(), &Other);
  EXPECT_EQ(T.DBSession(), &Named);
  T.Close();
  TQXLTable Lost;
  Lost.SetSessionName("Nowhere");
  Lost.SetDatabaseName("Other");
  Lost.SetTableName("People");
  EXPECT_EQ(MessageOf([&] { Lost.Open(); }), "Invalid session name 'Nowhere'");
  EXPECT_FALSE(Lost.Active());
}
