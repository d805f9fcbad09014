#pragma once
// The engine's dataset: one open cursor behind the dataset base's record
// buffers, field objects and bookmarks. It holds its database component
// while any of its reasons for it is pending, turns the cursor's error code
// into EQXLEngineError after every record operation, and keeps the field and
// index definitions of the open table in the dataset's, the SQL layer's and
// the engine's forms. The table and query components derive from it and
// supply the cursor.
//
// Record buffer: the cursor's record (B bytes), its 6 identity bytes and a
// flag byte (the bookmark), then the calculated fields. A key buffer is the
// record part, then the Modified byte, the Exclusive byte and the key field
// count (Int32, 0 for every index column).
//
// Thread rule: one thread; the record work takes the cursor's own locks.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/components/QXLDatabase.h"

namespace qxl {

class TQXLAO;
class TQXLConstraintDefs;
class TQXLCursor;
class TQXLBaseExpression;
class TQXLFieldDefs;
class TQXLIndexDefs;
class TQXLStream;
class TQXLVariant;


class TQXLAdvFieldDefs;
class TQXLAdvIndexDefs;
class TQXLBLOBStream;
class TQXLSession;

// A provider's change of one record and what its handler made of it.
enum TUpdateKind : std::uint8_t { ukModify, ukInsert, ukDelete };
enum TUpdateAction : std::uint8_t { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };

class TQXLDataSet : public TDataSet, public TQXLDatabaseDataSet {
public:
  // The reasons for which a dataset holds its database open.
  enum TDatabaseUse : std::int32_t {
    duOpenCursor = 0,
    duPrepared = 1,
    duExecSQL = 2,
    duTableDDL = 3,
    duFieldDefs = 4,
    duIndexDefs = 5,
    duTransaction = 10,
    duRepairOpen = 11,
  };
  // The key buffers, in this order.
  enum TKeyIndex : std::int32_t { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
  static constexpr std::int32_t KeyBufferCount = 6;
  // The identity bytes and the flag byte behind a record.
  static constexpr std::int32_t BookmarkBytes = 7;

  // An owner that is a form editor's sets the process-wide design-mode flag.
  explicit TQXLDataSet(const TComponent* Owner = nullptr, bool OwnerInDesignMode = false);
  // Closes the dataset. Raises nothing.
  ~TQXLDataSet() override;

  const TComponent* Owner() const { return FOwner; }

  // Its database closes: the dataset closes too.
  bool IsQuery() const override { return false; }
  void CloseByDatabase() override;
  // Sets or clears one reason (0 to 15); the first one set opens the
  // database through the session, clearing the last one closes it.
  virtual void SetDatabaseUse(std::int32_t Reason, bool On);
  bool DatabaseInUse(std::int32_t Reason) const { return (FDBFlags >> Reason) & 1; }

  std::string CurrentVersion() const { return "7.80 "; }
  const std::string& DatabaseName() const { return FDatabaseName; }
  // Needs an inactive dataset that holds no database; "MEMORY" in any letter
  // case turns InMemory on.
  void SetDatabaseName(const std::string& Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  bool InMemory() const { return FInMemory; }
  void SetInMemory(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  // The open cursor; nullptr while closed.
  TQXLCursor* Handle() const { return FHandle; }
  TQXLDatabase* Database() const { return FDatabase; }
  // The held database's session, else the session of SessionName, else the default one.
  TQXLSession* DBSession() const;
  TQXLDatabase* OpenDatabase();
  void CloseDatabase(TQXLDatabase* Database);
  void GetDatabaseNameList(std::vector<std::string>& List) const;

  TQXLFieldDefs& QXLFieldDefs() const { return *FQXLFieldDefs; }
  TQXLIndexDefs& QXLIndexDefs() const { return *FQXLIndexDefs; }
  TQXLConstraintDefs& QXLConstraintDefs() const { return *FQXLConstraintDefs; }
  TQXLAdvFieldDefs& AdvFieldDefs() const { return *FAdvFieldDefs; }
  TQXLAdvIndexDefs& AdvIndexDefs() const { return *FAdvIndexDefs; }
  TQXLAdvFieldDefs& RestructureFieldDefs() const { return *FRestructureFieldDefs; }
  TQXLAdvIndexDefs& RestructureIndexDefs() const { return *FRestructureIndexDefs; }
  std::int32_t KeySize() const { return FKeySize; }
  std::int32_t IndexFieldCount() const { return static_cast<std::int32_t>(FIndexFieldMap.size()); }
  // The 1-based field numbers of the active index's columns.
  const std::vector<std::uint16_t>& IndexFieldMap() const { return FIndexFieldMap; }
  bool IsIndexField(const TField& Field) const;
  bool StoreDefs = false;

  bool CanModify() const override;
  std::int64_t RecordCount() override;
  std::int64_t RecNo() override;
  void SetRecNo(std::int64_t Value) override;
  // An empty bookmark sorts after every record; two records by the cursor's order.
  std::int32_t CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
  bool BookmarkValid(const TBookmark& Bookmark) override;
  // Reads the current record again into Buffer; false when it is gone.
  bool GetCurrentRecord(TRecordBuffer Buffer);

  bool Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues, TLocateOptions Options) override;
  Variant Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                 const std::string& ResultFields) override;
  void SetFiltered(bool Value) override;
  void SetFilterText(const std::string& Value) override;
  void SetFilterOptions(TFilterOptions Value) override;
  void SetOnFilterRecord(TFilterRecordEvent Handler) override;

  // A writing mode on a read-only dataset raises 10107; the stream raises
  // when the cursor cannot give one.
  std::unique_ptr<TQXLStream> CreateBlobStream(TField& Field, TBlobStreamMode Mode) override;
  void CloseBlob(TField& Field);
  // A BLOB stream stored a changed content.
  void BlobFieldChanged(TField& Field);
  // Hands an error that cannot be raised to the application's handler.
  void HandleException(const std::exception& Error) { InternalHandleException(Error); }
  // The cursor stream behind a BLOB stream of Field; nullptr when the
  // cursor gives none.
  TQXLStream* OpenCursorBlobStream(TField& Field, TBlobStreamMode Mode);
  TRecordBuffer ActiveBuffer() const override;

  // What the SQL layer works with.
  void SetSQLFilter(TQXLBaseExpression* FilterExpr, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);
  // The dataset reopens on its cursor showing only those fields, under the aliases.
  void ApplyProjection(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AliasList);
  // Field FieldNo of the current record: among all the table's fields with
  // DirectAccess, else among the visible ones. BLOB content comes whole.
  void GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess);
  void SetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess);
  void CopyFieldValue(std::int32_t SrcFieldNo, bool UseDirectFieldAccess, std::int32_t DestFieldNo,
                      TQXLDataSet& DestDataset);
  bool IsDistinctApplied() const;

  std::function<void(TQXLDataSet&, const std::exception&)> OnHandleException;

  // What a provider asks of the dataset. A transaction holds the database
  // (reason 10) from its start to its end; a failed end keeps it, so that
  // the caller can roll back.
  static constexpr const char* QuoteChar = "`";
  bool PSIsSQLBased() const { return true; }
  bool PSIsSQLSupported() const { return true; }
  bool PSInTransaction() const;
  void PSStartTransaction();
  void PSEndTransaction(bool Commit);
  // Closes and opens an open dataset again.
  void PSReset();
  // Asks OnUpdateRecord (action preset to uaFail); done only when it answers uaApplied.
  bool PSUpdateRecord(TUpdateKind UpdateKind);
  std::function<void(TQXLDataSet&, TUpdateKind, TUpdateAction&)> OnUpdateRecord;

protected:
  // Holds one reason for its scope.
  class TDatabaseUseScope {
  public:
    TDatabaseUseScope(TQXLDataSet& DataSet, std::int32_t Reason) : FDataSet(DataSet), FReason(Reason) {
      DataSet.SetDatabaseUse(Reason, true);
    }
    ~TDatabaseUseScope() {
      try {
        FDataSet.SetDatabaseUse(FReason, false);
      } catch (...) {
        // The reason is cleared before the database is left; a failing close stays unreported.
      }
    }
    TDatabaseUseScope(const TDatabaseUseScope&) = delete;
    TDatabaseUseScope& operator=(const TDatabaseUseScope&) = delete;

  private:
    TQXLDataSet& FDataSet;
    std::int32_t FReason;
  };

  // The cursor's answer, taken while opening.
  void TakeReadOnly(bool Value) { FReadOnly = Value; }

  // Made when the dataset opens; the descendant's own cursor or FExternalHandle.
  virtual TQXLCursor* CreateCursorHandle() { return nullptr; }
  virtual void DestroyCursorHandle();
  virtual void ApplyMasterRange() {}
  // Keeps a cursor the dataset made; answers it.
  TQXLCursor* AdoptHandle(std::unique_ptr<TQXLCursor> Cursor);

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& Buffer) override;
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
  std::int32_t GetRecordSize() const override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return FHandle != nullptr; }
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer Buffer) override;
  void InternalGotoBookmark(const TBookmark& Bookmark) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override;
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Flag) override;
  TBookmark GetBookmarkData(TRecordBuffer Buffer) const override;
  void SetBookmarkData(TRecordBuffer Buffer, const TBookmark& Bookmark) override;
  void InternalInitRecord(TRecordBuffer Buffer) override;
  void InitRecord(TRecordBuffer Buffer) override;
  bool GetDataFieldValue(const TField& Field, TRecordBuffer Buffer, TQXLVariant& Value) override;
  void SetDataFieldValue(const TField& Field, TRecordBuffer Buffer, const TQXLVariant& Value) override;
  void InternalInitFieldDefs() override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  void InternalHandleException(const std::exception& Error) override;
  bool FindRecord(bool Restart, bool GoForward) override;

  // The cursor, or "Nil pointer occured" with Code.
  TQXLCursor& Cursor(std::int32_t Code) const;
  void ActivateFilters();
  void DeactivateFilters();
  // The active index's columns as field numbers, after open and every index switch.
  void BuildIndexFieldMap();
  // Makes Name the cursor's index: the current range goes, the map follows.
  void SwitchToIndex(const std::string& Name);
  // Clears the current range; true when there was one.
  bool ResetCursorRange();
  // The engine's, the dataset's and the SQL layer's field definitions from
  // the cursor's visible and full ones.
  void ReadFieldDefsFrom(TQXLCursor& Cursor);
  // The record and key buffers' bookmark bytes are the cursor's.
  std::int32_t BookmarkOffset() const;
  TRecordBuffer KeyBuffer(TKeyIndex Index) const { return FKeyBuffers[static_cast<std::size_t>(Index)]; }
  void InitKeyBuffer(TRecordBuffer Buffer);
  // Raised when the cursor left a code.
  void CheckCursorError() const;

  TQXLCursor* FHandle = nullptr;
  TQXLCursor* FExternalHandle = nullptr;  // never freed here
  TRecordBuffer FKeyBuffer = nullptr;      // the key being edited in the set-key state
  TRecordBuffer FFilterBuffer = nullptr;
  bool FIgnoreDesignMode = false;
  bool FIsRefreshing = false;

private:
  void FreeKeyBuffers();
  void CancelEditAtCursor();
  bool BlobValueOf(const TField& Field, TQXLVariant& Value);
  void WriteBlobValue(const TField& Field, const TQXLVariant& Value);
  TField* VisibleFieldOf(std::int32_t FieldNo, bool DirectAccess) const;

  const TComponent* FOwner;
  std::unique_ptr<TQXLCursor> FOwnedHandle;
  std::string FSessionName;
  std::string FDatabaseName;
  std::uint16_t FDBFlags = 0;
  TQXLDatabase* FDatabase = nullptr;
  bool FInMemory = false;
  bool FReadOnly = false;
  std::vector<std::uint16_t> FIndexFieldMap;
  std::int32_t FKeySize = 0;
  std::array<TRecordBuffer, KeyBufferCount> FKeyBuffers{};
  std::unique_ptr<TQXLFieldDefs> FQXLFieldDefs;
  std::unique_ptr<TQXLIndexDefs> FQXLIndexDefs;
  std::unique_ptr<TQXLConstraintDefs> FQXLConstraintDefs;
  std::unique_ptr<TQXLAdvFieldDefs> FAdvFieldDefs;
  std::unique_ptr<TQXLAdvIndexDefs> FAdvIndexDefs;
  std::unique_ptr<TQXLAdvFieldDefs> FRestructureFieldDefs;
  std::unique_ptr<TQXLAdvIndexDefs> FRestructureIndexDefs;
  // Set while the dataset closes and opens again on its cursor.
  bool FReopening = false;
};

}  // namespace qxl
