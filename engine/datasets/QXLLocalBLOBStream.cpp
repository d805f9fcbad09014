#include "engine/datasets/QXLLocalBLOBStream.h"

#include "engine/core/QXLException.h"

namespace qxl {

TQXLLocalBLOBStream::TQXLLocalBLOBStream(std::unique_ptr<TQXLCompressedBLOBStream> TemporaryStream,
                                         std::unique_ptr<TQXLStream> WorkStream, TQXLCursor* Cursor,
                                         TQXLBLOBOpenMode OpenMode, std::int32_t FieldNo) noexcept
    : FWorkStream(std::move(WorkStream)),
      FTemporaryStream(std::move(TemporaryStream)),
      FCursor(Cursor),
      FOpenMode(OpenMode),
      FFieldNo(FieldNo) {}

TQXLLocalBLOBStream::~TQXLLocalBLOBStream() {
  if (FUserBLOBStream) FUserBLOBStream->CursorStreamFreed();
}

std::int32_t TQXLLocalBLOBStream::Read(void* Buffer, std::int32_t Count) { return FTemporaryStream->Read(Buffer, Count); }

std::int32_t TQXLLocalBLOBStream::Write(const void* Buffer, std::int32_t Count) {
  if (FOpenMode == bomRead) throw EQXLException(10115, "Cannot write to read only stream");
  FModified = true;
  return FTemporaryStream->Write(Buffer, Count);
}

std::int64_t TQXLLocalBLOBStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  return FTemporaryStream->Seek(Offset, Origin);
}

void TQXLLocalBLOBStream::SetSize(std::int64_t NewSize) {
  if (FOpenMode == bomRead) throw EQXLException(10116, "Cannot write to read only stream");
  FModified = true;
  FTemporaryStream->SetSize(NewSize);
}

std::int64_t TQXLLocalBLOBStream::GetSize() { return FTemporaryStream->GetSize(); }

}  // namespace qxl
