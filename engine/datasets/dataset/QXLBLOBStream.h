#pragma once
// The stream over one BLOB field of a dataset's record that field objects and
// programs read and write: it forwards to the cursor's stream of that field,
// remembers whether the content changed, and when freed closes the field
// (which stores a written content in the record) and tells the dataset that
// the field changed. A stream the cursor cannot give (the table locked by
// another process, the record gone) is an error, never an empty content.
// Thread rule: used by its dataset's thread.
#include <cstdint>

#include "engine/core/streams/QXLStream.h"
#include "engine/datasets/QXLLocalBLOBStream.h"
#include "engine/datasets/base/DataSetTypes.h"

namespace qxl {

class TField;
class TQXLDataSet;

class TQXLBLOBStream : public TQXLStream, public TQXLUserBLOBStreamLink {
public:
  // A writing mode on a read-only dataset raises 10106; bmWrite starts empty.
  // Without a cursor stream: EQXLEngineError -13 for the table's lock, else
  // the cursor's failure.
  TQXLBLOBStream(TField& Field, TBlobStreamMode Mode);
  // Closes the field; a changed content marks the field changed. An error of
  // the change event goes to the dataset's exception handler.
  ~TQXLBLOBStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  // Marks the content changed once it has that size.
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override;
  // Cuts the content at the current position.
  void Truncate();
  // Bytes of the compressed content.
  std::int64_t CompressedSize();

  // The cursor's stream; nullptr once the cursor freed it.
  TQXLLocalBLOBStream* BLOBStream() const { return FBLOBStream; }
  // The dataset writes a field object's value: the field object reports the change itself.
  void SetSilent(bool Value) { FSilent = Value; }

  void CursorStreamFreed() noexcept override { FBLOBStream = nullptr; }

private:
  // The cursor's stream, or 10121 once the record it belonged to was stored or dropped.
  TQXLLocalBLOBStream& Open() const;

  TField& FField;
  TQXLDataSet& FDataSet;
  TQXLLocalBLOBStream* FBLOBStream = nullptr;
  bool FSilent = false;
};

}  // namespace qxl
