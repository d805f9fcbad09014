// Record pages with room left by deletes take the records inserted after
// them, wherever the pages sort in the table's page index, so that a table
// whose row count stays the same keeps its file size.
#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

// Two users of a file of 512-byte pages, on which a few records fill a record
// page and a few hundred record pages fill several leaves of the page index;
// table "Rows" has an integer "ID" and a 140-character "Text".
class DiskTableRoomTest : public DiskTableFixture, public ::testing::WithParamInterface<bool> {
protected:
  static constexpr std::int32_t Rows = 600;
  static constexpr std::int32_t Cycles = 200;

  void SetUp() override {
    TQXLDiskDatabaseData Creator;
    Creator.SetDatabaseName(FileName());
    Creator.SetPageSize(512);
    Creator.CreateDatabase();
    A = Connect(true);
    B = Connect(true);
    TQXLFieldDefs Fields;
    AddField(Fields, "ID", aftInteger);
    AddField(Fields, "Text", aftString, 140);
    CreateTable(*A, "Rows", Fields);
    TableA = std::make_unique<TQXLDiskTableData>(A->Database.get());
    TableB = std::make_unique<TQXLDiskTableData>(B->Database.get());
    Open(*TableA, CA, *A);
    Open(*TableB, CB, *B);
  }
  void TearDown() override {
    Close(*TableA, CA);
    Close(*TableB, CB);
    TableA.reset();
    TableB.reset();
    Disconnect(*A);
    Disconnect(*B);
  }

  // Each step's changes are committed together, as a batch.
  template <typename F>
  static void Batch(TQXLDiskTableData& Table, DiskCursor& C, F Changes) {
    C.FBatchUpdate = true;
    Changes();
    C.FBatchUpdate = false;
    Table.ApplyChanges(C.SessionID(), false);
  }
  void InsertRows(TQXLDiskTableData& Table, DiskCursor& C, std::int32_t Count) {
    Batch(Table, C, [&] {
      for (std::int32_t i = 0; i < Count; ++i) ASSERT_TRUE(Insert(Table, C, FNextId++));
    });
  }
  void DeleteRandomTenth(std::mt19937& Rng) {
    std::vector<TQXLPageItemID> IDs;
    // One shared lock for the whole walk, as a query holds it.
    ASSERT_TRUE(TableA->LockTable(CA.SessionID(), ltS, 1, 1, false));
    CA.FirstPosition = true;
    CA.LastPosition = false;
    while (TableA->GetRecordBuffer(&CA, grmNext) == grrOK) IDs.push_back(CA.CurrentRecordID);
    ASSERT_TRUE(TableA->UnlockTable(CA.SessionID(), ltS, false));
    std::shuffle(IDs.begin(), IDs.end(), Rng);
    IDs.resize(IDs.size() / 10);
    Batch(*TableA, CA, [&] {
      for (const TQXLPageItemID& ID : IDs) {
        CA.CurrentRecordID = ID;
        ASSERT_EQ(TableA->GetRecordBuffer(&CA, grmCurrent), grrOK);
        ASSERT_TRUE(DeleteCurrent(*TableA, CA));
      }
    });
  }

  // The leaves of A's page index, as A's session sees them.
  std::int32_t LeafCount() {
    qxl::TQXLBTreeRecordPageIndex& Index = TableA->DiskRecordManager()->RecordPageIndex();
    std::set<std::int32_t> Leaves;
    qxl::TQXLKeyPath Path;
    for (bool More = Index.GotoFirst(CA.SessionID(), Path); More; More = Index.GotoNext(CA.SessionID(), Path))
      Leaves.insert(Path.Item(Path.Count() - 1).PageNo);
    return static_cast<std::int32_t>(Leaves.size());
  }

  std::unique_ptr<DiskUser> A, B;
  std::unique_ptr<TQXLDiskTableData> TableA, TableB;
  DiskCursor CA{"Rows"}, CB{"Rows"};
  std::int32_t FNextId = 0;
};

// A random tenth deleted by A and as many inserted again, 200 times, by A
// or by B, who learns of A's deletes only through the table's counters.
TEST_P(DiskTableRoomTest, DeleteAndInsertCyclesKeepTheFileWithinItsSizeAfterTheFirstCycle) {
  const bool OtherUserInserts = GetParam();
  InsertRows(*TableA, CA, Rows);
  ASSERT_GE(LeafCount(), 3);
  std::mt19937 Rng(4711);
  std::uintmax_t AfterFirst = 0;
  for (std::int32_t Cycle = 0; Cycle < Cycles; ++Cycle) {
    DeleteRandomTenth(Rng);
    if (OtherUserInserts)
      InsertRows(*TableB, CB, Rows / 10);
    else
      InsertRows(*TableA, CA, Rows / 10);
    if (Cycle == 0) AfterFirst = std::filesystem::file_size(FileName());
  }
  EXPECT_EQ(TableA->InternalGetRecordCount(&CA), Rows);
  EXPECT_LE(std::filesystem::file_size(FileName()), AfterFirst * 13 / 10) << "after the first cycle: " << AfterFirst;
}

INSTANTIATE_TEST_SUITE_P(Users, DiskTableRoomTest, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& Info) {
  return Info.param ? "TheOtherUserInserts" : "TheDeletingUserInserts";
});

}  // namespace
}  // namespace disktable
