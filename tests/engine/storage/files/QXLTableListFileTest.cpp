// The system directory and the table list: their layout in a new database,
// names and their case, order, damaged sizes, and a change made while another
// handle changed the list too.
#include "engine/storage/files/QXLTableListFile.h"

#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/files/DatabaseStructureSupport.h"

using namespace qxl;

namespace {

class TableListTest : public ::testing::Test {
protected:
  void SetUp() override { Structure = CreateStructuredDatabase(Name, 5); }
  // A handle of its own with the table list open and loaded.
  struct THandle {
    TQXLDiskPageManager M;
    TQXLTableListFile List{M};
  };
  std::unique_ptr<THandle> Open() {
    auto H = std::make_unique<THandle>();
    OpenShared(H->M, Name);
    H->List.OpenFile(Structure.TableListPageNo);
    H->List.Load();
    return H;
  }
  std::vector<std::string> Names(THandle& H) {
    std::vector<std::string> List;
    H.List.GetTablesList(List);
    return List;
  }
  void Commit(THandle& H) {
    H.List.Save();
    H.M.ApplyChanges(QXLSystemSessionID);
  }
  // Replaces a transacted file's content with Size bytes.
  void Overwrite(std::int32_t PageNo, std::uint16_t Type, std::int32_t Size) {
    TQXLDiskPageManager M;
    OpenShared(M, Name);
    TQXLInternalDBTransactedAccessFile File(M, Type);
    File.OpenFile(PageNo);
    const std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Size), 1);
    File.WriteFile(QXLSystemSessionID, Bytes.data(), Size, acaNone, 0);
    M.ApplyChanges(QXLSystemSessionID);
  }

  TScratchDir Dir;
  std::string Name = Dir.File("tables.qxl");
  TDatabaseStructure Structure;
};

TEST_F(TableListTest, NewDatabaseDirectoryNamesSessionsFileThenTableList) {
  TQXLDiskPageManager M;
  OpenShared(M, Name);
  TQXLSystemDirectory Directory(M);
  Directory.LoadDirectory();
  ASSERT_EQ(Directory.FileList().size(), 2u);
  EXPECT_EQ(Directory.FileList()[0].FileID, dbftActiveSessionsList);
  EXPECT_EQ(Directory.FileList()[1].FileID, dbftTablesList);
  EXPECT_EQ(Directory.GetFileFirstPageNo(dbftActiveSessionsList), Structure.SessionsPageNo);
  EXPECT_EQ(Directory.GetFileFirstPageNo(dbftTablesList), Structure.TableListPageNo);
  EXPECT_EQ(Directory.GetFileFirstPageNo(dbftUnknown), -1);
  std::uint8_t Header[10];
  M.ReadPageRegion(Header, TQXLSystemDirectory::DirectoryPageNo, 40, 10);
  EXPECT_EQ(Header[0], 10);
  EXPECT_EQ(Header[1], 10);  // the stored size: two items of five bytes
}

TEST_F(TableListTest, DirectoryOffItsPageIsRefused) {
  TQXLDiskPageManager M;
  M.CreateAndOpenDatabase(Dir.File("other.qxl"), {}, 4096, 8);
  M.PutPage(M.AddPage(QXLSystemSessionID, ptTableRecord));
  TQXLSystemDirectory Directory(M);
  EXPECT_EQ(MessageOf([&] { Directory.CreateDirectory(); }),
            "Error Creating SystemDirectory. SystemDirectoryPageNo=3. Real PageNo=2. - Native error: 30392");
  M.CancelChanges(QXLSystemSessionID);
}

TEST_F(TableListTest, TablesAreFoundByNameInTheOrderAdded) {
  auto H = Open();
  H->List.AddTable(7, "Tasks", 10, 11, 12);
  H->List.AddTable(8, "Clients", 20, 21, 22);
  H->List.AddTable(9, "\xC3\xA4rger", 30, 31, 32);  // "ärger"
  Commit(*H);
  auto Other = Open();
  EXPECT_EQ(Names(*Other), (std::vector<std::string>{"Tasks", "Clients", "\xC3\xA4rger"}));
  std::int32_t ID, Meta, Most, Locks;
  Other->List.OpenTable("CLIENTS", ID, Meta, Most, Locks);
  EXPECT_EQ(std::vector<std::int32_t>({ID, Meta, Most, Locks}), std::vector<std::int32_t>({8, 20, 21, 22}));
  EXPECT_TRUE(Other->List.TableExists("tasks"));
  // Only ASCII letters are folded.
  EXPECT_FALSE(Other->List.TableExists("\xC3\x84RGER"));
  EXPECT_TRUE(Other->List.TableExists("\xC3\xA4RGER"));
  EXPECT_EQ(MessageOf([&] { Other->List.AddTable(1, "TASKS", 1, 1, 1); }),
            "Cannot create table. Table 'TASKS' already exists - Native error: 30395");

  Other->List.RemoveTable("tasks");
  EXPECT_EQ(Names(*Other), (std::vector<std::string>{"Clients", "\xC3\xA4rger"}));  // read back from the file
  Commit(*Other);
  EXPECT_EQ(Names(*Other), (std::vector<std::string>{"Clients", "\xC3\xA4rger"}));

  // A rename to a name in use is the callers' to refuse; lookups find the first.
  Other->List.RenameTable("\xC3\xA4rger", "clients");
  Other->List.OpenTable("Clients", ID, Meta, Most, Locks);
  EXPECT_EQ(ID, 8);
  EXPECT_EQ(Other->List.Items().size(), 2u);
}

TEST_F(TableListTest, MissingNamesAndSecondOpenAreRefused) {
  auto H = Open();
  std::int32_t ID, Meta, Most, Locks;
  EXPECT_EQ(MessageOf([&] { H->List.OpenTable("Nope", ID, Meta, Most, Locks); }),
            "Table 'Nope' not exists. - Native error: 30396");
  EXPECT_EQ(NativeCodeOf([&] { H->List.RemoveTable("Nope"); }), 30405);
  EXPECT_EQ(NativeCodeOf([&] { H->List.RenameTable("Nope", "Yes"); }), 30397);
  EXPECT_EQ(NativeCodeOf([&] { H->List.OpenFile(Structure.TableListPageNo); }), 30393);
  H->List.CloseFile();
  EXPECT_EQ(H->List.StartPageNo(), -1);
  EXPECT_EQ(NativeCodeOf([&] { H->List.Load(); }), 30389);
}

TEST_F(TableListTest, LongNamesAreStoredCutTo255Bytes) {
  auto H = Open();
  const std::string Long(300, 'n');
  H->List.AddTable(1, Long, 1, 1, 1);
  Commit(*H);
  auto Other = Open();
  EXPECT_EQ(Names(*Other), std::vector<std::string>{std::string(255, 'n')});
  EXPECT_TRUE(Other->List.TableExists(std::string(255, 'N')));
}

TEST_F(TableListTest, SizesThatAreNoWholeNumberOfItemsAreRefused) {
  Overwrite(Structure.TableListPageNo, ptTableList, 272 + 1);
  auto H = std::make_unique<THandle>();
  OpenShared(H->M, Name);
  H->List.OpenFile(Structure.TableListPageNo);
  EXPECT_EQ(MessageOf([&] { H->List.Load(); }), "Table list file is damaged. Size=273 - Native error: 30398");

  Overwrite(TQXLSystemDirectory::DirectoryPageNo, ptFileSystemDirectory, 7);
  TQXLSystemDirectory Directory(H->M);
  EXPECT_EQ(NativeCodeOf([&] { Directory.LoadDirectory(); }), 30394);
}

TEST_F(TableListTest, ChangeKeepsWhatAnotherHandleAddedMeanwhile) {
  // Both handles loaded the list before either took the tables byte.
  auto A = Open(), B = Open();
  B->List.AddTable(2, "FromB", 1, 1, 1);
  Commit(*B);
  A->List.AddTable(1, "FromA", 1, 1, 1);
  Commit(*A);
  B->List.RenameTable("FromB", "Renamed");
  Commit(*B);
  A->List.RemoveTable("FromA");
  Commit(*A);
  EXPECT_EQ(Names(*Open()), std::vector<std::string>{"Renamed"});
}

}  // namespace
