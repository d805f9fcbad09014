// The table component's keys: the key buffers edited in the set-key state,
// searches on the active index, ranges, and the master-detail range that
// follows the master's record.
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLBLOBStream.h"
#include "engine/datasets/dataset/QXLRecordUse.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

namespace {

constexpr std::int32_t ModifiedAt = 0, ExclusiveAt = 1, FieldCountAt = 2;

std::int32_t StoredFieldCount(const std::uint8_t* Info) {
  std::int32_t count = 0;
  std::memcpy(&count, Info + FieldCountAt, sizeof count);
  return count;
}

void StoreFieldCount(std::uint8_t* Info, std::int32_t Count) { std::memcpy(Info + FieldCountAt, &Count, sizeof Count); }

}  // namespace

std::int32_t TQXLTable::KeyInfoOffset() const { return Cursor(10288).FKeyOffset; }

void TQXLTable::EditKeyBuffer(TKeyIndex Index, bool Clear) {
  CheckBrowseMode();
  TQXLCursor& cursor = Cursor(10289);
  FKeyBuffer = KeyBuffer(Index);
  std::memcpy(KeyBuffer(kiSave), FKeyBuffer, static_cast<std::size_t>(cursor.FKeyBufferSize));
  if (Clear) InitKeyBuffer(FKeyBuffer);
  SetState(dsSetKey);
  SetModified(FKeyBuffer[KeyInfoOffset() + ModifiedAt] != 0);
  DataEvent(deDataSetChange);
}

void TQXLTable::SetKey() { EditKeyBuffer(kiLookup, true); }
void TQXLTable::EditKey() { EditKeyBuffer(kiLookup, false); }
void TQXLTable::SetRangeStart() { EditKeyBuffer(kiRangeStart, true); }
void TQXLTable::EditRangeStart() { EditKeyBuffer(kiRangeStart, false); }
void TQXLTable::SetRangeEnd() { EditKeyBuffer(kiRangeEnd, true); }
void TQXLTable::EditRangeEnd() { EditKeyBuffer(kiRangeEnd, false); }

void TQXLTable::EndKeyEdit(bool Posted) {
  if (!FKeyBuffer || !Handle()) return;
  if (Posted)
    FKeyBuffer[KeyInfoOffset() + ModifiedAt] = Modified() ? 1 : 0;
  else
    std::memcpy(FKeyBuffer, KeyBuffer(kiSave), static_cast<std::size_t>(Handle()->FKeyBufferSize));
}

bool TQXLTable::KeyExclusive() const {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit or insert mode", this);
  return FKeyBuffer[KeyInfoOffset() + ExclusiveAt] != 0;
}

void TQXLTable::SetKeyExclusive(bool Value) {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit or insert mode", this);
  FKeyBuffer[KeyInfoOffset() + ExclusiveAt] = Value ? 1 : 0;
}

std::int32_t TQXLTable::KeyFieldCount() const {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit or insert mode", this);
  return StoredFieldCount(FKeyBuffer + KeyInfoOffset());
}

void TQXLTable::SetKeyFieldCount(std::int32_t Value) {
  if (State() != dsSetKey) DatabaseError("Dataset not in edit or insert mode", this);
  if (Value < 0 || Value > IndexFieldCount())
    DatabaseErrorFmt(this, "Key field count %d is outside the index's %d columns", Value, IndexFieldCount());
  StoreFieldCount(FKeyBuffer + KeyInfoOffset(), Value);
}

void TQXLTable::SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values) {
  TQXLCursor& cursor = Cursor(10290);
  if (IndexFieldCount() == 0) DatabaseError("No index currently active", this);
  if (static_cast<std::int32_t>(Values.size()) > IndexFieldCount())
    DatabaseErrorFmt(this, "The key has %d values, the index %d columns", static_cast<std::int32_t>(Values.size()),
                     IndexFieldCount());
  TRecordBuffer key = KeyBuffer(Index);
  InitKeyBuffer(key);
  for (std::size_t i = 0; i < Values.size(); ++i) {
    TQXLVariant value;
    value.SetAsVariant(Values[i]);
    cursor.SetFieldValue(value, IndexFieldMap()[i] - 1, false, key);
  }
  std::uint8_t* info = key + KeyInfoOffset();
  StoreFieldCount(info, static_cast<std::int32_t>(Values.size()));
  info[ModifiedAt] = 1;
}

bool TQXLTable::FindKey(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, KeyValues);
  return GotoKey();
}

void TQXLTable::FindNearest(const std::vector<Variant>& KeyValues) {
  CheckBrowseMode();
  SetKeyFields(kiLookup, KeyValues);
  GotoNearest();
}

void TQXLTable::UnderSharedLock(std::int32_t NoCursorCode, const std::function<void()>& Step) {
  TQXLCursor& cursor = Cursor(NoCursorCode);
  // A view of one record is read by one fetch, which takes the shared lock
  // itself: a lock around it would only be taken and released once more.
  if (BufferCount() <= 1) {
    Step();
    return;
  }
  // The view is read whole beside other writers; without the lock it is read all the same.
  const bool locked = cursor.LockTable(ltS, ResyncLockTries, ResyncLockDelayMS, true);
  struct TUnlock {
    TQXLCursor& Cursor;
    bool Locked;
    ~TUnlock() {
      if (!Locked) return;
      try {
        Cursor.UnlockTable(ltS, false);
      } catch (...) {
      }
    }
  } unlock{cursor, locked};
  Step();
}

void TQXLTable::ResyncUnderSharedLock(bool Exact) {
  UnderSharedLock(10291, [&] { Resync(Exact, true); });
}

void TQXLTable::FirstUnderSharedLock() {
  UnderSharedLock(10292, [&] { First(); });
}

bool TQXLTable::GotoKey() {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  TQXLCursor& cursor = Cursor(10293);
  TRecordBuffer key = KeyBuffer(kiLookup);
  cursor.FKeyBuffer = key;
  cursor.FKeyFieldCount = StoredFieldCount(key + KeyInfoOffset());
  bool found;
  {
    TQXLRecordUse use(cursor, TempBuffer());
    found = cursor.FindKey(scEqual);
  }
  cursor.FKeyBuffer = nullptr;
  if (!found) {
    UpdateCursorPos();
    return false;
  }
  ResyncUnderSharedLock(true);
  if (AfterScroll) AfterScroll(*this);
  return true;
}

void TQXLTable::GotoNearest() {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  TQXLCursor& cursor = Cursor(10294);
  TRecordBuffer key = KeyBuffer(kiLookup);
  const std::uint8_t* info = key + KeyInfoOffset();
  cursor.FKeyBuffer = key;
  cursor.FKeyFieldCount = StoredFieldCount(info);
  bool found;
  {
    TQXLRecordUse use(cursor, TempBuffer());
    found = cursor.FindKey(info[ExclusiveAt] ? scGreater : scGreaterEqual);
  }
  cursor.FKeyBuffer = nullptr;
  if (!found) cursor.InternalLast();
  ResyncUnderSharedLock(false);
  if (AfterScroll) AfterScroll(*this);
}

void TQXLTable::SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues) {
  CheckBrowseMode();
  SetKeyFields(kiRangeStart, StartValues);
  SetKeyFields(kiRangeEnd, EndValues);
  ApplyRange();
}

void TQXLTable::ApplyRange() {
  CheckBrowseMode();
  TQXLCursor& cursor = Cursor(10295);
  TRecordBuffer start = KeyBuffer(kiRangeStart), end = KeyBuffer(kiRangeEnd);
  TRecordBuffer currentStart = KeyBuffer(kiCurRangeStart), currentEnd = KeyBuffer(kiCurRangeEnd);
  const auto size = static_cast<std::size_t>(cursor.FKeyBufferSize);
  // What lies behind a text's terminator is no part of the key.
  cursor.ClearStringFieldsGarbage(start);
  cursor.ClearStringFieldsGarbage(end);
  if (std::memcmp(start, currentStart, size) == 0 && std::memcmp(end, currentEnd, size) == 0) return;
  std::memcpy(currentStart, start, size);
  std::memcpy(currentEnd, end, size);
  const std::int32_t at = KeyInfoOffset();
  auto count = [&](const std::uint8_t* Key) {
    const std::int32_t n = StoredFieldCount(Key + at);
    return n == 0 ? IndexFieldCount() : n;
  };
  // A bound that was never set leaves that side of the range open.
  cursor.ApplyRange(currentStart[at + ModifiedAt] ? currentStart : nullptr,
                    currentEnd[at + ModifiedAt] ? currentEnd : nullptr, count(currentStart), count(currentEnd),
                    currentStart[at + ExclusiveAt] != 0, currentEnd[at + ExclusiveAt] != 0);
  FirstUnderSharedLock();
}

void TQXLTable::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ResetCursorRange()) ResyncUnderSharedLock(false);
}

// ---- Master-detail -------------------------------------------------------------

TDataSource* TQXLTable::MasterSource() const { return FMasterLink->DataSource(); }

void TQXLTable::SetMasterSource(TDataSource* Value) {
  CheckDataSourceLink(*this, Value);
  FMasterLink->SetDataSource(Value);
}

const std::string& TQXLTable::MasterFields() const { return FMasterLink->FieldNames(); }

void TQXLTable::SetMasterFields(const std::string& Value) { FMasterLink->SetFieldNames(Value); }

void TQXLTable::SetKeyFromMaster(TKeyIndex Index) {
  std::vector<Variant> values;
  for (TField* field : FMasterLink->Fields()) values.push_back(field->AsVariant());
  SetKeyFields(Index, values);
}

void TQXLTable::ApplyMasterRange() {
  if (!FMasterLink->Active() || FMasterLink->Fields().empty()) return;
  TQXLCursor& cursor = Cursor(10296);
  SetKeyFromMaster(kiRangeStart);
  const auto size = static_cast<std::size_t>(cursor.FKeyBufferSize);
  std::memcpy(KeyBuffer(kiRangeEnd), KeyBuffer(kiRangeStart), size);
  std::memcpy(KeyBuffer(kiCurRangeStart), KeyBuffer(kiRangeStart), size);
  std::memcpy(KeyBuffer(kiCurRangeEnd), KeyBuffer(kiRangeEnd), size);
  const std::int32_t count = static_cast<std::int32_t>(FMasterLink->Fields().size());
  cursor.ApplyRange(KeyBuffer(kiCurRangeStart), KeyBuffer(kiCurRangeEnd), count, count, false, false);
}

void TQXLTable::MasterChanged() {
  if (!Active()) return;
  CheckBrowseMode();
  if (FMasterLink->Fields().empty()) return;
  SetKeyFromMaster(kiRangeStart);
  std::memcpy(KeyBuffer(kiRangeEnd), KeyBuffer(kiRangeStart), static_cast<std::size_t>(Handle()->FKeyBufferSize));
  ApplyRange();
}

void TQXLTable::MasterDisabled() {
  if (Active()) CancelRange();
}

void TQXLTable::DoOnNewRecord() {
  if (FMasterLink->Active() && !FMasterLink->Fields().empty()) {
    const std::vector<TField*>& masters = FMasterLink->Fields();
    for (std::size_t i = 0; i < masters.size() && static_cast<std::int32_t>(i) < IndexFieldCount(); ++i)
      GetIndexField(static_cast<std::int32_t>(i)).SetAsVariant(masters[i]->AsVariant());
  }
  TQXLDataSet::DoOnNewRecord();
  // BLOB defaults are not in the record's fixed bytes: they are written as content.
  TQXLCursor& cursor = Cursor(10297);
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    TField& field = Fields(i);
    if (field.FieldKind != fkData || field.FieldNo() <= 0) continue;
    const TQXLFieldDef* def = cursor.FVisibleFieldDefs->GetDef(field.FieldNo() - 1);
    if ((def->BaseFieldType != bftBlob && def->BaseFieldType != bftClob) || !def->DefaultValue ||
        def->DefaultValue->IsNull())
      continue;
    const std::string text = def->DefaultValue->GetAsAnsiString();
    TQXLBLOBStream stream(field, bmWrite);
    if (!text.empty()) WriteBufferToStream(text.data(), static_cast<std::int32_t>(text.size()), stream, 10298);
  }
}

}  // namespace qxl
