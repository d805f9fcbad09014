// A cached page validated while a session worked on one table is current
// again only for that same table at that same state: a page of another table,
// or one rewritten by another process since, whose state number happens to
// match is read afresh.
#include <cstring>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/engine/storage/PageManagerTestSupport.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

class DiskPageTableStateTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
    Page = Write(M, -1, "old");
  }
  // Writes Text on page No (a new page for -1) and commits it.
  static std::int32_t Write(TQXLDiskPageManager& M, std::int32_t No, const char* Text) {
    TQXLPage* P = No < 0 ? M.AddPage(0, ptTableRecord) : M.GetPage(0, No, ptAny, true);
    P->MakeWritable();
    std::strcpy(reinterpret_cast<char*>(P->PageData()), Text);
    No = P->PageNo();
    M.PutPage(P);
    M.ApplyChanges(0);
    return No;
  }
  // Reads the page while session 0 works on Table, locked and loaded at State.
  std::string ReadWorkingOn(TQXLDiskPageManager& M, std::int32_t Table, std::int32_t State) {
    TQXLDiskTablePagesCacheManager& C = M.TablePagesCacheManager();
    C.TableIsSLocked(0, Table);
    C.SetIsMostUpdatedLoaded(0, Table, State);
    C.BeginWorkWithTable(0, Table);
    TQXLPage* P = M.GetPage(0, Page, ptAny, true);
    std::string Text(reinterpret_cast<const char*>(P->PageData()));
    M.PutPage(P);
    C.EndWorkWithTable(0, Table);
    C.TableIsSUnlocked(0, Table);
    return Text;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("state.qxl");
  std::int32_t Page = -1;
};

}  // namespace

TEST_F(DiskPageTableStateTest, PageCachedForOneTableIsNotCurrentForAnother) {
  TQXLDiskPageManager Reader, Writer;
  OpenShared(Reader, Name);
  OpenShared(Writer, Name);
  EXPECT_EQ(ReadWorkingOn(Reader, 7, 5), "old");
  // Another process rewrites the page, now one of table 8 (released and
  // reused, say), whose state is 5 as well.
  Write(Writer, Page, "new");
  EXPECT_EQ(ReadWorkingOn(Reader, 8, 5), "new");
}

TEST_F(DiskPageTableStateTest, SameTableAtTheSameStateUsesTheCachedCopy) {
  TQXLDiskPageManager Reader, Writer;
  OpenShared(Reader, Name);
  OpenShared(Writer, Name);
  EXPECT_EQ(ReadWorkingOn(Reader, 7, 5), "old");
  // A change behind the table's back (no new state) stays unseen: the
  // cached copy is trusted without a look at the file.
  Write(Writer, Page, "new");
  EXPECT_EQ(ReadWorkingOn(Reader, 7, 5), "old");
  // The table's next state makes the page be checked again.
  EXPECT_EQ(ReadWorkingOn(Reader, 7, 6), "new");
}
