// Moving through a memory table's positions and numbering its records.
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"

namespace qxl {

namespace {

// Records present among the 8 positions of one delete-flag byte.
int PresentIn(std::uint8_t FlagByte) { return 8 - std::popcount(FlagByte); }

}  // namespace

TQXLGetRecordResult TQXLMemoryRecordManager::NavigateFromFirstPosition(TQXLGetRecordMode Mode,
                                                                       std::int64_t& Position) const {
  if (Mode == grmNext) {
    Position = FFirstRecordID;
    return grrOK;
  }
  return Mode == grmPrior ? grrBOF : grrError;
}

TQXLGetRecordResult TQXLMemoryRecordManager::NavigateFromLastPosition(TQXLGetRecordMode Mode,
                                                                      std::int64_t& Position) const {
  if (Mode == grmPrior) {
    Position = FLastRecordID;
    return grrOK;
  }
  return Mode == grmNext ? grrEOF : grrError;
}

TQXLGetRecordResult TQXLMemoryRecordManager::NavigateFromPosition(TQXLGetRecordMode Mode,
                                                                  std::int64_t& Position) const {
  switch (Mode) {
    case grmCurrent:
      return HoldsRecord(Position) ? grrOK : grrError;
    case grmNext:
      if (Position >= std::int64_t{FAllocatedRecordCount} - 1) return grrEOF;
      for (++Position;; ++Position) {
        if (Position > FLastRecordID || Position >= FAllocatedRecordCount) return grrEOF;
        if (Position >= 0 && !IsDeleted(Position)) return grrOK;
      }
    case grmPrior:
      if (Position < 1) return grrBOF;
      for (--Position;; --Position) {
        if (Position < FFirstRecordID) return grrBOF;
        if (Position < FAllocatedRecordCount && !IsDeleted(Position)) return grrOK;
      }
  }
  return grrError;
}

void TQXLMemoryRecordManager::GetRecordBuffer(std::int32_t, TQXLNavigationInfo& NavigationInfo) {
  if (FRecordCount == 0) {
    NavigationInfo.GetRecordResult = grrEOF;
    return;
  }
  std::int64_t p = NavigationInfo.RecordID.PageNo;
  TQXLGetRecordResult r;
  if (NavigationInfo.FirstPosition) {
    r = NavigateFromFirstPosition(NavigationInfo.GetRecordMode, p);
    if (r == grrOK) NavigationInfo.FirstPosition = false;
  } else if (NavigationInfo.LastPosition) {
    r = NavigateFromLastPosition(NavigationInfo.GetRecordMode, p);
    if (r == grrOK) NavigationInfo.LastPosition = false;
  } else {
    r = NavigateFromPosition(NavigationInfo.GetRecordMode, p);
  }
  NavigationInfo.RecordID = TQXLPageItemID{static_cast<std::int32_t>(p), 0};
  NavigationInfo.GetRecordResult = r;
  if (r != grrOK) return;
  if (!NavigationInfo.RecordBuffer) throw EQXLException(10019, "Error retrieving record");
  std::memcpy(NavigationInfo.RecordBuffer, RecordAt(p), static_cast<std::size_t>(FRecordBufferSize));
}

std::int64_t TQXLMemoryRecordManager::GetApproximateRecNo(std::int32_t, const TQXLPageItemID& RecordID) {
  const std::int64_t p = RecordID.PageNo;
  if (FRecordCount == 0 || p < FFirstRecordID || p > FLastRecordID) return -1;
  if (FRecordCount == 1 || FLastRecordID == FFirstRecordID) return 1;
  // The position's share of the span between the first and last record,
  // spread over the records there are: 1 at the first, RecordCount at the last.
  const double share = static_cast<double>(p - FFirstRecordID) / static_cast<double>(FLastRecordID - FFirstRecordID);
  return 1 + static_cast<std::int64_t>(std::nearbyint(share * static_cast<double>(FRecordCount - 1)));
}

std::int64_t TQXLMemoryRecordManager::RecNoToRecordPosition(std::int64_t RecNo) const {
  if (RecNo < 0 || RecNo >= FRecordCount) return -1;
  if (FNoRecordsDeleted) return RecNo;
  const std::uint8_t* flags = FDeleteFlagBuffer.get();
  std::int64_t before = 0;
  std::int64_t byte = 0;
  for (; before + PresentIn(flags[byte]) <= RecNo; ++byte) before += PresentIn(flags[byte]);
  for (std::int64_t p = byte * 8;; ++p) {
    if (IsDeleted(p)) continue;
    if (before == RecNo) return p;
    ++before;
  }
}

std::int64_t TQXLMemoryRecordManager::RecordPositionToRecNo(std::int64_t Position) const {
  if (Position < 0 || Position >= FAllocatedRecordCount) return -1;
  if (FNoRecordsDeleted) return Position + 1;
  const std::uint8_t* flags = FDeleteFlagBuffer.get();
  std::int64_t count = 0;
  for (std::int64_t byte = 0; byte < Position / 8; ++byte) count += PresentIn(flags[byte]);
  for (std::int64_t p = Position / 8 * 8; p <= Position; ++p) count += IsDeleted(p) ? 0 : 1;
  return count;
}

}  // namespace qxl
