#pragma once
// A position in one B-tree: one item (page, entry, entry count) per level from
// the root down. Also read as a 64-bit position number for record bitmaps and
// as an approximate relative position for range estimates.
// Thread rule: one owner at a time; it is plain data.
#include <array>
#include <cstdint>

#include "engine/core/containers/QXLIndexPositionCache.h"

namespace qxl {

enum TQXLKeyPathPosition : std::uint8_t { kppUnknown, kppOnKey, kppBeforeKey, kppAfterKey, kppBOF, kppEOF };

struct TQXLKeyPathItem {
  std::int32_t PageNo = -1;
  std::int32_t EntryNo = 0;
  std::int32_t EntryCount = 0;
};

class TQXLKeyPath : public TQXLKeyPathBase {
public:
  // The deepest tree a path can describe.
  static constexpr std::int32_t MaxLevels = 32;

  void Clear() {
    FCount = 0;
    FItemNo = 0;
  }
  void Assign(const TQXLKeyPath& Source);
  // Writes the item at ItemNo and steps one level down; raises 20313 when
  // the path would pass MaxLevels (a damaged or looping tree).
  void AddItem(std::int32_t PageNo, std::int32_t EntryNo, std::int32_t EntryCount);
  void DeleteLastItem();
  void IncLevel() { ++FItemNo; }
  void DecLevel() { --FItemNo; }

  std::int32_t Count() const { return FCount; }
  std::int32_t ItemNo() const { return FItemNo; }
  TQXLKeyPathItem& Item(std::int32_t Level) { return FItems[CheckedLevel(Level)]; }
  const TQXLKeyPathItem& Item(std::int32_t Level) const { return FItems[CheckedLevel(Level)]; }
  TQXLKeyPathItem& Last() { return Item(FCount - 1); }
  std::int32_t CurrentPageNo() const { return Item(FItemNo).PageNo; }
  void SetCurrentPageNo(std::int32_t PageNo) { Item(FItemNo).PageNo = PageNo; }

  bool PageExists(std::int32_t PageNo) const;
  // -1, 0 or 1 as this path lies before, at or after the other; both must be
  // taken in one state of one tree (20051, 20052 otherwise).
  std::int32_t Compare(const TQXLKeyPath& Other) const;
  // A fraction from 0 up to below 1.
  double GetApproxRecNoInPercents() const;
  std::int64_t GetBitmapRecNoByIndexPosition(std::int32_t MaxEntriesPerPage) const;
  // The inverse for RecordNo >= 1; page numbers are left -1. Raises 20314 for
  // a number that is no position (below 1, or deeper than MaxLevels).
  void FillItemsByBitmapRecNo(std::int64_t RecordNo, std::int32_t MaxEntriesPerPage);

  TQXLKeyPathPosition PositionType = kppUnknown;
  std::int32_t IndexState = 0;

private:
  std::int32_t CheckedLevel(std::int32_t Level) const;

  std::array<TQXLKeyPathItem, MaxLevels> FItems{};
  std::int32_t FCount = 0;
  std::int32_t FItemNo = 0;
};

}  // namespace qxl
