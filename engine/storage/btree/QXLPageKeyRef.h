#pragma once
// The key of a page index: a page number (signed 32-bit, ascending, never
// NULL) with the page's 16-bit counter as reference.
// Thread rule: as every key reference, one operation at a time.
#include "engine/storage/btree/QXLBTreeKeyRef.h"

namespace qxl {

class TQXLPageKeyRef : public TQXLBTreeKeyRef {
public:
  TQXLPageKeyRef();

  int CompareShortKeys(const std::uint8_t* Key1, const std::uint8_t* Key2, bool MayUseFullKeys,
                       std::int32_t SessionID, const std::uint8_t* Reference1,
                       const std::uint8_t* Reference2) override;
  int CompareFullKeys(const std::uint8_t* Key1, const std::uint8_t* Key2) override;
};

}  // namespace qxl
