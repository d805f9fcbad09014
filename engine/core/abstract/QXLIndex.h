#pragma once
// The abstract index that the index manager drives: build, open, drop and
// empty; navigation in index order; positions; range search; unique checks;
// entry changes. The B-tree record index of the storage layer is the only
// implementation. Thread rule: callers hold the table lock.
#include <cstdint>
#include <memory>

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/core/abstract/QXLNavigationInfo.h"

namespace qxl {

class TQXLBaseIndexManager;
class TQXLCursor;
class TQXLRecordBitmap;

// A position in an index (a key path of the B-tree layer).
using TQXLIndexPosition = TQXLKeyPathBase;

class TQXLIndex {
public:
  explicit TQXLIndex(TQXLBaseIndexManager* aIndexManager) : FIndexManager(aIndexManager) {}
  virtual ~TQXLIndex() = default;
  TQXLIndex(const TQXLIndex&) = delete;
  TQXLIndex& operator=(const TQXLIndex&) = delete;

  TQXLIndexDef* IndexDef() const { return FIndexDef.get(); }
  TQXLBaseIndexManager* IndexManager() const { return FIndexManager; }

  // Base: takes a copy of aIndexDef unless it is the index's own. An
  // implementation builds the index over every record and writes its storage
  // facts (the root page) into aIndexDef.
  virtual void CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& aIndexDef);
  virtual void DropIndex(std::int32_t SessionID) = 0;
  virtual void EmptyIndex(std::int32_t SessionID) = 0;
  // Base: takes a copy of aIndexDef. An implementation attaches to the stored index.
  virtual void OpenIndex(const TQXLIndexDef& aIndexDef);
  virtual void RebuildTemporaryIndex(TQXLCursor* Cursor) = 0;
  // One step in index order, with the record manager's position rules.
  virtual void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                               TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) = 0;
  // As GetRecordBuffer, from where the vanished record's key would stand.
  virtual void GetClosestRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                                      TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) = 0;
  virtual std::unique_ptr<TQXLIndexPosition> CreateIndexPosition() = 0;
  virtual void FreeIndexPosition(std::unique_ptr<TQXLIndexPosition>& IndexPosition) { IndexPosition.reset(); }
  virtual bool GetIndexPosition(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                const std::uint8_t* RecordBuffer, TQXLIndexPosition& IndexPosition) = 0;
  virtual std::int32_t CompareRecordPositionsInIndex(const TQXLIndexPosition& RecordPosition1,
                                                     const TQXLIndexPosition& RecordPosition2) = 0;
  virtual std::int64_t GetRecNoByRecordID(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                          const std::uint8_t* RecordBuffer) = 0;
  virtual TQXLPageItemID GetRecordIDByRecNo(std::int32_t SessionID, std::int64_t RecNo) = 0;
  // Hides, among the records Bitmap shows, each whose first DistinctFieldCount
  // key columns equal those of the previous shown one.
  virtual void ApplyDistinctToRecordBitmap(std::int32_t SessionID, TQXLRecordBitmap& Bitmap,
                                           std::int32_t DistinctFieldCount) = 0;
  virtual void* CreateSearchInfo() = 0;
  virtual void FreeSearchInfo(void* SearchInfo) = 0;
  virtual bool FindRecord(std::int32_t SessionID, bool Restart, bool GoForward,
                          TQXLScanSearchCondition* StartScanCondition, TQXLScanSearchCondition* EndScanCondition,
                          std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID, void* SearchInfo) = 0;
  // A walk of a range that keeps its place between steps, so that each
  // step moves once along the index instead of finding its place again.
  // WalksRanges says whether the index offers it; SeekRange places Position
  // on the range's first entry in the walk's direction (AtCandidate true), or,
  // without Restart, where the next step from record RecordID (whose record
  // RecordBuffer holds) lands (AtCandidate false when that takes a step), and
  // EndPosition on its last entry (null without a start condition: the walk
  // goes to the index's end); false when the range is empty. StepRange moves
  // one entry when Step and answers the record there, false past the end.
  // PositionHolds tells whether Position still stands on RecordID's entry.
  virtual bool WalksRanges() const { return false; }
  virtual bool SeekRange(std::int32_t, bool, bool, TQXLScanSearchCondition*, TQXLScanSearchCondition*,
                         const std::uint8_t*, const TQXLPageItemID&, std::unique_ptr<TQXLIndexPosition>&,
                         std::unique_ptr<TQXLIndexPosition>&, bool&) {
    return false;
  }
  virtual bool StepRange(std::int32_t, bool, bool, TQXLIndexPosition&, const TQXLIndexPosition*, TQXLPageItemID&) {
    return false;
  }
  virtual bool PositionHolds(std::int32_t, const TQXLIndexPosition&, const TQXLPageItemID&) { return false; }
  virtual std::int32_t CompareRecordBuffersByIndex(const std::uint8_t* Buffer1, const std::uint8_t* Buffer2,
                                                   std::int32_t IndexFieldCount) = 0;
  virtual std::int32_t CompareConditions(TQXLScanSearchCondition* Condition1,
                                         TQXLScanSearchCondition* Condition2) = 0;
  virtual std::int64_t GetApproxRangeRecordCount(std::int32_t SessionID, std::int64_t TableRecordCount,
                                                 TQXLScanSearchCondition* RangeCondition1,
                                                 TQXLScanSearchCondition* RangeCondition2) = 0;
  // False when the index is unique and already holds the record's key.
  virtual bool CanInsertRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer) = 0;
  virtual bool CanUpdateRecord(std::int32_t SessionID, const std::uint8_t* OldRecordBuffer,
                               const std::uint8_t* NewRecordBuffer) = 0;
  virtual void InsertRecord(TQXLCursor* Cursor) = 0;
  virtual void DeleteRecord(TQXLCursor* Cursor) = 0;
  // Called before (true) and after (false) the record manager stores the new version.
  virtual void UpdateRecord(TQXLCursor* Cursor, bool BeforeNewRecordIsStored) = 0;
  virtual std::int32_t GetMaxEntriesPerPage() = 0;
  // Bytes of one leaf entry (key and reference), the search's measure of an
  // index's size; 0 when the implementation does not say, and the search then
  // estimates it from the columns.
  virtual std::int32_t KeyEntrySize() { return 0; }
  virtual void GetRecordIDByIndexPosition(std::int32_t SessionID, const TQXLIndexPosition& IndexPos,
                                          TQXLPageItemID& RecordID) = 0;
  // The numbering of index positions in record bitmaps, by the key path's
  // own rule with GetMaxEntriesPerPage, and its inverse.
  virtual std::int64_t IndexPositionToBitNo(const TQXLIndexPosition& IndexPos) = 0;
  virtual void BitNoToIndexPosition(std::int64_t BitNo, TQXLIndexPosition& IndexPos) = 0;

protected:
  std::unique_ptr<TQXLIndexDef> FIndexDef;
  TQXLBaseIndexManager* FIndexManager;
};

// Makes the index objects of an index manager: the B-tree layer registers
// the one implementation, so that the core links only downwards.
class TQXLIndexFactory {
public:
  virtual ~TQXLIndexFactory() = default;
  virtual std::unique_ptr<TQXLIndex> CreateRecordIndex(TQXLBaseIndexManager* IndexManager) = 0;
};

}  // namespace qxl
