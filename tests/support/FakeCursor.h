#pragma once
// Stands in for the dataset layer's local cursor where the abstract layer
// only reads and writes a cursor's fields: record initialisation makes every
// field NULL; the other slots are not reached by the tests that use it and
// say so if they are.
#include <cstring>

#include "engine/core/abstract/QXLCursor.h"
#include "tests/support/UnreachedCursorSlots.h"

namespace qxl {

class FakeCursor : public UnreachedCursorSlots<TQXLCursor> {
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
  std::int64_t LastAutoincValue(std::int32_t) override { return Unused(), 0; }
  bool CheckConstraints(bool) override { return Unused(), false; }
};

}  // namespace qxl
