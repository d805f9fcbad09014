#pragma once
// The BLOB stream of one field of a cursor's current record: every read,
// write, seek and size change goes to the compressed BLOB stream beneath it,
// which the table data reads back (its descriptor, compressed size and
// compressed stream) when the record is stored. Owns the compressed stream
// and the work stream under it. Thread rule: used by its cursor's thread.
#include <cstdint>
#include <memory>

#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/abstract/QXLBLOBTypes.h"

namespace qxl {

class TQXLCursor;


// The dataset-level stream that uses a cursor stream: told when the cursor
// frees the stream (a post, a cancel or the close of its field), so that it
// never reaches a freed one.
class TQXLUserBLOBStreamLink {
public:
  virtual void CursorStreamFreed() noexcept = 0;

protected:
  ~TQXLUserBLOBStreamLink() = default;
};

class TQXLLocalBLOBStream : public TQXLStream {
public:
  // Cannot fail. WorkStream is the stream the compressed stream was made on.
  TQXLLocalBLOBStream(std::unique_ptr<TQXLCompressedBLOBStream> TemporaryStream,
                      std::unique_ptr<TQXLStream> WorkStream, TQXLCursor* Cursor, TQXLBLOBOpenMode OpenMode,
                      std::int32_t FieldNo) noexcept;
  // Tells its user stream first.
  ~TQXLLocalBLOBStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // A stream opened for reading refuses writes (10115) and size changes (10116).
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override;

  TQXLCompressedBLOBStream& TemporaryStream() const { return *FTemporaryStream; }
  TQXLCursor* Cursor() const { return FCursor; }
  TQXLBLOBOpenMode OpenMode() const { return FOpenMode; }
  std::int32_t FieldNo() const { return FFieldNo; }
  TQXLUserBLOBStreamLink* UserBLOBStream() const { return FUserBLOBStream; }
  void SetUserBLOBStream(TQXLUserBLOBStreamLink* Value) { FUserBLOBStream = Value; }

private:
  // Declared first so that it is freed after the compressed stream on it.
  std::unique_ptr<TQXLStream> FWorkStream;
  std::unique_ptr<TQXLCompressedBLOBStream> FTemporaryStream;
  TQXLCursor* FCursor;
  TQXLBLOBOpenMode FOpenMode;
  std::int32_t FFieldNo;
  TQXLUserBLOBStreamLink* FUserBLOBStream = nullptr;
};

}  // namespace qxl
