// The engine dataset's record protocol: buffers, fetches, bookmarks, record
// numbers, field values and the edit, post, cancel and delete of the cursor
// with its error code raised after each.
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/dataset/QXLRecordUse.h"

namespace qxl {

namespace {

TQXLGetRecordMode CursorMode(TGetMode Mode) {
  switch (Mode) {
    case gmNext: return grmNext;
    case gmPrior: return grmPrior;
    default: return grmCurrent;
  }
}

}  // namespace

TRecordBuffer TQXLDataSet::AllocRecordBuffer() { return Cursor(10035).AllocateRecordBuffer(); }

void TQXLDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (!Buffer) return;
  Cursor(10036).FreeRecordBuffer(Buffer);
}

std::int32_t TQXLDataSet::GetRecordSize() const { return Cursor(10037).FRecordSize - BookmarkBytes; }

TGetResult TQXLDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  TQXLCursor& cursor = Cursor(10038);
  TQXLRecordUse use(cursor, Buffer);
  switch (cursor.GetRecordBuffer(CursorMode(GetMode))) {
    case grrOK:
      std::memcpy(Buffer + cursor.FBookmarkOffset, &cursor.CurrentRecordID, sizeof cursor.CurrentRecordID);
      Buffer[cursor.FBookmarkOffset + 6] = bfCurrent;
      return grOK;
    case grrBOF: return grBOF;
    case grrEOF: return grEOF;
    default:
      if (DoCheck) throw EQXLException(10026, "Cannot retrieve record");
      return grError;
  }
}

std::int64_t TQXLDataSet::RecordCount() {
  if (!Active()) return 0;
  return Cursor(10039).GetRecordCount();
}

std::int64_t TQXLDataSet::RecNo() {
  if (!Active() || State() == dsInsert) return -1;
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer) return -1;
  TQXLCursor& cursor = Cursor(10040);
  TQXLPositionKeeper keep(cursor);
  std::memcpy(&cursor.CurrentRecordID, buffer + cursor.FBookmarkOffset, sizeof cursor.CurrentRecordID);
  cursor.FirstPosition = cursor.LastPosition = false;
  return cursor.GetRecNo();
}

void TQXLDataSet::SetRecNo(std::int64_t Value) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  Cursor(10041).SetRecNo(Value);
  Resync(false, true);
  if (AfterScroll) AfterScroll(*this);
}

void TQXLDataSet::InternalFirst() { Cursor(10042).InternalFirst(); }

void TQXLDataSet::InternalLast() { Cursor(10043).InternalLast(); }

void TQXLDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  TQXLCursor& cursor = Cursor(10044);
  std::memcpy(&cursor.CurrentRecordID, Buffer + cursor.FBookmarkOffset, sizeof cursor.CurrentRecordID);
  cursor.FirstPosition = cursor.LastPosition = false;
}

void TQXLDataSet::InternalGotoBookmark(const TBookmark& Bookmark) {
  TQXLCursor& cursor = Cursor(10045);
  if (Bookmark.size() < sizeof cursor.CurrentRecordID) DatabaseError("Invalid bookmark", this);
  std::memcpy(&cursor.CurrentRecordID, Bookmark.data(), sizeof cursor.CurrentRecordID);
  cursor.FirstPosition = cursor.LastPosition = false;
}

TBookmarkFlag TQXLDataSet::GetBookmarkFlag(TRecordBuffer Buffer) const {
  return static_cast<TBookmarkFlag>(Buffer[BookmarkOffset() + 6]);
}

void TQXLDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Flag) { Buffer[BookmarkOffset() + 6] = Flag; }

TBookmark TQXLDataSet::GetBookmarkData(TRecordBuffer Buffer) const {
  const TRecordBuffer at = Buffer + BookmarkOffset();
  return TBookmark(at, at + sizeof(TQXLPageItemID));
}

void TQXLDataSet::SetBookmarkData(TRecordBuffer Buffer, const TBookmark& Bookmark) {
  if (Bookmark.size() < sizeof(TQXLPageItemID)) DatabaseError("Invalid bookmark", this);
  std::memcpy(Buffer + BookmarkOffset(), Bookmark.data(), sizeof(TQXLPageItemID));
}

std::int32_t TQXLDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty()) return Bookmark2.empty() ? 0 : 1;
  if (Bookmark2.empty()) return -1;
  TQXLPageItemID first{}, second{};
  if (Bookmark1.size() < sizeof first || Bookmark2.size() < sizeof second) DatabaseError("Invalid bookmark", this);
  std::memcpy(&first, Bookmark1.data(), sizeof first);
  std::memcpy(&second, Bookmark2.data(), sizeof second);
  const std::int32_t order = Cursor(10046).CompareRecordsOrder(first, second);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool TQXLDataSet::BookmarkValid(const TBookmark& Bookmark) {
  if (!FHandle || Bookmark.size() < sizeof(TQXLPageItemID)) return false;
  TQXLCursor& cursor = *FHandle;
  TQXLPositionKeeper keep(cursor);
  TQXLOwnedRecord scratch(cursor);
  TQXLRecordUse use(cursor, scratch.Get());
  std::memcpy(&cursor.CurrentRecordID, Bookmark.data(), sizeof cursor.CurrentRecordID);
  cursor.FirstPosition = cursor.LastPosition = false;
  return cursor.GetRecordBuffer(grmCurrent) == grrOK;
}

bool TQXLDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (!FHandle || IsEmpty() || !ActiveBuffer() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  TQXLRecordUse use(*FHandle, Buffer);
  return FHandle->GetRecordBuffer(grmCurrent) == grrOK;
}

// ---- New records -------------------------------------------------------------

void TQXLDataSet::InternalInitRecord(TRecordBuffer Buffer) { Cursor(10047).InternalInitRecord(Buffer, true); }

void TQXLDataSet::InitRecord(TRecordBuffer Buffer) {
  TDataSet::InitRecord(Buffer);
  const TQXLPageItemID none{-1, 0xFFFF};
  std::memcpy(Buffer + BookmarkOffset(), &none, sizeof none);
  SetBookmarkFlag(Buffer, bfInserted);
}

// ---- Field values ------------------------------------------------------------

bool TQXLDataSet::GetDataFieldValue(const TField& Field, TRecordBuffer Buffer, TQXLVariant& Value) {
  TQXLCursor& cursor = Cursor(10048);
  if (IsBlobBaseFieldType(Field.ValueType())) return BlobValueOf(Field, Value);
  TQXLRecordUse use(cursor, Buffer);
  cursor.GetFieldValue(Value, Field.FieldNo() - 1, false);
  if (Value.IsNull()) {
    Value.Clear(Field.ValueType());
    return false;
  }
  if (Value.DataType() != Field.ValueType()) Value.Cast(Field.ValueType());
  return true;
}

void TQXLDataSet::SetDataFieldValue(const TField& Field, TRecordBuffer Buffer, const TQXLVariant& Value) {
  TQXLCursor& cursor = Cursor(10049);
  if (State() == dsSetKey && (Field.FieldKind != fkData || (IndexFieldCount() > 0 && !IsIndexField(Field))))
    throw EQXLException(20019, "Field %s is not in the current index", {Field.DisplayName()});
  if (IsBlobBaseFieldType(Field.ValueType())) {
    WriteBlobValue(Field, Value);
    return;
  }
  TQXLVariant value;
  value.Assign(Value, true);
  cursor.SetFieldValue(value, Field.FieldNo() - 1, false, Buffer);
}

// ---- Editing -------------------------------------------------------------------

void TQXLDataSet::InternalInsert() {
  if (!FReadOnly) Cursor(10050).InternalInsert();
}

void TQXLDataSet::InternalEdit() {
  if (FReadOnly) return;
  TQXLCursor& cursor = Cursor(10051);
  TRecordBuffer active = ActiveBuffer();
  if (!active) throw EQXLException(10052, "Nil pointer occured");
  // The cursor keeps the record as it was for the post's check and frees it
  // once the record is stored or the change dropped.
  if (cursor.FEditRecordBuffer) cursor.FreeRecordBuffer(cursor.FEditRecordBuffer);
  cursor.FEditRecordBuffer = cursor.AllocateRecordBuffer();
  std::memcpy(cursor.FEditRecordBuffer, active, static_cast<std::size_t>(cursor.FRecordSize));
  try {
    TQXLRecordUse use(cursor, active);
    cursor.InternalEdit();
    CheckCursorError();
  } catch (...) {
    if (cursor.FEditRecordBuffer) cursor.FreeRecordBuffer(cursor.FEditRecordBuffer);
    throw;
  }
}

void TQXLDataSet::InternalPost() {
  const bool inserting = State() == dsInsert;
  if (!Active()) throw EQXLException(inserting ? 10075 : 10029, "Dataset is not opened");
  if (State() != dsEdit && !inserting)
    throw EQXLException(10030, "Dataset is not in insert or edit mode");
  if (FReadOnly) throw EQXLException(inserting ? 10077 : 10032, "Dataset is in read only mode");
  TQXLCursor& cursor = Cursor(10053);
  TQXLRecordUse use(cursor, ActiveBuffer());
  // A refused post keeps the old record at the cursor for the next try.
  cursor.InternalPost(inserting);
  CheckCursorError();
}

void TQXLDataSet::InternalCancel() {
  TQXLCursor& cursor = Cursor(10054);
  TQXLRecordUse use(cursor, ActiveBuffer());
  cursor.InternalCancel(State() == dsInsert);
  CheckCursorError();
}

void TQXLDataSet::InternalDelete() {
  if (!Active()) throw EQXLException(10068, "Dataset is not opened");
  if (FReadOnly) throw EQXLException(10069, "Dataset is in read only mode");
  TQXLCursor& cursor = Cursor(10055);
  TRecordBuffer active = ActiveBuffer();
  if (!active) throw EQXLException(10056, "Nil pointer occured");
  TQXLRecordUse use(cursor, active);
  cursor.InternalDelete();
  CheckCursorError();
}

void TQXLDataSet::InternalRefresh() {
  if (Active() && FHandle && FHandle->FilterRecord && FilterInForce()) FHandle->DisableRecordBitmap();
}

TRecordBuffer TQXLDataSet::ActiveBuffer() const {
  switch (State()) {
    case dsSetKey: return FKeyBuffer;
    case dsOldValue: return FHandle ? FHandle->FEditRecordBuffer : nullptr;
    default: return TDataSet::ActiveBuffer();
  }
}

}  // namespace qxl
