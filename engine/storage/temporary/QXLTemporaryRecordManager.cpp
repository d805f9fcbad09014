#include "engine/storage/temporary/QXLTemporaryRecordManager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"

namespace qxl {

std::int64_t TemporaryRecordNo(const TQXLPageItemID& RecordID) {
  return static_cast<std::int64_t>(static_cast<std::uint32_t>(RecordID.PageNo)) |
         (static_cast<std::int64_t>(RecordID.PageItemNo) << 32);
}

TQXLPageItemID TemporaryRecordID(std::int64_t RecordNo) {
  return TQXLPageItemID{static_cast<std::int32_t>(static_cast<std::uint32_t>(RecordNo & 0xFFFFFFFF)),
                        static_cast<std::uint16_t>((RecordNo >> 32) & 0xFFFF)};
}

std::int32_t MaxCachedRecordCount(std::int64_t FreeMemory, std::int32_t RecordSize) {
  const std::int64_t size = std::max<std::int32_t>(RecordSize, 1);
  const std::int64_t byMemory = std::max<std::int64_t>(FreeMemory, 0) / 10 / size;
  const std::int64_t byBlock = TQXLMemoryManager::MaxBlockSize / size;
  return static_cast<std::int32_t>(std::min({byMemory, byBlock, std::int64_t{std::numeric_limits<std::int32_t>::max()}}));
}

TQXLTemporaryRecordManager::TQXLTemporaryRecordManager(std::int32_t RecordBufferSize, std::int32_t RecordsPerPage,
                                                       std::int32_t AllocRecordsBy, bool DisableTempFiles,
                                                       std::int64_t FreeMemory)
    : FRecordsPerPage(std::max(RecordsPerPage, 1)),
      FMaxCachedRecordCount(qxl::MaxCachedRecordCount(FreeMemory, RecordBufferSize)),
      FAllocRecordsBy(AllocRecordsBy),
      FDisableTempFiles(DisableTempFiles) {
  if (RecordBufferSize <= 0) throw EQXLException(10124, "Invalid record size = %d", {RecordBufferSize});
  FRecordBufferSize = RecordBufferSize;
  FTempPage.resize(static_cast<std::size_t>(FRecordsPerPage) * static_cast<std::size_t>(RecordBufferSize));
}

TQXLTemporaryRecordManager::~TQXLTemporaryRecordManager() = default;

void TQXLTemporaryRecordManager::Empty(std::int32_t) {
  FRecordCount = 0;
  FTempPageRecordCount = 0;
  FCache.reset();
  FCachedRecordCount = 0;
  FAllocatedRecordCount = 0;
  FTempPageFile.reset();
}

bool TQXLTemporaryRecordManager::GrowCache() {
  if (FCachedRecordCount < FAllocatedRecordCount) return true;
  if (!FDisableTempFiles && FAllocatedRecordCount >= FMaxCachedRecordCount) return false;
  std::int64_t n = GrownRecordCapacity(FAllocatedRecordCount, FAllocRecordsBy, FRecordBufferSize, FCachedRecordCount);
  if (!FDisableTempFiles) n = std::min<std::int64_t>(n, FMaxCachedRecordCount);
  if (n <= FCachedRecordCount) return false;
  void* cache = FCache.release();
  try {
    QXLMemoryManager().ReallocMem(cache, n * FRecordBufferSize);
  } catch (...) {
    FCache.reset(cache);
    throw;
  }
  FCache.reset(cache);
  FAllocatedRecordCount = static_cast<std::int32_t>(n);
  return true;
}

bool TQXLTemporaryRecordManager::AddRecord(std::int32_t, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) {
  if (!RecordBuffer) return false;
  const std::int64_t n = FRecordCount;
  // Spilled records exist only once the cache is full, so the cache holds records 0 .. its count - 1.
  if (FTempPageFile == nullptr && FTempPageRecordCount == 0 && GrowCache()) {
    std::memcpy(static_cast<std::uint8_t*>(FCache.get()) + n * FRecordBufferSize, RecordBuffer,
                static_cast<std::size_t>(FRecordBufferSize));
    ++FCachedRecordCount;
  } else if (FDisableTempFiles) {
    return false;
  } else {
    if (!FTempPageFile)
      FTempPageFile = std::make_unique<TQXLFileStream>(GetTemporaryFileName(), TQXLFileStream::fmCreate, true);
    if (FTempPageRecordCount >= FRecordsPerPage) FlushTempPage();
    std::memcpy(FTempPage.data() + std::int64_t{FTempPageRecordCount} * FRecordBufferSize, RecordBuffer,
                static_cast<std::size_t>(FRecordBufferSize));
    ++FTempPageRecordCount;
  }
  RecordID = TemporaryRecordID(n);
  ++FRecordCount;
  ++FTableState;
  return true;
}

void TQXLTemporaryRecordManager::RemoveLastRecord() {
  // The last record is always in the page being filled or, before anything
  // spilled, the last one of the cache.
  if (FTempPageRecordCount > 0) {
    --FTempPageRecordCount;
  } else if (FCachedRecordCount > 0 && FCachedRecordCount == FRecordCount) {
    --FCachedRecordCount;
  } else {
    return;
  }
  --FRecordCount;
  ++FTableState;
}

void TQXLTemporaryRecordManager::FlushTempPage() {
  if (FTempPageRecordCount < 1) return;
  if (FTempPageRecordCount > FRecordsPerPage)
    throw EQXLException(10126, "Invalid record count = %d. Limit is %d", {FTempPageRecordCount, FRecordsPerPage});
  const std::int64_t position =
      (FRecordCount - FCachedRecordCount - FTempPageRecordCount) * std::int64_t{FRecordBufferSize};
  SetStreamPosition(*FTempPageFile, 10128, position);
  const std::int64_t bytes = std::int64_t{FTempPageRecordCount} * FRecordBufferSize;
  if (FTempPageFile->Write(FTempPage.data(), static_cast<std::int32_t>(bytes)) != bytes)
    throw EQXLException(10125, "Error writing to stream");
  FTempPageRecordCount = 0;
}

void TQXLTemporaryRecordManager::ReadRecord(std::int64_t RecordNo, std::uint8_t* Buffer) {
  if (!Buffer) throw EQXLException(10127, "Error retrieving record");
  if (RecordNo < FCachedRecordCount) {
    std::memcpy(Buffer, static_cast<const std::uint8_t*>(FCache.get()) + RecordNo * FRecordBufferSize,
                static_cast<std::size_t>(FRecordBufferSize));
    return;
  }
  FlushTempPage();
  SetStreamPosition(*FTempPageFile, 10129, (RecordNo - FCachedRecordCount) * std::int64_t{FRecordBufferSize});
  ReadBufferFromStream(Buffer, FRecordBufferSize, *FTempPageFile, 10130);
}

bool TQXLTemporaryRecordManager::UpdateRecord(std::int32_t, const std::uint8_t*, const TQXLPageItemID&) {
  return false;
}

bool TQXLTemporaryRecordManager::DeleteRecord(std::int32_t, TQXLPageItemID&) { return false; }

TQXLGetRecordResult TQXLTemporaryRecordManager::Navigate(TQXLNavigationInfo& Nav, std::int64_t& n) const {
  const TQXLGetRecordMode mode = Nav.GetRecordMode;
  if (Nav.FirstPosition) {
    if (mode != grmNext) return mode == grmPrior ? grrBOF : grrError;
    n = 0;
    Nav.FirstPosition = false;
    return grrOK;
  }
  if (Nav.LastPosition) {
    if (mode != grmPrior) return mode == grmNext ? grrEOF : grrError;
    n = FRecordCount - 1;
    Nav.LastPosition = false;
    return grrOK;
  }
  switch (mode) {
    case grmCurrent:
      return n >= 0 && n < FRecordCount ? grrOK : grrError;
    case grmNext:
      if (n >= FRecordCount - 1) return grrEOF;
      ++n;
      return grrOK;
    case grmPrior:
      if (n <= 0) return grrBOF;
      n = std::min(n, FRecordCount) - 1;
      return grrOK;
  }
  return grrError;
}

void TQXLTemporaryRecordManager::GetRecordBuffer(std::int32_t, TQXLNavigationInfo& NavigationInfo) {
  if (FRecordCount == 0) {
    NavigationInfo.GetRecordResult = grrEOF;
    return;
  }
  std::int64_t n = TemporaryRecordNo(NavigationInfo.RecordID);
  const TQXLGetRecordResult r = Navigate(NavigationInfo, n);
  NavigationInfo.RecordID = TemporaryRecordID(n);
  NavigationInfo.GetRecordResult = r;
  if (r == grrOK) ReadRecord(n, NavigationInfo.RecordBuffer);
}

std::int32_t TQXLTemporaryRecordManager::CompareRecordID(const TQXLPageItemID& RecordID1,
                                                         const TQXLPageItemID& RecordID2) {
  const std::int64_t a = TemporaryRecordNo(RecordID1);
  const std::int64_t b = TemporaryRecordNo(RecordID2);
  return a > b ? 1 : (a < b ? -1 : 0);
}

std::int64_t TQXLTemporaryRecordManager::GetApproximateRecNo(std::int32_t, const TQXLPageItemID& RecordID) {
  const std::int64_t n = TemporaryRecordNo(RecordID);
  return n < FRecordCount ? n + 1 : -1;
}

}  // namespace qxl
