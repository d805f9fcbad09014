#pragma once
// The relational operator: one node of the tree that answers a SELECT. It
// describes its output columns as field links (each reading a dataset field,
// a column of a child operator or an expression), resolves column names
// against itself and its children, reads the current row's values for the
// expressions bound to it, and turns its row stream into a result table: a
// temporary table "TEMPORARY_TABLE_"+GUID of the TEMP database, with
// DISTINCT, TOP, a first-row number, a row filter and a result order (an
// index "TEMPORARY_INDEX_"+GUID). An operator with children materialises
// once when executed: its rows are copied into the result table, its links
// are pointed at that table and its children are freed. A table operator
// never materialises: its result is the table component it was given.
//
// A descendant streams its own rows through InternalFirst, InternalNext,
// InternalEof and InternalRecordCount, makes its links in its constructor and
// may override Execute, SetTopRowCount, SetResultFields, FieldExists and
// SetIndex. The operators a planner builds take pushed conditions as well:
// they derive from TQXLAOFilterable.
//
// Threads: a tree belongs to one statement and is used by the thread that
// runs it; other sessions are kept out by the shared table locks that
// LockTables takes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/sql/expr/QXLFilterTarget.h"
#include "engine/sql/nodes/QXLSelectListItem.h"

namespace qxl {

class TQXLCursor;
class TQXLDataSet;
class TQXLExpression;
class TQXLTable;
class TQXLAO;

// A list of select-list items: GROUP BY, USING, CORRESPONDING BY and join
// column lists.
class TQXLFields {
public:
  std::vector<TQXLSelectListItem> Items;
  std::int32_t ItemCount() const { return static_cast<std::int32_t>(Items.size()); }
  // Copies the item's names and switches; an expression stays with the item.
  void Append(const TQXLSelectListItem& Item);
  void Append(TQXLSelectListItem&& Item) { Items.push_back(std::move(Item)); }
};

// One output column of an operator. Its value comes from exactly one source:
// its expression, field FieldNo of Dataset, or column FieldNo of AO.
struct TQXLFieldLink {
  TQXLFieldLink();
  ~TQXLFieldLink();
  TQXLFieldLink(TQXLFieldLink&&) noexcept;
  TQXLFieldLink& operator=(TQXLFieldLink&&) noexcept;

  std::string FieldName;    // unique within the operator after MakeUniqueFieldNames
  std::string DisplayName;  // the name shown; empty until result fields are set
  TQXLAdvancedFieldType FieldType = aftUnknown;
  std::int32_t FieldPrecision = 0;
  std::int32_t FieldSize = 0;
  TQXLCompressionAlgorithm BLOBCompressionAlgorithm = acaNone;
  std::uint8_t BLOBCompressionMode = 0;
  std::int32_t BLOBBlockSize = 102400;
  TQXLAO* AO = nullptr;            // not owned
  TQXLDataSet* Dataset = nullptr;  // not owned
  bool IsHidden = false;
  std::int32_t FieldNo = -1;
  bool IsExpression = false;
  bool IsAggregate = false;
  std::unique_ptr<TQXLExpression> Expr;
};

class TQXLAO {
public:
  // Takes ownership of the children. The result dataset starts as an empty
  // table component of the left child's (else the right child's) session.
  explicit TQXLAO(std::unique_ptr<TQXLAO> LeftAO = nullptr, std::unique_ptr<TQXLAO> RightAO = nullptr,
                  std::string TableAlias = std::string(), std::string TableName = std::string());
  // Releases a held table lock, frees the expressions, closes the result
  // table and deletes it when it is a temporary table this operator made,
  // then frees the children. Raises nothing.
  virtual ~TQXLAO();
  TQXLAO(const TQXLAO&) = delete;
  TQXLAO& operator=(const TQXLAO&) = delete;

  // Row stream of the descendant (slots 0 to 3).
  virtual void InternalFirst() {}
  virtual void InternalNext() {}
  virtual bool InternalEof() { return false; }
  virtual std::int64_t InternalRecordCount();
  // Reading: through the result table once materialised, else the stream.
  virtual void First();
  virtual void Next();
  virtual bool GetEof();
  virtual std::int64_t GetRecordCount();
  bool Eof() { return GetEof(); }
  std::int64_t RecordCount() { return GetRecordCount(); }

  virtual void MakeUniqueFieldNames();
  virtual void Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);
  // The TOP pair: FirstRowNo 1-based (negative: none), TopRowCount (negative: none).
  virtual void SetTopRowCount(std::int64_t FirstRowNo, std::int64_t TopRowCount);
  virtual void SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct);
  // The number of columns that match FieldName (and the qualifier TableName
  // when given); their numbers are appended to FieldNumbers. Unhide makes
  // matched hidden columns visible unless UnhideChildrenOnly;
  // ScanOnlyVisibleFields skips hidden ones. Names compare without regard to
  // case. A table with an alias answers to the alias only.
  virtual std::int32_t FieldExists(const std::string& FieldName, const std::string& TableName, bool Unhide,
                                   TQXLIntegerArray& FieldNumbers, bool UnhideChildrenOnly,
                                   bool ScanOnlyVisibleFields);
  // The result order: ';'-separated column names, those descending, those
  // compared without case.
  virtual void SetIndex(const std::string& IndexFieldNames, const std::string& DescFields,
                        const std::string& CaseInsensitiveFields);

  // Tables of the tree: a table operator acts on its table, any other
  // operator on its left and then its right child, stopping at a failure.
  bool LockTables();
  bool UnlockTables();
  bool OpenTables();
  bool CloseTables();

  // A pushed condition; a further one is AND-ed into the first.
  void SetFilter(std::unique_ptr<TQXLExpression> FilterExpr);
  TQXLExpression* Filter() const { return FFilterExpr.get(); }
  // The SELECT INTO target.
  void SetResultTable(bool InMemory, bool Immediate, const std::string& TableName, const std::string& DatabaseName);
  void ApplyDistinct(const std::string& DistinctFields);

  bool FindFieldInFieldLinks(const std::string& FieldName, std::int32_t& FieldNo) const;
  std::string GetFieldName(std::int32_t FieldNo, bool ApplyOrderBy);
  std::string GetFieldNameByColumnName(const std::string& ColumnName) const;
  virtual std::string GetFieldNameByColumnNo(std::int32_t ColumnNo);
  std::string GetFieldNameByVisibleNumber(std::int32_t VisibleFieldNo) const;
  std::int32_t GetFieldNoByVisibleNumber(std::int32_t VisibleFieldNo) const;
  // The current row's value of column FieldNo, copied or linked.
  virtual void GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool bCopy, bool AccessToHidden);
  virtual TQXLAdvancedFieldType GetFieldType(std::int32_t FieldNo);
  virtual std::int32_t GetFieldSize(std::int32_t FieldNo);
  virtual std::int32_t GetFieldPrecision(std::int32_t FieldNo);
  // Column SrcFieldNo of the current row into field DestFieldNo of the
  // result table's record being inserted.
  void CopyFieldValue(std::int32_t SrcFieldNo, std::int32_t DestFieldNo);
  // Follows column FieldNo down to the dataset field that holds it.
  bool GetFieldDatsetAndFieldNo(std::int32_t FieldNo, TQXLDataSet*& SrcFieldDatset,
                                std::int32_t& SrcFieldDatasetFieldNo);
  // A link to column ChildFieldNo of the left child.
  void AddChildFieldLink(std::int32_t ChildFieldNo, bool SkipHidden);

  // The tree as the push-down of conditions walks it.
  virtual TQXLAO* LeftChildAO() const { return FLeftAO.get(); }
  virtual TQXLAO* RightChildAO() const { return FRightAO.get(); }
  virtual bool IsOuterJoin() const { return false; }
  // Adopts the condition when it is an SQL expression (as SetFilter).
  virtual void SetFilterExpression(std::unique_ptr<TQXLBaseExpression> Filter);
  virtual bool IsGrouping() const { return FIsAOGroupBy; }

  bool IsMaterialized() const { return FIsMaterialized; }
  bool IsAOTable() const { return FIsAOTable; }
  bool HasSetResultFields() const { return FHasSetResultFields; }
  bool DistinctApplied() const { return FDistinctApplied; }
  std::int32_t FieldCount() const { return static_cast<std::int32_t>(FFieldLinks.size()); }
  const TQXLFieldLink& FieldLink(std::int32_t FieldNo) const;
  const TQXLIntegerArray& ResultFieldsOrder() const { return FResultFieldsOrder; }
  TQXLTable* ResultDataset() const { return FResultDataset.get(); }
  bool HasResultIndex() const { return !FResultIndexFieldsList.empty(); }
  const std::string& TableName() const { return FTableName; }
  const std::string& TableAlias() const { return FTableAlias; }
  void SetTableAlias(const std::string& Value) { FTableAlias = Value; }
  bool DisableTempFiles() const { return FDisableTempFiles; }
  std::int64_t TopRowCount() const { return FTopRowCount; }
  std::int64_t FirstRowNo() const { return FFirstRowNo; }

protected:
  // Whether the qualifier names this operator: its alias when it has one,
  // else its table name.
  bool AnswersTo(const std::string& Qualifier) const;
  // Between executing the children and materialising (a join puts the
  // smaller input on the driving side here).
  virtual void AfterChildrenExecuted() {}
  // Whether DISTINCT is also handed to the children (a join without filter).
  virtual bool PushesDistinctToChildren() const { return false; }
  // Whether values are read by visible field number (a set operator that is
  // the root or has no result fields) instead of the table's own number.
  virtual bool UsesDirectFieldAccess() const { return true; }
  // Whether the rows come sorted on the DISTINCT columns, so that a row
  // repeating another follows it (a set operator merging sorted inputs):
  // then each row is compared with the last one only.
  virtual bool RepeatsAreAdjacent() const { return false; }

  void Materialize();
  void CreateResultTable(std::vector<std::string>& FieldNames, std::vector<std::string>& DisplayNames);
  void FillResultTable();
  void FinishResultTable(std::vector<std::string>& FieldNames, std::vector<std::string>& DisplayNames);
  std::string AddResultIndex(bool BeforeCreate);
  void ApplyResultIndex(bool FreeLists);
  void ClearResultIndex();
  // Drops the result table this operator made (closed first); failures are ignored.
  void DropResultTable() noexcept;
  TQXLFieldLink& Link(std::int32_t FieldNo);
  std::string HiddenFieldText(std::int32_t FieldNo) const;

  bool FIsRootAO = false;
  bool FIsAOTable = false;
  bool FIsAOGroupBy = false;
  std::unique_ptr<TQXLExpression> FFilterExpr;
  std::int64_t FTopRowCount = -1;
  std::int64_t FFirstRowNo = -1;
  bool FHasSetResultFields = false;
  std::string FResultTableName;
  bool FResultInMemory = false;
  bool FResultImmediate = false;
  std::string FResultDatabaseName;
  std::string FTableName;
  std::string FTableAlias;
  bool FIsMaterialized = true;
  std::unique_ptr<TQXLTable> FResultDataset;
  // The result table was created by this operator (and is dropped by it
  // when temporary).
  bool FResultTableCreated = false;
  TQXLIntegerArray FResultFieldsOrder;
  bool FLeftAONull = false;
  bool FRightAONull = false;
  bool FDistinctApplied = false;
  std::string FDistinctFields;
  std::int32_t FDistinctFieldCount = 0;
  std::vector<std::int32_t> FDistinctFieldsMap;
  std::vector<std::string> FResultIndexFieldsList;
  std::vector<std::string> FResultIndexAscDescFieldsList;
  std::vector<std::string> FResultIndexCaseInsFieldsList;
  bool FExpressionsExists = false;
  bool FIsLocked = false;
  bool FDisableTempFiles = false;
  TQXLVariant FValue;
  std::vector<TQXLFieldLink> FFieldLinks;
  std::unique_ptr<TQXLAO> FLeftAO;
  std::unique_ptr<TQXLAO> FRightAO;
};

// An operator that takes the parts of a search condition pushed down to it.
class TQXLAOFilterable : public TQXLAO, public TQXLFilterTarget {
public:
  using TQXLAO::TQXLAO;
  TQXLAO* LeftChildAO() const override { return TQXLAO::LeftChildAO(); }
  TQXLAO* RightChildAO() const override { return TQXLAO::RightChildAO(); }
  bool IsOuterJoin() const override { return false; }
  using TQXLAO::SetFilterExpression;
  void SetFilterExpression(std::unique_ptr<TQXLExpression> Filter) override;
};

}  // namespace qxl
