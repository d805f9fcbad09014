#include "engine/core/abstract/QXLFieldAccessor.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLRecordBuffer.h"
#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

namespace {

bool IsBlobFamily(TQXLAdvancedFieldType t) {
  return t == aftBlob || t == aftGraphic || t == aftMemo || t == aftFormattedMemo || t == aftWideMemo;
}

bool IsText(TQXLAdvancedFieldType t) { return t == aftChar || t == aftString || t == aftGuid; }

}  // namespace

const std::uint8_t* TQXLFieldAccessor::FieldBytes(std::int32_t FieldNo, std::int32_t& Size) const {
  Size = 0;
  if (!FRecord) throw EQXLException(10003, "Nil pointer occured");
  if (FieldNo < 0 || FieldNo >= FFieldDefs.Count())
    throw EQXLException(10000, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FFieldDefs.Count()});
  if (GetBitInBuffer(FieldNo, FRecord)) return nullptr;
  const TQXLFieldDef& f = *FFieldDefs.GetDef(FieldNo);
  const std::int32_t offset = FMemoryForm ? f.MemoryOffset : f.DiskOffset;
  // Both forms hold the stored bytes of a field; the memory form pads them.
  if (offset < FFieldDefs.NullBitmapSize() || f.DiskDataSize < 0 || f.DiskDataSize > std::max(f.MemoryDataSize, 0))
    throw EQXLException(10002, "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d",
                        {FieldNo, f.MemoryOffset, f.MemoryDataSize});
  Size = f.DiskDataSize;
  return FRecord + offset;
}

bool TQXLFieldAccessor::IsNull(std::int32_t FieldNo) const {
  std::int32_t size = 0;
  return FieldBytes(FieldNo, size) == nullptr;
}

bool TQXLFieldAccessor::GetField(std::int32_t FieldNo, void* Buffer) const {
  std::int32_t size = 0;
  const std::uint8_t* field = FieldBytes(FieldNo, size);
  if (!field) return false;
  const TQXLFieldDef& f = *FFieldDefs.GetDef(FieldNo);
  if (!Buffer || IsBlobFamily(f.AdvancedFieldType)) return true;
  if (FMemoryForm) return GetFieldDataFromRecordBuffer(FieldNo, FFieldDefs, Buffer, FRecord);
  switch (f.AdvancedFieldType) {
    case aftShortint: StoreValue(Buffer, static_cast<std::int16_t>(LoadValue<std::int8_t>(field))); break;
    case aftCardinal: StoreValue(Buffer, static_cast<std::int64_t>(LoadValue<std::uint32_t>(field))); break;
    case aftSingle: StoreValue(Buffer, static_cast<double>(LoadValue<float>(field))); break;
    case aftExtended: StoreValue(Buffer, static_cast<double>(LoadExtended(field))); break;
    default: {
      // The memory form is the stored bytes padded with zeros.
      auto* out = static_cast<std::uint8_t*>(Buffer);
      std::memcpy(out, field, static_cast<std::size_t>(size));
      if (f.MemoryDataSize > size) std::memset(out + size, 0, static_cast<std::size_t>(f.MemoryDataSize - size));
    }
  }
  return true;
}

std::string_view TQXLFieldAccessor::Text(std::int32_t FieldNo) const {
  std::int32_t size = 0;
  const std::uint8_t* field = FieldBytes(FieldNo, size);
  if (!field || !IsText(FFieldDefs.GetDef(FieldNo)->AdvancedFieldType)) return {};
  const char* chars = reinterpret_cast<const char*>(field);
  return {chars, strnlen(chars, static_cast<std::size_t>(size))};
}

}  // namespace qxl
