// The engine dataset's BLOB fields: the cursor stream behind each BLOB
// stream, made on the record of the dataset's state, and whole values read
// and written through BLOB streams.
#include <cstring>
#include <memory>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLBLOBStream.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/dataset/QXLRecordUse.h"

namespace qxl {

namespace {

TQXLBLOBOpenMode CursorMode(TBlobStreamMode Mode) {
  switch (Mode) {
    case bmWrite: return bomWrite;
    case bmReadWrite: return bomReadWrite;
    default: return bomRead;
  }
}

}  // namespace

std::unique_ptr<TQXLStream> TQXLDataSet::CreateBlobStream(TField& Field, TBlobStreamMode Mode) {
  if (Mode != bmRead && FReadOnly) throw EQXLException(10107, "Dataset is in read only mode");
  return std::make_unique<TQXLBLOBStream>(Field, Mode);
}

TQXLStream* TQXLDataSet::OpenCursorBlobStream(TField& Field, TBlobStreamMode Mode) {
  TQXLCursor& cursor = Cursor(10108);
  const bool editing = State() == dsEdit, inserting = State() == dsInsert;
  if (Mode != bmRead && !editing && !inserting) throw EQXLException(10111, "Dataset not in edit or insert mode");
  TRecordBuffer active = ActiveBuffer();
  // A stream on no record would have no record to read or to store into.
  if (!active) throw EQXLException(10109, "Nil pointer occured");
  TQXLRecordUse use(cursor, active);
  TQXLPositionKeeper keep(cursor);
  std::memcpy(&cursor.CurrentRecordID, active + cursor.FBookmarkOffset, sizeof cursor.CurrentRecordID);
  return cursor.InternalCreateBlobStream(inserting, editing, Field.FieldNo() - 1, CursorMode(Mode),
                                         State() == dsBrowse);
}

void TQXLDataSet::CloseBlob(TField& Field) {
  TQXLCursor& cursor = Cursor(10110);
  TQXLRecordUse use(cursor, ActiveBuffer());
  cursor.InternalCloseBLOB(Field.FieldNo() - 1);
}

void TQXLDataSet::BlobFieldChanged(TField& Field) {
  SetModified(true);
  DataEvent(deFieldChange, &Field);
}

bool TQXLDataSet::BlobValueOf(const TField& Field, TQXLVariant& Value) {
  TQXLBLOBStream stream(const_cast<TField&>(Field), bmRead);
  const std::int64_t size = stream.GetSize();
  // An empty content is a NULL value of the field's type.
  if (size <= 0) {
    Value.Clear(Field.ValueType());
    return false;
  }
  if (size > 0x7FFFFFFF) throw EQXLException(10112, "BLOB value too large - Size = %d", {size});
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  stream.Seek(0, soBeginning);
  ReadBufferFromStream(bytes.data(), static_cast<std::int32_t>(size), stream, 10112);
  Value.SetData(bytes.data(), static_cast<std::int32_t>(size), Field.ValueType(), true);
  return true;
}

void TQXLDataSet::WriteBlobValue(const TField& Field, const TQXLVariant& Value) {
  TQXLBLOBStream stream(const_cast<TField&>(Field), bmWrite);
  // The field object reports the change itself.
  stream.SetSilent(true);
  if (!Value.IsNull() && Value.DataSize() > 0)
    WriteBufferToStream(Value.pData(), Value.DataSize(), stream, 10117);
}

}  // namespace qxl
