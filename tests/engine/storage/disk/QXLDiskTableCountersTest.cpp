// The counters of a disk table (record count, table state, auto-increment
// values) between users of one file that each have their own database object
// and file handle, as separate processes do: a user that changes the table
// must start from what the others committed, whatever lock it holds and
// whether or not its caller reloaded the counters first.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/DiskTableUser.h"

using namespace qxl;

namespace {

using qxl::testsupport::TDiskTableUser;

class DiskTableCountersTest : public ::testing::Test {
protected:
  void SetUp() override {
    qxl::testsupport::CreateDatabaseFile(Name, {}, 8);
    TDiskTableUser Maker(Name, {});
    Maker.CreateTable("Items", {"ID", "Who"}, {"ID"});
  }

  // The IDs of every record and the stored record count, seen by a user that
  // opens the table afresh.
  void Stored(std::vector<std::int32_t>& Ids, std::int64_t& Count) {
    TDiskTableUser U(Name, {});
    U.Open("Items");
    U.Rewind();
    while (U.Next()) Ids.push_back(U.Get(0));
    Count = U.Table().InternalGetRecordCount(&U.Cursor());
  }

  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  TScratchDir Dir;
  std::string Name = Dir.File("counters.qxl");
};

// Each user inserts inside a transaction under XIRW, as a post inside a
// transaction does; both opened the table before either inserted, and a
// reader scans under S before and after.
TEST_F(DiskTableCountersTest, TransactionsUnderXIRWStartFromTheCountersOthersCommitted) {
  TDiskTableUser A(Name, {}), B(Name, {}), Reader(Name, {});
  for (TDiskTableUser* U : {&A, &B, &Reader}) U->Open("Items");
  auto Scan = [&] {
    std::int64_t Rows = 0;
    Reader.Lock(ltS);
    Reader.Rewind();
    while (Reader.Next()) ++Rows;
    Reader.Unlock(ltS);
    return Rows;
  };
  EXPECT_EQ(Scan(), 0);
  std::int32_t Who = 0;
  for (int Round = 0; Round < 2; ++Round)
    for (TDiskTableUser* U : {&A, &B}) {
      U->StartTransaction();
      U->Lock(ltXIRW);
      U->Table().LoadMostUpdated(U->SessionID());
      for (int Row = 0; Row < 3; ++Row) {
        U->BeginInsert();
        U->Set(1, ++Who);
        U->Insert();
      }
      U->Commit();
      EXPECT_EQ(Scan(), Who) << "after insert " << Who;
    }

  std::vector<std::int32_t> Ids;
  std::int64_t Count = 0;
  Stored(Ids, Count);
  EXPECT_EQ(Ids.size(), 12u);
  EXPECT_EQ(std::set<std::int32_t>(Ids.begin(), Ids.end()).size(), Ids.size()) << "an ID was given twice";
  EXPECT_EQ(Count, static_cast<std::int64_t>(Ids.size()));
}

// The caller takes RW but leaves the counters as they were when it opened.
TEST_F(DiskTableCountersTest, InsertStartsFromTheStoredCountersWithoutTheCallerReloadingThem) {
  TDiskTableUser A(Name, {}), B(Name, {});
  A.Open("Items");
  B.Open("Items");
  std::int32_t Who = 0;
  for (TDiskTableUser* U : {&A, &B, &A}) {
    U->Lock(ltRW);
    U->BeginInsert();
    U->Set(0, 100 + Who);
    U->Set(1, ++Who);
    TQXLCursor* C = &U->Cursor();
    ASSERT_TRUE(U->Table().InsertRecord(C));
    U->Unlock(ltRW);
  }
  std::vector<std::int32_t> Ids;
  std::int64_t Count = 0;
  Stored(Ids, Count);
  EXPECT_EQ(Ids.size(), 3u);
  EXPECT_EQ(Count, 3);
}

}  // namespace
