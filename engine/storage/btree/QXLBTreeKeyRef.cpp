#include "engine/storage/btree/QXLBTreeKeyRef.h"

#include <cstring>

#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

bool TQXLBTreeKeyRef::HasCutParts() const {
  for (std::int32_t i = 0; i < CompareFieldCount && i < PartCount(); ++i)
    if (Parts[static_cast<std::size_t>(i)].AddedSize != 0) return true;
  return false;
}

TQXLOwnedBlock TQXLBTreeKeyRef::AllocShortKeyBuffer() const {
  return TQXLOwnedBlock(QXLMemoryManager().AllocMem(ShortKeySize));
}

TQXLOwnedBlock TQXLBTreeKeyRef::AllocFullKeyBuffer() const {
  return TQXLOwnedBlock(QXLMemoryManager().AllocMem(FullKeySize));
}

int TQXLBTreeKeyRef::CompareReferences(const std::uint8_t* Reference1, const std::uint8_t* Reference2,
                                       std::int32_t Size) {
  if (Size == 6) {
    std::int32_t Page1, Page2;
    std::uint16_t Item1, Item2;
    std::memcpy(&Page1, Reference1, 4);
    std::memcpy(&Page2, Reference2, 4);
    if (Page1 != Page2) return Page1 < Page2 ? -1 : 1;
    std::memcpy(&Item1, Reference1 + 4, 2);
    std::memcpy(&Item2, Reference2 + 4, 2);
    return Item1 < Item2 ? -1 : Item1 > Item2 ? 1 : 0;
  }
  for (std::int32_t i = 0; i < Size; ++i)
    if (Reference1[i] != Reference2[i]) return Reference1[i] < Reference2[i] ? -1 : 1;
  return 0;
}

}  // namespace qxl
