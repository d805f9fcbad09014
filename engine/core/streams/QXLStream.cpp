#include "engine/core/streams/QXLStream.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLFileStream.h"
#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

namespace {

// One copy buffer from the engine memory manager, freed on every way out.
class CopyBuffer {
public:
  explicit CopyBuffer(std::int64_t size) : FData(size > 0 ? QXLMemoryManager().GetMem(size) : nullptr) {}
  ~CopyBuffer() { QXLMemoryManager().FreeMem(FData); }
  CopyBuffer(const CopyBuffer&) = delete;
  CopyBuffer& operator=(const CopyBuffer&) = delete;
  void* Data() const { return FData; }

private:
  void* FData;
};

// Moves exactly Count bytes with Transfer, which returns the count it moved,
// or raises Code with Message and the position before, the size, Count and
// the count moved.
template <typename Transfer>
void TransferExactly(std::int32_t Count, TQXLStream& Stream, std::int32_t Code, const char* Message,
                     Transfer transfer) {
  const std::int64_t position = Stream.Position();
  const std::int32_t done = Count < 0 ? 0 : transfer();
  if (Count < 0 || done != Count)
    throw EQXLException(Code, Message,
                        {position, Stream.GetSize(), static_cast<std::int64_t>(Count), static_cast<std::int64_t>(done)});
}

}  // namespace

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}

std::int64_t TQXLStream::GetSize() {
  const std::int64_t position = Seek(0, soCurrent);
  const std::int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TQXLStream::DoProgress(double PercentDone) {
  if (FOnProgress) FOnProgress(this, PercentDone);
}

void TQXLStream::SaveToStream(TQXLStream& Stream) {
  // A block size below 1 would never finish the copy.
  if (FBlockSize <= 0) throw EQXLException(10418, "Stream block size = 0 is not allowed");
  const std::int64_t ownPosition = Position();
  const std::int64_t otherPosition = Stream.Position();
  SetPosition(0);
  DoProgress(0);
  const std::int64_t size = GetSize();
  CopyBuffer buffer(std::min<std::int64_t>(FBlockSize, size));
  std::int64_t copied = 0;
  while (copied < size) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(FBlockSize, size - copied));
    qxl::ReadBufferFromStream(buffer.Data(), n, *this, 10146);
    qxl::WriteBufferToStream(buffer.Data(), n, Stream, 10147);
    copied += n;
    const std::int64_t current = GetSize();
    DoProgress(current > 0 ? static_cast<double>(copied) / static_cast<double>(current) * 100 : 100);
  }
  SetPosition(ownPosition);
  Stream.SetPosition(otherPosition);
  DoProgress(100);
}

void TQXLStream::LoadFromStream(TQXLStream& Stream) { LoadFromStreamWithPosition(Stream, 0, Stream.GetSize()); }

void TQXLStream::LoadFromStreamWithPosition(TQXLStream& Stream, std::int64_t FromPosition, std::int64_t StreamSize) {
  if (FBlockSize <= 0) throw EQXLException(10419, "Stream block size = 0 is not allowed");
  const std::int64_t ownPosition = Position();
  const std::int64_t otherPosition = Stream.Position();
  Stream.SetPosition(FromPosition);
  SetSize(0);
  SetPosition(0);
  DoProgress(0);
  const std::int64_t end = qxl::SaturatedAdd(FromPosition, StreamSize);
  // Sized from where Stream really is: a stream may not have reached FromPosition.
  const std::int64_t capacity = std::min<std::int64_t>(FBlockSize, std::max<std::int64_t>(end - Stream.Position(), 0));
  CopyBuffer buffer(capacity);
  for (std::int64_t at = Stream.Position(); at < end; at = Stream.Position()) {
    const auto n = static_cast<std::int32_t>(std::min({std::int64_t(FBlockSize), end - at, capacity}));
    qxl::ReadBufferFromStream(buffer.Data(), n, Stream, 10148);
    qxl::WriteBufferToStream(buffer.Data(), n, *this, 10149);
    const std::int64_t size = Stream.GetSize();
    DoProgress(size > 0 ? static_cast<double>(Stream.Position()) / static_cast<double>(size) * 100 : 100);
  }
  Stream.SetPosition(otherPosition);
  SetPosition(ownPosition);
  DoProgress(100);
}

void TQXLStream::LoadFromFile(const std::string& FileName) {
  TQXLFileStream file(FileName, TQXLFileStream::fmOpenRead | TQXLFileStream::fmShareDenyWrite);
  LoadFromStream(file);
}

void TQXLStream::SaveToFile(const std::string& FileName) {
  TQXLFileStream file(FileName, TQXLFileStream::fmCreate);
  SaveToStream(file);
}

std::string GetTemporaryFileName(platform::FileSystem& FileSystem) { return FileSystem.TempFileName(); }

void WriteBufferToStream(const void* Buffer, std::int32_t Count, TQXLStream& Stream, std::int32_t NativeErrorCode) {
  TransferExactly(Count, Stream, NativeErrorCode,
                  "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d",
                  [&] { return Stream.Write(Buffer, Count); });
}

void ReadBufferFromStream(void* Buffer, std::int32_t Count, TQXLStream& Stream, std::int32_t NativeErrorCode) {
  TransferExactly(Count, Stream, NativeErrorCode,
                  "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                  [&] { return Stream.Read(Buffer, Count); });
}

void SetStreamPosition(TQXLStream& Stream, std::int32_t NativeErrorCode, std::int64_t Position) {
  const std::int64_t before = Stream.Position();
  Stream.SetPosition(Position);
  if (Stream.Position() != Position)
    throw EQXLException(NativeErrorCode, "Cannot set stream position to %d. Position = %d, Size = %d",
                        {Position, before, Stream.GetSize()});
}

}  // namespace qxl
