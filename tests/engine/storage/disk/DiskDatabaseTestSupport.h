#pragma once
// Disk databases in a scratch folder for the tests of the disk database data:
// a new file with a chosen number of session bytes, sessions that stand for
// the dataset layer's, and pages that a session writes and another reads.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/FakeSession.h"

namespace qxl {

// A session as the dataset layer has one: its rollback goes to the database
// it is connected to, and is counted.
class TTestSession : public FakeSession {
public:
  explicit TTestSession(bool MultiUser = true) { FMultiUser = MultiUser; }
  void Rollback() override {
    ++Rollbacks;
    if (Database) Database->Rollback(FSessionID);
    FInTransaction = false;
  }

  TQXLDatabaseData* Database = nullptr;
  int Rollbacks = 0;
};

// A closed database object named Name with the settings a new file gets.
inline std::unique_ptr<TQXLDiskDatabaseData> DiskDatabase(const std::string& Name, std::int32_t MaxSessions = 4,
                                                          std::int32_t PageSize = 4096, std::int32_t Extent = 8) {
  auto D = std::make_unique<TQXLDiskDatabaseData>();
  D->SetDatabaseName(Name);
  D->SetMaxSessionCount(MaxSessions);
  D->SetPageSize(PageSize);
  D->SetPageCountInExtent(Extent);
  return D;
}

inline void Connect(TQXLDiskDatabaseData& D, TTestSession& S) {
  S.Database = &D;
  D.ConnectSession(&S);
}

// Two database objects on one file, each with one session connected, as two
// processes have them. Tests name the parts with a structured binding.
struct TTwoProcesses {
  explicit TTwoProcesses(const std::string& Name) : A(DiskDatabase(Name)), B(DiskDatabase(Name)) {
    Connect(*A, SA);
    Connect(*B, SB);
  }
  void Disconnect() {
    A->DisconnectSession(&SA);
    B->DisconnectSession(&SB);
  }

  std::unique_ptr<TQXLDiskDatabaseData> A, B;
  TTestSession SA, SB;
};

// A new page of the session holding Tag; given back, not committed.
inline std::int32_t WriteTaggedPage(TQXLDiskDatabaseData& D, std::int32_t SessionID, const std::string& Tag) {
  TQXLPage* Page = D.DiskPageManager()->AddPage(SessionID, ptTableRecord);
  std::strncpy(reinterpret_cast<char*>(Page->PageData()), Tag.c_str(), 32);
  const std::int32_t No = Page->PageNo();
  D.DiskPageManager()->PutPage(Page);
  return No;
}

// The tag on page PageNo as the session sees it.
inline std::string ReadTag(TQXLDiskDatabaseData& D, std::int32_t SessionID, std::int32_t PageNo) {
  TQXLPage* Page = D.DiskPageManager()->GetPage(SessionID, PageNo, ptAny, true);
  std::string Tag(reinterpret_cast<const char*>(Page->PageData()), strnlen(reinterpret_cast<const char*>(Page->PageData()), 32));
  D.DiskPageManager()->PutPage(Page);
  return Tag;
}

}  // namespace qxl
