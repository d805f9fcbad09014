#pragma once
// The key of a record index: the index columns' values taken from a memory
// record buffer, each part a flag byte (1 NULL, 0 value) and the field's bytes.
// Long text is cut to its indexed size in the short keys the pages store; when
// two cut prefixes agree, the whole records are read and compared.
// Thread rule: one operation at a time (comparisons use its scratch buffers
// and compare state); the table's lock serialises them.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/storage/btree/QXLBTreeKeyRef.h"
#include "engine/storage/btree/QXLKeyRecordSource.h"

namespace qxl {

class TQXLIndexDef;
class TQXLTableData;


class TQXLRecordKeyRef : public TQXLBTreeKeyRef {
public:
  // Lays out the parts of the given columns in order; Source reads records
  // for full keys (it may be null when no part is cut). Raises 20295 for a
  // BLOB column.
  void AssignParts(std::span<const TQXLKeyPartDef> Columns, TQXLKeyRecordSource* Source);
  // Lays out the index's columns from the table's field definitions and reads
  // whole records through the table's record manager. Raises 20043 for a
  // column without field, 20044 and 20045 for a table without field manager
  // or fields, 20295 for a BLOB column.
  void Assign(const TQXLIndexDef& IndexDef, TQXLTableData* aTableData);

  void SetPartCount(std::int32_t Value) override;
  // Makes the short key and remembers RecordBuffer as the search key's record.
  void MakeShortKeyFromRecordBuffer(const std::uint8_t* RecordBuffer, std::uint8_t* KeyBuffer);
  void MakeFullKeyFromRecordBuffer(const std::uint8_t* RecordBuffer, std::uint8_t* KeyBuffer) const;
  // Raises 20170 when the record cannot be read.
  void MakeFullKeyFromRecordID(const std::uint8_t* Reference, std::uint8_t* KeyBuffer, std::int32_t SessionID);
  // With PartialCompare, text columns compare only over the length of their
  // value in RecordBuffer, so that every key beginning with it is equal.
  void SetPartialCompare(const std::uint8_t* RecordBuffer, bool PartialCompare);

  int CompareShortKeys(const std::uint8_t* Key1, const std::uint8_t* Key2, bool MayUseFullKeys,
                       std::int32_t SessionID, const std::uint8_t* Reference1,
                       const std::uint8_t* Reference2) override;
  int CompareFullKeys(const std::uint8_t* Key1, const std::uint8_t* Key2) override;

  const std::uint8_t* LRecordBuffer = nullptr;
  TQXLKeyRecordSource* LRecordSource = nullptr;
  TQXLTableData* LTableData = nullptr;
  std::vector<std::int32_t> FCompareLengths;

private:
  // -1, 0 or 1 for one part's values; Chars limits text, Bytes bounds reads.
  int ComparePartValues(const TQXLKeyPart& Part, const std::uint8_t* Part1, const std::uint8_t* Part2,
                        std::int32_t Chars, std::int32_t Bytes) const;
  // Whether the cut value in a short part fills the whole indexed prefix.
  static bool FillsPrefix(const TQXLKeyPart& Part, const std::uint8_t* ShortPart);
  int CompareByFullKeys(std::int32_t SessionID, const std::uint8_t* Reference1, const std::uint8_t* Reference2);

  // The table's records, when the key was laid out from a table.
  std::unique_ptr<TQXLKeyRecordSource> FTableSource;
  // Scratch space reused by full-key comparisons.
  std::vector<std::uint8_t> FFullKey1, FFullKey2, FRecordBuffer;
};

}  // namespace qxl
