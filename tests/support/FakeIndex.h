#pragma once
// Stands in for the B-tree record index: it counts what the index manager
// asks of it, answers unique checks from a flag, moves its root page on each
// insert, and numbers index positions by a plain number.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/abstract/QXLIndex.h"
#include "engine/core/abstract/QXLIndexManager.h"

namespace qxl {

// An index position that is just a number.
class FakeIndexPosition : public TQXLKeyPathBase {
public:
  explicit FakeIndexPosition(std::int64_t No = 0) : No(No) {}
  std::int64_t No;
};

// What every fake index of one factory did, by index name.
struct FakeIndexLog {
  std::vector<std::string> Calls;  // "Create NAME", "Insert NAME", ...
  bool Duplicate = false;          // CanInsertRecord and CanUpdateRecord answer !Duplicate
  bool FailCreate = false;
  std::int32_t Rebuilds = 0;
};

class FakeIndex : public TQXLIndex {
public:
  FakeIndex(TQXLBaseIndexManager* Manager, FakeIndexLog& Log) : TQXLIndex(Manager), FLog(Log) {}

  void CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& Def) override {
    if (FLog.FailCreate) throw std::runtime_error("build failed");
    TQXLIndex::CreateIndex(Cursor, Def);
    Def.RootPageNo = 100;
    Log("Create");
  }
  void DropIndex(std::int32_t) override { Log("Drop"); }
  void EmptyIndex(std::int32_t) override { Log("Empty"); }
  void OpenIndex(const TQXLIndexDef& Def) override {
    TQXLIndex::OpenIndex(Def);
    Log("Open");
  }
  void RebuildTemporaryIndex(TQXLCursor*) override {
    ++FLog.Rebuilds;
    Log("Rebuild");
  }
  void GetRecordBuffer(std::int32_t, TQXLNavigationInfo&, TQXLIndexPositionCache*, std::int32_t) override {
    Log("Step");
  }
  void GetClosestRecordBuffer(std::int32_t, TQXLNavigationInfo&, TQXLIndexPositionCache*, std::int32_t) override {
    Log("Closest");
  }
  std::unique_ptr<TQXLIndexPosition> CreateIndexPosition() override { return std::make_unique<FakeIndexPosition>(); }
  bool GetIndexPosition(std::int32_t, const TQXLPageItemID&, const std::uint8_t*, TQXLIndexPosition&) override {
    return false;
  }
  std::int32_t CompareRecordPositionsInIndex(const TQXLIndexPosition&, const TQXLIndexPosition&) override { return 0; }
  std::int64_t GetRecNoByRecordID(std::int32_t, const TQXLPageItemID&, const std::uint8_t*) override { return -1; }
  TQXLPageItemID GetRecordIDByRecNo(std::int32_t, std::int64_t) override { return {}; }
  void ApplyDistinctToRecordBitmap(std::int32_t, TQXLRecordBitmap&, std::int32_t) override {}
  void* CreateSearchInfo() override { return nullptr; }
  void FreeSearchInfo(void*) override {}
  bool FindRecord(std::int32_t, bool, bool, TQXLScanSearchCondition*, TQXLScanSearchCondition*, std::uint8_t*,
                  TQXLPageItemID&, void*) override {
    return false;
  }
  std::int32_t CompareRecordBuffersByIndex(const std::uint8_t*, const std::uint8_t*, std::int32_t) override {
    return 0;
  }
  std::int32_t CompareConditions(TQXLScanSearchCondition*, TQXLScanSearchCondition*) override { return 0; }
  std::int64_t GetApproxRangeRecordCount(std::int32_t, std::int64_t, TQXLScanSearchCondition*,
                                         TQXLScanSearchCondition*) override {
    return 0;
  }
  bool CanInsertRecord(std::int32_t, const std::uint8_t*) override {
    Log("CanInsert");
    return !FLog.Duplicate;
  }
  bool CanUpdateRecord(std::int32_t, const std::uint8_t*, const std::uint8_t*) override {
    Log("CanUpdate");
    return !FLog.Duplicate;
  }
  void InsertRecord(TQXLCursor*) override {
    FIndexDef->RootPageNo += 1;
    Log("Insert");
  }
  void DeleteRecord(TQXLCursor*) override { Log("Delete"); }
  void UpdateRecord(TQXLCursor*, bool Before) override { Log(Before ? "UpdateBefore" : "UpdateAfter"); }
  std::int32_t GetMaxEntriesPerPage() override { return 10; }
  void GetRecordIDByIndexPosition(std::int32_t, const TQXLIndexPosition&, TQXLPageItemID&) override {}
  std::int64_t IndexPositionToBitNo(const TQXLIndexPosition& Pos) override {
    return static_cast<const FakeIndexPosition&>(Pos).No;
  }
  void BitNoToIndexPosition(std::int64_t BitNo, TQXLIndexPosition& Pos) override {
    static_cast<FakeIndexPosition&>(Pos).No = BitNo;
  }

private:
  void Log(const char* What) { FLog.Calls.push_back(std::string(What) + " " + (FIndexDef ? FIndexDef->Name : "?")); }
  FakeIndexLog& FLog;
};

class FakeIndexFactory : public TQXLIndexFactory {
public:
  std::unique_ptr<TQXLIndex> CreateRecordIndex(TQXLBaseIndexManager* Manager) override {
    if (Make) return Make(Manager);
    return std::make_unique<FakeIndex>(Manager, Log);
  }
  FakeIndexLog Log;
  // Makes another double in place of FakeIndex when set.
  std::function<std::unique_ptr<TQXLIndex>(TQXLBaseIndexManager*)> Make;
};

}  // namespace qxl
