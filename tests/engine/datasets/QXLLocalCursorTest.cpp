// The local cursor's services to the engine: opening on a shared table data,
// the record layout, record initialisation with defaults, constraint checks
// turned into error codes, index operations by name, BLOB streams.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalBLOBStream.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeDatabaseData.h"

namespace qxl {}
using namespace qxl;

namespace {

class LocalCursorTest : public ::testing::Test {
protected:
  TQXLDatabaseDataList List;
  TQXLDatabaseData* Database = nullptr;
  TQXLLocalSession Session{List};
  TQXLLocalCursor Cursor;
  FakeTableData* Table = nullptr;

  void SetUp() override {
    auto d = std::make_unique<FakeDatabaseData>();
    d->SetDatabaseName("MEMORY");
    Database = List.Add(std::move(d));
    Session.FDatabaseName = "MEMORY";
    Session.SetConnected(true);
    Cursor.FSession = &Session;
    Cursor.FTableName = "Tasks";
  }
  // Nine fields whose values take 30 bytes, "N" with a default and a NOT NULL on "Must".
  void CreateAndOpen() {
    TQXLFieldDefs fields;
    const std::pair<const char*, TQXLAdvancedFieldType> types[] = {
        {"N", aftInteger}, {"Must", aftInteger}, {"C", aftInteger}, {"D", aftLargeint}, {"E", aftSmallint},
        {"F", aftSmallint}, {"G", aftSmallint}, {"H", aftSmallint}, {"I", aftSmallint}};
    for (auto& [name, type] : types) {
      TQXLFieldDef* f = fields.AddCreated();
      f->Name = name;
      f->SetFieldDefDataType(type, 0);
    }
    fields.GetDef(0)->DefaultValue->SetAsInteger(17);
    TQXLIndexDefs indexes;
    TQXLIndexDef* ix = indexes.AddCreated();
    ix->Name = "ByN";
    ix->AssignByNames({"N"}, {"ASC"}, {"CASE"});
    TQXLConstraintDefs constraints;
    constraints.AddNotNull()->ColumnName = "Must";
    Table = static_cast<FakeTableData*>(Database->FindOrCreateTableData(&Cursor));
    Table->CreateTable(&Cursor, fields, indexes, constraints);
    Cursor.OpenTable(Table);
  }
};

}  // namespace

TEST_F(LocalCursorTest, OpeningRegistersAndLaysOutTheBuffers) {
  CreateAndOpen();
  EXPECT_TRUE(Cursor.FIsOpen);
  EXPECT_TRUE(Cursor.FirstPosition);
  EXPECT_EQ(Table->CursorList(), std::vector<TQXLCursor*>{&Cursor});
  EXPECT_EQ(Cursor.FFieldValuesOffset, 2);
  EXPECT_EQ(Cursor.FBookmarkOffset, 32);
  EXPECT_EQ(Cursor.FKeyOffset, 32);
  EXPECT_EQ(Cursor.FKeyBufferSize, 38);
  EXPECT_EQ(Cursor.FRecordBufferSize, 39);
  EXPECT_EQ(Cursor.FVisibleFieldDefs->GetDef(8)->FieldNoReference, 8);
  EXPECT_EQ(Cursor.FIndexDefs->Count(), 1);
  EXPECT_EQ(Cursor.FConstraintDefs->Count(), 1);
  ASSERT_NE(Cursor.FRecordBitmap, nullptr);
  Cursor.CloseTable();
  EXPECT_TRUE(Table->CursorList().empty());
  EXPECT_FALSE(Cursor.FIsOpen);
}

TEST_F(LocalCursorTest, NewRecordsAreNullWithDefaultsAndTheBookmarkLeftAlone) {
  CreateAndOpen();
  Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  std::uint8_t* r = Cursor.FCurrentRecordBuffer;
  std::memset(r, 0x5A, static_cast<std::size_t>(Cursor.FRecordBufferSize));
  Cursor.InternalInitRecord(r, false);
  EXPECT_EQ(r[0], 0xFF);
  EXPECT_EQ(r[1], 0xFF);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(r[31], 0);
  for (int i = 32; i < 39; ++i) EXPECT_EQ(r[i], 0x5A) << i;

  Cursor.InternalInitRecord(r, true);
  EXPECT_FALSE(GetBitInBuffer(0, r));
  std::int32_t n = 0;
  EXPECT_TRUE(Cursor.GetFieldData(0, &n, r));
  EXPECT_EQ(n, 17);
  Cursor.FTemporary = true;
  Cursor.InternalInitRecord(r, true);
  EXPECT_TRUE(GetBitInBuffer(0, r));
}

TEST_F(LocalCursorTest, ConstraintViolationsBecomeErrorCodeMinusEight) {
  CreateAndOpen();
  Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, true);
  EXPECT_FALSE(Cursor.CheckConstraints(true));
  EXPECT_EQ(Cursor.ErrorCode(), -8);
  EXPECT_EQ(Cursor.ErrorMessage(),
            "Constraint '$C_NotNull$Tasks$Must' violated. Value in field 'Must' cannot be null - Native error: 30026");
  std::int32_t one = 1;
  Cursor.SetFieldData(1, &one, Cursor.FCurrentRecordBuffer);
  EXPECT_TRUE(Cursor.CheckConstraints(true));
  EXPECT_EQ(Cursor.ErrorCode(), 0);
}

TEST_F(LocalCursorTest, IndexesByNameAndFieldRenamesReachTheTable) {
  CreateAndOpen();
  EXPECT_EQ(NativeCodeOf([&] { Cursor.DeleteIndex("Nope"); }), 20021);
  Cursor.RenameField("N", "Number");
  EXPECT_EQ(Table->FieldManager()->FieldDefs().GetDef(0)->Name, "Number");
  EXPECT_EQ(Cursor.FFieldDefs->GetDef(0)->Name, "Number");
  EXPECT_EQ(Cursor.GetIndexDefs()->GetIndexDef(0)->GetIndexColumn(0).FieldName, "Number");
  Cursor.DeleteIndex("byn");
  EXPECT_EQ(Cursor.FIndexDefs->Count(), 0);
  EXPECT_EQ(Table->IndexManager()->IndexDefs().Count(), 0);
}

TEST_F(LocalCursorTest, DestroyingAnOpenCursorUnregistersIt) {
  Table = nullptr;
  {
    TQXLLocalCursor c;
    c.FSession = &Session;
    c.FTableName = "Other";
    auto* t = Database->FindOrCreateTableData(&c);
    TQXLFieldDefs fields;
    fields.AddCreated()->SetFieldDefDataType(aftInteger, 0);
    fields.GetDef(0)->Name = "X";
    TQXLIndexDefs none;
    TQXLConstraintDefs noConstraints;
    t->CreateTable(&c, fields, none, noConstraints);
    c.OpenTable(t);
    c.FCurrentRecordBuffer = c.AllocateRecordBuffer();
    EXPECT_EQ(t->CursorList().size(), 1u);
  }
  FakeCursor probe("Other");
  EXPECT_TRUE(Database->FindTableData(&probe)->CursorList().empty());
}

TEST(QXLLocalBLOBStream, ReadOnlyStreamsRefuseChangesAndWritesMarkModified) {
  for (TQXLBLOBOpenMode mode : {bomRead, bomWrite}) {
    auto work = std::make_unique<TQXLMemoryStream>();
    TQXLBLOBDescriptor descriptor;
    descriptor.BlockSize = 1024;
    auto compressed = std::make_unique<TQXLCompressedBLOBStream>(*work, descriptor, true, false);
    qxl::TQXLLocalBLOBStream s(std::move(compressed), std::move(work), nullptr, mode, 3);
    const char text[] = "hello";
    if (mode == bomRead) {
      EXPECT_EQ(MessageOf([&] { s.Write(text, 5); }), "Cannot write to read only stream - Native error: 10115");
      EXPECT_EQ(NativeCodeOf([&] { s.SetSize(0); }), 10116);
      EXPECT_FALSE(s.Modified());
      continue;
    }
    EXPECT_EQ(s.Write(text, 5), 5);
    EXPECT_TRUE(s.Modified());
    EXPECT_EQ(s.Size(), 5);
    s.SetPosition(0);
    char back[6] = {};
    EXPECT_EQ(s.Read(back, 5), 5);
    EXPECT_STREQ(back, "hello");
    EXPECT_EQ(s.FieldNo(), 3);
  }
}
