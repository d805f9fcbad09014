#pragma once
// The index of a table: one B-tree whose leaf entries are the short keys of
// the records' index columns with the records' identities as references.
// Finds and steps through records in key order, converts record numbers,
// scans ranges for searches, marks DISTINCT records in bitmaps, estimates
// ranges, checks unique keys and keeps its entries in step with the records.
// Thread rule: the object and its key reference are shared by every cursor
// of the table and keep working state; all calls come under the table lock.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/abstract/QXLIndex.h"
#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLKeyPath.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"

namespace qxl {

class TQXLPageManager;
class TQXLTableData;


// The state of one index scan between FindRecord calls.
struct TQXLIndexSearchInfo {
  bool GoForward = true;
  bool Started = false;
  std::unique_ptr<TQXLKeyPath> EndPosition;
  TQXLKeyPath Position;
};

class TQXLBTreeRecordIndex : public TQXLIndex {
public:
  // The session of index work done without a cursor.
  static constexpr std::int32_t SystemSessionID = -2;
  static constexpr std::uint16_t RecordReferenceSize = 6;

  explicit TQXLBTreeRecordIndex(TQXLBaseIndexManager* aIndexManager) : TQXLIndex(aIndexManager) {}

  void CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& aIndexDef) override;
  void DropIndex(std::int32_t SessionID) override;
  void EmptyIndex(std::int32_t SessionID) override;
  void OpenIndex(const TQXLIndexDef& aIndexDef) override;
  void RebuildTemporaryIndex(TQXLCursor* Cursor) override;
  void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                       TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) override;
  void GetClosestRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                              TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) override;
  std::unique_ptr<TQXLIndexPosition> CreateIndexPosition() override { return std::make_unique<TQXLKeyPath>(); }
  bool GetIndexPosition(std::int32_t SessionID, const TQXLPageItemID& RecordID, const std::uint8_t* RecordBuffer,
                        TQXLIndexPosition& IndexPosition) override;
  std::int32_t CompareRecordPositionsInIndex(const TQXLIndexPosition& RecordPosition1,
                                             const TQXLIndexPosition& RecordPosition2) override;
  std::int64_t GetRecNoByRecordID(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                  const std::uint8_t* RecordBuffer) override;
  TQXLPageItemID GetRecordIDByRecNo(std::int32_t SessionID, std::int64_t RecNo) override;
  void ApplyDistinctToRecordBitmap(std::int32_t SessionID, TQXLRecordBitmap& Bitmap,
                                   std::int32_t DistinctFieldCount) override;
  void* CreateSearchInfo() override { return new TQXLIndexSearchInfo; }
  void FreeSearchInfo(void* SearchInfo) override { delete static_cast<TQXLIndexSearchInfo*>(SearchInfo); }
  bool FindRecord(std::int32_t SessionID, bool Restart, bool GoForward, TQXLScanSearchCondition* StartScanCondition,
                  TQXLScanSearchCondition* EndScanCondition, std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID,
                  void* SearchInfo) override;
  bool WalksRanges() const override { return true; }
  bool SeekRange(std::int32_t SessionID, bool Restart, bool GoForward, TQXLScanSearchCondition* StartScanCondition,
                 TQXLScanSearchCondition* EndScanCondition, const std::uint8_t* RecordBuffer,
                 const TQXLPageItemID& RecordID, std::unique_ptr<TQXLIndexPosition>& Position,
                 std::unique_ptr<TQXLIndexPosition>& EndPosition, bool& AtCandidate) override;
  bool StepRange(std::int32_t SessionID, bool GoForward, bool Step, TQXLIndexPosition& Position,
                 const TQXLIndexPosition* EndPosition, TQXLPageItemID& RecordID) override;
  bool PositionHolds(std::int32_t SessionID, const TQXLIndexPosition& Position,
                     const TQXLPageItemID& RecordID) override;
  std::int32_t CompareRecordBuffersByIndex(const std::uint8_t* Buffer1, const std::uint8_t* Buffer2,
                                           std::int32_t IndexFieldCount) override;
  std::int32_t CompareConditions(TQXLScanSearchCondition* Condition1, TQXLScanSearchCondition* Condition2) override;
  std::int64_t GetApproxRangeRecordCount(std::int32_t SessionID, std::int64_t TableRecordCount,
                                         TQXLScanSearchCondition* RangeCondition1,
                                         TQXLScanSearchCondition* RangeCondition2) override;
  bool CanInsertRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer) override;
  bool CanUpdateRecord(std::int32_t SessionID, const std::uint8_t* OldRecordBuffer,
                       const std::uint8_t* NewRecordBuffer) override;
  void InsertRecord(TQXLCursor* Cursor) override;
  void DeleteRecord(TQXLCursor* Cursor) override;
  void UpdateRecord(TQXLCursor* Cursor, bool BeforeNewRecordIsStored) override;
  std::int32_t GetMaxEntriesPerPage() override;
  std::int32_t KeyEntrySize() override;
  void GetRecordIDByIndexPosition(std::int32_t SessionID, const TQXLIndexPosition& IndexPos,
                                  TQXLPageItemID& RecordID) override;
  std::int64_t IndexPositionToBitNo(const TQXLIndexPosition& IndexPos) override;
  void BitNoToIndexPosition(std::int64_t BitNo, TQXLIndexPosition& IndexPos) override;

  // Positions on a key path; every page fetched is given back.
  bool GotoFirst(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoLast(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoNext(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoPrior(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool Navigate(std::int32_t SessionID, bool Restart, TQXLKeyPath& KeyPath, bool GoForward);
  TQXLPageItemID GetReferenceAtPosition(std::int32_t SessionID, const TQXLKeyPath& KeyPath);

  TQXLRecordKeyRef* KeyRef() const { return FKeyRef.get(); }

private:
  TQXLPageManager* IndexPageManager() const;
  TQXLTableData* TableData() const;
  std::int32_t RootPageNo() const { return FIndexDef ? FIndexDef->RootPageNo : -1; }
  TQXLBTreePage AllocIndexPage(std::int32_t SessionID);
  TQXLBTreePage FetchIndexPage(std::int32_t SessionID, std::int32_t PageNo);
  // The root page; NoRootCode with "Invalid page number" before the index exists.
  TQXLBTreePage FetchRoot(std::int32_t SessionID, std::int32_t NoRootCode);
  void AssignKeyRef();
  void FillFromTable(TQXLCursor* Cursor);
  // Moves every level below Level to its neighbour page at its first or last entry.
  void MoveLevelsBelow(std::int32_t SessionID, TQXLKeyPath& KeyPath, std::int32_t Level, bool Forward);
  // The last step of a successful read: the record at Path into the caller's buffer.
  void ReadRecordAt(std::int32_t SessionID, const TQXLKeyPath& Path, TQXLNavigationInfo& NavigationInfo,
                    TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState);
  // Raises 20310 when the record read through the entry at Path has another
  // key than the entry; nothing to check without a record buffer.
  void CheckRecordMatchesEntry(std::int32_t SessionID, const TQXLKeyPath& Path, const std::uint8_t* RecordBuffer);
  bool CacheHolds(const TQXLIndexPositionCache* Cache, const TQXLPageItemID& RecordID,
                  std::int32_t TableState) const;
  bool FindScanStart(std::int32_t SessionID, bool Restart, bool GoForward, TQXLScanSearchCondition* StartScanCondition,
                     std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID, TQXLIndexSearchInfo& SearchInfo);
  bool FindScanEnd(std::int32_t SessionID, bool GoForward, TQXLScanSearchCondition* StartScanCondition,
                   TQXLScanSearchCondition* EndScanCondition, TQXLIndexSearchInfo& SearchInfo);
  // The first (last) entry meeting Condition, with its key over its key columns.
  bool FindByScanCondition(std::int32_t SessionID, bool First, const TQXLScanSearchCondition& Condition,
                           bool PartialCompare, TQXLKeyPath& Position);
  // Deletes the entry of Key (made from RecordBuffer) and RecordID; false when it is not there.
  bool DeleteEntry(std::int32_t SessionID, const std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID);
  void InsertEntry(std::int32_t SessionID, std::int32_t NoRootCode, const std::uint8_t* RecordBuffer,
                   const TQXLPageItemID& RecordID);

  std::unique_ptr<TQXLRecordKeyRef> FKeyRef;
  // The two keys of CompareRecordBuffersByIndex, kept so that a range walk's
  // bound tests allocate nothing.
  std::vector<std::uint8_t> FCompareKey1, FCompareKey2;
};

// Makes the B-tree record index for every index manager that asks.
class TQXLBTreeIndexFactory : public TQXLIndexFactory {
public:
  std::unique_ptr<TQXLIndex> CreateRecordIndex(TQXLBaseIndexManager* IndexManager) override {
    return std::make_unique<TQXLBTreeRecordIndex>(IndexManager);
  }
};

}  // namespace qxl
