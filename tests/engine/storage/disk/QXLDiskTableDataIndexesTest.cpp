// Indexes of disk tables: B-tree indexes made with the table, kept in step
// by inserts, updates and deletes, and found again after the file was
// reopened; a session's temporary index rebuilt by its next move when
// another user changed the table, and not by a count.
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/support/FakeIndex.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskTableIndexesTest : public TwoUsersFixture {
protected:
  // The IDs in the order of index Name.
  static std::vector<std::string> WalkBy(TQXLDiskTableData& Table, DiskCursor& C, const std::string& Name) {
    C.SetIndexName(Name);
    EXPECT_NE(C.FIndexID, -1) << Name;
    std::vector<std::string> Rows = Walk(Table, C);
    C.SetIndexName("");
    return Rows;
  }
};

TEST_F(DiskTableIndexesTest, ABTreeIndexFollowsEveryChangeAndIsFoundAfterAReopen) {
  TQXLFieldDefs Fields;
  NotesFields(Fields);
  TQXLIndexDefs Indexes;
  TQXLIndexDef* ByID = Indexes.AddCreated();
  ByID->Name = "ByID";
  ByID->AssignByNames({"ID"}, {"DESC"}, {"CASE"});
  CreateTable(*A, "Ranked", Fields, Indexes);
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Ranked");
    Open(Table, C, *A);
    for (std::int32_t Id : {5, 1, 4, 2, 3}) ASSERT_TRUE(Insert(Table, C, Id, "m" + std::to_string(Id)));
    EXPECT_EQ(WalkBy(Table, C, "ByID"), (std::vector<std::string>{"5:m5", "4:m4", "3:m3", "2:m2", "1:m1"}));
    ASSERT_TRUE(MoveTo(Table, C, 3));
    BeginEdit(C);
    const std::int32_t NewId = 9;
    C.SetFieldData(IdField, &NewId, C.FCurrentRecordBuffer);
    ASSERT_TRUE(UpdateCurrent(Table, C));
    ASSERT_TRUE(MoveTo(Table, C, 4));
    ASSERT_TRUE(DeleteCurrent(Table, C));
    Close(Table, C);
  }
  Disconnect(*A);
  A = Connect(true);
  TQXLDiskTableData Table(B->Database.get());
  DiskCursor C("Ranked");
  Open(Table, C, *B);
  EXPECT_EQ(WalkBy(Table, C, "ByID"), (std::vector<std::string>{"9:m3", "5:m5", "2:m2", "1:m1"}));
  Close(Table, C);
}

TEST_F(DiskTableIndexesTest, ATemporaryIndexIsRebuiltByTheNextMoveAfterAnotherUsersChange) {
  CreateNotes(*A);
  FakeIndexFactory Factory;
  TQXLDiskTableData TableA(A->Database.get(), &Factory), TableB(B->Database.get());
  DiskCursor CA("Notes"), CB("Notes");
  Open(TableA, CA, *A);
  Open(TableB, CB, *B);
  ASSERT_TRUE(Insert(TableA, CA, 1));
  bool IsCreated = false;
  TableA.FindOrCreateIndex(&CA, {"ID"}, {"ASC"}, {"CASE"}, IsCreated);
  ASSERT_TRUE(IsCreated);
  ASSERT_TRUE(MoveTo(TableA, CA, 1));
  EXPECT_EQ(Factory.Log.Rebuilds, 0) << "nothing changed since the index was made";

  ASSERT_TRUE(Insert(TableB, CB, 2));
  EXPECT_EQ(TableA.InternalGetRecordCount(&CA), 2);
  EXPECT_EQ(Factory.Log.Rebuilds, 0) << "a count needs no index";
  ASSERT_TRUE(MoveTo(TableA, CA, 2));
  EXPECT_EQ(Factory.Log.Rebuilds, 1);
  ASSERT_TRUE(MoveTo(TableA, CA, 1));
  EXPECT_EQ(Factory.Log.Rebuilds, 1) << "once in step, the index stays as it is";
  Close(TableA, CA);
  Close(TableB, CB);
}

}  // namespace
}  // namespace disktable
