#pragma once
// Scope guards of the dataset's calls into its cursor: the record buffer the
// cursor works on for one call (the dataset's buffers never become the
// cursor's, which would free them on close), the cursor's position kept
// across a temporary move, and a scratch record freed through the cursor.
// Thread rule: the cursor's thread.
#include <cstdint>
#include <memory>

#include "engine/core/abstract/QXLCursor.h"

namespace qxl {

class TQXLRecordUse {
public:
  TQXLRecordUse(TQXLCursor& Cursor, std::uint8_t* Buffer) : FCursor(Cursor), FOld(Cursor.FCurrentRecordBuffer) {
    Cursor.FCurrentRecordBuffer = Buffer;
  }
  ~TQXLRecordUse() { FCursor.FCurrentRecordBuffer = FOld; }
  TQXLRecordUse(const TQXLRecordUse&) = delete;
  TQXLRecordUse& operator=(const TQXLRecordUse&) = delete;

private:
  TQXLCursor& FCursor;
  std::uint8_t* FOld;
};

class TQXLPositionKeeper {
public:
  explicit TQXLPositionKeeper(TQXLCursor& Cursor) : FCursor(Cursor), FPosition(Cursor.SavePosition()) {}
  ~TQXLPositionKeeper() { FCursor.RestorePosition(*FPosition); }
  TQXLPositionKeeper(const TQXLPositionKeeper&) = delete;
  TQXLPositionKeeper& operator=(const TQXLPositionKeeper&) = delete;

private:
  TQXLCursor& FCursor;
  std::unique_ptr<TQXLCursorPosition> FPosition;
};

class TQXLOwnedRecord {
public:
  explicit TQXLOwnedRecord(TQXLCursor& Cursor) : FCursor(Cursor), FBuffer(Cursor.AllocateRecordBuffer()) {}
  ~TQXLOwnedRecord() {
    try {
      FCursor.FreeRecordBuffer(FBuffer);
    } catch (...) {
      // A damaged guard block cannot be reported from here.
    }
  }
  TQXLOwnedRecord(const TQXLOwnedRecord&) = delete;
  TQXLOwnedRecord& operator=(const TQXLOwnedRecord&) = delete;
  std::uint8_t* Get() const { return FBuffer; }

private:
  TQXLCursor& FCursor;
  std::uint8_t* FBuffer;
};

}  // namespace qxl
