#pragma once
// Narrows a record key's comparisons for one operation (fewer columns, text
// compared as a prefix) and widens them again when the operation ends, also
// when it raises, since the key reference is shared by every later caller.
// Thread rule: a local of one call, under the table lock.
#include <algorithm>
#include <cstdint>

#include "engine/storage/btree/QXLRecordKeyRef.h"

namespace qxl {

class TQXLKeyCompareScope {
public:
  explicit TQXLKeyCompareScope(TQXLRecordKeyRef& KeyRef) : FKeyRef(KeyRef) {}
  ~TQXLKeyCompareScope() {
    FKeyRef.CompareFieldCount = FKeyRef.PartCount();
    if (FPartial) FKeyRef.SetPartialCompare(nullptr, false);
  }
  TQXLKeyCompareScope(const TQXLKeyCompareScope&) = delete;
  TQXLKeyCompareScope& operator=(const TQXLKeyCompareScope&) = delete;

  // Compares the first FieldCount columns; a count beyond the key means all.
  void SetFieldCount(std::int32_t FieldCount) {
    FKeyRef.CompareFieldCount = std::clamp(FieldCount, 0, FKeyRef.PartCount());
  }
  void SetPartialCompare(const std::uint8_t* RecordBuffer, bool PartialCompare) {
    FPartial = true;
    FKeyRef.SetPartialCompare(RecordBuffer, PartialCompare);
  }

private:
  TQXLRecordKeyRef& FKeyRef;
  bool FPartial = false;
};

}  // namespace qxl
