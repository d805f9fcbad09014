#pragma once
// A table of the in-memory database opened by one or two cursors: an integer
// "ID" and a BLOB "Memo" compressed in blocks of 16 bytes, with the cursor buffers laid out as the local
// cursor lays them out, and helpers that store, edit and read records and
// BLOB values the way the dataset layer drives the table data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"
#include "engine/storage/memory/QXLMemoryTableData.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeSession.h"
#include "tests/support/TestFieldDefs.h"
#include "tests/support/CursorFields.h"

namespace qxl {

// A cursor that owns its current record buffer.
class MemoryCursor : public FakeCursor {
public:
  using FakeCursor::FakeCursor;
  ~MemoryCursor() override {
    if (FCurrentRecordBuffer) QXLMemoryManager().FreeAndNillMem(FCurrentRecordBuffer);
  }
};

// A table of the in-memory database created and opened through Cursor by
// one session, the fixtures below choosing its name and fields. Cursors are
// laid out as the local cursor lays them out.
class MemoryTableBase : public ::testing::Test {
protected:
  explicit MemoryTableBase(const char* TableName) : Cursor{TableName} {}

  TQXLMemoryDatabaseData Database;
  FakeSession Session;
  MemoryCursor Cursor;
  TQXLMemoryTableData* Table = nullptr;

  // Connects the session, creates the table with Fields and opens it through Cursor.
  void CreateAndOpen(TQXLFieldDefs& Fields) {
    Database.ConnectSession(&Session);
    TQXLIndexDefs Indexes;
    TQXLConstraintDefs Constraints;
    Table = static_cast<TQXLMemoryTableData*>(Database.FindOrCreateTableData(&Cursor));
    Table->CreateTable(&Cursor, Fields, Indexes, Constraints);
    Open(Cursor);
  }
  void TearDown() override {
    Table->CloseTable(&Cursor);
    Database.DisconnectSession(&Session);
  }

  void Open(MemoryCursor& C) {
    C.FSession = &Session;
    Table->OpenTable(&C);
    ShowEveryTableField(C, Table->FieldManager()->FieldDefs());
    C.FIndexDefs = std::make_unique<TQXLIndexDefs>();
    Table->InitCursorRecordSize(&C);
    C.FRecordBufferSize = C.FRecordSize;
    C.FCurrentRecordBuffer = C.AllocateRecordBuffer();
  }
};

class MemoryTableFixture : public MemoryTableBase {
protected:
  MemoryTableFixture() : MemoryTableBase("Notes") {}

  static constexpr std::int32_t IdField = 0;
  static constexpr std::int32_t MemoField = 1;

  void SetUp() override {
    TQXLFieldDefs fields;
    AddField(fields, "ID", aftInteger);
    AddCompressedBlob(fields, "Memo", 16);
    CreateAndOpen(fields);
  }

  TQXLMemoryRecordManager& Records() const { return static_cast<TQXLMemoryRecordManager&>(*Table->RecordManager()); }

  // A new record with this ID (and no memo) inserted through C.
  TQXLPageItemID Insert(std::int32_t Id, MemoryCursor& C) {
    C.InternalInitRecord(C.FCurrentRecordBuffer, true);
    C.SetFieldData(IdField, &Id, C.FCurrentRecordBuffer);
    TQXLCursor* c = &C;
    EXPECT_TRUE(Table->InsertRecord(c));
    return C.CurrentRecordID;
  }
  TQXLPageItemID Insert(std::int32_t Id) { return Insert(Id, Cursor); }

  // Reads the stored record at Position into C's current buffer, as a cursor
  // moving onto it (or cancelling an edit of it) does.
  void Fetch(std::int32_t Position, MemoryCursor& C) {
    TQXLNavigationInfo nav;
    nav.RecordID = {Position, 0};
    nav.RecordBuffer = C.FCurrentRecordBuffer;
    Records().GetRecordBuffer(0, nav);
    ASSERT_EQ(nav.GetRecordResult, grrOK) << "position " << Position;
    C.CurrentRecordID = nav.RecordID;
  }
  void Fetch(std::int32_t Position) { Fetch(Position, Cursor); }

  std::int32_t IdOf(MemoryCursor& C) const {
    std::int32_t v = -1;
    EXPECT_TRUE(C.GetFieldData(IdField, &v, C.FCurrentRecordBuffer));
    return v;
  }

  // Writes Text as the memo of C's current record buffer.
  void WriteMemo(const std::string& Text, MemoryCursor& C) {
    std::unique_ptr<TQXLStream> s = Table->InternalCreateBlobStream(&C, false, MemoField, bomWrite);
    ASSERT_EQ(s->Write(Text.data(), static_cast<std::int32_t>(Text.size())), static_cast<std::int32_t>(Text.size()));
    s->SetModified(true);
    Table->WriteBLOBFieldToRecordBuffer(&C, MemoField, *s);
  }
  void WriteMemo(const std::string& Text) { WriteMemo(Text, Cursor); }

  // The memo of C's current record buffer; "<NULL>" when it has none.
  std::string ReadMemo(MemoryCursor& C) {
    if (GetBitInBuffer(MemoField, C.FCurrentRecordBuffer)) return "<NULL>";
    std::unique_ptr<TQXLStream> s = Table->InternalCreateBlobStream(&C, false, MemoField, bomRead);
    std::string text(static_cast<std::size_t>(s->Size()), '\0');
    EXPECT_EQ(s->Read(text.data(), static_cast<std::int32_t>(text.size())), static_cast<std::int32_t>(text.size()));
    return text;
  }
  std::string ReadMemo() { return ReadMemo(Cursor); }

  bool Update(MemoryCursor& C) { return Table->UpdateRecord(&C); }
  bool Delete(MemoryCursor& C) { return Table->DeleteRecord(&C); }

  // An active bitmap on C showing every record there is now.
  TQXLRecordBitmap& ShowAll(MemoryCursor& C) {
    C.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    C.FRecordBitmap->SetSize(Table->GetRecordBitmapSize(0));
    for (std::int32_t p = 0; p < C.FRecordBitmap->Size(); ++p)
      if (Records().StoredRecord(p)) C.FRecordBitmap->ShowRecord(TQXLPageItemID{p, 0});
    C.FRecordBitmap->SetActive(true);
    C.FRecordBitmap->SetTableState(Records().TableState());
    return *C.FRecordBitmap;
  }
};

}  // namespace qxl
