#pragma once
// Stands in for the storage layer's page cache where the abstract layer only
// applies or cancels a session's changes: it records the calls it gets.
#include <cstdint>
#include <vector>

#include "engine/core/abstract/QXLBasePageManager.h"

namespace qxl {

class FakePageManager : public TQXLBasePageManager {
public:
  void ApplyChanges(std::int32_t SessionID) override { Applied.push_back(SessionID); }
  void CancelChanges(std::int32_t SessionID) override { Cancelled.push_back(SessionID); }
  std::uint16_t PageDataSize() const override { return DataSize; }

  std::vector<std::int32_t> Applied;
  std::vector<std::int32_t> Cancelled;
  std::uint16_t DataSize = 0;
};

}  // namespace qxl
