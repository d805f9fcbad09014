// Table and record locks between separate operating-system processes on one
// database file, through the qxl_store_worker program.
#include "engine/storage/locks/QXLLockCompatibility.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/files/AnnouncingWorker.h"
#include "tests/engine/storage/locks/LocksTestSupport.h"

using namespace qxl;

namespace {

const char* const ModeNames[] = {"IS", "S", "SIRW", "XIRW", "RW", "U", "X"};

class LocksMultiProcessTest : public LocksTest {
protected:
  // A worker holding Lock on table A as session Session.
  TAnnouncingWorker Hold(const std::string& Tag, std::int32_t Session, const std::string& Lock) {
    return StartAnnouncing(Dir, Tag, {"hold", Name, std::to_string(TablePageA), std::to_string(Session), Lock});
  }
};

TEST_F(LocksMultiProcessTest, TableLocksAreGrantedAndRefusedAsTheTableSays) {
  auto H = Open();
  for (int Held = 0; Held < qxl::LockTypeCount; ++Held) {
    auto Holder = Hold(std::string("held") + ModeNames[Held], 0, ModeNames[Held]);
    ASSERT_EQ(Holder.Line, "granted") << ModeNames[Held];
    for (int Requested = 0; Requested < qxl::LockTypeCount; ++Requested) {
      const auto Mode = static_cast<TQXLLockType>(Requested);
      const bool Granted = Try(*H, 1, Mode);
      EXPECT_EQ(Granted, qxl::IsLockCompatible(static_cast<TQXLLockType>(Held), Mode))
          << ModeNames[Held] << " held, " << ModeNames[Requested] << " asked";
      if (Granted) {
        EXPECT_TRUE(Release(*H, 1, Mode));
      }
    }
    // A killed holder's lock is gone at once.
    Holder.Worker->Kill();
    EXPECT_TRUE(Try(*H, 1, ltX));
    EXPECT_TRUE(Release(*H, 1, ltX));
  }
  ASSERT_TRUE(Try(*H, 1, ltX));
  EXPECT_EQ(Hold("whileX", 0, "IS").Line, "refused");
  ASSERT_TRUE(Release(*H, 1, ltX));
  ASSERT_TRUE(Try(*H, 1, ltSIRW));
  EXPECT_EQ(Hold("rw", 0, "RW").Line, "granted");
  EXPECT_EQ(Hold("xirw", 2, "XIRW").Line, "refused");
}

TEST_F(LocksMultiProcessTest, RecordLocksOnOneRecordAndOnTwo) {
  auto H = Open();
  auto First = Hold("first", 0, "R10.1");
  ASSERT_EQ(First.Line, "granted");
  EXPECT_TRUE(H->Manager->IsRecordLocked(1, H->A, {10, 1}));
  EXPECT_FALSE(H->Manager->LockRecord(1, H->A, {10, 1}, 1, 0));
  EXPECT_TRUE(H->Manager->LockRecord(1, H->A, {10, 2}, 1, 0));
  EXPECT_EQ(Hold("second", 2, "R10.2").Line, "refused");
  EXPECT_EQ(Hold("third", 2, "R11.1").Line, "granted");
  First.Worker->Kill();
  EXPECT_FALSE(H->Manager->IsRecordLocked(1, H->A, {10, 1}));
  ASSERT_TRUE(H->Manager->UnlockRecord(1, H->A, {10, 2}));
  EXPECT_TRUE(H->Manager->LockRecord(1, H->A, {10, 1}, 1, 0));
  H.reset();
  EXPECT_TRUE(FileStructureIsSound(Name, {TablePageA, TablePageB}));
}

}  // namespace
