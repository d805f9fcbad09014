#include "engine/core/abstract/QXLRecordBuffer.h"

#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

namespace {

constexpr const char* InvalidFieldNo = "Invalid field number - FieldNo = %d, FieldCount = %d";

bool IsBlobFamily(TQXLAdvancedFieldType t) {
  return t == aftBlob || t == aftGraphic || t == aftMemo || t == aftFormattedMemo || t == aftWideMemo;
}

// The width that a widened type needs in the record; a layout that lacks it
// (damaged metadata) would read or write past the field.
std::int32_t StoredWidth(TQXLAdvancedFieldType t, std::int32_t MemoryDataSize) {
  switch (t) {
    case aftShortint: return 1;
    case aftCardinal:
    case aftSingle: return 4;
    case aftExtended: return static_cast<std::int32_t>(QXLExtendedSize);
    default: return MemoryDataSize;
  }
}

bool LayoutFits(const TQXLFieldDef& f, const TQXLFieldDefs& defs) {
  return f.MemoryOffset >= defs.NullBitmapSize() && f.MemoryDataSize >= 0 &&
         StoredWidth(f.AdvancedFieldType, f.MemoryDataSize) <= f.MemoryDataSize;
}

void CopyOut(const TQXLFieldDef& f, void* Buffer, const std::uint8_t* field) {
  switch (f.AdvancedFieldType) {
    case aftShortint: StoreValue(Buffer, static_cast<std::int16_t>(LoadValue<std::int8_t>(field))); break;
    case aftCardinal: StoreValue(Buffer, static_cast<std::int64_t>(LoadValue<std::uint32_t>(field))); break;
    case aftSingle: StoreValue(Buffer, static_cast<double>(LoadValue<float>(field))); break;
    case aftExtended: StoreValue(Buffer, static_cast<double>(LoadExtended(field))); break;
    default: std::memcpy(Buffer, field, static_cast<std::size_t>(f.MemoryDataSize));
  }
}

void CopyIn(const TQXLFieldDef& f, const void* Buffer, std::uint8_t* field) {
  switch (f.AdvancedFieldType) {
    case aftShortint: StoreValue(field, static_cast<std::int8_t>(LoadValue<std::int16_t>(Buffer))); break;
    case aftCardinal: StoreValue(field, static_cast<std::uint32_t>(LoadValue<std::int64_t>(Buffer))); break;
    case aftSingle: StoreValue(field, static_cast<float>(LoadValue<double>(Buffer))); break;
    case aftExtended: StoreExtended(field, static_cast<long double>(LoadValue<double>(Buffer))); break;
    default: std::memcpy(field, Buffer, static_cast<std::size_t>(f.MemoryDataSize));
  }
}

bool IsEmptyText(TQXLAdvancedFieldType t, const void* Buffer) {
  if (t == aftChar || t == aftString || t == aftGuid) return *static_cast<const char*>(Buffer) == 0;
  if (t == aftWideChar || t == aftWideString) return LoadValue<char16_t>(Buffer) == 0;
  return false;
}

}  // namespace

bool GetFieldDataFromRecordBuffer(std::int32_t FieldNo, const TQXLFieldDefs& FieldDefs, void* Buffer,
                                  const std::uint8_t* RecordBuffer) {
  if (!RecordBuffer) throw EQXLException(10003, "Nil pointer occured");
  if (FieldNo < 0 || FieldNo >= FieldDefs.Count())
    throw EQXLException(10000, InvalidFieldNo, {FieldNo, FieldDefs.Count()});
  if (GetBitInBuffer(FieldNo, RecordBuffer)) return false;
  const TQXLFieldDef& f = *FieldDefs.GetDef(FieldNo);
  if (!Buffer || IsBlobFamily(f.AdvancedFieldType)) return true;
  if (!LayoutFits(f, FieldDefs))
    throw EQXLException(10002, "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d",
                        {FieldNo, f.MemoryOffset, f.MemoryDataSize});
  CopyOut(f, Buffer, RecordBuffer + f.MemoryOffset);
  return true;
}

void SetFieldDataToRecordBuffer(std::int32_t FieldNo, const TQXLFieldDefs& FieldDefs, const void* Buffer,
                                std::uint8_t* RecordBuffer) {
  if (FieldNo < 0 || FieldNo >= FieldDefs.Count())
    throw EQXLException(10004, InvalidFieldNo, {FieldNo, FieldDefs.Count()});
  if (!RecordBuffer) throw EQXLException(10003, "Nil pointer occured");
  const TQXLFieldDef& f = *FieldDefs.GetDef(FieldNo);
  if (!Buffer || IsEmptyText(f.AdvancedFieldType, Buffer)) {
    SetBitInBuffer(true, FieldNo, RecordBuffer);
    return;
  }
  if (!LayoutFits(f, FieldDefs))
    throw EQXLException(10004, "Invalid field layout - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d",
                        {FieldNo, f.MemoryOffset, f.MemoryDataSize});
  SetBitInBuffer(false, FieldNo, RecordBuffer);
  CopyIn(f, Buffer, RecordBuffer + f.MemoryOffset);
}

bool CompareBytes(const void* Buffer1, const void* Buffer2, std::int32_t Count) {
  if (!Buffer1) throw EQXLException(10122, "Nil pointer occured");
  if (!Buffer2) throw EQXLException(10123, "Nil pointer occured");
  return Count <= 0 || std::memcmp(Buffer1, Buffer2, static_cast<std::size_t>(Count)) == 0;
}

}  // namespace qxl
