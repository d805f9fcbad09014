#pragma once
// Reads single fields of a record from the bytes it is stored in: the disk
// form of a disk or temporary table (fields at their disk offsets) or the
// memory form an in-memory table keeps. Testing one column copies that
// column only: no memory record is made for the record and no variant for
// the value. Values come out in the memory form GetFieldDataFromRecordBuffer
// gives (narrow and odd-sized types widened).
// Thread rule: a plain view of bytes it does not own; they stay valid only as
// long as their owner says (a record manager's read until its next read).
#include <cstdint>
#include <string_view>

namespace qxl {

class TQXLFieldDefs;

class TQXLFieldAccessor {
public:
  // MemoryForm: the bytes are a memory record buffer, else a disk record.
  TQXLFieldAccessor(const TQXLFieldDefs& FieldDefs, bool MemoryForm) : FFieldDefs(FieldDefs), FMemoryForm(MemoryForm) {}

  void Bind(const std::uint8_t* Record) { FRecord = Record; }
  const std::uint8_t* Record() const { return FRecord; }
  bool MemoryForm() const { return FMemoryForm; }

  // Raises 10003 when nothing is bound and 10000 for a field number outside the list.
  bool IsNull(std::int32_t FieldNo) const;
  // False when the field is NULL; else true with the value in Buffer (unless
  // null) in its memory form; BLOB values never travel through here (true,
  // nothing copied). Raises 10002 for a layout the record cannot hold.
  bool GetField(std::int32_t FieldNo, void* Buffer) const;
  // The stored bytes of a field in place (Size of them); null when NULL.
  const std::uint8_t* FieldBytes(std::int32_t FieldNo, std::int32_t& Size) const;
  // A text field's characters up to its first zero, in place; empty when NULL.
  std::string_view Text(std::int32_t FieldNo) const;

private:
  const TQXLFieldDefs& FFieldDefs;
  bool FMemoryForm;
  const std::uint8_t* FRecord = nullptr;
};

}  // namespace qxl
