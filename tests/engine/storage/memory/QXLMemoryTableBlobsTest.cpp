// BLOB values of memory tables: written and read through compressed BLOB
// streams, held alive while a stored record names them, freed when the last
// one lets go, and handed between tables in their compressed form.
#include <gtest/gtest.h>

#include "engine/core/containers/QXLBitBuffer.h"
#include "tests/engine/storage/memory/MemoryTableFixture.h"

using namespace qxl;

namespace qxl {
namespace {

using MemoryBlobs = MemoryTableFixture;

const std::string LongText(100, 'x');

TEST_F(MemoryBlobs, AValueWrittenAndStoredIsReadBackAfterAFetch) {
  Insert(1);
  WriteMemo("first note, longer than one block of sixteen");
  ASSERT_TRUE(Update(Cursor));
  Insert(2);
  EXPECT_EQ(ReadMemo(), "<NULL>");
  Fetch(0);
  EXPECT_EQ(ReadMemo(), "first note, longer than one block of sixteen");
}

TEST_F(MemoryBlobs, ACancelledEditLeavesTheStoredValueReadable) {
  // The edit's new value replaces the block in the cursor's copy only; the
  // stored record still names the old block, so freeing it there left the
  // record naming freed memory once the edit was cancelled.
  Insert(1);
  WriteMemo("stored");
  ASSERT_TRUE(Update(Cursor));
  Fetch(0);
  WriteMemo("edited, then cancelled");
  EXPECT_EQ(ReadMemo(), "edited, then cancelled");
  Fetch(0);  // the cancel reads the stored record again
  EXPECT_EQ(ReadMemo(), "stored");
  // Clearing the field of a copy (an edit that empties it) is no different.
  Table->ClearBLOBFieldInRecordBuffer(Cursor.FCurrentRecordBuffer, MemoField);
  EXPECT_EQ(ReadMemo(), "<NULL>");
  Fetch(0);
  EXPECT_EQ(ReadMemo(), "stored");
}

TEST_F(MemoryBlobs, AnUpdateFreesTheFormerValueUnlessAnotherRecordNamesIt) {
  Insert(1);
  WriteMemo("shared");
  ASSERT_TRUE(Update(Cursor));
  // An insert of the copy makes a second stored record naming the same block.
  TQXLCursor* c = &Cursor;
  ASSERT_TRUE(Table->InsertRecord(c));
  EXPECT_EQ(Table->BlobBlocks().Count(), 1u);
  Fetch(0);
  WriteMemo("replaced");
  ASSERT_TRUE(Update(Cursor));
  EXPECT_EQ(Table->BlobBlocks().Count(), 2u);
  Fetch(1);
  EXPECT_EQ(ReadMemo(), "shared");
  ASSERT_TRUE(Delete(Cursor));
  EXPECT_EQ(Table->BlobBlocks().Count(), 1u);
  Fetch(0);
  EXPECT_EQ(ReadMemo(), "replaced");
}

TEST_F(MemoryBlobs, ACopyThatOutlivedItsValueIsRefusedInsteadOfRead) {
  MemoryCursor other("Notes");
  Open(other);
  Insert(1);
  WriteMemo("old");
  ASSERT_TRUE(Update(Cursor));
  Fetch(0, other);
  Fetch(0);
  WriteMemo("new");
  ASSERT_TRUE(Update(Cursor));
  EXPECT_EQ(NativeCodeOf([&] { Table->InternalCreateBlobStream(&other, false, MemoField, bomRead); }), 10112);
  TQXLPartialTemporaryBLOBDescriptor d;
  void* data = nullptr;
  EXPECT_EQ(NativeCodeOf([&] { Table->GetDirectBlobData(&other, MemoField, other.FCurrentRecordBuffer, d, data); }),
            10511);
  Table->CloseTable(&other);
}

TEST_F(MemoryBlobs, AnEmptyOrUnchangedStreamAndTheWriteMode) {
  Insert(1);
  WriteMemo("kept");
  ASSERT_TRUE(Update(Cursor));
  Fetch(0);
  std::unique_ptr<TQXLStream> unchanged = Table->InternalCreateBlobStream(&Cursor, false, MemoField, bomWrite);
  Table->WriteBLOBFieldToRecordBuffer(&Cursor, MemoField, *unchanged);
  EXPECT_EQ(ReadMemo(), "kept");
  // Opened for writing, the stream starts empty whatever the field holds.
  EXPECT_EQ(unchanged->Size(), 0);
  unchanged->SetModified(true);
  Table->WriteBLOBFieldToRecordBuffer(&Cursor, MemoField, *unchanged);
  EXPECT_TRUE(GetBitInBuffer(MemoField, Cursor.FCurrentRecordBuffer));
  ASSERT_TRUE(Update(Cursor));
  EXPECT_EQ(Table->BlobBlocks().Count(), 0u);
}

TEST_F(MemoryBlobs, DirectDataCarriesACompressedValueToAnotherTable) {
  Insert(1);
  WriteMemo(LongText);
  ASSERT_TRUE(Update(Cursor));
  Fetch(0);
  TQXLPartialTemporaryBLOBDescriptor d;
  void* data = nullptr;
  Table->GetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  EXPECT_EQ(+d.UncompressedSize, 100);
  EXPECT_EQ(+d.NumBlocks, 7);
  ASSERT_NE(data, nullptr);

  Insert(2);
  Table->SetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  ASSERT_TRUE(Update(Cursor));
  Table->FreeDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, d, data);
  EXPECT_EQ(data, nullptr);
  Fetch(1);
  EXPECT_EQ(ReadMemo(), LongText);

  // A NULL value travels as a zeroed descriptor without data, and stores NULL.
  Insert(3);
  TQXLPartialTemporaryBLOBDescriptor none{5, 5, 5};
  Table->GetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, none, data);
  EXPECT_EQ(+none.CompressedSize, 0);
  EXPECT_EQ(+none.NumBlocks, 0);
  EXPECT_EQ(data, nullptr);
  Fetch(1);
  Table->SetDirectBlobData(&Cursor, MemoField, Cursor.FCurrentRecordBuffer, none, data);
  EXPECT_TRUE(GetBitInBuffer(MemoField, Cursor.FCurrentRecordBuffer));
  Fetch(1);
  EXPECT_EQ(ReadMemo(), LongText);
}

TEST_F(MemoryBlobs, BadFieldsAndBlockSizes) {
  Insert(1);
  EXPECT_THROW(Table->InternalCreateBlobStream(&Cursor, false, IdField, bomRead), platform::Exception);
  Table->FieldManager()->FieldDefs().GetDef(MemoField)->BLOBBlockSize = 0;
  EXPECT_EQ(NativeCodeOf([&] { Table->InternalCreateBlobStream(&Cursor, false, MemoField, bomWrite); }), 10420);
}

}  // namespace
}  // namespace qxl
