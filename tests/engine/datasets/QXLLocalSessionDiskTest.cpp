// The local session on database files: the disk engine's database object made
// with the session's settings, shared by sessions of one name, the file's
// settings read back at connect, and another password refused on a file the
// process already has open.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

class LocalSessionDiskTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDiskDatabaseData D;
    D.SetDatabaseName(Name);
    D.SetPassword({"pw", craTwofish_128});
    D.SetMaxSessionCount(5);
    D.SetPageSize(1024);
    D.SetPageCountInExtent(4);
    D.CreateDatabase();
  }
  std::unique_ptr<TQXLLocalSession> Session(const std::string& Password) {
    auto S = std::make_unique<TQXLLocalSession>(List, qxl::DiskDatabaseCreator());
    S->FDatabaseName = Name;
    S->FMultiUser = true;
    S->FSessionName = "Main";
    S->FPassword.Password = Password;
    return S;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("local.qxl");
  TQXLDatabaseDataList List;
};

}  // namespace

TEST_F(LocalSessionDiskTest, DiskDatabaseIsMadeWithTheSessionsSettings) {
  auto S = Session("secret");
  S->FMaxSessionCount = 9;
  S->FPageSize = 2048;
  S->FPagesPerExtent = 16;
  S->FReadOnly = true;
  auto* D = dynamic_cast<TQXLDiskDatabaseData*>(S->CreateDatabaseData());
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(List.Count(), 1u);
  EXPECT_EQ(D->DatabaseName(), Name);
  EXPECT_EQ(D->SessionName(), "Main");
  EXPECT_TRUE(D->ReadOnly());
  EXPECT_EQ(D->MaxSessionCount(), 9);
  EXPECT_EQ(D->PageSize(), 2048);
  EXPECT_EQ(D->PageCountInExtent(), 16);
  EXPECT_EQ(D->Password().Password, "secret");
  EXPECT_FALSE(D->IsOpen());
  List.Free(D);
}

TEST_F(LocalSessionDiskTest, SessionsShareTheOpenFileAndReadItsSettingsBack) {
  auto A = Session("pw"), B = Session("pw"), Wrong = Session("other");
  A->SetConnected(true);
  EXPECT_EQ(A->FPageSize, 1024);
  EXPECT_EQ(A->FPagesPerExtent, 4);
  EXPECT_EQ(A->FMaxSessionCount, 5);
  EXPECT_EQ(A->FPassword.CryptoAlgorithm, craTwofish_128);
  B->SetConnected(true);
  EXPECT_EQ(A->DatabaseData(), B->DatabaseData());
  EXPECT_NE(A->FSessionID, B->FSessionID);

  try {
    Wrong->SetConnected(true);
    ADD_FAILURE() << "another password was accepted";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 20298);
  }
  Wrong->SetConnected(false);
  A->SetConnected(false);
  B->SetConnected(false);
  EXPECT_EQ(List.Count(), 0u);
}

TEST_F(LocalSessionDiskTest, CreatingAFileLeavesItClosedAndRefusesAnOpenOne) {
  auto Creator = Session("new");
  Creator->FDatabaseName = Dir.File("created.qxl");
  Creator->FPageSize = 2048;
  Creator->CreateDatabase();
  EXPECT_FALSE(Creator->GetConnected());
  EXPECT_EQ(List.Count(), 0u);
  Creator->SetConnected(true);
  EXPECT_EQ(Creator->FPageSize, 2048);
  EXPECT_EQ(Creator->FPassword.Password, "new");

  auto Again = Session("new");
  Again->FDatabaseName = Creator->FDatabaseName;
  try {
    Again->CreateDatabase();
    ADD_FAILURE() << "an open database was created again";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 20092);
  }
  Creator->SetConnected(false);
  // A file that cannot be written takes its object out of the list again.
  Again->FDatabaseName = Dir.File("no such folder/x.qxl");
  EXPECT_THROW(Again->CreateDatabase(), EQXLException);
  EXPECT_EQ(List.Count(), 0u);
}

TEST_F(LocalSessionDiskTest, AFailedFirstConnectLeavesNothingThatRefusesTheNextOne) {
  auto Wrong = Session("other");
  EXPECT_EQ(NativeCodeOf([&] { Wrong->SetConnected(true); }), 30445);
  EXPECT_FALSE(Wrong->GetConnected());
  EXPECT_EQ(List.Count(), 0u);
  auto Right = Session("pw");
  Right->SetConnected(true);
  EXPECT_TRUE(Right->GetConnected());
  Right->SetConnected(false);
  EXPECT_EQ(List.Count(), 0u);
}

TEST_F(LocalSessionDiskTest, AClosedDatabaseFoundInTheListTakesTheConnectingSessionsSettings) {
  // Made with another session's settings and never opened.
  auto Maker = Session("other");
  Maker->FPageSize = 2048;
  Maker->CreateDatabaseData();
  ASSERT_EQ(List.Count(), 1u);
  auto Right = Session("pw");
  Right->SetConnected(true);
  EXPECT_TRUE(Right->GetConnected());
  EXPECT_EQ(Right->FPassword.Password, "pw");
  EXPECT_EQ(Right->FPageSize, 1024);
  Right->SetConnected(false);
  EXPECT_EQ(List.Count(), 0u);
}

TEST_F(LocalSessionDiskTest, ASessionRefusedForItsPasswordHoldsNothing) {
  auto A = Session("pw"), Wrong = Session("other");
  A->SetConnected(true);
  auto& Disk = dynamic_cast<TQXLDiskDatabaseData&>(*A->DatabaseData());
  EXPECT_EQ(NativeCodeOf([&] { Wrong->SetConnected(true); }), 20298);
  EXPECT_FALSE(Wrong->GetConnected());
  EXPECT_EQ(Wrong->DatabaseData(), nullptr);
  std::vector<std::string> Tables;
  EXPECT_EQ(NativeCodeOf([&] { Wrong->GetTablesList(Tables); }), 10435);
  EXPECT_EQ(Disk.SessionList().size(), 1u);
  EXPECT_EQ(Disk.GetDBFileConnectionsCount(), 1);
  A->SetConnected(false);
  EXPECT_EQ(List.Count(), 0u);
}

TEST_F(LocalSessionDiskTest, FileServicesReachTheConnectedFileOnly) {
  auto A = Session("pw"), B = Session("pw");
  B->FSessionName = "Other";
  // Disconnected, there is no file to ask or change.
  EXPECT_EQ(A->GetDBFileConnectionsCount(), 0);
  A->SetSuppressDBHeaderErrors(true);
  EXPECT_FALSE(A->GetSuppressDBHeaderErrors());
  A->TruncateDatabase();

  A->SetConnected(true);
  B->SetConnected(true);
  ASSERT_NE(A->DatabaseData(), B->DatabaseData());
  // Sessions of both objects hold slots of the one file.
  EXPECT_EQ(A->GetDBFileConnectionsCount(), 2);
  EXPECT_EQ(B->GetDBFileConnectionsCount(), 2);

  auto& Disk = dynamic_cast<TQXLDiskDatabaseData&>(*A->DatabaseData());
  EXPECT_FALSE(A->GetSuppressDBHeaderErrors());
  A->SetSuppressDBHeaderErrors(true);
  EXPECT_TRUE(Disk.GetSuppressDBHeaderErrors());
  EXPECT_TRUE(A->GetSuppressDBHeaderErrors());
  EXPECT_FALSE(B->GetSuppressDBHeaderErrors());
  A->SetSuppressDBHeaderErrors(false);
  EXPECT_FALSE(Disk.GetSuppressDBHeaderErrors());

  const TQXLDBHeader& Header = Disk.DiskPageManager()->DBHeader();
  const std::int64_t Used = Disk.DiskPageManager()->OffsetToFirstPage() +
                            static_cast<std::int64_t>(Header.LastUsedPageNo + 1) * Header.PageSize;
  ASSERT_LT(Used, static_cast<std::int64_t>(ReadWholeFile(Name).size())) << "no unused pages to cut off";
  A->TruncateDatabase();
  EXPECT_EQ(static_cast<std::int64_t>(ReadWholeFile(Name).size()), Used);
  B->SetConnected(false);
  EXPECT_EQ(A->GetDBFileConnectionsCount(), 1);
  A->SetConnected(false);
}

TEST(QXLLocalSessionFileServices, DatabasesWithoutAFileAnswerNothing) {
  TQXLDatabaseDataList List;
  auto Memory = std::make_unique<qxl::TQXLMemoryDatabaseData>();
  List.Add(std::move(Memory));
  TQXLLocalSession S(List);
  S.FDatabaseName = "MEMORY";
  S.SetConnected(true);
  S.SetSuppressDBHeaderErrors(true);
  EXPECT_FALSE(S.GetSuppressDBHeaderErrors());
  EXPECT_EQ(S.GetDBFileConnectionsCount(), 0);
  S.TruncateDatabase();
  S.SetConnected(false);
}
