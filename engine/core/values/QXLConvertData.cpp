#include <cstring>
#include <limits>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLConvertValue.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

void CopyDataToNewMemory(TQXLBaseFieldType DataType, const void* Source, void*& Buffer, std::int32_t& Size) {
  Buffer = nullptr;
  Size = 0;
  if (!Source) throw EQXLException(30054, "Cannot copy data into new memory");
  // Longer text would not fit the 32-bit size of a block.
  constexpr std::size_t maxAnsi = std::numeric_limits<std::int32_t>::max() - 1;
  constexpr std::size_t maxWide = std::numeric_limits<std::int32_t>::max() / 2 - 1;
  std::int64_t size;
  if (qxl::IsAnsiTextType(DataType)) {
    const std::size_t length = qxl::LoadAnsiText(Source, maxAnsi + 1).size();
    if (length > maxAnsi) return;
    size = qxl::GetDataTypeSize(DataType, static_cast<std::int32_t>(length));
  } else if (qxl::IsWideTextType(DataType)) {
    const std::size_t length = qxl::WideTextLength(Source, maxWide + 1);
    if (length > maxWide) return;
    size = qxl::GetDataTypeSize(DataType, static_cast<std::int32_t>(length));
  } else {
    size = qxl::GetDataTypeSize(DataType);
  }
  // A block that cannot be had is the memory manager's error, not an empty value.
  void* block = QXLMemoryManager().GetMem(size);
  std::memcpy(block, Source, static_cast<std::size_t>(size));
  Buffer = block;
  Size = static_cast<std::int32_t>(size);
}

void* ConvertData(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                  TQXLBaseFieldType DestType, std::int32_t& DestSize) {
  DestSize = 0;
  auto castError = [&](std::int32_t code) {
    return EQXLException(code, "Cannot cast from '%s' to '%s'",
                         {qxl::BaseFieldTypeName(SourceType), qxl::BaseFieldTypeName(DestType)});
  };
  if (!qxl::HasConversion(SourceType, DestType)) throw castError(30052);
  std::string value;
  try {
    if (!Source) throw castError(30051);
    value = qxl::ConvertValue(Source, SourceSize, SourceType, DestType);
  } catch (const platform::Exception&) {
    // What does not convert; running out of memory is passed on as it is.
    throw castError(30051);
  }
  void* buffer = nullptr;
  if (DestType == bftBlob) {
    // A BLOB takes every byte built, terminators included.
    if (value.empty()) throw castError(30052);
    buffer = QXLMemoryManager().GetMem(static_cast<std::int64_t>(value.size()));
    std::memcpy(buffer, value.data(), value.size());
    DestSize = static_cast<std::int32_t>(value.size());
  } else {
    qxl::CopyDataToNewMemory(DestType, value.data(), buffer, DestSize);
  }
  if (!buffer) throw castError(30052);
  return buffer;
}

}  // namespace qxl
