// Keeping a record index in step with its table: unique checks before a
// record is stored, and the entries of inserted, changed and deleted records.
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/btree/QXLKeyCompareScope.h"

namespace qxl {

bool TQXLBTreeRecordIndex::CanInsertRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20126);
  if (!FIndexDef->Primary && !FIndexDef->Unique) return true;
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  // The key remembers RecordBuffer, so that cut parts that tie are settled
  // by the whole values of the new record and of each stored one.
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, KeyBytes);
  TQXLKeyPath Position;
  return !Root.FindByCondition(SessionID, true, KeyBytes, scEqual, Position);
}

bool TQXLBTreeRecordIndex::CanUpdateRecord(std::int32_t SessionID, const std::uint8_t* OldRecordBuffer,
                                           const std::uint8_t* NewRecordBuffer) {
  if (CompareRecordBuffersByIndex(OldRecordBuffer, NewRecordBuffer, FKeyRef->PartCount()) == 0) return true;
  return CanInsertRecord(SessionID, NewRecordBuffer);
}

void TQXLBTreeRecordIndex::InsertEntry(std::int32_t SessionID, std::int32_t NoRootCode,
                                       const std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID) {
  TQXLBTreePage Root = FetchRoot(SessionID, NoRootCode);
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, KeyBytes);
  const TQXLPageItemID Reference = RecordID;
  TQXLKeyPath Path;
  Root.InsertLeafEntry(SessionID, KeyBytes, reinterpret_cast<const std::uint8_t*>(&Reference), Path);
}

bool TQXLBTreeRecordIndex::DeleteEntry(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                                       const TQXLPageItemID& RecordID) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20127);
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, KeyBytes);
  const TQXLPageItemID Reference = RecordID;
  TQXLKeyPath Path;
  return Root.DeleteLeafEntry(SessionID, KeyBytes, reinterpret_cast<const std::uint8_t*>(&Reference), Path);
}

void TQXLBTreeRecordIndex::InsertRecord(TQXLCursor* Cursor) {
  InsertEntry(Cursor->SessionID(), 20127, Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID);
}

void TQXLBTreeRecordIndex::DeleteRecord(TQXLCursor* Cursor) {
  if (!DeleteEntry(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID))
    throw EQXLException(20027, "Index error: cannot delete entry. Entry not found");
}

void TQXLBTreeRecordIndex::UpdateRecord(TQXLCursor* Cursor, bool BeforeNewRecordIsStored) {
  if (CompareRecordBuffersByIndex(Cursor->FEditRecordBuffer, Cursor->FCurrentRecordBuffer, FKeyRef->PartCount()) == 0)
    return;
  if (!BeforeNewRecordIsStored)
    return InsertEntry(Cursor->SessionID(), 20127, Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID);
  if (!DeleteEntry(Cursor->SessionID(), Cursor->FEditRecordBuffer, Cursor->CurrentRecordID))
    throw EQXLException(20250, "Index error: cannot delete entry. Entry not found");
}

}  // namespace qxl
