#include "engine/core/streams/QXLTemporaryStream.h"

namespace qxl {

namespace {

void DropReservedName(platform::FileSystem& files, const std::string& name) {
  try {
    files.Delete(name);
  } catch (const platform::Exception&) {
    // Already gone.
  }
}

}  // namespace

TQXLTemporaryStream::TQXLTemporaryStream(bool DisableTempFiles, platform::FileSystem& FileSystem)
    : FFileSystem(FileSystem),
      FMemoryStream(std::make_unique<TQXLMemoryStream>()),
      FDisableTempFiles(DisableTempFiles) {}

TQXLStream& TQXLTemporaryStream::Inner() {
  if (FInMemory) return *FMemoryStream;
  return *FFileStream;
}

void TQXLTemporaryStream::MoveToFile() {
  std::string name = FFileSystem.TempFileName();
  std::unique_ptr<TQXLFileStream> file;
  try {
    file = std::make_unique<TQXLFileStream>(name, TQXLFileStream::fmCreate, true, FFileSystem);
  } catch (...) {
    DropReservedName(FFileSystem, name);
    throw;
  }
  file->LoadFromStream(*FMemoryStream);
  file->SetPosition(FMemoryStream->Position());
  // Only a complete copy replaces the memory stream; a failure above leaves
  // the stream in memory and the file is deleted with its stream.
  FFileStream = std::move(file);
  FFileName = std::move(name);
  FMemoryStream.reset();
  FInMemory = false;
}

std::int32_t TQXLTemporaryStream::Write(const void* Buffer, std::int32_t Count) {
  if (FInMemory && !FDisableTempFiles && FMemoryStream->GetSize() + Count > FMemoryLimit) MoveToFile();
  return Inner().Write(Buffer, Count);
}

std::int32_t TQXLTemporaryStream::Read(void* Buffer, std::int32_t Count) { return Inner().Read(Buffer, Count); }

std::int64_t TQXLTemporaryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  return Inner().Seek(Offset, Origin);
}

void TQXLTemporaryStream::SetSize(std::int64_t NewSize) { Inner().SetSize(NewSize); }

std::int64_t TQXLTemporaryStream::GetSize() { return Inner().GetSize(); }

}  // namespace qxl
