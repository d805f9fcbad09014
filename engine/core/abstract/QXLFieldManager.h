#pragma once
// The field definitions of one open table and what follows from them for
// records: the memory and stored record forms and the conversion between
// them, the comparison that tells whether a record changed, the defaults of a
// new record, and the auto-increment counters with each session's last value.
// Thread rule: takes no lock; callers hold the table lock while they draw or
// update counters.
#include <cstdint>
#include <vector>

#include "engine/core/schema/QXLFieldDef.h"

namespace qxl {

class TQXLBaseSession;
class TQXLStream;
class TQXLTableData;

class TQXLBaseFieldManager {
public:
  explicit TQXLBaseFieldManager(TQXLTableData* TableData);
  virtual ~TQXLBaseFieldManager() = default;
  TQXLBaseFieldManager(const TQXLBaseFieldManager&) = delete;
  TQXLBaseFieldManager& operator=(const TQXLBaseFieldManager&) = delete;

  TQXLFieldDefs& FieldDefs() { return FFieldDefs; }
  const TQXLFieldDefs& FieldDefs() const { return FFieldDefs; }
  TQXLTableData* TableData() const { return FTableData; }
  const std::vector<std::int64_t>& LastAutoIncValues() const { return FLastAutoIncValues; }

  // The definitions from their stored form, then offsets and counters.
  void LoadMetadata(TQXLStream& Stream);
  void SaveMetadata(TQXLStream& Stream) const;
  // The counters' block at Offset of a buffer of BufSize bytes: a 32-bit
  // count, then one 64-bit counter each. Offset moves past the block. A
  // count that the buffer cannot hold raises 10430 and changes nothing.
  void LoadMostUpdated(const std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset);
  // Raises 10430 when the block does not fit from Offset.
  void SaveMostUpdated(std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) const;
  std::int32_t MostUpdatedSize() const;

  void RecalcFieldOffsets() { FFieldDefs.RecalcFieldOffsets(); }
  // One counter per field: its initial value for an auto-increment type, else 0.
  void InitLastAutoIncValues();

  // The buffers are of the table's stored and memory sizes. The memory-only
  // bytes of BLOB fields are zero after a read.
  void DiskRecordBufferToMemRecordBuffer(const std::uint8_t* DiskRecordBuffer, std::uint8_t* MemRecordBuffer) const;
  void MemRecordBufferToDiskRecordBuffer(const std::uint8_t* MemRecordBuffer, std::uint8_t* DiskRecordBuffer) const;
  // Same null bitmap and same stored bytes of every field.
  bool CompareRecordBuffers(const std::uint8_t* RecordBuffer1, const std::uint8_t* RecordBuffer2) const;
  // Whether the table has a BLOB field; 10421 when the first one has a block size of 0.
  bool BlobFieldsPresent() const;
  // Raises the counter to InsertedValue when that is greater, and records it
  // as the session's last value.
  void UpdateLastAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo, std::int64_t InsertedValue);
  // Moves each counter up to the value its auto-increment field holds in the
  // record; NULL fields move nothing.
  void KeepSuppliedAutoincs(TQXLBaseSession* Session, const std::uint8_t* RecordBuffer);

  // Advances and returns a field's counter (30402, 30403, 20160).
  virtual std::int64_t IncrementAutoinc(std::int32_t FieldNo);
  // Writes each field's default into a new record; a default longer than its
  // field raises 20056 and writes nothing of it.
  virtual void ApplyDefaultValuesToRecordBuffer(TQXLBaseSession* Session, std::uint8_t* RecordBuffer);
  // NULL auto-increment fields get the next value; supplied ones move the counter.
  virtual void ApplyAutoincsToRecordBuffer(TQXLBaseSession* Session, std::uint8_t* RecordBuffer);
  virtual std::int64_t GetNextAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo);
  // The session's last value, or in a single-user session the table's counter (30012).
  virtual std::int64_t GetLastAutoinc(TQXLBaseSession* Session, std::int32_t FieldNo);

private:
  const TQXLFieldDef& CheckedField(std::int32_t FieldNo) const;
  void RecordInSession(TQXLBaseSession* Session, const TQXLFieldDef& Field, std::int64_t Value) const;
  // False when the default computes to NULL.
  bool WriteDefault(const TQXLFieldDef& Field, std::uint8_t* Target) const;

  TQXLFieldDefs FFieldDefs;
  TQXLTableData* FTableData;
  std::vector<std::int64_t> FLastAutoIncValues;
};

}  // namespace qxl
