#pragma once
// A database file with the locks files of two tables, and handles on it that
// stand for processes of their own: each has its own page manager, lock
// manager and locks-file objects.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLLockCompatibility.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "tests/engine/storage/StorageTestUtil.h"

namespace qxl {

class LocksTest : public ::testing::Test {
public:
  static constexpr std::int32_t N = 4;

  struct THandle {
    TQXLDiskPageManager M;
    std::unique_ptr<TQXLDatabaseTableLockManager> Manager;
    TQXLTableLocksFile A{M}, B{M};
  };

protected:

  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
    TQXLTableLocksFile A(M), B(M);
    TablePageA = A.CreateFile(N);
    TablePageB = B.CreateFile(N);
    M.ApplyChanges(QXLSystemSessionID);
  }
  std::unique_ptr<THandle> Open(bool Exclusive = false) {
    auto H = std::make_unique<THandle>();
    bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
    H->M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, Exclusive, MultiUser);
    H->Manager = std::make_unique<TQXLDatabaseTableLockManager>(N, H->M);
    H->A.OpenFile(TablePageA);
    H->B.OpenFile(TablePageB);
    return H;
  }
  // One try, no pause, XIRW after SIRW not allowed.
  static bool Try(THandle& H, std::int32_t Session, TQXLLockType Type, bool AllowXIRWAfterSIRW = false) {
    return H.Manager->LockTable(Session, Type, H.A, 1, 0, false, AllowXIRWAfterSIRW);
  }
  static bool Release(THandle& H, std::int32_t Session, TQXLLockType Type) {
    return H.Manager->UnlockTable(Session, Type, H.A, false, false);
  }
  // Session 0 on Holder holds each mode in turn while session 1 on Requester
  // asks for each: granted exactly as the compatibility table says. X is left
  // out when both sessions share a handle, whose sessions share the file lock.
  static void ExpectGrantsAsTheTableSays(THandle& Holder, THandle& Requester) {
    const bool SharedHandle = &Holder == &Requester;
    for (TQXLLockType Held : {ltIS, ltS, ltSIRW, ltXIRW, ltRW, ltU, ltX}) {
      if (SharedHandle && Held == ltX) continue;
      ASSERT_TRUE(Try(Holder, 0, Held));
      for (TQXLLockType Requested : {ltIS, ltS, ltSIRW, ltXIRW, ltRW, ltU, ltX}) {
        if (SharedHandle && Requested == ltX) continue;
        const bool Granted = Try(Requester, 1, Requested);
        EXPECT_EQ(Granted, qxl::IsLockCompatible(Held, Requested)) << int(Held) << " " << int(Requested);
        if (Granted) {
          EXPECT_TRUE(Release(Requester, 1, Requested));
        }
      }
      EXPECT_TRUE(Release(Holder, 0, Held));
    }
  }
  // Whether byte Row x N + Session of table A's locks file is held, probed
  // from a handle of its own.
  bool ByteHeld(std::int32_t Session, std::int32_t Row) {
    TQXLDiskPageManager M;
    bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
    M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, false, MultiUser);
    TQXLInternalDBDirectAccessFile File(M, ptTableLocks);
    File.OpenFile(TablePageA);
    return File.IsByteLocked(Row * N + Session);
  }

  TScratchDir Dir;
  std::string Name = Dir.File("locks.qxl");
  std::int32_t TablePageA = -1, TablePageB = -1;
};

}  // namespace qxl
