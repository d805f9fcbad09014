#include "engine/core/abstract/QXLCursor.h"

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLRecordBuffer.h"

namespace qxl {

namespace {

constexpr const char* InvalidFieldNo = "Invalid field number - FieldNo = %d, FieldCount = %d";

std::int32_t CountOf(const std::unique_ptr<TQXLFieldDefs>& Defs) { return Defs ? Defs->Count() : 0; }

void FreeQuietly(std::uint8_t*& Buffer) noexcept {
  try {
    QXLMemoryManager().FreeAndNillMem(Buffer);
  } catch (...) {
    // A damaged guard cannot be reported from a destructor; the block is freed anyway.
    Buffer = nullptr;
  }
}

// Zeroes a text field from its terminating zero (one byte or one 16-bit unit) to its end.
void ClearAfterText(std::uint8_t* Field, std::int32_t Size, bool Wide) {
  const std::int32_t unit = Wide ? 2 : 1;
  std::int32_t at = 0;
  while (at + unit <= Size) {
    const bool zero = Wide ? (Field[at] == 0 && Field[at + 1] == 0) : Field[at] == 0;
    if (zero) break;
    at += unit;
  }
  if (at < Size) std::memset(Field + at, 0, static_cast<std::size_t>(Size - at));
}

}  // namespace

TQXLCursor::~TQXLCursor() {
  FreeQuietly(FCurrentRecordBuffer);
  FreeQuietly(FDistinctRecordBuffer);
  FreeQuietly(FEditRecordBuffer);
}

void TQXLCursor::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  TQXLFieldDef* field = FFieldDefs ? FFieldDefs->GetFieldDefByName(FieldName) : nullptr;
  if (!field) throw EQXLException(30345, "Field '%s' not found", {FieldName});
  if (FFieldDefs->GetFieldDefByName(NewFieldName))
    throw EQXLException(30346, "Cannot rename field '%s'. Field '%s' already exists", {FieldName, NewFieldName});
  field->Name = qxl::CutToAnsiLength(NewFieldName);
}

void TQXLCursor::FreeRecordBuffer(std::uint8_t*& Buffer) { QXLMemoryManager().FreeAndNillMem(Buffer); }

void TQXLCursor::SetIndexName(const std::string& Value) {
  FIndexName = Value;
  const TQXLIndexDef* def = Value.empty() || !FIndexDefs ? nullptr : FIndexDefs->GetIndexDefByName(Value);
  FIndexID = def ? def->ObjectID : -1;
}

std::int32_t TQXLCursor::SessionID() const { return FSession ? FSession->FSessionID : -1; }

bool TQXLCursor::GetFieldData(std::int32_t FieldNo, void* Buffer, const std::uint8_t* RecordBuffer) const {
  if (FieldNo < 0 || FieldNo >= CountOf(FVisibleFieldDefs))
    throw EQXLException(10005, InvalidFieldNo, {FieldNo, CountOf(FVisibleFieldDefs)});
  return GetFieldDataFromRecordBuffer(FVisibleFieldDefs->GetDef(FieldNo)->FieldNoReference, *FFieldDefs, Buffer,
                                      RecordBuffer);
}

void TQXLCursor::SetFieldData(std::int32_t FieldNo, const void* Buffer, std::uint8_t* RecordBuffer) const {
  if (FieldNo < 0 || FieldNo >= CountOf(FVisibleFieldDefs))
    throw EQXLException(10006, InvalidFieldNo, {FieldNo, CountOf(FVisibleFieldDefs)});
  SetFieldDataToRecordBuffer(FVisibleFieldDefs->GetDef(FieldNo)->FieldNoReference, *FFieldDefs, Buffer,
                             RecordBuffer);
}

void TQXLCursor::ClearStringFieldsGarbage(std::uint8_t* RecordBuffer) const {
  for (std::int32_t i = 0; i < CountOf(FFieldDefs); ++i) {
    const TQXLFieldDef& f = *FFieldDefs->GetDef(i);
    const bool ansi = f.BaseFieldType == bftChar || f.BaseFieldType == bftVarchar;
    const bool wide = f.BaseFieldType == bftWideChar || f.BaseFieldType == bftWideVarchar;
    if (!ansi && !wide) continue;
    std::uint8_t* field = RecordBuffer + f.MemoryOffset;
    if (qxl::GetBitInBuffer(i, RecordBuffer))
      std::memset(field, 0, static_cast<std::size_t>(f.MemoryDataSize));
    else
      ClearAfterText(field, f.MemoryDataSize, wide);
  }
}

const TQXLFieldDef& TQXLCursor::ChooseField(std::int32_t FieldNo, bool DirectAccess, std::int32_t VisibleCode,
                                            std::int32_t DirectCode, std::int32_t& NullBit) const {
  const std::unique_ptr<TQXLFieldDefs>& list = DirectAccess ? FFieldDefs : FVisibleFieldDefs;
  if (FieldNo < 0 || FieldNo >= CountOf(list))
    throw EQXLException(DirectAccess ? DirectCode : VisibleCode, InvalidFieldNo, {FieldNo, CountOf(list)});
  const TQXLFieldDef& visible = *list->GetDef(FieldNo);
  NullBit = DirectAccess ? FieldNo : visible.FieldNoReference;
  if (NullBit < 0 || NullBit >= CountOf(FFieldDefs))
    throw EQXLException(DirectAccess ? DirectCode : VisibleCode, InvalidFieldNo, {NullBit, CountOf(FFieldDefs)});
  // The layout is the table field's: a visible copy may predate a recomputation.
  return *FFieldDefs->GetDef(NullBit);
}

void TQXLCursor::GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess) const {
  std::int32_t bit = 0;
  const TQXLFieldDef& f = ChooseField(FieldNo, DirectAccess, 10317, 20191, bit);
  if (qxl::GetBitInBuffer(bit, FCurrentRecordBuffer)) {
    Value.Clear(bftUnknown);
    return;
  }
  Value.SetData(FCurrentRecordBuffer + f.MemoryOffset, f.MemoryDataSize, f.BaseFieldType, true);
}

void TQXLCursor::SetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess,
                               std::uint8_t* RecordBuffer) {
  std::int32_t bit = 0;
  const TQXLFieldDef& f = ChooseField(FieldNo, DirectAccess, 20193, 20192, bit);
  std::uint8_t* record = RecordBuffer ? RecordBuffer : FCurrentRecordBuffer;
  if (Value.IsNull()) {
    qxl::SetBitInBuffer(true, bit, record);
    return;
  }
  Value.Cast(f.BaseFieldType);
  // Bounded by the field, so that a too-long value raises 20056 before the
  // null bit changes.
  Value.CopyDataToAddress(record + f.MemoryOffset, f.MemoryDataSize);
  qxl::SetBitInBuffer(false, bit, record);
}

std::uint8_t* TQXLCursor::AllocateRecordBuffer() const {
  return static_cast<std::uint8_t*>(QXLMemoryManager().AllocMem(FRecordBufferSize));
}

std::uint8_t* TQXLCursor::AllocateKeyRecordBuffer() const {
  return static_cast<std::uint8_t*>(QXLMemoryManager().GetMem(FKeyBufferSize));
}

void TQXLCursor::InternalInitKeyBuffer(std::uint8_t* RecordBuffer) {
  std::memset(RecordBuffer, 0, static_cast<std::size_t>(std::max(FKeyBufferSize, 0)));
  InternalInitRecord(RecordBuffer, false);
}

std::unique_ptr<TQXLCursorPosition> TQXLCursor::SavePosition() const {
  return std::make_unique<TQXLCursorPosition>(TQXLCursorPosition{FirstPosition, LastPosition, CurrentRecordID});
}

void TQXLCursor::RestorePosition(const TQXLCursorPosition& Pos) {
  FirstPosition = Pos.FirstPosition;
  LastPosition = Pos.LastPosition;
  CurrentRecordID = Pos.CurrentRecordID;
}

void TQXLCursor::DisableRecordBitmap() {
  if (FRecordBitmap) FRecordBitmap->Clear();
}

void TQXLCursor::ApplyProjection(const std::vector<std::string>& FieldNamesList,
                                 const std::vector<std::string>& AliasList) {
  if (FieldNamesList.size() != AliasList.size())
    throw EQXLException(10321, "Error - different list lengths. L1 = %d, L2 = %d",
                        {static_cast<std::int64_t>(FieldNamesList.size()), static_cast<std::int64_t>(AliasList.size())});
  if (FieldNamesList.empty()) throw EQXLException(10322, "No fields were specified while setting projection");
  if (!FVisibleFieldDefs) FVisibleFieldDefs = std::make_unique<TQXLFieldDefs>();
  FVisibleFieldDefs->Clear();
  const std::size_t n = FieldNamesList.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t no = FFieldDefs ? FFieldDefs->GetDefNumberByName(FieldNamesList[i]) : -1;
    if (no < 0) throw EQXLException(10323, "Cannot find field %s", {FieldNamesList[i]});
    TQXLFieldDef* copy = FVisibleFieldDefs->AddCreated();
    copy->Assign(*FFieldDefs->GetDef(no));
    copy->FieldNoReference = no;
    if (AliasList[i].empty()) continue;
    copy->Name.clear();
    std::string chosen = AliasList[i];
    for (std::size_t k = 1; k <= n && FVisibleFieldDefs->GetDefByName(chosen); ++k)
      chosen = AliasList[i] + "_" + std::to_string(k);
    copy->Name = qxl::CutToAnsiLength(chosen);
  }
}

void TQXLCursor::ApplyRange(std::uint8_t* StartBuffer, std::uint8_t* EndBuffer, std::int32_t StartKeyFieldCount,
                            std::int32_t EndKeyFieldCount, bool StartExclusive, bool EndExclusive) {
  FRangeStartBuffer = StartBuffer;
  FRangeEndBuffer = EndBuffer;
  FRangeStartKeyFieldCount = StartKeyFieldCount;
  FRangeEndKeyFieldCount = EndKeyFieldCount;
  FRangeStartExclusive = StartExclusive;
  FRangeEndExclusive = EndExclusive;
  DisableRecordBitmap();
}

void TQXLCursor::ResetRange() {
  FRangeStartBuffer = nullptr;
  FRangeEndBuffer = nullptr;
  DisableRecordBitmap();
}

void TQXLCursor::SetSQLFilter(TQXLBaseExpression* FilterExpr, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  FSQLFilterExpression = FilterExpr;
  if (FilterExpr) FilterExpr->AssignCursor(this, ParentQueryAO, ParentCursor);
}

}  // namespace qxl
