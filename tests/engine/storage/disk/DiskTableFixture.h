#pragma once
// Tables of a database file in a scratch folder, for the tests of the disk
// table data: one or two database objects on the file (a second one stands
// for another process, with its own file handle), multi-user sessions on
// them, and cursors laid out as the local cursor lays them out, with helpers
// that create, open, store, read back and walk records and BLOB values the
// way the dataset layer drives the table data. Table "Notes" has an integer
// "ID" and a BLOB "Memo" compressed in blocks of 16 bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeSession.h"
#include "tests/support/TestFieldDefs.h"
#include "tests/support/CursorFields.h"

namespace qxl {

namespace disktable {

// A cursor that owns its current record buffer and frees it as the local
// cursor does, BLOB caches first.
class DiskCursor : public FakeCursor {
public:
  using FakeCursor::FakeCursor;
  ~DiskCursor() override { Release(); }
  void FreeRecordBuffer(std::uint8_t*& Buffer) override {
    if (Table && Buffer) Table->ClearBlobsCacheInRecordBuffer(Buffer);
    TQXLCursor::FreeRecordBuffer(Buffer);
  }
  void Release() {
    if (FCurrentRecordBuffer) FreeRecordBuffer(FCurrentRecordBuffer);
  }
  TQXLDiskTableData* Table = nullptr;
};

// One database object with one session connected, as one process has it.
struct DiskUser {
  std::unique_ptr<TQXLDiskDatabaseData> Database;
  FakeSession Session;
};

class DiskTableFixture : public ::testing::Test {
protected:
  static constexpr std::int32_t IdField = 0;
  static constexpr std::int32_t MemoField = 1;

  TScratchDir Dir;
  platform::FakeClock Clock;
  platform::ScopedClock ClockGuard{Clock};

  std::string FileName() const { return Dir.File("tables.qxl"); }

  // Writes a new database file with MaxSessions session bytes, closed.
  void CreateDatabaseFile(std::int32_t MaxSessions = 4) {
    TQXLDiskDatabaseData Creator;
    Creator.SetDatabaseName(FileName());
    Creator.SetMaxSessionCount(MaxSessions);
    Creator.CreateDatabase();
  }

  // A database object on the file with one session connected.
  std::unique_ptr<DiskUser> Connect(bool MultiUser) {
    auto User = std::make_unique<DiskUser>();
    User->Database = std::make_unique<TQXLDiskDatabaseData>();
    User->Database->SetDatabaseName(FileName());
    User->Session.FMultiUser = MultiUser;
    User->Database->ConnectSession(&User->Session);
    return User;
  }
  static void Disconnect(DiskUser& User) { User.Database->DisconnectSession(&User.Session); }

  static void NotesFields(TQXLFieldDefs& Fields) {
    AddField(Fields, "ID", aftInteger);
    AddCompressedBlob(Fields, "Memo", 16);
  }

  // Creates the table through a table data object of its own, freed afterwards.
  static void CreateTable(DiskUser& User, const std::string& Name, TQXLFieldDefs& Fields) {
    TQXLIndexDefs Indexes;
    CreateTable(User, Name, Fields, Indexes);
  }
  static void CreateTable(DiskUser& User, const std::string& Name, TQXLFieldDefs& Fields, TQXLIndexDefs& Indexes) {
    DiskCursor Cursor(Name);
    Cursor.FSession = &User.Session;
    TQXLDiskTableData Creator(User.Database.get());
    TQXLConstraintDefs Constraints;
    Creator.CreateTable(&Cursor, Fields, Indexes, Constraints);
    Creator.CloseTable(&Cursor);
  }

  // Opens Table through C for User's session and lays out C's buffers.
  static void Open(TQXLDiskTableData& Table, DiskCursor& C, DiskUser& User, bool Exclusive = false) {
    C.FSession = &User.Session;
    C.FExclusive = Exclusive;
    C.Table = &Table;
    // As the database data names a table data object after its first cursor's table.
    if (Table.TableName().empty()) Table.SetTableName(C.FTableName);
    Table.OpenTable(&C);
    ShowEveryTableField(C, Table.FieldManager()->FieldDefs());
    C.FIndexDefs = std::make_unique<TQXLIndexDefs>();
    C.FIndexDefs->Assign(Table.IndexManager()->IndexDefs());
    Table.InitCursorRecordSize(&C);
    C.FRecordBufferSize = C.FRecordSize;
    C.FCurrentRecordBuffer = C.AllocateRecordBuffer();
    C.FirstPosition = true;
  }
  static void Close(TQXLDiskTableData& Table, DiskCursor& C) {
    C.Release();
    Table.CloseTable(&C);
  }

  // Runs a record change under RW on the table, as the dataset layer posts
  // one; the counters are reloaded first, as it does before an insert.
  template <typename F>
  static bool Post(TQXLDiskTableData& Table, DiskCursor& C, F Change) {
    EXPECT_TRUE(Table.LockTable(C.SessionID(), ltRW, 1, 1, false));
    bool Done = false;
    try {
      Table.LoadMostUpdated(C.SessionID());
      Done = Change();
    } catch (...) {
      Table.UnlockTable(C.SessionID(), ltRW, false);
      throw;
    }
    EXPECT_TRUE(Table.UnlockTable(C.SessionID(), ltRW, false));
    return Done;
  }
  static bool InsertCurrent(TQXLDiskTableData& Table, DiskCursor& C) {
    TQXLCursor* c = &C;
    return Post(Table, C, [&] { return Table.InsertRecord(c); });
  }
  static bool UpdateCurrent(TQXLDiskTableData& Table, DiskCursor& C) {
    return Post(Table, C, [&] { return Table.UpdateRecord(&C); });
  }
  static bool DeleteCurrent(TQXLDiskTableData& Table, DiskCursor& C) {
    return Post(Table, C, [&] { return Table.DeleteRecord(&C); });
  }

  // A new record with this ID and memo ("" for NULL) stored through C.
  static bool Insert(TQXLDiskTableData& Table, DiskCursor& C, std::int32_t Id, const std::string& Memo = "") {
    C.InternalInitRecord(C.FCurrentRecordBuffer, true);
    C.SetFieldData(IdField, &Id, C.FCurrentRecordBuffer);
    if (!Memo.empty()) WriteMemo(Table, C, Memo);
    return InsertCurrent(Table, C);
  }

  static void WriteMemo(TQXLDiskTableData& Table, DiskCursor& C, const std::string& Text) {
    std::unique_ptr<TQXLStream> s = Table.InternalCreateBlobStream(&C, false, MemoField, bomWrite);
    ASSERT_EQ(s->Write(Text.data(), static_cast<std::int32_t>(Text.size())), static_cast<std::int32_t>(Text.size()));
    s->SetModified(true);
    Table.WriteBLOBFieldToRecordBuffer(&C, MemoField, *s);
  }

  // The memo of C's current record buffer; "<NULL>" when it has none.
  static std::string ReadMemo(TQXLDiskTableData& Table, DiskCursor& C) {
    if (qxl::GetBitInBuffer(MemoField, C.FCurrentRecordBuffer)) return "<NULL>";
    std::unique_ptr<TQXLStream> s = Table.InternalCreateBlobStream(&C, false, MemoField, bomRead);
    std::string Text(static_cast<std::size_t>(s->Size()), '\0');
    EXPECT_EQ(s->Read(Text.data(), static_cast<std::int32_t>(Text.size())), static_cast<std::int32_t>(Text.size()));
    return Text;
  }

  static void CreateNotes(DiskUser& User, const std::string& Name = "Notes") {
    TQXLFieldDefs Fields;
    NotesFields(Fields);
    CreateTable(User, Name, Fields);
  }

  // Keeps the stored form of C's current record, as an edit does, so that
  // indexes find the old keys.
  static void BeginEdit(DiskCursor& C) {
    if (!C.FEditRecordBuffer) C.FEditRecordBuffer = C.AllocateRecordBuffer();
    std::memcpy(C.FEditRecordBuffer, C.FCurrentRecordBuffer, static_cast<std::size_t>(C.FRecordBufferSize));
  }

  static std::int32_t IdOf(DiskCursor& C) {
    std::int32_t v = -1;
    EXPECT_TRUE(C.GetFieldData(IdField, &v, C.FCurrentRecordBuffer));
    return v;
  }

  // Every record in the table's order, as "ID:memo", walked through C from the start.
  static std::vector<std::string> Walk(TQXLDiskTableData& Table, DiskCursor& C) {
    std::vector<std::string> Rows;
    C.FirstPosition = true;
    C.LastPosition = false;
    while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
      Rows.push_back(std::to_string(IdOf(C)) + ":" + ReadMemo(Table, C));
      Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
    }
    return Rows;
  }

  // Moves C onto the record with this ID; false when there is none.
  static bool MoveTo(TQXLDiskTableData& Table, DiskCursor& C, std::int32_t Id) {
    C.FirstPosition = true;
    C.LastPosition = false;
    while (Table.GetRecordBuffer(&C, grmNext) == grrOK)
      if (IdOf(C) == Id) return true;
    return false;
  }
};

// Two users of a new file, A and B, each a database object of its own with
// one session, as two processes have them.
class TwoUsersFixture : public DiskTableFixture {
protected:
  void SetUp() override {
    CreateDatabaseFile();
    A = Connect(true);
    B = Connect(true);
  }
  void TearDown() override {
    Disconnect(*A);
    Disconnect(*B);
  }
  // Both users leave and connect again, as two processes started anew.
  void Reconnect(bool MultiUser) {
    Disconnect(*A);
    Disconnect(*B);
    A = Connect(MultiUser);
    B = Connect(MultiUser);
  }

  std::unique_ptr<DiskUser> A, B;
};

// The two users with table "Notes" created by A.
class TwoUsersNotesFixture : public TwoUsersFixture {
protected:
  void SetUp() override {
    TwoUsersFixture::SetUp();
    CreateNotes(*A);
  }
};

}  // namespace disktable

}  // namespace qxl
