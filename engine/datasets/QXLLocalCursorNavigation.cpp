// Moving the local cursor through its view: record numbers and counts, the
// order of two records, DISTINCT, the dataset filter, Locate and FindKey.
#include <cstring>
#include <memory>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/abstract/QXLIndex.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/datasets/QXLLocalCursor.h"

namespace qxl {

namespace {

// A record buffer of the cursor, freed through it on every way out.
class TOwnedRecordBuffer {
public:
  explicit TOwnedRecordBuffer(TQXLCursor& Cursor) : FCursor(Cursor), FBuffer(Cursor.AllocateRecordBuffer()) {}
  ~TOwnedRecordBuffer() {
    try {
      FCursor.FreeRecordBuffer(FBuffer);
    } catch (...) {
      // A damaged guard block cannot be reported from here.
    }
  }
  TOwnedRecordBuffer(const TOwnedRecordBuffer&) = delete;
  TOwnedRecordBuffer& operator=(const TOwnedRecordBuffer&) = delete;
  std::uint8_t* Get() const { return FBuffer; }

private:
  TQXLCursor& FCursor;
  std::uint8_t* FBuffer;
};

std::unique_ptr<TQXLBaseExpression> NewExpression() {
  std::unique_ptr<TQXLBaseExpression> expression = CreateExpression();
  if (!expression) throw EQXLException(10438, "No expression engine is registered");
  return expression;
}

std::int32_t CompareIdentities(const TQXLPageItemID& A, const TQXLPageItemID& B) {
  if (A.PageNo != B.PageNo) return A.PageNo < B.PageNo ? -1 : 1;
  if (A.PageItemNo != B.PageItemNo) return A.PageItemNo < B.PageItemNo ? -1 : 1;
  return 0;
}

}  // namespace

std::int64_t TQXLLocalCursor::GetRecordCount() { return Table().GetRecordCount(this); }

void TQXLLocalCursor::SetRecNo(std::int64_t Value) { Table().SetRecNo(this, Value); }

std::int64_t TQXLLocalCursor::GetRecNo() { return Table().GetRecNo(this); }

void TQXLLocalCursor::InternalFirst() {
  FirstPosition = true;
  LastPosition = false;
}

void TQXLLocalCursor::InternalLast() {
  FirstPosition = false;
  LastPosition = true;
}

std::int32_t TQXLLocalCursor::CompareRecordsOrder(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) {
  if (FIndexID != -1) {
    std::lock_guard guard(Database().CriticalSection());
    TQXLIndex* index = Table().IndexManager() ? Table().IndexManager()->OpenIndex(FIndexID) : nullptr;
    if (!index) throw EQXLException(10440, "Index %d of table '%s' cannot be opened", {FIndexID, FTableName});
    const std::unique_ptr<TQXLCursorPosition> position = SavePosition();
    std::uint8_t* const current = FCurrentRecordBuffer;
    struct TRestore {
      TQXLLocalCursor& Cursor;
      const TQXLCursorPosition& Position;
      std::uint8_t* Current;
      ~TRestore() {
        Cursor.RestorePosition(Position);
        Cursor.FCurrentRecordBuffer = Current;
      }
    } restore{*this, *position, current};
    TOwnedRecordBuffer first(*this), second(*this);
    auto read = [&](const TQXLPageItemID& ID, std::uint8_t* Buffer) {
      CurrentRecordID = ID;
      FirstPosition = LastPosition = false;
      FCurrentRecordBuffer = Buffer;
      return Table().GetRecordBuffer(this, grmCurrent) == grrOK;
    };
    if (!read(RecordID1, first.Get())) return -1;
    if (!read(RecordID2, second.Get())) return 1;
    const std::int32_t byIndex =
        index->CompareRecordBuffersByIndex(first.Get(), second.Get(), index->IndexDef()->ColumnCount());
    if (byIndex != 0) return byIndex;
  }
  return CompareIdentities(RecordID1, RecordID2);
}

void TQXLLocalCursor::ApplyDistinct(const std::vector<std::string>& FieldNamesList,
                                    const std::vector<std::string>& AscDescList,
                                    const std::vector<std::string>& CaseSensitivityList) {
  std::lock_guard guard(Database().CriticalSection());
  bool created = false;
  SetIndexName(FindOrCreateIndex(FieldNamesList, AscDescList, CaseSensitivityList, created));
  FDistinctFieldCount = static_cast<std::int32_t>(FieldNamesList.size());
  DisableRecordBitmap();
}

void TQXLLocalCursor::ActivateFilters(const std::string& FilterText, bool CaseInsensitive, bool PartialKey) {
  std::unique_ptr<TQXLBaseExpression> filter = NewExpression();
  filter->ParseForFilter(this, FilterText, CaseInsensitive, PartialKey);
  FFilterExpression = std::move(filter);
  DisableRecordBitmap();
}

void TQXLLocalCursor::DeactivateFilters() {
  FFilterExpression.reset();
  DisableRecordBitmap();
}

bool TQXLLocalCursor::Locate(const std::string& KeyFields, const Variant& KeyValues, bool CaseInsensitive,
                             bool PartialKey) {
  std::unique_ptr<TQXLBaseExpression> condition = NewExpression();
  condition->ParseForLocate(this, KeyFields, KeyValues, CaseInsensitive, PartialKey);
  return Table().Locate(this, condition.get());
}

bool TQXLLocalCursor::IsAnyRecordMatchCondition(const std::string& FieldName, TQXLDataOperator Operator,
                                                const TQXLVariant& Value) {
  std::unique_ptr<TQXLBaseExpression> condition = NewExpression();
  condition->ParseForIsAnyRecordMatchCondition(this, FieldName, Operator, Value);
  return Table().Locate(this, condition.get());
}

bool TQXLLocalCursor::FindKey(TQXLSearchCondition SearchCondition) {
  if (FIndexID == -1) throw EQXLException(20258, "No active index is set for Key search. Set Table.IndexName to the index on search fields.");
  const TQXLIndexDef* def = FIndexDefs ? FIndexDefs->GetIndexDefByObjectId(FIndexID) : nullptr;
  const std::int32_t columns = def ? def->ColumnCount() : 0;
  if (!FKeyBuffer || FKeyFieldCount < 0 || FKeyFieldCount > columns)
    throw EQXLException(10439, "Invalid key field count - KeyFieldCount = %d, index columns = %d",
                        {FKeyFieldCount, columns});
  const std::int32_t given = FKeyFieldCount;
  if (given == 0) FKeyFieldCount = columns;
  struct TKeep {
    std::int32_t& Count;
    std::int32_t Given;
    ~TKeep() { Count = Given; }
  } keep{FKeyFieldCount, given};
  return Table().FindKey(this, SearchCondition);
}

}  // namespace qxl
