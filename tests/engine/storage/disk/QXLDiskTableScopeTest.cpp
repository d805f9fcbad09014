// Statement scopes on a table of a file two users share: a read scope holds
// the shared lock from its start to its end, nested scopes included, and its
// reads see the table; a write scope keeps the other user out until it ends
// and its changes are there for the other user afterwards; a scope whose
// lock is refused raises its code and holds nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/abstract/QXLTableScope.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/support/EngineErrors.h"

namespace qxl::disktable {
namespace {

class DiskTableScopeTest : public TwoUsersNotesFixture {
protected:
  void SetUp() override {
    TwoUsersNotesFixture::SetUp();
    TA = std::make_unique<TQXLDiskTableData>(A->Database.get());
    TB = std::make_unique<TQXLDiskTableData>(B->Database.get());
    Open(*TA, CA, *A);
    Open(*TB, CB, *B);
  }
  void TearDown() override {
    Close(*TA, CA);
    Close(*TB, CB);
    TA.reset();
    TB.reset();
    TwoUsersNotesFixture::TearDown();
  }
  // Whether B could take Lock on the table now (given back at once).
  bool BCanLock(TQXLLockType Lock) {
    if (!TB->LockTable(CB.SessionID(), Lock, 1, 1, false)) return false;
    EXPECT_TRUE(TB->UnlockTable(CB.SessionID(), Lock, false));
    return true;
  }
  bool InsertInScope(std::int32_t Id) {
    CA.InternalInitRecord(CA.FCurrentRecordBuffer, true);
    CA.SetFieldData(IdField, &Id, CA.FCurrentRecordBuffer);
    TQXLCursor* c = &CA;
    return TA->InsertRecord(c);
  }

  std::unique_ptr<TQXLDiskTableData> TA, TB;
  DiskCursor CA{"Notes"}, CB{"Notes"};
};

}  // namespace

TEST_F(DiskTableScopeTest, AReadScopeHoldsTheSharedLockForItsWholeLength) {
  ASSERT_TRUE(Insert(*TB, CB, 1));
  ASSERT_TRUE(Insert(*TB, CB, 2));
  const std::vector<std::string> Two{"1:<NULL>", "2:<NULL>"};
  EXPECT_TRUE(BCanLock(ltRW));
  {
    TQXLTableReadScope Outer(*TA, CA, 20214);
    EXPECT_FALSE(BCanLock(ltRW));
    {
      TQXLTableReadScope Inner(*TA, CA, 20214);
      EXPECT_EQ(Walk(*TA, CA), Two);
    }
    // The inner scope's end gives nothing back that the outer one holds.
    EXPECT_FALSE(BCanLock(ltRW));
    EXPECT_EQ(Walk(*TA, CA), Two);
    EXPECT_EQ(TA->GetRecordCount(&CA), 2);
  }
  EXPECT_TRUE(BCanLock(ltRW));
  // After the scope each read takes its own lock and sees what B adds.
  ASSERT_TRUE(Insert(*TB, CB, 3));
  EXPECT_EQ(Walk(*TA, CA), (std::vector<std::string>{"1:<NULL>", "2:<NULL>", "3:<NULL>"}));
}

TEST_F(DiskTableScopeTest, AWriteScopeKeepsTheOtherUserOutAndLeavesItsChangesForIt) {
  ASSERT_TRUE(Insert(*TB, CB, 1));
  {
    TQXLTableWriteScope Write(*TA, CA, 20223);
    EXPECT_FALSE(BCanLock(ltS));
    for (std::int32_t Id = 2; Id <= 5; ++Id) ASSERT_TRUE(InsertInScope(Id)) << Id;
    // A read inside the write scope needs no lock of its own.
    EXPECT_EQ(Walk(*TA, CA).size(), 5u);
    EXPECT_FALSE(BCanLock(ltS));
  }
  EXPECT_TRUE(BCanLock(ltS));
  EXPECT_EQ(Walk(*TB, CB),
            (std::vector<std::string>{"1:<NULL>", "2:<NULL>", "3:<NULL>", "4:<NULL>", "5:<NULL>"}));
  // B's counters follow: its next record goes beside A's.
  ASSERT_TRUE(Insert(*TB, CB, 6));
  EXPECT_EQ(TA->GetRecordCount(&CA), 6);
}

TEST_F(DiskTableScopeTest, AScopeWhoseLockIsRefusedRaisesItsCodeAndHoldsNothing) {
  ASSERT_TRUE(TB->LockTable(CB.SessionID(), ltRW, 1, 1, false));
  EXPECT_EQ(NativeCodeOf([&] { TQXLTableReadScope Read(*TA, CA, 20214); }), 20214);
  EXPECT_EQ(NativeCodeOf([&] { TQXLTableWriteScope Write(*TA, CA, 20223); }), 20223);
  ASSERT_TRUE(TB->UnlockTable(CB.SessionID(), ltRW, false));
  // Nothing of the refused scopes stays: B's write lock and A's plain reads go on.
  EXPECT_TRUE(BCanLock(ltRW));
  ASSERT_TRUE(Insert(*TB, CB, 7));
  EXPECT_EQ(Walk(*TA, CA), (std::vector<std::string>{"7:<NULL>"}));
  {
    TQXLTableReadScope Read(*TA, CA, 20214);
    EXPECT_FALSE(BCanLock(ltRW));
  }
  EXPECT_TRUE(BCanLock(ltRW));
}

}  // namespace qxl::disktable
