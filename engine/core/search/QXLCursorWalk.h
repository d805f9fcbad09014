#pragma once
// A cursor's walk through its restricted view, kept between its steps so that
// a step through a range goes on from the place the last one left instead of
// planning again. The walk remembers the view it was planned for (index,
// range bounds and their keys, whether a filter callback is set) and holds
// only while the cursor stands on the record it last gave and the table has
// not changed. Views with filter expressions or DISTINCT are planned afresh
// at each step: their expressions can change under the same object.
// Thread rule: the cursor's; used under the table lock.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/search/QXLRecordIterator.h"

namespace qxl {

class TQXLCursor;
class TQXLTableData;

class TQXLCursorWalk {
public:
  TQXLCursorWalk(const TQXLTableData& Table, const TQXLCursor& Cursor, std::unique_ptr<TQXLRecordIterator> Iterator);

  TQXLRecordIterator& Iterator() { return *FIterator; }
  // Whether a view of the cursor may be walked by a kept walk at all.
  static bool CanKeep(const TQXLCursor& Cursor);
  // Whether the cursor may step on with this walk.
  bool Fits(const TQXLTableData& Table, const TQXLCursor& Cursor);

private:
  const TQXLTableData* FTable;
  std::unique_ptr<TQXLRecordIterator> FIterator;
  std::int32_t FSessionID;
  std::int32_t FIndexID;
  const std::uint8_t* FRangeStart;
  const std::uint8_t* FRangeEnd;
  std::int32_t FStartCount;
  std::int32_t FEndCount;
  bool FStartExclusive;
  bool FEndExclusive;
  bool FFilterRecord;
  std::vector<std::uint8_t> FStartKey;
  std::vector<std::uint8_t> FEndKey;
};

}  // namespace qxl
