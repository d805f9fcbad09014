// BLOB values read by one user of a file while another commits: a read never
// waits for the header lock that a commit holds, and finds pages that the
// other user added to the file after this one opened it.
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskTableBlobReadsTest : public TwoUsersNotesFixture {
protected:
  // Text that compresses badly, so that it needs many pages.
  static std::string Noise(std::size_t Size, unsigned Seed) {
    std::string Text(Size, ' ');
    for (char& c : Text) {
      Seed = Seed * 1103515245u + 12345u;
      c = static_cast<char>('!' + (Seed >> 16) % 90);
    }
    return Text;
  }
};

TEST_F(DiskTableBlobReadsTest, MemosAreReadWhileAnotherUserHoldsTheHeaderLock) {
  const std::string Small = "short", Large = Noise(30000, 7);
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    ASSERT_TRUE(Insert(Table, C, 1, Small));
    ASSERT_TRUE(Insert(Table, C, 2, Large));
    Close(Table, C);
  }
  TQXLDiskTableData Table(B->Database.get());
  DiskCursor C("Notes");
  Open(Table, C, *B);
  // A commit of A's is under way.
  TQXLDiskPageManager& Committer = *A->Database->DiskPageManager();
  ASSERT_TRUE(Committer.LockDBHeader());
  EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"1:" + Small, "2:" + Large}));
  EXPECT_TRUE(Committer.UnlockDBHeader());
  Close(Table, C);
}

TEST_F(DiskTableBlobReadsTest, MemosOnPagesAddedByAnotherUserAfterTheOpenAreRead) {
  TQXLDiskTableData Reader(B->Database.get());
  DiskCursor R("Notes");
  Open(Reader, R, *B);
  const std::int32_t PagesSeenAtOpen = B->Database->DiskPageManager()->DBHeader().TotalPageCount;
  const std::string Large = Noise(60000, 11);
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    ASSERT_TRUE(Insert(Table, C, 1, Large));
    Close(Table, C);
  }
  const std::int32_t PagesNow = A->Database->DiskPageManager()->DBHeader().TotalPageCount;
  ASSERT_GT(PagesNow, PagesSeenAtOpen) << "the file did not grow";
  EXPECT_EQ(Walk(Reader, R), (std::vector<std::string>{"1:" + Large}));
  Close(Reader, R);
}

}  // namespace
}  // namespace disktable
