#include "engine/storage/btree/QXLKeyPath.h"

#include "engine/core/QXLException.h"

namespace qxl {

std::int32_t TQXLKeyPath::CheckedLevel(std::int32_t Level) const {
  if (Level < 0 || Level >= MaxLevels) throw EQXLException(20313, "Index error: key path level %d out of range", {Level});
  return Level;
}

void TQXLKeyPath::Assign(const TQXLKeyPath& Source) {
  FCount = Source.FCount;
  FItemNo = Source.FItemNo;
  PositionType = Source.PositionType;
  IndexState = Source.IndexState;
  for (std::int32_t i = 0; i < FCount; ++i) FItems[i] = Source.FItems[i];
}

void TQXLKeyPath::AddItem(std::int32_t PageNo, std::int32_t EntryNo, std::int32_t EntryCount) {
  Item(FItemNo) = {PageNo, EntryNo, EntryCount};
  ++FItemNo;
  ++FCount;
}

void TQXLKeyPath::DeleteLastItem() {
  if (FCount == 0) return;
  --FItemNo;
  --FCount;
}

bool TQXLKeyPath::PageExists(std::int32_t PageNo) const {
  for (std::int32_t i = 0; i < FCount; ++i)
    if (FItems[i].PageNo == PageNo) return true;
  return false;
}

std::int32_t TQXLKeyPath::Compare(const TQXLKeyPath& Other) const {
  if (FCount != Other.FCount) throw EQXLException(20051, "Invalid index key path");
  for (std::int32_t i = 0; i < FCount; ++i) {
    if (FItems[i].PageNo != Other.FItems[i].PageNo) throw EQXLException(20052, "Invalid index key path");
    if (FItems[i].EntryNo < Other.FItems[i].EntryNo) return -1;
    if (FItems[i].EntryNo > Other.FItems[i].EntryNo) return 1;
  }
  return 0;
}

double TQXLKeyPath::GetApproxRecNoInPercents() const {
  std::int64_t Numerator = 0;
  std::int64_t Product = 1;
  for (std::int32_t i = FCount - 1; i >= 0; --i) {
    Numerator += FItems[i].EntryNo * Product;
    Product *= FItems[i].EntryCount;
  }
  return Product == 0 ? 0.0 : static_cast<double>(Numerator) / static_cast<double>(Product);
}

std::int64_t TQXLKeyPath::GetBitmapRecNoByIndexPosition(std::int32_t MaxEntriesPerPage) const {
  const std::int64_t Base = std::int64_t{MaxEntriesPerPage} + 1;
  std::int64_t Number = 0;
  for (std::int32_t i = 0; i < FCount; ++i) Number = Number * Base + FItems[i].EntryNo + 1;
  return Number;
}

void TQXLKeyPath::FillItemsByBitmapRecNo(std::int64_t RecordNo, std::int32_t MaxEntriesPerPage) {
  Clear();
  const std::int64_t Base = std::int64_t{MaxEntriesPerPage} + 1;
  if (RecordNo < 1 || Base < 2) throw EQXLException(20314, "Index error: invalid position number %d", {RecordNo});
  std::int32_t Digits = 0;
  for (std::int64_t Rest = RecordNo; Rest > 0; Rest /= Base) ++Digits;
  if (Digits > MaxLevels) throw EQXLException(20314, "Index error: invalid position number %d", {RecordNo});
  FCount = FItemNo = Digits;
  for (std::int32_t i = Digits - 1; i >= 0; --i) {
    FItems[i] = {-1, static_cast<std::int32_t>(RecordNo % Base) - 1, 0};
    RecordNo /= Base;
  }
}

}  // namespace qxl
