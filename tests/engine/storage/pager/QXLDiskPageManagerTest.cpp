#include <sys/stat.h>

#include <cstring>

#include "engine/coding/Crc32.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "platform/Clock.h"
#include "tests/engine/storage/PageManagerTestSupport.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

constexpr std::size_t PageSize = 4096;
constexpr std::size_t FirstPage = 380;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> List) {
  std::vector<std::uint8_t> V;
  for (int b : List) V.push_back(static_cast<std::uint8_t>(b));
  return V;
}

// A fresh page header as the page layer writes it, with the given state and type.
std::vector<std::uint8_t> FreshPageHeader(std::uint8_t State, std::uint8_t Type) {
  return Bytes({'Q', 'X', 'L', 'P', State, 0, 0, 0, Type, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0,
                0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

class DiskPageManagerTest : public ::testing::Test {
protected:
  void Create(TQXLDiskPageManager& M, const TQXLPassword& Password = {}) {
    M.CreateAndOpenDatabase(Name, Password, 4096, 8);
  }
  void CreateClosed(const TQXLPassword& Password = {}) {
    TQXLDiskPageManager M;
    Create(M, Password);
  }
  // Adds a page whose first data bytes are Text, and commits it.
  std::int32_t AddCommitted(TQXLDiskPageManager& M, std::int32_t Session, const char* Text) {
    TQXLPage* Page = M.AddPage(Session, ptTableRecord);
    std::strcpy(reinterpret_cast<char*>(Page->PageData()), Text);
    const std::int32_t No = Page->PageNo();
    M.PutPage(Page);
    M.ApplyChanges(Session);
    return No;
  }
  // Session's private change of a page's text, committed.
  void Rewrite(TQXLDiskPageManager& M, std::int32_t Session, std::int32_t PageNo, const char* Text) {
    TQXLPage* Page = M.GetPage(Session, PageNo, ptTableRecord, true);
    Page->MakeWritable();
    std::strcpy(reinterpret_cast<char*>(Page->PageData()), Text);
    M.PutPage(Page);
    M.ApplyChanges(Session);
  }
  std::string Text(TQXLDiskPageManager& M, std::int32_t Session, std::int32_t PageNo, bool Sync = true) {
    TQXLPage* Page = M.GetPage(Session, PageNo, ptTableRecord, Sync);
    std::string T(reinterpret_cast<const char*>(Page->PageData()));
    M.PutPage(Page);
    return T;
  }
  TQXLDBHeader StoredHeader() {
    TQXLDBHeader H;
    const auto File = ReadWholeFile(Name);
    std::memcpy(&H, File.data(), sizeof H);
    return H;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("test.qxl");
};

TEST_F(DiskPageManagerTest, GoldenBytesOfANewFileAndOfItsFirstPage) {
  TQXLDiskPageManager M;
  Create(M);
  auto File = ReadWholeFile(Name);
  ASSERT_EQ(File.size(), 380u);
  std::vector<std::uint8_t> Expected(380, 0);
  std::memcpy(Expected.data(), "OSTRELDBDATABASE", 16);
  const auto Fixed = Bytes({0x4C, 0, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x1F, 0x40, 0x00, 0x10, 0x08, 0x00});
  std::copy(Fixed.begin(), Fixed.end(), Expected.begin() + 16);
  for (int i = 34; i < 38; ++i) Expected[i] = 0xFF;  // LastUsedPageNo -1
  Expected[42] = 2;                                  // WriteChangesState
  Expected[76] = 0x18;                               // CryptoHeaderSize 280
  Expected[77] = 0x01;
  Expected[356] = 0x14;  // LockedByteSize 20
  EXPECT_EQ(File, Expected);

  TQXLPage* Page = M.AddPage(0, ptTableRecord);
  EXPECT_EQ(Page->PageNo(), 2);
  M.PutPage(Page);
  File = ReadWholeFile(Name);
  ASSERT_EQ(File.size(), 24956u);
  Expected[30] = 6;  // TotalPageCount
  Expected[34] = 2;  // LastUsedPageNo
  Expected[35] = Expected[36] = Expected[37] = 0;
  Expected.resize(24956, 0);
  // PFS page 0: written, then marked twice (page 1, page 2): state 3; pages 0 to 2 used.
  auto Pfs = FreshPageHeader(3, ptPFS);
  std::copy(Pfs.begin(), Pfs.end(), Expected.begin() + FirstPage);
  Expected[FirstPage + 40] = 0x07;
  // EAM page 1: written once; extent 0 has free pages.
  auto Eam = FreshPageHeader(1, ptEAM);
  std::copy(Eam.begin(), Eam.end(), Expected.begin() + FirstPage + PageSize);
  Expected[FirstPage + PageSize + 40] = 0x01;
  EXPECT_EQ(File, Expected);
  M.ApplyChanges(0);
}

TEST_F(DiskPageManagerTest, CommitAndRollbackWithSeveralSessions) {
  TQXLDiskPageManager M;
  Create(M);
  const std::int32_t A = AddCommitted(M, 0, "first");
  EXPECT_EQ(int(StoredHeader().State), 1);
  EXPECT_EQ(StoredHeader().WriteChangesState, 2);

  // Session 1 changes A, session 2 adds a page; session 3 reads meanwhile.
  TQXLPage* P = M.GetPage(1, A, ptTableRecord, true);
  P->MakeWritable();
  std::strcpy(reinterpret_cast<char*>(P->PageData()), "changed");
  M.PutPage(P);
  TQXLPage* Added = M.AddPage(2, ptTableRecord);
  const std::int32_t B = Added->PageNo();
  M.PutPage(Added);
  EXPECT_EQ(Text(M, 3, A), "first");
  EXPECT_EQ(Text(M, 1, A), "changed");

  // Nothing to commit: the header is not touched.
  const auto Before = ReadWholeFile(Name);
  M.ApplyChanges(3);
  EXPECT_EQ(ReadWholeFile(Name), Before);

  M.CancelChanges(2);  // B is released again
  M.ApplyChanges(1);
  EXPECT_EQ(int(StoredHeader().State), 2);
  EXPECT_EQ(Text(M, 3, A), "changed");
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(3, B, ptTableRecord, true); }), 20153);  // never written
  EXPECT_EQ(AddCommitted(M, 0, "keep"), B);

  // Removing commits the release: the state is marked and the space reused.
  M.RemovePage(1, A);
  M.ApplyChanges(1);
  auto File = ReadWholeFile(Name);
  std::int32_t State;
  std::memcpy(&State, File.data() + FirstPage + A * PageSize + 4, 4);
  EXPECT_EQ(State, QXLRemovedPageState);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(File.data() + FirstPage + A * PageSize + 40)), "changed");
  EXPECT_EQ(M.InternalReadPageState(A), QXLRemovedPageState);
  EXPECT_EQ(AddCommitted(M, 0, "again"), A);
  M.CheckNoUncommittedPages();
  M.CloseDatabase();

  TQXLDiskPageManager Reopened;
  EXPECT_FALSE(OpenShared(Reopened, Name));
  EXPECT_EQ(Text(Reopened, 0, A), "again");
}

TEST_F(DiskPageManagerTest, EveryEncryptionChoiceRoundTripsAndChecksThePassword) {
  for (int Choice = 0; Choice < QXLCryptoAlgorithmCount; ++Choice) {
    SCOPED_TRACE(Choice);
    const TQXLPassword Password{"Rk#4w%", static_cast<TQXLCryptoAlgorithm>(Choice)};
    std::int32_t No;
    {
      TQXLDiskPageManager M;
      Create(M, Password);
      TQXLPage* Page = M.AddPage(0, ptTableRecord);
      No = Page->PageNo();
      for (int i = 0; i < 4056; ++i) Page->PageData()[i] = static_cast<std::uint8_t>(i * 7);
      M.PutPage(Page);
      M.ApplyChanges(0);
      // The page in memory keeps its plain data.
      Page = M.GetPage(0, No, ptTableRecord, false);
      EXPECT_EQ(Page->PageData()[100], static_cast<std::uint8_t>(700));
      M.PutPage(Page);
    }
    auto File = ReadWholeFile(Name);
    EXPECT_EQ(File[43], 0xFF);
    EXPECT_EQ(File[78], Choice);
    TQXLDiskPageHeader Header;
    std::memcpy(&Header, File.data() + FirstPage + No * PageSize, sizeof Header);
    EXPECT_EQ(Header.Cipherype, Choice);
    std::vector<std::uint8_t> Plain(4056);
    for (int i = 0; i < 4056; ++i) Plain[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(std::uint32_t(Header.CRC32), qxl::UpdateCrc32(0, Plain.data(), 4056));
    EXPECT_NE(std::memcmp(File.data() + FirstPage + No * PageSize + 40, Plain.data(), 4056), 0);
    EXPECT_EQ(File[FirstPage + 40], 0x07);  // the PFS page stays plain

    {
      TQXLDiskPageManager M;
      EXPECT_EQ(NativeCodeOf([&] { OpenShared(M, Name, {"wrong", craRijndael_128}); }), 30445);
      EXPECT_FALSE(M.IsOpened());
      OpenShared(M, Name, {"Rk#4w%", craRijndael_128});  // the stored choice decides
      EXPECT_EQ(M.Password().CryptoAlgorithm, Choice);
      TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);
      EXPECT_EQ(std::memcmp(Page->PageData(), Plain.data(), 4056), 0);
      M.PutPage(Page);
    }
    // One damaged byte of coded data fails the check of the page.
    File[FirstPage + No * PageSize + 500] ^= 1;
    WriteWholeFile(Name, File);
    TQXLDiskPageManager M;
    OpenShared(M, Name, Password);
    EXPECT_EQ(NativeCodeOf([&] { M.GetPage(0, No, ptTableRecord, true); }), 30446);
    M.SetIgnoreCRCErrors(true);
    M.PutPage(M.GetPage(0, No, ptTableRecord, true));
  }
}

TEST_F(DiskPageManagerTest, UnencryptedFileAcceptsAnyPassword) {
  CreateClosed();
  TQXLDiskPageManager M;
  EXPECT_FALSE(OpenShared(M, Name, {"anything", craSquare}));
  EXPECT_FALSE(M.Encrypted());
}

TEST_F(DiskPageManagerTest, EncryptedFileCutInsideItsCryptoHeaderIsNoPasswordError) {
  CreateClosed({"pw", craBlowfish});
  auto File = ReadWholeFile(Name);
  File.resize(300);
  WriteWholeFile(Name, File);
  TQXLDiskPageManager M;
  EXPECT_EQ(NativeCodeOf([&] { OpenShared(M, Name, {"pw", craBlowfish}); }), 20237);
  EXPECT_EQ(ReadWholeFile(Name), File);
}

TEST_F(DiskPageManagerTest, EncryptedFileNamingAnUnknownCipherIsRefused) {
  // A control block left plain under an unknown choice would pass the
  // password check; its pages could then be neither read nor written.
  CreateClosed();
  auto File = ReadWholeFile(Name);
  File[43] = 0xFF;
  File[78] = QXLCryptoAlgorithmCount;
  for (int i = 0; i < 256; ++i) File[80 + i] = static_cast<std::uint8_t>(i);
  const std::uint32_t Crc = qxl::UpdateCrc32(0, File.data() + 80, 256);
  std::memcpy(File.data() + 336, &Crc, 4);
  WriteWholeFile(Name, File);
  TQXLDiskPageManager M;
  EXPECT_EQ(NativeCodeOf([&] { OpenShared(M, Name, {"pw", craBlowfish}); }), 20237);
  EXPECT_FALSE(M.IsOpened());
  EXPECT_EQ(ReadWholeFile(Name), File);
}

TEST_F(DiskPageManagerTest, InterruptedCommitIsReportedAndItsMarkKept) {
  CreateClosed();
  TQXLDiskPageManager Survivor;
  OpenShared(Survivor, Name);
  AddCommitted(Survivor, 0, "one");

  // Another process died while writing: the stored write state is 1.
  auto File = ReadWholeFile(Name);
  File[42] = 1;
  WriteWholeFile(Name, File);
  {
    TQXLDiskPageManager Probe;
    EXPECT_TRUE(OpenShared(Probe, Name));
  }
  // A live process commits: the mark stays, the counter advances.
  const std::int32_t StateBefore = int(StoredHeader().State);
  AddCommitted(Survivor, 0, "two");
  EXPECT_EQ(StoredHeader().WriteChangesState, 1);
  EXPECT_EQ(int(StoredHeader().State), StateBefore + 1);
  TQXLDiskPageManager Probe;
  EXPECT_TRUE(OpenShared(Probe, Name));
}

TEST_F(DiskPageManagerTest, OldVersionNeedsRepair) {
  CreateClosed();
  auto File = ReadWholeFile(Name);
  const double Old = 2.5;
  std::memcpy(File.data() + 18, &Old, 8);
  WriteWholeFile(Name, File);
  TQXLDiskPageManager M;
  EXPECT_TRUE(OpenShared(M, Name));
}

TEST_F(DiskPageManagerTest, BadFilesAreRefusedAndLeftUntouched) {
  struct Case {
    const char* What;
    std::function<void(std::vector<std::uint8_t>&)> Damage;
    std::int32_t Code;
  };
  const std::vector<Case> Cases = {
      {"not a database", [](auto& F) { std::fill(F.begin(), F.end(), 'z'); }, 10470},
      {"empty file", [](auto& F) { F.clear(); }, 10470},
      {"cut inside the crypto header", [](auto& F) { F.resize(200); }, 20237},
      {"cut before its last page", [](auto& F) { F.resize(F.size() - 100); }, 20237},
      {"header size beyond the file", [](auto& F) { F[16] = 0xE8; F[17] = 0x03; }, 20237},
      {"crypto header of another size", [](auto& F) { F[76] = 0x19; }, 20237},
      {"no locked bytes", [](auto& F) { F[356] = 0; }, 20237},
      {"page size below the page header", [](auto& F) { F[26] = 40; F[27] = 0; }, 20237},
      {"no pages per extent", [](auto& F) { F[28] = 0; }, 20237},
      {"last used page beyond the file", [](auto& F) { F[34] = 60; }, 20237},
      {"negative page count", [](auto& F) { F[33] = 0x80; }, 20237},
      {"page count at the top of the 32-bit range",
       [](auto& F) {
         const std::int32_t Counts[] = {0x7FFFFFF0, -1};
         std::memcpy(F.data() + 30, Counts, sizeof Counts);
       },
       20237},
  };
  {
    TQXLDiskPageManager M;
    Create(M);
    AddCommitted(M, 0, "data");
  }
  const auto Good = ReadWholeFile(Name);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto File = Good;
    C.Damage(File);
    WriteWholeFile(Name, File);
    TQXLDiskPageManager M;
    EXPECT_EQ(NativeCodeOf([&] { OpenShared(M, Name); }), C.Code);
    EXPECT_FALSE(M.IsOpened());
    EXPECT_EQ(ReadWholeFile(Name), File);
  }
  WriteWholeFile(Name, Good);
  TQXLDiskPageManager M;
  EXPECT_FALSE(OpenShared(M, Name));
}

// Another process (or damage) may change the header while a file is open; the
// counters read again at a page's allocation are checked, and a growth that
// would take the page count past 32 bits is refused before the file grows.
TEST_F(DiskPageManagerTest, CountersDamagedWhileOpenAreRefusedAndLeftUntouched) {
  struct Case {
    const char* What;
    std::int32_t Total, LastUsed;
    std::int32_t Code;
  };
  const Case Cases[] = {
      {"page count whose growth step passes 32 bits, nothing used", 0x7FFFFFF0, -1, 20237},
      {"largest page count, nothing used", 0x7FFFFFFF, -1, 20237},
      // The space map that would describe such pages is not in the file.
      {"largest page count, all but the last used", 0x7FFFFFFF, 0x7FFFFFFD, 30423},
      {"last used page beyond the page count", 3, 10, 20237},
      {"negative page count", -5, -1, 20237},
      {"last used page below -1", 3, -7, 20237},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    std::filesystem::remove(Name);
    TQXLDiskPageManager M;
    Create(M);
    AddCommitted(M, 0, "data");
    auto File = ReadWholeFile(Name);
    const std::int32_t Counts[] = {C.Total, C.LastUsed};
    std::memcpy(File.data() + 30, Counts, sizeof Counts);
    WriteWholeFile(Name, File);
    EXPECT_EQ(NativeCodeOf([&] { M.AddPage(1, ptTableRecord); }), C.Code);
    EXPECT_EQ(ReadWholeFile(Name), File);
  }
}

TEST_F(DiskPageManagerTest, HeaderLocatedBehindOtherBytes) {
  {
    TQXLDiskPageManager M;
    Create(M);
    AddCommitted(M, 0, "moved");
  }
  auto File = ReadWholeFile(Name);
  File.insert(File.begin(), 10000, 'p');
  WriteWholeFile(Name, File);
  TQXLDiskPageManager M;
  OpenShared(M, Name);
  EXPECT_EQ(M.OffsetToDBHeader(), 10000);
  EXPECT_EQ(M.OffsetToFirstPage(), 10380);
  EXPECT_EQ(Text(M, 0, 2), "moved");

  // The header lock taken while the header was sought is given back: another
  // handle opens, and both commit.
  platform::FakeClock Clock;
  platform::ScopedClock Use(Clock);
  TQXLDiskPageManager Other;
  OpenShared(Other, Name);
  EXPECT_EQ(Clock.SleepCount(), 0u);
  const std::int32_t No = AddCommitted(Other, 0, "other");
  AddCommitted(M, 0, "mine");
  EXPECT_EQ(Text(M, 0, No), "other");
  EXPECT_EQ(Clock.SleepCount(), 0u);
}

TEST_F(DiskPageManagerTest, ObjectNumbersOnReadWriteAndReadOnlyFiles) {
  {
    TQXLDiskPageManager M;
    Create(M);
    EXPECT_EQ(M.GetNextObjectID(), 1);
    EXPECT_EQ(M.GetNextObjectID(), 2);
  }
  ASSERT_EQ(::chmod(Name.c_str(), 0444), 0);
  const auto Before = ReadWholeFile(Name);
  TQXLDiskPageManager M;
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, false, MultiUser);
  EXPECT_TRUE(ReadOnly);
  EXPECT_FALSE(MultiUser);
  for (int i = 0; i < 20; ++i) {
    const std::int32_t Id = M.GetNextObjectID();
    EXPECT_GE(Id, 3);
    EXPECT_LE(Id, 10002);
  }
  EXPECT_EQ(ReadWholeFile(Name), Before);
}

TEST_F(DiskPageManagerTest, PageRegionsAndStates) {
  TQXLDiskPageManager M;
  Create(M);
  const std::int32_t No = AddCommitted(M, 0, "region");
  char Buffer[4096];
  M.ReadPageRegion(Buffer, No, 40, 4056);
  EXPECT_STREQ(Buffer, "region");
  EXPECT_EQ(NativeCodeOf([&] { M.ReadPageRegion(Buffer, No, 41, 4056); }), 10476);
  EXPECT_EQ(NativeCodeOf([&] { M.WritePageRegion(Buffer, No, 4000, 97); }), 10477);
  EXPECT_EQ(NativeCodeOf([&] { M.GetPageOffset(-1); }), 10471);
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(0, 1, ptAny, true); }), 30434);
  EXPECT_EQ(NativeCodeOf([&] { M.RemovePage(0, 0); }), 30434);

  // The state after 0x7FFFFFFC is 0.
  const std::int32_t Last = QXLMaxPageState;
  M.WritePageRegion(&Last, No, 4, 4);
  M.CloseDatabase();
  OpenShared(M, Name);
  TQXLPage* Page = M.GetPage(1, No, ptTableRecord, true);
  EXPECT_EQ(Page->HeaderState(), QXLMaxPageState);
  Page->MakeWritable();
  M.PutPage(Page);
  M.ApplyChanges(1);
  std::int32_t State;
  M.ReadPageRegion(&State, No, 4, 4);
  EXPECT_EQ(State, 0);
  EXPECT_EQ(NextPageState(QXLRemovedPageState), 0);
  EXPECT_EQ(NextPageState(5), 6);

  // An empty page: "QXL1", state 1 once written, type 1, no next page, no owner.
  M.WriteEmptyPage(No);
  std::uint8_t Header[40];
  M.ReadPageRegion(Header, No, 0, 40);
  const auto Empty = Bytes({'Q', 'X', 'L', '1', 1, 0, 0, 0, ptEmpty, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0,
                            0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(std::vector<std::uint8_t>(Header, Header + 40), Empty);
}

TEST_F(DiskPageManagerTest, TwoHandlesExcludeEachOtherAndSeeEachOthersCommits) {
  CreateClosed();
  TQXLDiskPageManager A, B;
  OpenShared(A, Name);
  OpenShared(B, Name);
  const std::int32_t No = AddCommitted(A, 0, "from A");
  EXPECT_EQ(Text(B, 0, No), "from A");

  // B changes the page; A's cached copy is found stale by its stored state.
  Rewrite(B, 0, No, "from B");
  EXPECT_EQ(Text(A, 0, No), "from B");

  // While A's session works on a locked table at a known state, its copies
  // validated at that state are used without looking at the file.
  A.TablePagesCacheManager().TableIsSLocked(0, 7);
  A.TablePagesCacheManager().SetIsMostUpdatedLoaded(0, 7, 41);
  A.TablePagesCacheManager().BeginWorkWithTable(0, 7);
  EXPECT_EQ(Text(A, 0, No), "from B");  // validated and recorded at 41
  AddCommitted(B, 0, "unrelated");
  Rewrite(B, 0, No, "from B again");
  EXPECT_EQ(Text(A, 0, No), "from B");
  A.TablePagesCacheManager().EndWorkWithTable(0, 7);
  EXPECT_EQ(Text(A, 0, No), "from B again");

  // The header lock of one handle holds off the other, for allocation and
  // commit; a refused commit writes nothing. The page count is a read and
  // goes without it.
  TQXLPage* Pending = B.GetPage(2, No, ptTableRecord, true);
  Pending->MakeWritable();
  B.PutPage(Pending);
  ASSERT_TRUE(A.LockDBHeader());
  ASSERT_TRUE(A.LockDBHeader());  // re-entrant
  EXPECT_EQ(B.GetPageCount(), 6);
  platform::FakeClock Clock;
  const auto Before = ReadWholeFile(Name);
  {
    platform::ScopedClock Use(Clock);
    EXPECT_EQ(NativeCodeOf([&] { B.AddPage(1, ptTableRecord); }), 20231);
    EXPECT_EQ(NativeCodeOf([&] { B.ApplyChanges(2); }), 20213);
  }
  EXPECT_EQ(Clock.SleepCount(), 9000u);
  EXPECT_EQ(ReadWholeFile(Name), Before);
  EXPECT_TRUE(A.UnlockDBHeader());
  EXPECT_FALSE(B.LockDBHeader());
  EXPECT_TRUE(A.UnlockDBHeader());
  EXPECT_EQ(B.GetPageCount(), 6);
  B.ApplyChanges(2);
  EXPECT_EQ(StoredHeader().WriteChangesState, 2);
}

TEST_F(DiskPageManagerTest, PagesExcludedFromEncryptionAreStoredPlain) {
  TQXLDiskPageManager M;
  Create(M, {"secret", craBlowfish});
  TQXLPage* Page = M.AddPage(0, ptActiveSessionList);
  Page->SetEncryptionEnabled(false);
  std::strcpy(reinterpret_cast<char*>(Page->PageData()), "plain text");
  const std::int32_t No = Page->PageNo();
  M.PutPage(Page);
  M.ApplyChanges(0);
  const auto File = ReadWholeFile(Name);
  EXPECT_STREQ(reinterpret_cast<const char*>(File.data() + FirstPage + No * PageSize + 40), "plain text");
  TQXLPage Direct(&M);
  Direct.SetPageNo(No);
  Direct.SetEncryptionEnabled(false);
  ASSERT_TRUE(M.InternalReadPage(&Direct));
  EXPECT_STREQ(reinterpret_cast<const char*>(Direct.PageData()), "plain text");
}

TEST_F(DiskPageManagerTest, CreateRefusesAFileInUse) {
  CreateClosed();
  TQXLDiskPageManager Holder;
  OpenShared(Holder, Name);
  const std::int32_t No = AddCommitted(Holder, 0, "keep me");
  TQXLDiskPageManager M;
  EXPECT_EQ(NativeCodeOf([&] { Create(M); }), 30361);
  EXPECT_EQ(Text(Holder, 0, No), "keep me");
  EXPECT_EQ(ReadWholeFile(Name).size(), 380u + 6 * PageSize);
}

// Inside a form editor every access opens and closes the file around itself.
TEST_F(DiskPageManagerTest, DesignModeBracketsEveryAccess) {
  CreateClosed();
  struct Restore {
    ~Restore() { FormEditorMode = false; }
  } R;
  FormEditorMode = true;
  TQXLDiskPageManager M;
  OpenShared(M, Name);
  EXPECT_FALSE(M.DatabaseFile().IsOpened());
  const std::int32_t No = AddCommitted(M, 0, "designed");
  EXPECT_FALSE(M.DatabaseFile().IsOpened());
  EXPECT_EQ(M.GetNextObjectID(), 1);
  FormEditorMode = false;
  TQXLDiskPageManager Check;
  OpenShared(Check, Name);
  EXPECT_EQ(Text(Check, 0, No), "designed");
  EXPECT_EQ(Check.GetNextObjectID(), 2);
}

}  // namespace
