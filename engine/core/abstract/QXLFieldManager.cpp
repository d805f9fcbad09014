#include "engine/core/abstract/QXLFieldManager.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

namespace {

constexpr std::int32_t CounterBlockCode = 10430;

void RefuseBlock(std::int64_t Count, std::int32_t Offset, std::int32_t BufSize) {
  throw EQXLException(CounterBlockCode,
                      "Invalid auto-increment block - Count = %d, Offset = %d, Buffer size = %d",
                      {Count, Offset, BufSize});
}

// Bytes a block of Count counters takes.
std::int64_t BlockSize(std::int64_t Count) { return 4 + 8 * Count; }

std::size_t Bytes(std::int32_t n) { return static_cast<std::size_t>(std::max(n, 0)); }

}  // namespace

TQXLBaseFieldManager::TQXLBaseFieldManager(TQXLTableData* TableData) : FTableData(TableData) {}

void TQXLBaseFieldManager::LoadMetadata(TQXLStream& Stream) {
  FFieldDefs.LoadFromStream(Stream);
  RecalcFieldOffsets();
  InitLastAutoIncValues();
}

void TQXLBaseFieldManager::SaveMetadata(TQXLStream& Stream) const { FFieldDefs.SaveToStream(Stream); }

void TQXLBaseFieldManager::LoadMostUpdated(const std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) {
  if (!Buf || Offset < 0 || BlockSize(0) > std::int64_t{BufSize} - Offset) RefuseBlock(-1, Offset, BufSize);
  const auto count = qxl::LoadValue<std::int32_t>(Buf + Offset);
  if (count < 0 || BlockSize(count) > std::int64_t{BufSize} - Offset) RefuseBlock(count, Offset, BufSize);
  std::vector<std::int64_t> values(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) values[Bytes(i)] = qxl::LoadValue<std::int64_t>(Buf + Offset + 4 + 8 * i);
  FLastAutoIncValues = std::move(values);
  Offset += static_cast<std::int32_t>(BlockSize(count));
}

void TQXLBaseFieldManager::SaveMostUpdated(std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) const {
  const auto count = static_cast<std::int32_t>(FLastAutoIncValues.size());
  if (!Buf || Offset < 0 || BlockSize(count) > std::int64_t{BufSize} - Offset) RefuseBlock(count, Offset, BufSize);
  qxl::StoreValue(Buf + Offset, count);
  for (std::int32_t i = 0; i < count; ++i) qxl::StoreValue(Buf + Offset + 4 + 8 * i, FLastAutoIncValues[Bytes(i)]);
  Offset += static_cast<std::int32_t>(BlockSize(count));
}

std::int32_t TQXLBaseFieldManager::MostUpdatedSize() const {
  return static_cast<std::int32_t>(BlockSize(static_cast<std::int64_t>(FLastAutoIncValues.size())));
}

void TQXLBaseFieldManager::InitLastAutoIncValues() {
  FLastAutoIncValues.assign(Bytes(FFieldDefs.Count()), 0);
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (qxl::IsAutoincFieldType(f.AdvancedFieldType)) FLastAutoIncValues[Bytes(i)] = f.AutoincInitialValue;
  }
}

void TQXLBaseFieldManager::DiskRecordBufferToMemRecordBuffer(const std::uint8_t* DiskRecordBuffer,
                                                             std::uint8_t* MemRecordBuffer) const {
  std::memset(MemRecordBuffer, 0, Bytes(FFieldDefs.GetMemoryRecordBufferSize()));
  std::memcpy(MemRecordBuffer, DiskRecordBuffer, Bytes(FFieldDefs.NullBitmapSize()));
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    std::memcpy(MemRecordBuffer + f.MemoryOffset, DiskRecordBuffer + f.DiskOffset, Bytes(f.DiskDataSize));
  }
}

void TQXLBaseFieldManager::MemRecordBufferToDiskRecordBuffer(const std::uint8_t* MemRecordBuffer,
                                                             std::uint8_t* DiskRecordBuffer) const {
  std::memset(DiskRecordBuffer, 0, Bytes(FFieldDefs.GetDiskRecordBufferSize()));
  std::memcpy(DiskRecordBuffer, MemRecordBuffer, Bytes(FFieldDefs.NullBitmapSize()));
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    std::memcpy(DiskRecordBuffer + f.DiskOffset, MemRecordBuffer + f.MemoryOffset, Bytes(f.DiskDataSize));
  }
}

bool TQXLBaseFieldManager::CompareRecordBuffers(const std::uint8_t* RecordBuffer1,
                                                const std::uint8_t* RecordBuffer2) const {
  if (std::memcmp(RecordBuffer1, RecordBuffer2, Bytes(FFieldDefs.NullBitmapSize())) != 0) return false;
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (std::memcmp(RecordBuffer1 + f.MemoryOffset, RecordBuffer2 + f.MemoryOffset, Bytes(f.DiskDataSize)) != 0)
      return false;
  }
  return true;
}

bool TQXLBaseFieldManager::BlobFieldsPresent() const {
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (f.BaseFieldType != bftBlob && f.BaseFieldType != bftClob && f.BaseFieldType != bftWideClob) continue;
    if (f.BLOBBlockSize == 0) throw EQXLException(10421, "BLOB block size should be > 0 for field %s", {f.Name});
    return true;
  }
  return false;
}

const TQXLFieldDef& TQXLBaseFieldManager::CheckedField(std::int32_t FieldNo) const {
  if (FieldNo < 0 || FieldNo >= FFieldDefs.Count()) throw EQXLException(30402, "Field #%d not found", {FieldNo});
  if (static_cast<std::size_t>(FieldNo) >= FLastAutoIncValues.size())
    throw EQXLException(30403, "Field #%d not found", {FieldNo});
  return *FFieldDefs.GetDef(FieldNo);
}

std::int64_t TQXLBaseFieldManager::IncrementAutoinc(std::int32_t FieldNo) {
  const TQXLFieldDef& f = CheckedField(FieldNo);
  std::int64_t& counter = FLastAutoIncValues[Bytes(FieldNo)];
  const std::int64_t step = f.AutoincIncrement == 0 ? 1 : f.AutoincIncrement;
  std::int64_t next = 0;
  // Past the 64-bit range counts as past the maximum, whatever the maximum says.
  const bool overflow = __builtin_add_overflow(counter, step, &next);
  if (overflow || (f.AutoincMaxValue != 0 && next > f.AutoincMaxValue)) {
    if (!f.AutoincCycled) {
      if (!overflow) counter = next;
      throw EQXLException(20160, "Autoinc max value exceeded for field '%s'", {f.Name});
    }
    next = f.AutoincMinValue;
  }
  counter = next;
  return counter;
}

void TQXLBaseFieldManager::RecordInSession(TQXLBaseSession* Session, const TQXLFieldDef& Field,
                                           std::int64_t Value) const {
  if (Session) Session->SetObject(std::make_unique<TQXLSessionNamedObjectSequenceValue>(Field.ObjectID, Value));
}

std::int64_t TQXLBaseFieldManager::GetNextAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo) {
  const std::int64_t v = IncrementAutoinc(FieldNo);
  RecordInSession(Session, *FFieldDefs.GetDef(FieldNo), v);
  return v;
}

std::int64_t TQXLBaseFieldManager::GetLastAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo) {
  const TQXLFieldDef& f = CheckedField(FieldNo);
  if (Session) {
    if (auto* v = dynamic_cast<TQXLSessionNamedObjectSequenceValue*>(Session->GetObjectByID(f.ObjectID)))
      return v->Value;
    if (Session->FMultiUser)
      throw EQXLException(30012, "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first",
                          {f.Name});
  }
  return qxl::IsAutoincFieldType(f.AdvancedFieldType) ? FLastAutoIncValues[Bytes(FieldNo)] : 0;
}

void TQXLBaseFieldManager::UpdateLastAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo,
                                             std::int64_t InsertedValue) {
  const TQXLFieldDef& f = CheckedField(FieldNo);
  std::int64_t& counter = FLastAutoIncValues[Bytes(FieldNo)];
  if (InsertedValue <= counter) return;
  counter = InsertedValue;
  RecordInSession(Session, f, InsertedValue);
}

namespace {

// An auto-increment field holds at most 8 bytes of its value.
std::size_t AutoincWidth(const TQXLFieldDef& Field) { return std::min<std::size_t>(Bytes(Field.MemoryDataSize), 8); }

std::int64_t SuppliedAutoinc(const TQXLFieldDef& Field, const std::uint8_t* RecordBuffer) {
  std::uint64_t v = 0;
  std::memcpy(&v, RecordBuffer + Field.MemoryOffset, AutoincWidth(Field));  // little-endian: the low bytes first
  return static_cast<std::int64_t>(v);
}

}  // namespace

void TQXLBaseFieldManager::ApplyAutoincsToRecordBuffer(TQXLBaseSession* Session, std::uint8_t* RecordBuffer) {
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (!qxl::IsAutoincFieldType(f.AdvancedFieldType)) continue;
    if (qxl::GetBitInBuffer(i, RecordBuffer)) {
      const std::int64_t v = GetNextAutoinc(Session, i);
      std::memcpy(RecordBuffer + f.MemoryOffset, &v, AutoincWidth(f));
      qxl::SetBitInBuffer(false, i, RecordBuffer);
    } else {
      UpdateLastAutoinc(Session, i, SuppliedAutoinc(f, RecordBuffer));
    }
  }
}

void TQXLBaseFieldManager::KeepSuppliedAutoincs(TQXLBaseSession* Session, const std::uint8_t* RecordBuffer) {
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (qxl::IsAutoincFieldType(f.AdvancedFieldType) && !qxl::GetBitInBuffer(i, RecordBuffer))
      UpdateLastAutoinc(Session, i, SuppliedAutoinc(f, RecordBuffer));
  }
}

bool TQXLBaseFieldManager::WriteDefault(const TQXLFieldDef& Field, std::uint8_t* Target) const {
  TQXLVariant value;
  if (Field.DefaultValueExpr) {
    TQXLVariant* computed = Field.DefaultValueExpr->GetValue(true);
    // A default that computes to NULL leaves the field NULL.
    if (!computed || computed->IsNull()) return false;
    value.Assign(*computed, true);
    value.Cast(Field.BaseFieldType);
  } else {
    value.Assign(*Field.DefaultValue, true);
  }
  // Bounded by the field: a default longer than its column raises 20056
  // instead of running past the record.
  value.CopyDataToAddress(Target, Field.MemoryDataSize);
  return true;
}

void TQXLBaseFieldManager::ApplyDefaultValuesToRecordBuffer(TQXLBaseSession*, std::uint8_t* RecordBuffer) {
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TQXLFieldDef& f = *FFieldDefs.GetDef(i);
    if (qxl::IsBlobBaseFieldType(f.BaseFieldType) || !f.DefaultValue || f.DefaultValue->IsNull()) continue;
    if (WriteDefault(f, RecordBuffer + f.MemoryOffset)) qxl::SetBitInBuffer(false, i, RecordBuffer);
  }
}

}  // namespace qxl
