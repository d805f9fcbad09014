#pragma once
// A stream that stays in memory up to a limit and then moves, for good, to a
// temporary file.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/streams/QXLFileStream.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/streams/QXLStream.h"

namespace qxl {

class TQXLTemporaryStream : public TQXLStream {
public:
  static constexpr std::int32_t DefaultMemoryLimit = 1048576;

  // With DisableTempFiles the stream never leaves memory. Its file is reached
  // through FileSystem, which must outlive the stream.
  explicit TQXLTemporaryStream(bool DisableTempFiles = false,
                               platform::FileSystem& FileSystem = platform::RealFileSystem());

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // Moves to a file first when the content would pass the memory limit.
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override;

  std::int32_t MemoryLimit() const { return FMemoryLimit; }
  void SetMemoryLimit(std::int32_t Value) { FMemoryLimit = Value; }
  // Exactly one of the two exists.
  TQXLMemoryStream* MemoryStream() const { return FMemoryStream.get(); }
  TQXLFileStream* FileStream() const { return FFileStream.get(); }
  const std::string& FileName() const { return FFileName; }
  bool InMemory() const { return FInMemory; }

private:
  TQXLStream& Inner();
  void MoveToFile();

  platform::FileSystem& FFileSystem;
  std::int32_t FMemoryLimit = DefaultMemoryLimit;
  // Declared before the memory stream so that it is freed last.
  std::unique_ptr<TQXLFileStream> FFileStream;
  std::unique_ptr<TQXLMemoryStream> FMemoryStream;
  std::string FFileName;
  bool FInMemory = true;
  bool FDisableTempFiles;
};

}  // namespace qxl
