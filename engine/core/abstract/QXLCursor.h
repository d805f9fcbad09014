#pragma once
// The engine's view of one open table for one dataset. Thread rule: a cursor
// belongs to one thread at a time; operations on the shared table data take
// that table data's lock.
#include <cstdint>
#include <string>

class TQXLCursor {
public:
  TQXLCursor() = default;
  virtual ~TQXLCursor() = default;
  TQXLCursor(const TQXLCursor&) = delete;
  TQXLCursor& operator=(const TQXLCursor&) = delete;

  std::string FTableName;
};
