#pragma once
// What a key of one B-tree is: its parts, the sizes of its short and full
// forms and of the reference stored with each leaf entry, and how two keys
// and two references compare.
// Thread rule: a key reference belongs to one index and serves one operation
// at a time (comparisons change its state); the table's lock serialises them.
#include <cstdint>
#include <vector>

#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/storage/btree/QXLKeyPart.h"

namespace qxl {

class TQXLBTreeKeyRef {
public:
  virtual ~TQXLBTreeKeyRef() = default;

  std::int32_t ShortKeySize = 0;
  std::int32_t FullKeySize = 0;
  std::uint16_t ReferenceSize = 0;
  std::int32_t CompareFieldCount = 0;
  std::vector<TQXLKeyPart> Parts;

  std::int32_t PartCount() const { return static_cast<std::int32_t>(Parts.size()); }
  virtual void SetPartCount(std::int32_t Value) { Parts.resize(static_cast<std::size_t>(Value)); }
  // Whether a short key of the compared parts may be a cut prefix.
  bool HasCutParts() const;

  // Zero-filled blocks of the engine memory manager.
  TQXLOwnedBlock AllocShortKeyBuffer() const;
  TQXLOwnedBlock AllocFullKeyBuffer() const;

  // Key1 is the search key, Key2 a stored one with its reference Reference2;
  // Reference1 is the search key's reference, or null when the search key was
  // made from the key reference's own record. -1, 0 or 1.
  virtual int CompareShortKeys(const std::uint8_t* Key1, const std::uint8_t* Key2, bool MayUseFullKeys,
                               std::int32_t SessionID, const std::uint8_t* Reference1,
                               const std::uint8_t* Reference2) = 0;
  virtual int CompareFullKeys(const std::uint8_t* Key1, const std::uint8_t* Key2) = 0;

  // Size 6: two record identities (page signed, item unsigned); any other
  // size: the bytes as unsigned numbers from the first on.
  static int CompareReferences(const std::uint8_t* Reference1, const std::uint8_t* Reference2, std::int32_t Size);
};

}  // namespace qxl
