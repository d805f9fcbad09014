// Temporary tables: records and BLOB values added and read back in order,
// with a memory share small enough that records spill to their file;
// append-only record operations, record numbers, and their errors.
#include "engine/storage/temporary/QXLTemporaryTableData.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/storage/temporary/QXLTemporaryDatabaseData.h"
#include "engine/storage/temporary/QXLTemporaryPageManager.h"
#include "engine/storage/temporary/QXLTemporaryRecordManager.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeSession.h"
#include "tests/support/TestFieldDefs.h"
#include "tests/support/CursorFields.h"

using namespace qxl;

namespace qxl {
namespace {

class TempCursor : public FakeCursor {
public:
  using FakeCursor::FakeCursor;
  ~TempCursor() override {
    if (FCurrentRecordBuffer) QXLMemoryManager().FreeAndNillMem(FCurrentRecordBuffer);
  }
};

class TemporaryTable : public ::testing::Test {
protected:
  static constexpr std::int32_t IdField = 0;
  static constexpr std::int32_t MemoField = 1;
  // A share of 4 records of the table's size; no index page fits in memory.
  TQXLTemporaryDatabaseData Database{nullptr, [] { return std::int64_t{10 * 4 * 24}; }};
  FakeSession Session;
  TempCursor Cursor{"Result"};
  TQXLTemporaryTableData* Table = nullptr;

  void Create(bool WithMemo, bool DisableTempFiles = false) {
    Database.ConnectSession(&Session);
    Cursor.FSession = &Session;
    Cursor.FDisableTempFiles = DisableTempFiles;
    TQXLFieldDefs fields;
    AddField(fields, "ID", aftInteger);
    if (WithMemo) AddCompressedBlob(fields, "Memo", 8);
    TQXLIndexDefs indexes;
    TQXLConstraintDefs constraints;
    Table = static_cast<TQXLTemporaryTableData*>(Database.FindOrCreateTableData(&Cursor));
    Table->CreateTable(&Cursor, fields, indexes, constraints);
    Table->OpenTable(&Cursor);
    ShowEveryTableField(Cursor, Table->FieldManager()->FieldDefs());
    Cursor.FRecordBufferSize = Cursor.FRecordSize;
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  }
  void TearDown() override {
    if (Table) Table->CloseTable(&Cursor);
    Database.DisconnectSession(&Session);
  }
  TQXLTemporaryRecordManager& Records() { return static_cast<TQXLTemporaryRecordManager&>(*Table->RecordManager()); }

  void Insert(std::int32_t Id, const std::string& Memo) {
    Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, true);
    Cursor.SetFieldData(IdField, &Id, Cursor.FCurrentRecordBuffer);
    if (!Memo.empty()) {
      std::unique_ptr<TQXLStream> s = Table->InternalCreateBlobStream(&Cursor, true, MemoField, bomWrite);
      ASSERT_EQ(s->Write(Memo.data(), static_cast<std::int32_t>(Memo.size())), static_cast<std::int32_t>(Memo.size()));
      s->SetModified(true);
      Table->WriteBLOBFieldToRecordBuffer(&Cursor, MemoField, *s);
    }
    TQXLCursor* c = &Cursor;
    ASSERT_TRUE(Table->InsertRecord(c));
  }
  // Moves the cursor one step in the order of addition; false at either end.
  bool Step(TQXLNavigationInfo& Nav, TQXLGetRecordMode Mode) {
    Nav.GetRecordMode = Mode;
    Nav.RecordBuffer = Cursor.FCurrentRecordBuffer;
    Records().GetRecordBuffer(0, Nav);
    Cursor.CurrentRecordID = Nav.RecordID;
    return Nav.GetRecordResult == grrOK;
  }
  std::int32_t Id() {
    std::int32_t v = -1;
    EXPECT_TRUE(Cursor.GetFieldData(IdField, &v, Cursor.FCurrentRecordBuffer));
    return v;
  }
  std::string Memo() {
    if (GetBitInBuffer(MemoField, Cursor.FCurrentRecordBuffer)) return "<NULL>";
    std::unique_ptr<TQXLStream> s = Table->InternalCreateBlobStream(&Cursor, false, MemoField, bomRead);
    std::string text(static_cast<std::size_t>(s->Size()), '\0');
    EXPECT_EQ(s->Read(text.data(), static_cast<std::int32_t>(text.size())), static_cast<std::int32_t>(text.size()));
    return text;
  }
  static std::string MemoOf(std::int32_t Id) { return Id % 3 == 0 ? "" : "memo of record " + std::to_string(Id); }
};

TEST_F(TemporaryTable, RecordsAndBlobValuesBeyondTheMemoryShareReadBackInOrder) {
  Create(true);
  for (std::int32_t id = 0; id < 40; ++id) Insert(id, MemoOf(id));
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 40);
  EXPECT_LT(Records().CachedRecordCount(), 40);
  EXPECT_NE(Records().TempPageFile(), nullptr);
  TQXLNavigationInfo nav;
  nav.FirstPosition = true;
  std::int32_t expected = 0;
  while (Step(nav, grmNext)) {
    EXPECT_EQ(Id(), expected);
    EXPECT_EQ(Memo(), MemoOf(expected).empty() ? "<NULL>" : MemoOf(expected));
    EXPECT_EQ(Table->InternalGetRecNo(&Cursor), expected + 1);
    ++expected;
  }
  EXPECT_EQ(expected, 40);
  nav = TQXLNavigationInfo{};
  nav.LastPosition = true;
  while (Step(nav, grmPrior)) EXPECT_EQ(Id(), --expected);
  EXPECT_EQ(expected, 0);
  // Index pages beyond the share go to the page file.
  EXPECT_EQ(Table->TemporaryPageManager()->MaxMemoryPageCount(), 0);
}

TEST_F(TemporaryTable, WithTemporaryFilesDisabledNothingLeavesMemory) {
  Create(true, true);
  for (std::int32_t id = 0; id < 20; ++id) Insert(id, MemoOf(id));
  EXPECT_EQ(Records().CachedRecordCount(), 20);
  EXPECT_EQ(Records().TempPageFile(), nullptr);
  TQXLNavigationInfo nav;
  nav.LastPosition = true;
  ASSERT_TRUE(Step(nav, grmPrior));
  EXPECT_EQ(Memo(), MemoOf(19));
}

TEST_F(TemporaryTable, AppendOnlyRecordNumbersAndDirectData) {
  Create(true);
  for (std::int32_t id = 0; id < 6; ++id) Insert(id, MemoOf(id));
  TQXLCursor* c = &Cursor;
  EXPECT_FALSE(Table->UpdateRecord(c));
  EXPECT_FALSE(Table->DeleteRecord(c));
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 6);
  struct Case {
    std::int64_t RecNo, Record;
  };
  for (const Case& k : {Case{0, 0}, Case{1, 0}, Case{5, 4}}) {
    Table->InternalSetRecNo(&Cursor, k.RecNo);
    EXPECT_EQ(TemporaryRecordNo(Cursor.CurrentRecordID), k.Record) << k.RecNo;
  }
  EXPECT_EQ(Table->GetRecordBitmapSize(0), 6);
  EXPECT_EQ(Table->RecordIDToBitNo(TemporaryRecordID(5)), 5);

  // A value handed over in its compressed form is appended again and reads the same.
  TQXLNavigationInfo nav;
  nav.RecordID = TemporaryRecordID(4);
  ASSERT_TRUE(Step(nav, grmCurrent));
  TQXLPartialTemporaryBLOBDescriptor d;
  void* data = nullptr;
  Table->GetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  EXPECT_EQ(+d.UncompressedSize, static_cast<std::int64_t>(MemoOf(4).size()));
  const std::int32_t newId = 99;
  Cursor.SetFieldData(IdField, &newId, Cursor.FCurrentRecordBuffer);
  Table->SetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  Table->FreeDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  EXPECT_EQ(data, nullptr);
  ASSERT_TRUE(Table->InsertRecord(c));
  nav.RecordID = TemporaryRecordID(6);
  ASSERT_TRUE(Step(nav, grmCurrent));
  EXPECT_EQ(Id(), 99);
  EXPECT_EQ(Memo(), MemoOf(4));
}

TEST_F(TemporaryTable, Errors) {
  Create(false);
  // Without BLOB fields the table has no BLOB file.
  EXPECT_EQ(NativeCodeOf([&] { Table->InternalCreateBlobStream(&Cursor, false, 0, bomRead); }), 10140);
  TQXLMemoryStream plain;
  plain.SetModified(true);
  EXPECT_EQ(NativeCodeOf([&] { Table->WriteBLOBFieldToRecordBuffer(&Cursor, 0, plain); }), 10144);
  TQXLPartialTemporaryBLOBDescriptor d;
  void* data = nullptr;
  EXPECT_EQ(NativeCodeOf([&] { Table->SetDirectBlobData(&Cursor, 0, Cursor.FCurrentRecordBuffer, d, data); }), 10506);

  std::uint8_t* buffer = Cursor.FCurrentRecordBuffer;
  Cursor.FCurrentRecordBuffer = nullptr;
  TQXLCursor* c = &Cursor;
  EXPECT_EQ(NativeCodeOf([&] { Table->InsertRecord(c); }), 10135);
  Cursor.FCurrentRecordBuffer = buffer;

  TempCursor bare("Bare");
  TQXLTableData* empty = Database.CreateTableData(&bare);
  TQXLCursor* b = &bare;
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalGetRecordCount(b); }), 10133);
  EXPECT_EQ(NativeCodeOf([&] { empty->InsertRecord(b); }), 10134);
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalSetRecNo(b, 1); }), 10136);
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalGetRecNo(b); }), 10137);
  TQXLFieldDefs noFields;
  TQXLIndexDefs indexes;
  TQXLConstraintDefs constraints;
  EXPECT_EQ(NativeCodeOf([&] { empty->CreateTable(b, noFields, indexes, constraints); }), 10132);
}

TEST(TemporaryDatabase, NameObjectIdsAndTables) {
  TQXLTemporaryDatabaseData db;
  EXPECT_EQ(db.DatabaseName(), "TEMP");
  EXPECT_EQ(db.PageManager(), nullptr);
  const std::int32_t first = db.GetNewObjectId();
  EXPECT_EQ(db.GetNewObjectId(), first + 1);
  TempCursor a("A");
  db.CreateTableData(&a);
  EXPECT_EQ(db.TableDataCount(), 1);
}

}  // namespace
}  // namespace qxl
