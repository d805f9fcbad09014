// Damage at one place of a table's stored structure that would send a walk
// round in a circle: an index entry whose reference names another record, a
// record-page-index leaf that lists one page twice, and a page of the table
// handed out again after its space-map bit was cleared and then released by
// the rollback of the other user. Each walk, in each direction and through a
// filtered view, ends: with the damage error of its kind where it meets the
// damage, at the view's end where it never does.
#include <functional>

#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/pager/QXLFreeSpaceManager.h"
#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/engine/storage/disk/TableStructureCheck.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

using qxl::TQXLBTreePage;
using qxl::TQXLKeyPath;

constexpr std::int32_t Rows = 16;

// How a walk goes: its direction, and whether through a view that shows even
// IDs only.
struct TWalk {
  const char* Name;
  TQXLGetRecordMode Mode;
  bool Filtered;
};

constexpr TWalk Walks[] = {{"forward", grmNext, false},
                           {"backward", grmPrior, false},
                           {"filtered forward", grmNext, true},
                           {"filtered backward", grmPrior, true}};

class DiskTableDamagedWalksTest : public DiskTableFixture {
protected:
  // Table "Wide": an ID, a memo and a 900-character text that leaves room for
  // four records on a page, so that 16 records fill four record pages; an
  // index on the ID. Every fourth record has a memo too long to share a page.
  void SetUp() override {
    CreateDatabaseFile();
    A = Connect(true);
    TQXLFieldDefs Fields;
    NotesFields(Fields);
    AddField(Fields, "Pad", aftString, 900);
    TQXLIndexDefs Indexes;
    TQXLIndexDef* ByID = Indexes.AddCreated();
    ByID->Name = "ByID";
    ByID->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
    CreateTable(*A, "Wide", Fields, Indexes);
    WithTable([&](TQXLDiskTableData& Table, DiskCursor& C) {
      for (std::int32_t Id = 1; Id <= Rows; ++Id)
        ASSERT_TRUE(Insert(Table, C, Id, Id % 4 == 0 ? std::string(9000, char('a' + Id)) : "m" + std::to_string(Id)));
      ASSERT_EQ(RecordPages(Table).size(), 4u);
    });
  }
  void TearDown() override { Disconnect(*A); }

  template <typename F>
  void WithTable(F Body) {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Wide");
    Open(Table, C, *A);
    Body(Table, C);
    Close(Table, C);
  }
  TQXLDiskPageManager& Pages() { return *A->Database->DiskPageManager(); }

  // The record pages in the order of the record page index.
  std::vector<std::int32_t> RecordPages(TQXLDiskTableData& Table) {
    qxl::TQXLBTreeRecordPageIndex& Index = Table.DiskRecordManager()->RecordPageIndex();
    std::vector<std::int32_t> Result;
    TQXLKeyPath Path;
    for (bool More = Index.GotoFirst(A->Session.FSessionID, Path); More;
         More = Index.GotoNext(A->Session.FSessionID, Path))
      Result.push_back(Index.GetPageNoAtPosition(A->Session.FSessionID, Path));
    return Result;
  }

  // Changes one entry of a leaf of a tree and commits it for the system
  // session, as damage that the integrity checks pass would be.
  void DamageEntry(qxl::TQXLBTreeKeyRef& KeyRef, const TQXLKeyPath& At,
                   const std::function<void(TQXLBTreePage&, std::int32_t)>& Change) {
    const qxl::TQXLKeyPathItem& Item = At.Item(At.Count() - 1);
    TQXLBTreePage Leaf = TQXLBTreePage::Fetch(&Pages(), &KeyRef, QXLSystemSessionID, Item.PageNo);
    Change(Leaf, Item.EntryNo);
    Leaf.MarkDirty();
    Leaf.Put();
    Pages().ApplyChanges(QXLSystemSessionID);
  }

  // Walks the table from one end in Walk's direction, by the index when
  // ByIndex; the code of the error that ended the walk, 0 at the view's end,
  // -1 when it went on past four times the records.
  std::int32_t WalkCode(const TWalk& Walk, bool ByIndex) {
    auto User = Connect(true);
    std::int32_t Code = -1;
    {
      TQXLDiskTableData Table(User->Database.get());
      DiskCursor C("Wide");
      Open(Table, C, *User);
      if (ByIndex) C.SetIndexName("ByID");
      if (Walk.Filtered) {
        C.FilterRecord = [&C](std::uint8_t* Buffer, void*) {
          std::int32_t Id = -1;
          C.GetFieldData(IdField, &Id, Buffer);
          return Id % 2 == 0;
        };
        C.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(&Table);
      }
      C.FirstPosition = Walk.Mode == grmNext;
      C.LastPosition = Walk.Mode == grmPrior;
      bool Endless = false;
      Code = NativeCodeOf([&] {
        for (std::int32_t Steps = 0; !Endless && Table.GetRecordBuffer(&C, Walk.Mode) == grrOK; ++Steps)
          Endless = Steps > 4 * Rows;
      });
      if (Endless) Code = -1;
      Close(Table, C);
    }
    Disconnect(*User);
    return Code;
  }

  std::unique_ptr<DiskUser> A;
};

TEST_F(DiskTableDamagedWalksTest, ASoundTableIsWalkedToItsEndEveryWayAndEachOfItsPagesReachedOnce) {
  for (const TWalk& Walk : Walks)
    for (bool ByIndex : {false, true}) EXPECT_EQ(WalkCode(Walk, ByIndex), 0) << Walk.Name << " " << ByIndex;
  // Through its index's tree, its BLOB page index and its large BLOBs' page lists.
  EXPECT_TRUE(tablecheck::TableFileIsSound(FileName(), {}));
}

TEST_F(DiskTableDamagedWalksTest, AnIndexEntryNamingAnotherRecordStopsEveryWalkByTheIndex) {
  WithTable([&](TQXLDiskTableData& Table, DiskCursor& C) {
    const std::int32_t IndexID = Table.IndexManager()->IndexDefs().GetIndexDefByName("ByID")->ObjectID;
    auto& Index = dynamic_cast<qxl::TQXLBTreeRecordIndex&>(*Table.IndexManager()->OpenIndex(IndexID));
    const std::int32_t S = C.SessionID();
    // The entry of ID 12 takes the reference of ID 4.
    TQXLKeyPath Path;
    ASSERT_TRUE(Index.GotoFirst(S, Path));
    for (int i = 1; i < 4; ++i) ASSERT_TRUE(Index.GotoNext(S, Path));
    const TQXLPageItemID Four = Index.GetReferenceAtPosition(S, Path);
    for (int i = 4; i < 12; ++i) ASSERT_TRUE(Index.GotoNext(S, Path));
    DamageEntry(*Index.KeyRef(), Path, [&](TQXLBTreePage& Leaf, std::int32_t EntryNo) {
      Leaf.UpdateReference(EntryNo, reinterpret_cast<const std::uint8_t*>(&Four));
    });
  });
  for (const TWalk& Walk : Walks) {
    EXPECT_EQ(WalkCode(Walk, true), 20310) << Walk.Name;
    EXPECT_EQ(WalkCode(Walk, false), 0) << Walk.Name << ": the physical order does not pass the index";
  }
}

TEST_F(DiskTableDamagedWalksTest, ARecordPageListedTwiceStopsTheWalkThatWouldGoBack) {
  WithTable([&](TQXLDiskTableData& Table, DiskCursor& C) {
    qxl::TQXLBTreeRecordPageIndex& Index = Table.DiskRecordManager()->RecordPageIndex();
    const std::int32_t S = C.SessionID();
    // The third entry names the second page again: going forward, the step
    // from the second page finds it at its first entry and meets it again.
    TQXLKeyPath Second, Third;
    ASSERT_TRUE(Index.GotoFirst(S, Second));
    ASSERT_TRUE(Index.GotoNext(S, Second));
    Third.Assign(Second);
    ASSERT_TRUE(Index.GotoNext(S, Third));
    std::vector<std::uint8_t> Key;
    {
      const qxl::TQXLKeyPathItem& Item = Second.Item(Second.Count() - 1);
      TQXLBTreePage Leaf = TQXLBTreePage::Fetch(&Pages(), &Index.KeyRef(), S, Item.PageNo);
      Key.assign(Leaf.GetPKey(Item.EntryNo), Leaf.GetPKey(Item.EntryNo) + Leaf.KeyPrefixSize());
    }
    DamageEntry(Index.KeyRef(), Third,
                [&](TQXLBTreePage& Leaf, std::int32_t EntryNo) { Leaf.UpdateKey(EntryNo, Key.data()); });
  });
  // Going back, every step moves to a lower page; the walk ends, without the
  // records of the page that is no longer listed.
  const std::int32_t Expected[] = {20310, 0, 20310, 0};
  for (std::size_t i = 0; i < std::size(Walks); ++i)
    EXPECT_EQ(WalkCode(Walks[i], false), Expected[i]) << Walks[i].Name;
}

TEST_F(DiskTableDamagedWalksTest, APageReleasedByAnotherTablesRollbackStopsEveryWalk) {
  WithTable([&](TQXLDiskTableData& Table, DiskCursor& C) {
    const std::int32_t Second = RecordPages(Table)[1];
    // One space-map bit cleared: the next page anyone adds is the table's
    // second record page, and the rollback of that add releases it.
    Pages().FreeSpaceManager()->FreePage(Second);
    TQXLPage* Added = Pages().AddPage(C.SessionID(), ptTableRecord);
    const std::int32_t AddedNo = Added->PageNo();
    Pages().PutPage(Added);
    Pages().CancelChanges(C.SessionID());
    ASSERT_EQ(AddedNo, Second);
  });
  for (const TWalk& Walk : Walks) EXPECT_EQ(WalkCode(Walk, false), 20173) << Walk.Name;
}

}  // namespace
}  // namespace disktable
