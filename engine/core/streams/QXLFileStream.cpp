#include "engine/core/streams/QXLFileStream.h"

#include <algorithm>
#include <utility>

#include "engine/core/QXLException.h"

namespace qxl {

namespace {

bool ShareFromMode(std::uint16_t mode, platform::ShareMode& share) {
  switch (mode & 0xF0) {
    case TQXLFileStream::fmShareCompat:
    case TQXLFileStream::fmShareExclusive:
    // Denying others only reading has no narrower equivalent than denying all.
    case TQXLFileStream::fmShareDenyRead:
      share = platform::ShareMode::Exclusive;
      return true;
    case TQXLFileStream::fmShareDenyWrite:
      share = platform::ShareMode::DenyWrite;
      return true;
    case TQXLFileStream::fmShareDenyNone:
      share = platform::ShareMode::DenyNone;
      return true;
    default:
      return false;
  }
}

}  // namespace

TQXLFileStream::TQXLFileStream(const std::string& FileName, std::uint16_t Mode, bool IsTemporary,
                               platform::FileSystem& FileSystem)
    : FFileSystem(FileSystem), FFileName(FileName), FMode(Mode), FIsTemporary(IsTemporary) {
  if (Mode == fmCreate) {
    try {
      FHandle = FFileSystem.Create(FileName, platform::ShareMode::Exclusive);
    } catch (const platform::Exception&) {
      throw EQXLException(10104, "Cannot create file. FileName = %s", {FileName});
    }
    return;
  }
  platform::ShareMode share;
  const std::uint16_t access = Mode & 0x03;
  if (access > fmOpenReadWrite || (Mode & 0xFF0C) != 0 || !ShareFromMode(Mode, share))
    throw EQXLException(10105, "Cannot open file. FileName = %s, Mode = %d", {FileName, static_cast<int>(Mode)});
  try {
    FHandle = FFileSystem.Open(
        FileName, access == fmOpenRead ? platform::AccessMode::ReadOnly : platform::AccessMode::ReadWrite, share);
  } catch (const platform::Exception&) {
    throw EQXLException(10105, "Cannot open file. FileName = %s, Mode = %d", {FileName, static_cast<int>(Mode)});
  }
}

TQXLFileStream::~TQXLFileStream() {
  try {
    if (FHandle) std::exchange(FHandle, nullptr)->Close();
    if (FIsTemporary) FFileSystem.Delete(FFileName);
  } catch (const platform::Exception&) {
    // Nothing to report to from a destructor; the handle is released anyway.
  }
}

std::int32_t TQXLFileStream::Read(void* Buffer, std::int32_t Count) {
  if (Count < 1) return 0;
  try {
    const auto n = static_cast<std::int32_t>(FHandle->ReadAt(Buffer, static_cast<std::size_t>(Count), FPosition));
    FPosition += n;
    return n;
  } catch (const platform::Exception&) {
    return 0;
  }
}

std::int32_t TQXLFileStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count < 1) return 0;
  try {
    FHandle->WriteAt(Buffer, static_cast<std::size_t>(Count), FPosition);
    FPosition += Count;
    return Count;
  } catch (const platform::Exception&) {
    return 0;
  }
}

std::int64_t TQXLFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const auto base = SeekBase(Origin, FPosition, [this] { return GetSize(); });
  if (!base) return FPosition = 0;
  std::int64_t target;
  if (__builtin_add_overflow(*base, Offset, &target) || target < 0) return -1;
  return FPosition = target;
}

void TQXLFileStream::SetSize(std::int64_t NewSize) {
  FHandle->SetSize(NewSize);
  FPosition = std::min(FPosition, NewSize);
}

std::int64_t TQXLFileStream::GetSize() {
  try {
    return FHandle->Size();
  } catch (const platform::Exception&) {
    return 0;
  }
}

}  // namespace qxl
