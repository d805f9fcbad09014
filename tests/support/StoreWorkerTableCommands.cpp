#include "tests/support/StoreWorkerTableCommands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeSession.h"
#include "tests/support/FaultyFileSystem.h"
#include "tools/WorkerGate.h"
#include "tests/support/CursorFields.h"

using namespace qxl;

namespace qxl::testsupport {

namespace {

using worker::PassGate;

[[noreturn]] void AnnounceAndWait(const std::string& ReadyFile) {
  std::ofstream(ReadyFile) << "ready\n";
  // Never outlives a test that failed before it could kill the worker.
  std::this_thread::sleep_for(std::chrono::minutes(10));
  std::_Exit(3);
}

// One process's connection to the file and its cursor on one table.
class TTableUser {
public:
  TTableUser(const std::string& File, const std::string& Table,
             platform::FileSystem& Files = platform::RealFileSystem())
      : FDatabase(Files), FCursor(Table) {
    FDatabase.SetDatabaseName(File);
    FSession.FMultiUser = true;
    FDatabase.ConnectSession(&FSession);
    FCursor.FSession = &FSession;
  }
  ~TTableUser() {
    if (FCursor.FCurrentRecordBuffer) FCursor.FreeRecordBuffer(FCursor.FCurrentRecordBuffer);
    if (FTable) FTable->CloseTable(&FCursor);
    FDatabase.DisconnectSession(&FSession);
  }
  TTableUser(const TTableUser&) = delete;
  TTableUser& operator=(const TTableUser&) = delete;

  void Create() {
    TQXLFieldDefs Fields;
    TQXLFieldDef* Id = Fields.AddCreated();
    Id->Name = "ID";
    Id->SetFieldDefDataType(aftInteger, 0);
    TQXLIndexDefs Indexes;
    TQXLConstraintDefs Constraints;
    TQXLDiskTableData Creator(&FDatabase);
    Creator.CreateTable(&FCursor, Fields, Indexes, Constraints);
    Creator.CloseTable(&FCursor);
  }
  void Open(bool Exclusive) {
    FTable = static_cast<TQXLDiskTableData*>(FDatabase.FindOrCreateTableData(&FCursor));
    FCursor.FExclusive = Exclusive;
    FTable->OpenTable(&FCursor);
    ShowEveryTableField(FCursor, FTable->FieldManager()->FieldDefs());
    FCursor.FIndexDefs = std::make_unique<TQXLIndexDefs>();
    FTable->InitCursorRecordSize(&FCursor);
    FCursor.FRecordBufferSize = FCursor.FRecordSize;
    FCursor.FCurrentRecordBuffer = FCursor.AllocateRecordBuffer();
  }
  // Inserts the ID under RW, as a program posts a new record.
  void Insert(std::int32_t Id) {
    const std::int32_t Session = FSession.FSessionID;
    if (!FTable->LockTable(Session, ltRW, 2250, 40, false)) throw std::runtime_error("RW not granted");
    FTable->LoadMostUpdated(Session);
    FCursor.InternalInitRecord(FCursor.FCurrentRecordBuffer, true);
    FCursor.SetFieldData(0, &Id, FCursor.FCurrentRecordBuffer);
    TQXLCursor* Cursor = &FCursor;
    const bool Inserted = FTable->InsertRecord(Cursor);
    FTable->UnlockTable(Session, ltRW, false);
    if (!Inserted) throw std::runtime_error("insert refused");
  }
  void StartTransaction() {
    FSession.FInTransaction = true;
    if (!FTable->LockTable(FSession.FSessionID, ltXIRW, 2250, 40, false)) throw std::runtime_error("XIRW not granted");
  }
  void Commit() { FDatabase.Commit(FSession.FSessionID, false); }

private:
  TQXLDiskDatabaseData FDatabase;
  FakeSession FSession;
  FakeCursor FCursor;
  TQXLDiskTableData* FTable = nullptr;  // owned by FDatabase
};

int CreateTable(const std::string& File, const std::string& Table) {
  TTableUser User(File, Table);
  User.Create();
  return 0;
}

int InsertRows(const std::vector<std::string>& Args) {
  TTableUser User(Args[1], Args[2]);
  User.Open(false);
  PassGate(Args[5]);
  const std::int32_t First = std::stoi(Args[3]), Count = std::stoi(Args[4]);
  worker::TPeriod Period(Args[5]);
  for (std::int32_t i = 0; i < Count; ++i) {
    Period.Begin();
    User.Insert(First + i);
    Period.Finish();
  }
  Period.Print();
  return 0;
}

int HoldExclusive(const std::string& File, const std::string& Table, const std::string& ReadyFile) {
  TTableUser User(File, Table);
  User.Open(true);
  AnnounceAndWait(ReadyFile);
}

int CrashInCommit(const std::string& File, const std::string& Table, const std::string& ReadyFile) {
  platform::test::FaultyFileSystem Files;
  auto User = std::make_unique<TTableUser>(File, Table, Files);
  User->Open(false);
  User->StartTransaction();
  User->Insert(1);
  User->Insert(2);
  Files.CrashAfterWrite(2);
  try {
    User->Commit();
  } catch (const std::exception&) {
    // The writes after the crash fail; the process counts as dead from here.
  }
  if (!Files.Crashed()) throw std::runtime_error("the commit ended before its second write");
  // Whatever the objects would still do to the file fails against a dead file system.
  static_cast<void>(User.release());
  AnnounceAndWait(ReadyFile);
}

}  // namespace

std::optional<int> RunStoreWorkerTableCommand(const std::vector<std::string>& Args) {
  if (Args.size() == 3 && Args[0] == "table-create") return CreateTable(Args[1], Args[2]);
  if (Args.size() == 6 && Args[0] == "table-insert") return InsertRows(Args);
  if (Args.size() == 4 && Args[0] == "table-hold") return HoldExclusive(Args[1], Args[2], Args[3]);
  if (Args.size() == 4 && Args[0] == "table-crash-commit") return CrashInCommit(Args[1], Args[2], Args[3]);
  return std::nullopt;
}

}  // namespace qxl::testsupport
