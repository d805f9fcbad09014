#pragma once
// Stands in for the dataset layer's local cursor where the abstract layer
// only reads and writes a cursor's fields: record initialisation makes every
// field NULL; the other slots are not reached by the tests that use it and
// say so if they are.
#include <cstring>
#include <stdexcept>

#include "engine/core/abstract/QXLCursor.h"

class FakeCursor : public TQXLCursor {
public:
  FakeCursor() = default;
  explicit FakeCursor(const std::string& TableName) { FTableName = TableName; }

  void CreateTable(TQXLFieldDefs&, TQXLIndexDefs&, TQXLConstraintDefs&) override { Unused(); }
  void DeleteTable() override { Unused(); }
  void EmptyTable() override { Unused(); }
  void RenameTable(const std::string&) override { Unused(); }
  void InternalInitFieldDefs() override { Unused(); }
  void OpenTableByFieldDefs(TQXLFieldDefs*, TQXLIndexDefs*, TQXLConstraintDefs*) override { Unused(); }
  void CloseTable() override { Unused(); }
  void LockTableData() override {}
  void UnlockTableData() override {}
  bool LockTable(TQXLLockType, std::int32_t, std::int32_t, bool) override { return Unused(), false; }
  bool UnlockTable(TQXLLockType, bool) override { return Unused(), false; }
  void AddIndex(TQXLIndexDef&) override { Unused(); }
  void DeleteIndex(const std::string&) override { Unused(); }
  void DeleteAllIndexes() override { Unused(); }
  std::string FindOrCreateIndex(const std::vector<std::string>&, const std::vector<std::string>&,
                                const std::vector<std::string>&, bool&) override {
    return Unused(), "";
  }
  bool IndexExists(const std::vector<std::string>&, const std::vector<std::string>&,
                   const std::vector<std::string>&) override {
    return Unused(), false;
  }
  void CopyFieldValue(std::int32_t, bool, std::int32_t, TQXLCursor*) override { Unused(); }
  void InternalInitRecord(std::uint8_t* RecordBuffer, bool) override {
    const std::int32_t bitmap = FFieldDefs ? FFieldDefs->NullBitmapSize() : 0;
    std::memset(RecordBuffer, 0xFF, static_cast<std::size_t>(bitmap));
    if (FRecordSize > bitmap) std::memset(RecordBuffer + bitmap, 0, static_cast<std::size_t>(FRecordSize - bitmap));
  }
  std::int64_t GetRecordCount() override { return Unused(), 0; }
  TQXLGetRecordResult GetRecordBuffer(TQXLGetRecordMode) override { return Unused(), grrError; }
  void SetRecNo(std::int64_t) override { Unused(); }
  std::int64_t GetRecNo() override { return Unused(), 0; }
  std::int32_t CompareRecordsOrder(const TQXLPageItemID&, const TQXLPageItemID&) override { return Unused(), 0; }
  void InternalFirst() override { Unused(); }
  void InternalLast() override { Unused(); }
  void InternalInsert() override { Unused(); }
  void InternalEdit() override { Unused(); }
  void InternalCancel(bool) override { Unused(); }
  void InternalPost(bool) override { Unused(); }
  void InternalDelete() override { Unused(); }
  bool IsRecordLocked() override { return Unused(), false; }
  void ApplyDistinct(const std::vector<std::string>&, const std::vector<std::string>&,
                     const std::vector<std::string>&) override {
    Unused();
  }
  void ActivateFilters(const std::string&, bool, bool) override { Unused(); }
  void DeactivateFilters() override { Unused(); }
  bool Locate(const std::string&, const Variant&, bool, bool) override { return Unused(), false; }
  bool FindKey(TQXLSearchCondition) override { return Unused(), false; }
  bool IsAnyRecordMatchCondition(const std::string&, TQXLDataOperator, const TQXLVariant&) override {
    return Unused(), false;
  }
  TQXLStream* InternalCreateBlobStream(bool, bool, std::int32_t, TQXLBLOBOpenMode, bool) override {
    return Unused(), nullptr;
  }
  void InternalCloseBLOB(std::int32_t) override { Unused(); }
  void ClearBLOBStreams(bool) override { Unused(); }
  std::int64_t LastAutoincValue(std::int32_t) override { return Unused(), 0; }
  void BeginBatchUpdate() override { Unused(); }
  void EndBatchUpdate() override { Unused(); }
  void CancelBatchUpdate() override { Unused(); }
  bool CheckConstraints(bool) override { return Unused(), false; }

private:
  [[noreturn]] static void Unused() { throw std::logic_error("not reached by the tests that use FakeCursor"); }
};
