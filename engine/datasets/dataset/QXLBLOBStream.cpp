#include "engine/datasets/dataset/QXLBLOBStream.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/QXLEngineError.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"

namespace qxl {

namespace {

TQXLDataSet& EngineDataSetOf(TField& Field) {
  auto* dataSet = dynamic_cast<TQXLDataSet*>(Field.DataSet());
  if (!dataSet) DatabaseErrorFmt(&Field, "Field '%s' has no BLOB stream", Field.DisplayName());
  return *dataSet;
}

}  // namespace

TQXLBLOBStream::TQXLBLOBStream(TField& Field, TBlobStreamMode Mode) : FField(Field), FDataSet(EngineDataSetOf(Field)) {
  if (Mode != bmRead && FDataSet.ReadOnly()) throw EQXLException(10106, "Dataset is in read only mode");
  TQXLStream* made = FDataSet.OpenCursorBlobStream(Field, Mode);
  if (!made) {
    // Without its stream a content would be lost on writing and read as
    // NULL: the caller hears why and may try again.
    const TQXLCursor* cursor = FDataSet.Handle();
    if (cursor && cursor->ErrorCode() != 0) RaiseEngineError(cursor->ErrorCode(), cursor->ErrorMessage());
    throw EQXLException(10026, "Cannot retrieve record");
  }
  FBLOBStream = dynamic_cast<TQXLLocalBLOBStream*>(made);
  if (!FBLOBStream) throw EQXLException(10121, "Nil pointer occured");
  FBLOBStream->SetUserBLOBStream(this);
  SetBlockSize(FBLOBStream->BlockSize());
  if (Mode != bmWrite) return;
  try {
    FBLOBStream->Seek(0, soBeginning);
    Truncate();
  } catch (...) {
    FBLOBStream->SetUserBLOBStream(nullptr);
    FBLOBStream = nullptr;
    FDataSet.CloseBlob(FField);
    throw;
  }
}

TQXLBLOBStream::~TQXLBLOBStream() {
  if (!FBLOBStream) return;
  const bool modified = FBLOBStream->Modified();
  FBLOBStream->SetUserBLOBStream(nullptr);
  FBLOBStream = nullptr;
  try {
    FDataSet.CloseBlob(FField);
    if (modified && !FSilent) FDataSet.BlobFieldChanged(FField);
  } catch (const std::exception& e) {
    FDataSet.HandleException(e);
  }
}

TQXLLocalBLOBStream& TQXLBLOBStream::Open() const {
  if (!FBLOBStream) throw EQXLException(10121, "Nil pointer occured");
  return *FBLOBStream;
}

std::int32_t TQXLBLOBStream::Read(void* Buffer, std::int32_t Count) { return Open().Read(Buffer, Count); }

std::int32_t TQXLBLOBStream::Write(const void* Buffer, std::int32_t Count) {
  TQXLLocalBLOBStream& stream = Open();
  const std::int32_t written = stream.Write(Buffer, Count);
  if (written > 0) stream.SetModified(true);
  return written;
}

std::int64_t TQXLBLOBStream::Seek(std::int64_t Offset, TSeekOrigin Origin) { return Open().Seek(Offset, Origin); }

void TQXLBLOBStream::SetSize(std::int64_t NewSize) {
  TQXLLocalBLOBStream& stream = Open();
  stream.SetSize(NewSize);
  if (stream.GetSize() == NewSize) stream.SetModified(true);
}

std::int64_t TQXLBLOBStream::GetSize() { return Open().GetSize(); }

void TQXLBLOBStream::Truncate() { SetSize(Position()); }

std::int64_t TQXLBLOBStream::CompressedSize() {
  return FBLOBStream ? FBLOBStream->TemporaryStream().CompressedSize() : 0;
}

}  // namespace qxl
