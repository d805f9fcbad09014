#pragma once
// A stream on a file handle, opened with the file modes of the dataset
// components' file streams.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/streams/QXLStream.h"
#include "platform/FileSystem.h"

namespace qxl {

class TQXLFileStream : public TQXLStream {
public:
  // Create a new file or empty an existing one, read-write and not shared.
  static constexpr std::uint16_t fmCreate = 0xFF00;
  // Access of an existing file, in the low two bits.
  static constexpr std::uint16_t fmOpenRead = 0x00;
  static constexpr std::uint16_t fmOpenWrite = 0x01;
  static constexpr std::uint16_t fmOpenReadWrite = 0x02;
  // What other handles may do meanwhile, added to the access.
  static constexpr std::uint16_t fmShareCompat = 0x00;
  static constexpr std::uint16_t fmShareExclusive = 0x10;
  static constexpr std::uint16_t fmShareDenyWrite = 0x20;
  static constexpr std::uint16_t fmShareDenyRead = 0x30;
  static constexpr std::uint16_t fmShareDenyNone = 0x40;

  // Raises 10104 when fmCreate fails, 10105 when opening fails or Mode is not
  // one of the modes above. A temporary file is deleted when the stream is freed.
  // The file is reached through FileSystem, which must outlive the stream.
  TQXLFileStream(const std::string& FileName, std::uint16_t Mode, bool IsTemporary = false,
                 platform::FileSystem& FileSystem = platform::RealFileSystem());
  ~TQXLFileStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // A position before 0 is refused: -1, and the position stays.
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  // Raises the platform's error when the file cannot take the size.
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override;

  platform::FileHandle& Handle() { return *FHandle; }
  const std::string& FileName() const { return FFileName; }
  std::uint16_t Mode() const { return FMode; }
  bool IsTemporary() const { return FIsTemporary; }

private:
  platform::FileSystem& FFileSystem;
  std::unique_ptr<platform::FileHandle> FHandle;
  std::string FFileName;
  std::uint16_t FMode;
  bool FIsTemporary;
  // Reads and writes are positioned; the stream keeps its own file position.
  std::int64_t FPosition = 0;
};

}  // namespace qxl
