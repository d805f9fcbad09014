#pragma once
// One field of a memory record buffer in the form the dataset layer uses:
// a null bitmap of one bit per field opens the buffer, then each field's
// bytes at its memory offset. Narrow and odd-sized types travel widened
// (Shortint as 16 bits, Cardinal as 64, Single and Extended as doubles).
// Free functions without state; callers serialise access to the buffer.
#include <cstdint>

namespace qxl {

class TQXLFieldDefs;


// False when the field is NULL; else true, with the value copied into Buffer
// unless Buffer is null (a NULL test). BLOB values never travel through here.
// Raises 10003 for a null record buffer and 10000 for a field number outside
// the list.
bool GetFieldDataFromRecordBuffer(std::int32_t FieldNo, const TQXLFieldDefs& FieldDefs, void* Buffer,
                                  const std::uint8_t* RecordBuffer);
// Stores Buffer into the field; a null Buffer or an empty text (first
// character zero) stores NULL. Raises 10004 for a field number outside the list.
void SetFieldDataToRecordBuffer(std::int32_t FieldNo, const TQXLFieldDefs& FieldDefs, const void* Buffer,
                                std::uint8_t* RecordBuffer);
// True when the first Count bytes are equal (always for Count <= 0). Null
// buffers raise 10122 and 10123.
bool CompareBytes(const void* Buffer1, const void* Buffer2, std::int32_t Count);

}  // namespace qxl
