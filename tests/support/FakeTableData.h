#pragma once
// Stands in for an engine's table data: records in a FakeRecordManager,
// indexes from a FakeIndexFactory, bitmap bits numbered by record number.
// Record operations keep the indexes in step as the engines do.
#include <memory>
#include <stdexcept>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLTableData.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FakeRecordManager.h"

namespace qxl {

class FakeTableData : public TQXLTableData {
public:
  using TQXLTableData::TQXLTableData;

  FakeRecordManager* Records() const { return static_cast<FakeRecordManager*>(FRecordManager.get()); }

  void CreateRecordManager() override { FRecordManager = std::make_unique<FakeRecordManager>(GetRecordBufferSize()); }
  void CreateIndexManager(TQXLIndexDefs& IndexDefs) override {
    FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, nullptr, &Indexes);
    TQXLTableData::CreateIndexManager(IndexDefs);
  }
  void CreateTable(TQXLCursor*, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                   TQXLConstraintDefs& ConstraintDefs) override {
    CreateFieldManager(FieldDefs);
    CreateIndexManager(IndexDefs);
    CreateConstraintManager(ConstraintDefs);
    CreateRecordManager();
  }
  std::int64_t GetRecordBitmapSize(std::int32_t) override { return Records() ? Records()->NextNo : 0; }
  std::int64_t RecordIDToBitNo(const TQXLPageItemID& RecordID) override { return RecordID.PageNo; }
  TQXLPageItemID BitNoToRecordID(std::int64_t BitNo) override { return {static_cast<std::int32_t>(BitNo), 0}; }
  void WriteBLOBFieldToRecordBuffer(TQXLCursor*, std::int32_t, TQXLStream&) override { Unused(); }
  std::unique_ptr<TQXLStream> InternalCreateBlobStream(TQXLCursor*, bool, std::int32_t, TQXLBLOBOpenMode) override {
    return Unused(), nullptr;
  }
  void GetDirectBlobData(TQXLCursor*, std::int32_t, std::uint8_t*, TQXLPartialTemporaryBLOBDescriptor&,
                         void*&) override {
    Unused();
  }
  void SetDirectBlobData(TQXLCursor*, std::int32_t, std::uint8_t*, TQXLPartialTemporaryBLOBDescriptor&,
                         void*&) override {
    Unused();
  }
  void FreeDirectBlobData(TQXLCursor*, std::int32_t, std::uint8_t*, TQXLPartialTemporaryBLOBDescriptor&,
                          void*&) override {
    Unused();
  }
  bool InsertRecord(TQXLCursor*& Cursor) override {
    if (!Records()->AddRecord(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID))
      return false;
    FIndexManager->InsertRecord(Cursor);
    return true;
  }
  bool DeleteRecord(TQXLCursor* Cursor) override {
    FIndexManager->DeleteRecord(Cursor);
    return Records()->DeleteRecord(Cursor->SessionID(), Cursor->CurrentRecordID);
  }
  bool UpdateRecord(TQXLCursor* Cursor) override {
    FIndexManager->UpdateRecord(Cursor, true);
    const bool done = Records()->UpdateRecord(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID);
    FIndexManager->UpdateRecord(Cursor, false);
    return done;
  }
  void InternalSetRecNo(TQXLCursor*, std::int64_t) override { Unused(); }
  std::int64_t InternalGetRecNo(TQXLCursor*) override { return Unused(), 0; }
  std::int64_t InternalGetRecordCount(TQXLCursor*) override { return Records()->RecordCount(); }

  FakeIndexFactory Indexes;

private:
  [[noreturn]] static void Unused() { throw std::logic_error("not reached by the tests that use FakeTableData"); }
};

}  // namespace qxl
