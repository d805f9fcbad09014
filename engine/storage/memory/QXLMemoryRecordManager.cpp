#include "engine/storage/memory/QXLMemoryRecordManager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLFormEditorMode.h"

namespace qxl {

namespace {

std::int64_t FlagBytes(std::int64_t Positions) { return (Positions + 7) / 8; }

}  // namespace

std::int64_t GrownRecordCapacity(std::int64_t Allocated, std::int32_t AllocBy, std::int32_t RecordSize,
                                 std::int64_t Needed) {
  const std::int64_t byPosition = std::numeric_limits<std::int32_t>::max();
  const std::int64_t byBlock = TQXLMemoryManager::MaxBlockSize / std::max<std::int32_t>(RecordSize, 1);
  const std::int64_t limit = std::min(byPosition, byBlock);
  if (Needed < Allocated) return Allocated;
  if (Needed >= limit) return Allocated;
  const std::int64_t step = std::max<std::int64_t>({AllocBy, Allocated, 1});
  return std::min(std::max(Allocated + step, Needed + 1), limit);
}

void TQXLMemoryRecordManager::TBlockFree::operator()(std::uint8_t* Block) const {
  try {
    QXLMemoryManager().FreeMem(Block);
  } catch (...) {
    // A damaged guard is reported when the block is freed; a destructor cannot pass it on.
  }
}

TQXLMemoryRecordManager::TQXLMemoryRecordManager(std::int32_t RecordBufferSize, std::int32_t AllocRecordsBy)
    : FAllocRecordsBy(AllocRecordsBy) {
  if (RecordBufferSize == 0 && !FormEditorMode) throw EQXLException(10011, "Invalid record size = 0");
  FRecordBufferSize = RecordBufferSize;
}

TQXLMemoryRecordManager::~TQXLMemoryRecordManager() = default;

void TQXLMemoryRecordManager::Empty(std::int32_t) {
  FRecordBuffer.reset();
  FDeleteFlagBuffer.reset();
  FAllocatedRecordCount = 0;
  FRecordCount = 0;
  FFirstRecordID = 0;
  FLastRecordID = 0;
  // Bitmaps and temporary indexes that reflect the former records must notice.
  ++FTableState;
}

bool TQXLMemoryRecordManager::IsDeleted(std::int64_t Position) const {
  return (FDeleteFlagBuffer.get()[Position / 8] >> (Position % 8)) & 1;
}

void TQXLMemoryRecordManager::SetDeleted(std::int64_t Position, bool Deleted) {
  std::uint8_t& b = FDeleteFlagBuffer.get()[Position / 8];
  const auto bit = static_cast<std::uint8_t>(1u << (Position % 8));
  b = Deleted ? static_cast<std::uint8_t>(b | bit) : static_cast<std::uint8_t>(b & ~bit);
}

bool TQXLMemoryRecordManager::HoldsRecord(std::int64_t Position) const {
  return FRecordCount > 0 && Position >= FFirstRecordID && Position <= FLastRecordID && !IsDeleted(Position);
}

std::uint8_t* TQXLMemoryRecordManager::RecordAt(std::int64_t Position) const {
  return FRecordBuffer.get() + Position * FRecordBufferSize;
}

const std::uint8_t* TQXLMemoryRecordManager::StoredRecord(std::int64_t Position) const {
  return HoldsRecord(Position) ? RecordAt(Position) : nullptr;
}

bool TQXLMemoryRecordManager::Reserve(std::int64_t Position) {
  if (Position < FAllocatedRecordCount) return true;
  const std::int64_t n = GrownRecordCapacity(FAllocatedRecordCount, FAllocRecordsBy, FRecordBufferSize, Position);
  if (n <= Position) return false;
  auto& mm = QXLMemoryManager();
  // Each buffer is replaced only once its larger copy exists, so a refusal
  // leaves the array as it was.
  std::uint8_t* records = FRecordBuffer.get();
  mm.ReallocMem(records, std::max<std::int64_t>(n * FRecordBufferSize, 1));
  static_cast<void>(FRecordBuffer.release());
  FRecordBuffer.reset(records);
  std::uint8_t* flags = FDeleteFlagBuffer.get();
  const std::int64_t oldBytes = FlagBytes(FAllocatedRecordCount);
  mm.ReallocMem(flags, FlagBytes(n));
  static_cast<void>(FDeleteFlagBuffer.release());
  FDeleteFlagBuffer.reset(flags);
  // New positions hold no record until one is added there.
  std::memset(flags + oldBytes, 0xFF, static_cast<std::size_t>(FlagBytes(n) - oldBytes));
  FAllocatedRecordCount = static_cast<std::int32_t>(n);
  return true;
}

bool TQXLMemoryRecordManager::AddRecord(std::int32_t, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) {
  const std::int64_t p = FRecordCount > 0 ? std::int64_t{FLastRecordID} + 1 : 0;
  if (!RecordBuffer || !Reserve(p)) return false;
  std::memcpy(RecordAt(p), RecordBuffer, static_cast<std::size_t>(FRecordBufferSize));
  SetDeleted(p, false);
  if (FRecordCount == 0 || p < FFirstRecordID) FFirstRecordID = static_cast<std::int32_t>(p);
  FLastRecordID = static_cast<std::int32_t>(p);
  ++FRecordCount;
  ++FTableState;
  RecordID = TQXLPageItemID{static_cast<std::int32_t>(p), 0};
  return true;
}

bool TQXLMemoryRecordManager::UpdateRecord(std::int32_t, const std::uint8_t* RecordBuffer,
                                           const TQXLPageItemID& RecordID) {
  // A record another cursor deleted stays deleted: storing the change there
  // would report success for a change nobody can read.
  if (!RecordBuffer || !HoldsRecord(RecordID.PageNo)) return false;
  std::memcpy(RecordAt(RecordID.PageNo), RecordBuffer, static_cast<std::size_t>(FRecordBufferSize));
  ++FTableState;
  return true;
}

bool TQXLMemoryRecordManager::DeleteRecord(std::int32_t, TQXLPageItemID& RecordID) {
  const std::int64_t p = RecordID.PageNo;
  if (!HoldsRecord(p)) return false;
  SetDeleted(p, true);
  --FRecordCount;
  if (FRecordCount == 0) {
    FFirstRecordID = 0;
    FLastRecordID = 0;
  } else {
    // The caller's identity keeps naming the deleted record; only the bounds move.
    std::int64_t q = p;
    if (p == FFirstRecordID && NavigateFromPosition(grmNext, q) == grrOK) FFirstRecordID = static_cast<std::int32_t>(q);
    q = p;
    if (p == FLastRecordID && NavigateFromPosition(grmPrior, q) == grrOK) FLastRecordID = static_cast<std::int32_t>(q);
  }
  FNoRecordsDeleted = false;
  ++FTableState;
  return true;
}

std::int32_t TQXLMemoryRecordManager::CompareRecordID(const TQXLPageItemID& RecordID1,
                                                      const TQXLPageItemID& RecordID2) {
  if (RecordID1.PageNo > RecordID2.PageNo) return 1;
  if (RecordID1.PageNo < RecordID2.PageNo) return -1;
  return 0;
}

}  // namespace qxl
