#pragma once
// One user of a database file's table as one process has it: its own database
// object with one multi-user session, a table data object and a cursor laid
// out as the local cursor lays one out. Tables here hold integer fields, read
// and written as int32 values by field number, and after them BLOB fields
// (memos) read and written whole as text. The table locks are
// taken as the dataset layer takes them around an edit, a post, a transaction
// and a table scan, with tries and pauses that a loaded machine cannot run
// out of.
//
// Threads: one thread per user.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeSession.h"
#include "tests/support/CursorFields.h"
#include "tests/support/TestFieldDefs.h"

namespace qxl::testsupport {

// The tries and pause for a table or record lock that other processes hold
// for a moment at a time.
inline constexpr std::int32_t PatientLockTries = 60000;
inline constexpr std::int32_t PatientLockDelayMS = 10;

// Writes a new database file with MaxSessions session bytes, left closed.
inline void CreateDatabaseFile(const std::string& File, const TQXLPassword& Password, std::int32_t MaxSessions) {
  TQXLDiskDatabaseData Creator;
  Creator.SetDatabaseName(File);
  Creator.SetPassword(Password);
  Creator.SetMaxSessionCount(MaxSessions);
  Creator.CreateDatabase();
}

class TDiskTableUser {
public:
  TDiskTableUser(const std::string& File, const TQXLPassword& Password) {
    FDatabase.SetDatabaseName(File);
    FDatabase.SetPassword(Password);
    FSession.FMultiUser = true;
    FDatabase.ConnectSession(&FSession);
  }
  ~TDiskTableUser() {
    try {
      Close();
      FDatabase.DisconnectSession(&FSession);
    } catch (...) {
      // A user that failed half-way leaves through its process's end.
    }
  }
  TDiskTableUser(const TDiskTableUser&) = delete;
  TDiskTableUser& operator=(const TDiskTableUser&) = delete;

  TQXLDiskDatabaseData& Database() { return FDatabase; }
  std::int32_t SessionID() const { return FSession.FSessionID; }

  // Creates Table with integer fields Fields (aftAutoInc for those named in
  // AutoIncFields), then compressed BLOB fields MemoFields, through a table
  // data object of its own.
  void CreateTable(const std::string& Table, const std::vector<std::string>& Fields,
                   const std::vector<std::string>& AutoIncFields = {},
                   const std::vector<std::string>& MemoFields = {}) {
    TQXLFieldDefs Defs;
    for (const auto& Name : Fields) {
      TQXLFieldDef* f = Defs.AddCreated();
      f->Name = Name;
      bool AutoInc = false;
      for (const auto& A : AutoIncFields) AutoInc = AutoInc || A == Name;
      f->SetFieldDefDataType(AutoInc ? aftAutoInc : aftInteger, 0);
    }
    for (const auto& Name : MemoFields) {
      TQXLFieldDef& f = AddField(Defs, Name.c_str(), aftBlob);
      f.BLOBBlockSize = 4096;
      f.BLOBCompressionAlgorithm = acaZLIB;
      f.BLOBCompressionMode = 1;
    }
    TQXLIndexDefs Indexes;
    TQXLConstraintDefs Constraints;
    FakeCursor Cursor(Table);
    Cursor.FSession = &FSession;
    TQXLDiskTableData Creator(&FDatabase);
    Creator.CreateTable(&Cursor, Defs, Indexes, Constraints);
    Creator.CloseTable(&Cursor);
  }

  // Opens Table through this user's cursor; raises what the open raises.
  void Open(const std::string& Table, bool Exclusive = false) {
    Close();
    auto T = std::make_unique<TQXLDiskTableData>(&FDatabase);
    auto C = std::make_unique<TUserCursor>(Table);
    C->FSession = &FSession;
    C->FExclusive = Exclusive;
    T->SetTableName(Table);
    T->OpenTable(C.get());
    FTable = std::move(T);
    FCursor = std::move(C);
    FCursor->Table = FTable.get();
    ShowEveryTableField(*FCursor, FTable->FieldManager()->FieldDefs());
    FCursor->FIndexDefs = std::make_unique<TQXLIndexDefs>();
    FCursor->FIndexDefs->Assign(FTable->IndexManager()->IndexDefs());
    FTable->InitCursorRecordSize(FCursor.get());
    FCursor->FRecordBufferSize = FCursor->FRecordSize;
    FCursor->FCurrentRecordBuffer = FCursor->AllocateRecordBuffer();
    FCursor->FirstPosition = true;
  }
  void Close() {
    if (!FTable) return;
    FCursor->Release();
    FTable->CloseTable(FCursor.get());
    FCursor.reset();
    FTable.reset();
  }

  TQXLDiskTableData& Table() { return *FTable; }
  TQXLCursor& Cursor() { return *FCursor; }

  // Takes a table lock, or raises: the caller's work cannot go on without it.
  void Lock(TQXLLockType Type) {
    if (!FTable->LockTable(SessionID(), Type, PatientLockTries, PatientLockDelayMS, true))
      throw std::runtime_error("table lock " + std::to_string(Type) + " not granted");
  }
  void Unlock(TQXLLockType Type) {
    if (!FTable->UnlockTable(SessionID(), Type, false))
      throw std::runtime_error("table lock " + std::to_string(Type) + " not released");
  }
  void LockCurrentRecord() {
    if (!FTable->LockRecord(SessionID(), FCursor->CurrentRecordID, PatientLockTries, PatientLockDelayMS))
      throw std::runtime_error("record lock not granted");
  }
  void UnlockCurrentRecord() {
    if (!FTable->UnlockRecord(SessionID(), FCursor->CurrentRecordID))
      throw std::runtime_error("record lock not released");
  }

  // Transactions as the session runs them: changes wait for Commit.
  void StartTransaction() { FSession.FInTransaction = true; }
  void Commit() {
    FDatabase.Commit(SessionID(), false);
    FSession.FInTransaction = false;
  }

  std::int32_t Get(std::int32_t FieldNo) const {
    std::int32_t Value = 0;
    if (!FCursor->GetFieldData(FieldNo, &Value, FCursor->FCurrentRecordBuffer))
      throw std::runtime_error("field " + std::to_string(FieldNo) + " is NULL");
    return Value;
  }
  void Set(std::int32_t FieldNo, std::int32_t Value) {
    FCursor->SetFieldData(FieldNo, &Value, FCursor->FCurrentRecordBuffer);
  }

  // Steps through the table in physical order; false at its end.
  void Rewind() {
    FCursor->FirstPosition = true;
    FCursor->LastPosition = false;
  }
  bool Next() {
    const TQXLGetRecordResult R = FTable->GetRecordBuffer(FCursor.get(), grmNext);
    if (R == grrError) throw std::runtime_error("a read failed");
    return R == grrOK;
  }
  // Rereads the current record.
  void Reread() {
    if (FTable->GetRecordBuffer(FCursor.get(), grmCurrent) != grrOK)
      throw std::runtime_error("the current record cannot be read");
  }
  // Moves onto the first record whose field FieldNo holds Value.
  void MoveTo(std::int32_t FieldNo, std::int32_t Value) {
    Rewind();
    while (Next())
      if (Get(FieldNo) == Value) return;
    throw std::runtime_error("no record with " + std::to_string(Value));
  }

  // A new record whose NULL fields are then filled as the dataset layer
  // fills them: the caller sets fields between the two.
  void BeginInsert() { FCursor->InternalInitRecord(FCursor->FCurrentRecordBuffer, true); }
  void Insert() {
    FTable->FieldManager()->ApplyAutoincsToRecordBuffer(&FSession, FCursor->FCurrentRecordBuffer);
    TQXLCursor* C = FCursor.get();
    if (!FTable->InsertRecord(C)) throw std::runtime_error("insert refused");
  }
  void Update() {
    if (!FTable->UpdateRecord(FCursor.get())) throw std::runtime_error("update refused");
  }
  void Delete() {
    if (!FTable->DeleteRecord(FCursor.get())) throw std::runtime_error("delete refused");
  }

  // The memo in BLOB field FieldNo of the current record: Text replaces it
  // in the record buffer until the next Insert or Update stores it.
  void WriteMemo(std::int32_t FieldNo, const std::string& Text) {
    std::unique_ptr<TQXLStream> s = FTable->InternalCreateBlobStream(FCursor.get(), false, FieldNo, bomWrite);
    if (s->Write(Text.data(), static_cast<std::int32_t>(Text.size())) != static_cast<std::int32_t>(Text.size()))
      throw std::runtime_error("a memo was written short");
    s->SetModified(true);
    FTable->WriteBLOBFieldToRecordBuffer(FCursor.get(), FieldNo, *s);
  }
  // The memo as stored; "" for NULL.
  std::string ReadMemo(std::int32_t FieldNo) {
    if (GetBitInBuffer(FieldNo, FCursor->FCurrentRecordBuffer)) return "";
    std::unique_ptr<TQXLStream> s = FTable->InternalCreateBlobStream(FCursor.get(), false, FieldNo, bomRead);
    std::string Text(static_cast<std::size_t>(s->Size()), '\0');
    if (s->Read(Text.data(), static_cast<std::int32_t>(Text.size())) != static_cast<std::int32_t>(Text.size()))
      throw std::runtime_error("a memo was read short");
    s.reset();
    FTable->ClearBlobsCacheInRecordBuffer(FCursor->FCurrentRecordBuffer);
    return Text;
  }

  // Inserts one record of Values under RW, committed at once.
  void Post(const std::vector<std::int32_t>& Values) {
    Lock(ltRW);
    FTable->LoadMostUpdated(SessionID());
    BeginInsert();
    for (std::size_t i = 0; i < Values.size(); ++i) Set(static_cast<std::int32_t>(i), Values[i]);
    Insert();
    Unlock(ltRW);
  }

private:
  class TUserCursor : public FakeCursor {
  public:
    using FakeCursor::FakeCursor;
    ~TUserCursor() override { Release(); }
    // As the local cursor frees a buffer: its BLOB values first.
    void FreeRecordBuffer(std::uint8_t*& Buffer) override {
      if (Table && Buffer) Table->ClearBlobsCacheInRecordBuffer(Buffer);
      TQXLCursor::FreeRecordBuffer(Buffer);
    }
    void Release() {
      if (FCurrentRecordBuffer) FreeRecordBuffer(FCurrentRecordBuffer);
    }
    TQXLDiskTableData* Table = nullptr;
  };

  TQXLDiskDatabaseData FDatabase;
  FakeSession FSession;
  std::unique_ptr<TQXLDiskTableData> FTable;
  std::unique_ptr<TUserCursor> FCursor;
};

}  // namespace qxl::testsupport
