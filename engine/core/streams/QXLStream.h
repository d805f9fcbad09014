#pragma once
// The engine's stream base: a byte stream with a block size for block-wise
// copies to and from other streams and files, a progress event and a modified
// flag; and the routines that read, write or position a stream exactly or
// raise with the caller's native code.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace qxl {

enum TSeekOrigin : std::uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TQXLStream;

// PercentDone runs from 0 to 100.
using TQXLNoCancelProgressEvent = std::function<void(TQXLStream* Sender, double PercentDone)>;

class TQXLStream {
public:
  static constexpr std::int32_t DefaultBlockSize = 102400;

  TQXLStream() = default;
  virtual ~TQXLStream() = default;
  TQXLStream(const TQXLStream&) = delete;
  TQXLStream& operator=(const TQXLStream&) = delete;

  // Bytes read or written; fewer (down to 0) on failure or at the end.
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  // The new position; -1 when a stream refuses it.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual void SetSize(std::int64_t NewSize) = 0;
  virtual std::int64_t GetSize();

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, soBeginning); }
  std::int64_t Size() { return GetSize(); }

  // The stream's own critical section; the stream operations do not take it.
  virtual void Lock() { FCSect.lock(); }
  virtual void Unlock() { FCSect.unlock(); }

  // Copies the whole content into Stream at its position; both positions are
  // restored afterwards.
  void SaveToStream(TQXLStream& Stream);
  void LoadFromStream(TQXLStream& Stream);
  // Replaces the content with StreamSize bytes of Stream from FromPosition.
  void LoadFromStreamWithPosition(TQXLStream& Stream, std::int64_t FromPosition, std::int64_t StreamSize);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  std::int32_t BlockSize() const { return FBlockSize; }
  void SetBlockSize(std::int32_t Value) { FBlockSize = Value; }
  const TQXLNoCancelProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TQXLNoCancelProgressEvent Value) { FOnProgress = std::move(Value); }
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

protected:
  void DoProgress(double PercentDone);
  // What a seek from Origin counts from: 0, Position, or the size that Size()
  // gives (asked for soEnd only); nothing for an origin outside the three.
  template <typename SizeFn>
  static std::optional<std::int64_t> SeekBase(TSeekOrigin Origin, std::int64_t Position, SizeFn Size) {
    switch (Origin) {
      case soBeginning:
        return 0;
      case soCurrent:
        return Position;
      case soEnd:
        return Size();
    }
    return std::nullopt;
  }

  std::recursive_mutex FCSect;
  std::int32_t FBlockSize = DefaultBlockSize;
  TQXLNoCancelProgressEvent FOnProgress;
  bool FModified = false;
};

// a + b held at the ends of the 64-bit range instead of wrapping, for
// positions computed from caller-given or stored offsets.
std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b);

// A new, empty, uniquely named file in the system's temporary folder, its name
// starting with "QXL", reserved through FileSystem.
std::string GetTemporaryFileName(platform::FileSystem& FileSystem = platform::RealFileSystem());

// Write or read exactly Count bytes, or raise EQXLException with
// NativeErrorCode naming the calling place.
void WriteBufferToStream(const void* Buffer, std::int32_t Count, TQXLStream& Stream, std::int32_t NativeErrorCode);
void ReadBufferFromStream(void* Buffer, std::int32_t Count, TQXLStream& Stream, std::int32_t NativeErrorCode);
// Moves Stream to Position, or raises with NativeErrorCode when it does not get there.
void SetStreamPosition(TQXLStream& Stream, std::int32_t NativeErrorCode, std::int64_t Position);

}  // namespace qxl
