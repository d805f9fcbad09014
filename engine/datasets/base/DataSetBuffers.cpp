// The ring of record buffers: allocation, fetching into the ring, navigation
// and bookmarks.
#include <algorithm>

#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

void TDataSet::AllocateBuffers() {
  FreeBuffers();
  // One spare slot: a record is fetched into it before the ring turns.
  for (std::int32_t i = 0; i <= FBufferCount; ++i) FBuffers.push_back(AllocRecordBuffer());
  FTempBuffer = AllocRecordBuffer();
}

void TDataSet::FreeBuffers() {
  for (TRecordBuffer& b : FBuffers) FreeRecordBuffer(b);
  FBuffers.clear();
  if (FTempBuffer) FreeRecordBuffer(FTempBuffer);
  FTempBuffer = nullptr;
  FBufferRecords = 0;
  FActiveRecord = 0;
}

void TDataSet::SetBufferCount(std::int32_t Value) {
  Value = std::max(Value, 1);
  if (Value == FBufferCount) return;
  FBufferCount = Value;
  if (!Active() || FState == dsOpening) return;
  CheckBrowseMode();
  UpdateCursorPos();
  AllocateBuffers();
  Resync(false, true);
}

void TDataSet::ClearBuffers() {
  FBufferRecords = 0;
  FActiveRecord = 0;
  FBOF = FEOF = false;
}

TGetResult TDataSet::Fetch(TRecordBuffer Buffer, TGetMode Mode, bool DoCheck) {
  TGetResult result = GetRecord(Buffer, Mode, DoCheck);
  if (result == grOK) CalculateFields(Buffer);
  return result;
}

bool TDataSet::GetNextRecord() {
  const std::int32_t slot = FBufferRecords;  // the spare slot when the ring is full
  if (FBufferRecords > 0) InternalSetToRecord(Buffer(FBufferRecords - 1));
  if (Fetch(Buffer(slot), gmNext, true) != grOK) return false;
  if (FBufferRecords < FBufferCount) {
    ++FBufferRecords;
  } else {
    std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.end());
    FActiveRecord = std::max(FActiveRecord - 1, 0);
  }
  return true;
}

bool TDataSet::GetPriorRecord() {
  const bool hadRecords = FBufferRecords > 0;
  if (hadRecords) InternalSetToRecord(Buffer(0));
  if (Fetch(Buffer(FBufferCount), gmPrior, true) != grOK) return false;
  // The spare slot comes to the front; the last record drops out of a full ring.
  std::rotate(FBuffers.begin(), FBuffers.begin() + FBufferCount, FBuffers.end());
  if (FBufferRecords < FBufferCount) ++FBufferRecords;
  if (hadRecords) FActiveRecord = std::min(FActiveRecord + 1, FBufferRecords - 1);
  return true;
}

std::int32_t TDataSet::GetNextRecords() {
  std::int32_t n = 0;
  while (FBufferRecords < FBufferCount && GetNextRecord()) ++n;
  return n;
}

std::int32_t TDataSet::GetPriorRecords() {
  std::int32_t n = 0;
  while (FBufferRecords < FBufferCount && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::UpdateCursorPos() {
  if (FBufferRecords > 0 && GetBookmarkFlag(Buffer(FActiveRecord)) == bfCurrent)
    InternalSetToRecord(Buffer(FActiveRecord));
}

void TDataSet::Resync(bool Exact, bool Center) {
  ClearBuffers();
  TRecordBuffer first = Buffer(0);
  if (Fetch(first, gmCurrent, false) != grOK) {
    if (Exact) DatabaseError("Record not found", this);
    if (Fetch(first, gmNext, false) != grOK && Fetch(first, gmPrior, false) != grOK) {
      FBOF = FEOF = true;
      DataEvent(deDataSetChange);
      return;
    }
  }
  FBufferRecords = 1;
  FActiveRecord = 0;
  if (Center)
    for (std::int32_t i = 0; i < (FBufferCount - 1) / 2 && GetPriorRecord(); ++i) {}
  GetNextRecords();
  GetPriorRecords();
  DataEvent(deDataSetChange);
}

void TDataSet::First() {
  CheckBrowseMode();
  Run(BeforeScroll);
  ClearBuffers();
  InternalFirst();
  GetNextRecords();
  FBOF = true;
  FEOF = FBufferRecords == 0;
  DataEvent(deDataSetChange);
  Run(AfterScroll);
}

void TDataSet::Last() {
  CheckBrowseMode();
  Run(BeforeScroll);
  ClearBuffers();
  InternalLast();
  GetPriorRecords();
  FActiveRecord = std::max(FBufferRecords - 1, 0);
  FEOF = true;
  FBOF = FBufferRecords == 0;
  DataEvent(deDataSetChange);
  Run(AfterScroll);
}

std::int32_t TDataSet::MoveBy(std::int32_t Distance) {
  CheckBrowseMode();
  if ((Distance > 0 && FEOF) || (Distance < 0 && FBOF) || Distance == 0) return 0;
  Run(BeforeScroll);
  FBOF = FEOF = false;
  std::int32_t moved = 0;
  while (moved != Distance) {
    if (Distance > 0) {
      if (FActiveRecord + 1 < FBufferRecords) {
        ++FActiveRecord;
      } else if (GetNextRecord()) {
        FActiveRecord = FBufferRecords - 1;
      } else {
        FEOF = true;
        break;
      }
      ++moved;
    } else {
      if (FActiveRecord > 0) {
        --FActiveRecord;
      } else if (GetPriorRecord()) {
        FActiveRecord = 0;
      } else {
        FBOF = true;
        break;
      }
      --moved;
    }
  }
  DataEvent(deDataSetScroll);
  Run(AfterScroll);
  return moved;
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

void TDataSet::Refresh() {
  CheckBrowseMode();
  Run(BeforeRefresh);
  UpdateCursorPos();
  InternalRefresh();
  Resync(false, false);
  Run(AfterRefresh);
}

TBookmark TDataSet::GetBookmark() {
  if (FState == dsInactive || IsEmpty() || GetBookmarkFlag(Buffer(FActiveRecord)) != bfCurrent) return {};
  return GetBookmarkData(Buffer(FActiveRecord));
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  Run(BeforeScroll);
  InternalGotoBookmark(Bookmark);
  Resync(true, true);
  Run(AfterScroll);
}

std::int32_t TDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty()) return Bookmark2.empty() ? 0 : 1;
  if (Bookmark2.empty()) return -1;
  return Bookmark1 == Bookmark2 ? 0 : Bookmark1 < Bookmark2 ? -1 : 1;
}

}  // namespace qxl
