#pragma once
// One navigation request to a record manager or an index: which record to
// move from, which way, into which buffer, and what came of it. A plain
// record handed down and back on the caller's thread.
#include <cstdint>

#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

enum TQXLGetRecordMode : std::uint8_t { grmCurrent = 0, grmNext = 1, grmPrior = 2 };

// grrBOF: moved before the first record; grrEOF: past the last one or the
// table is empty; grrError: the record asked for does not exist.
enum TQXLGetRecordResult : std::uint8_t { grrOK = 0, grrBOF = 1, grrEOF = 2, grrError = 3 };

#pragma pack(push, 1)
struct TQXLNavigationInfo {
  TQXLGetRecordMode GetRecordMode = grmCurrent;
  // The index that gives the order; -1 for physical order.
  std::int32_t IndexID = -1;
  // In: the position to move from; out: the record fetched.
  TQXLPageItemID RecordID{};
  // Receives the memory form of the record; never null.
  std::uint8_t* RecordBuffer = nullptr;
  // In: the position is before the first (after the last) record; out:
  // cleared when a record was fetched.
  bool FirstPosition = false;
  bool LastPosition = false;
  TQXLGetRecordResult GetRecordResult = grrOK;
};
#pragma pack(pop)

}  // namespace qxl
