#pragma once
// Field definitions as the tests' tables declare them: a typed field, and a
// BLOB compressed in blocks small enough that short values span several.
#include <cstdint>

#include "engine/core/schema/QXLFieldDef.h"

namespace qxl {

inline TQXLFieldDef& AddField(TQXLFieldDefs& Fields, const char* Name, TQXLAdvancedFieldType Type,
                              std::int32_t Size = 0) {
  TQXLFieldDef* f = Fields.AddCreated();
  f->Name = Name;
  f->SetFieldDefDataType(Type, Size);
  return *f;
}

// A BLOB field compressed with zlib in blocks of BlockSize bytes.
inline TQXLFieldDef& AddCompressedBlob(TQXLFieldDefs& Fields, const char* Name, std::int32_t BlockSize) {
  TQXLFieldDef& f = AddField(Fields, Name, aftBlob);
  f.BLOBBlockSize = BlockSize;
  f.BLOBCompressionAlgorithm = acaZLIB;
  f.BLOBCompressionMode = 1;
  return f;
}

}  // namespace qxl
