#pragma once
// What a search walks, decided once before its first record: the scan
// conditions (the chosen start and end bounds among them), the index walked
// and the order the records come in, the direction, whether the records of
// the walk still need testing, and the estimated number of records the walk
// reads. A plan owns its conditions; their key buffers are its own copies.
// Thread rule: one owner; used under the table lock.
#include <cstdint>

#include "engine/core/search/QXLScanSearchCondition.h"

namespace qxl {

enum TQXLScanStrategy : std::uint8_t {
  ssEmpty = 0,                 // the bounds cannot both hold: no record qualifies
  ssFullScan = 1,              // every record in the order's sequence, each tested
  ssOrderIndexRange = 2,       // one range of the index that gives the order
  ssIndexRangeInPhysicalOrder = 3,  // one index range, records given in physical order
  ssOtherIndexRange = 4,       // one range of another index, records given in the order's sequence
};

struct TQXLSearchPlan {
  TQXLScanSearchConditionArray Conditions;
  // Positions in Conditions of the bound the walk starts from and of the one
  // it ends at; -1 for none (ScanConditionNo -1: the whole table).
  std::int32_t ScanConditionNo = -1;
  std::int32_t ScanEndConditionNo = -1;
  std::int32_t IndexID = -1;       // the index walked; -1: the table
  std::int32_t OrderIndexID = -1;  // the index whose order the records come in; -1: physical
  bool GoForward = true;
  TQXLScanStrategy Strategy = ssEmpty;
  // Conditions or a filter callback that the walked range does not settle.
  bool HasResidual = false;
  // Records the walk reads; negative until estimated (TQXLSearchPlanner::EstimateRows).
  double EstimatedRows = -1;

  TQXLScanSearchCondition* StartCondition() const {
    return ScanConditionNo == -1 ? nullptr : Conditions.Item(ScanConditionNo);
  }
  TQXLScanSearchCondition* EndCondition() const {
    return ScanEndConditionNo == -1 ? nullptr : Conditions.Item(ScanEndConditionNo);
  }
};

}  // namespace qxl
