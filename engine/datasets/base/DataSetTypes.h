#pragma once
// The vocabulary of the dataset base: its states, the events it sends to its
// data links, the fetch protocol's modes and results, bookmark flags and the
// option sets of searches and filters.
#include <cstdint>
#include <vector>

#include "engine/datasets/base/Set.h"

namespace qxl {

// Which buffer field access reads: browse the active record, edit and insert
// the record being changed, set-key the key being edited, calc-fields and
// internal-calc the record whose calculated fields are computed, filter the
// record being tested, new-value and old-value the new and old record.
enum TDataSetState : std::uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsInternalCalc,
  dsOpening,
};

enum TDataEvent : std::uint8_t {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
};

enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };

// Where a buffer's record stands: on a record, before the first, after the
// last, or a new record not yet stored.
enum TBookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TLocateOption : std::uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption : std::uint8_t { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

enum TBlobStreamMode : std::uint8_t { bmRead, bmWrite, bmReadWrite };

// A record's identity in the bytes the descendant gives; empty for none.
using TBookmark = std::vector<std::uint8_t>;
using TRecordBuffer = std::uint8_t*;

}  // namespace qxl
