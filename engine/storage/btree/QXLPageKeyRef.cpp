#include "engine/storage/btree/QXLPageKeyRef.h"

#include <cstring>

namespace qxl {

TQXLPageKeyRef::TQXLPageKeyRef() {
  TQXLKeyPart Part;
  Part.ShortSize = Part.FullSize = 4;
  Part.DataType = bftSignedInt32;
  Parts.push_back(Part);
  ShortKeySize = FullKeySize = 4;
  ReferenceSize = 2;
  CompareFieldCount = 1;
}

int TQXLPageKeyRef::CompareShortKeys(const std::uint8_t* Key1, const std::uint8_t* Key2, bool, std::int32_t,
                                     const std::uint8_t*, const std::uint8_t*) {
  return CompareFullKeys(Key1, Key2);
}

int TQXLPageKeyRef::CompareFullKeys(const std::uint8_t* Key1, const std::uint8_t* Key2) {
  std::int32_t a, b;
  std::memcpy(&a, Key1, 4);
  std::memcpy(&b, Key2, 4);
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace qxl
