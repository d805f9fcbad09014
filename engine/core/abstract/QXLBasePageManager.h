#pragma once
// What the abstract database and table layer asks of a page cache: apply or
// drop one session's private page changes. The storage layer's page manager
// implements it; the core only holds and forwards the pointer. Callers hold
// the database lock; the interface itself takes none.
#include <cstdint>

namespace qxl {

class TQXLBasePageManager {
public:
  virtual ~TQXLBasePageManager() = default;

  virtual void ApplyChanges(std::int32_t SessionID) = 0;
  virtual void CancelChanges(std::int32_t SessionID) = 0;
  // Usable bytes of one page, the unit of the search's cost figures; 0 when unknown.
  virtual std::uint16_t PageDataSize() const { return 0; }
};

}  // namespace qxl
