#include "engine/core/search/QXLCursorWalk.h"

#include <cstring>

#include "engine/core/abstract/QXLCursor.h"

namespace qxl {

namespace {

std::vector<std::uint8_t> KeyCopy(const std::uint8_t* Buffer, std::int32_t Size) {
  if (!Buffer || Size <= 0) return {};
  return {Buffer, Buffer + Size};
}

bool SameKey(const std::vector<std::uint8_t>& Kept, const std::uint8_t* Buffer, std::int32_t Size) {
  if (!Buffer || Size <= 0) return Kept.empty();
  return Kept.size() == static_cast<std::size_t>(Size) && std::memcmp(Kept.data(), Buffer, Kept.size()) == 0;
}

}  // namespace

TQXLCursorWalk::TQXLCursorWalk(const TQXLTableData& Table, const TQXLCursor& Cursor,
                               std::unique_ptr<TQXLRecordIterator> Iterator)
    : FTable(&Table),
      FIterator(std::move(Iterator)),
      FSessionID(Cursor.SessionID()),
      FIndexID(Cursor.FIndexID),
      FRangeStart(Cursor.FRangeStartBuffer),
      FRangeEnd(Cursor.FRangeEndBuffer),
      FStartCount(Cursor.FRangeStartKeyFieldCount),
      FEndCount(Cursor.FRangeEndKeyFieldCount),
      FStartExclusive(Cursor.FRangeStartExclusive),
      FEndExclusive(Cursor.FRangeEndExclusive),
      FFilterRecord(static_cast<bool>(Cursor.FilterRecord)),
      FStartKey(KeyCopy(Cursor.FRangeStartBuffer, Cursor.FKeyBufferSize)),
      FEndKey(KeyCopy(Cursor.FRangeEndBuffer, Cursor.FKeyBufferSize)) {}

bool TQXLCursorWalk::CanKeep(const TQXLCursor& Cursor) {
  return !Cursor.FFilterExpression && !Cursor.FSQLFilterExpression && !Cursor.IsDistinctApplied();
}

bool TQXLCursorWalk::Fits(const TQXLTableData& Table, const TQXLCursor& Cursor) {
  if (&Table != FTable || !CanKeep(Cursor) || Cursor.FirstPosition || Cursor.LastPosition) return false;
  if (Cursor.SessionID() != FSessionID || Cursor.FIndexID != FIndexID ||
      Cursor.FRangeStartBuffer != FRangeStart || Cursor.FRangeEndBuffer != FRangeEnd ||
      Cursor.FRangeStartKeyFieldCount != FStartCount || Cursor.FRangeEndKeyFieldCount != FEndCount ||
      Cursor.FRangeStartExclusive != FStartExclusive || Cursor.FRangeEndExclusive != FEndExclusive ||
      static_cast<bool>(Cursor.FilterRecord) != FFilterRecord)
    return false;
  if (!SameKey(FStartKey, Cursor.FRangeStartBuffer, Cursor.FKeyBufferSize) ||
      !SameKey(FEndKey, Cursor.FRangeEndBuffer, Cursor.FKeyBufferSize))
    return false;
  return FIterator->RecordID() == Cursor.CurrentRecordID && FIterator->PlaceHolds();
}

}  // namespace qxl
