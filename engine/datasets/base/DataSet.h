#pragma once
// The dataset base: a scrollable view of records behind a ring of record
// buffers, with field objects, bookmarks, states, editing, calculated and
// lookup fields, searches, filters and data links. A descendant supplies
// the records through the hooks below (fetch, move, edit, store); the base
// keeps the buffers, the states and the events.
//
// Record buffer: the descendant's record image of GetRecordSize() bytes,
// then its bookmark of BookmarkSize bytes (flag included), then the
// calculated-field space of CalcFieldsSize() bytes, which the base fills:
// per calculated field one has-value byte and the value's bytes. The
// descendant allocates buffers at least that large; the base computes the
// calculated fields after every fetch.
//
// Thread rule: one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/base/Component.h"
#include "engine/datasets/base/DataSetTypes.h"
#include "engine/datasets/base/FieldDefs.h"
#include "engine/datasets/base/IndexDefs.h"
#include "platform/RuntimeVariant.h"

namespace qxl {

class TQXLStream;
class TQXLVariant;


class TDataLink;
class TDataSource;
class TField;

class TDataSet : public TComponent {
public:
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
  // Action: true to try the failed operation again.
  using TDataSetErrorEvent = std::function<void(TDataSet&, const std::exception& Error, bool& Retry)>;
  using TFilterRecordEvent = std::function<void(TDataSet&, bool& Accept)>;

  TDataSet();
  // Leaves its fields and sources. A descendant closes the dataset in its
  // own destructor, while its hooks still exist.
  ~TDataSet() override;
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // Opening and closing.
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Active() const { return FState != dsInactive; }
  virtual void SetActive(bool Value);
  TDataSetState State() const { return FState; }
  // EDatabaseError unless open / closed / open and browsing (edits posted).
  void CheckActive() const;
  void CheckInactive() const;
  void CheckBrowseMode();

  // Fields.
  TFieldDefs& FieldDefs() { return FFieldDefs; }
  TIndexDefs& IndexDefs() { return FIndexDefs; }
  std::int32_t FieldCount() const { return static_cast<std::int32_t>(FFields.size()); }
  TField& Fields(std::int32_t Index) const;
  // In any letter case; FindField answers nullptr, FieldByName raises.
  TField* FindField(std::string_view FieldName) const;
  TField& FieldByName(std::string_view FieldName) const;
  std::int32_t CalcFieldsSize() const { return FCalcFieldsSize; }
  bool DefaultFields() const { return FDefaultFields; }

  // Navigation.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves Distance records (negative: back); answers the distance moved.
  std::int32_t MoveBy(std::int32_t Distance);
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool IsEmpty() const { return FBufferRecords == 0; }
  virtual std::int64_t RecordCount() { return 0; }
  virtual std::int64_t RecNo() { return -1; }
  virtual void SetRecNo(std::int64_t) {}
  virtual void Refresh();
  // Reads the records around the cursor's current record again. Exact:
  // raise when that record is gone; Center: keep it in the middle of the ring.
  void Resync(bool Exact, bool Center);
  // Ring size; data links ask for more.
  std::int32_t BufferCount() const { return FBufferCount; }
  void SetBufferCount(std::int32_t Value);
  // Position of the active record in the ring.
  std::int32_t ActiveRecord() const { return FActiveRecord; }
  std::int32_t BufferedRecordCount() const { return FBufferRecords; }

  // Bookmarks.
  TBookmark GetBookmark();
  void GotoBookmark(const TBookmark& Bookmark);
  // Negative, 0 or positive by the records' order; an empty bookmark sorts last.
  virtual std::int32_t CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2);
  virtual bool BookmarkValid(const TBookmark&) { return false; }

  // Controls.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }

  // Editing.
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  bool Modified() const { return FModified; }
  virtual bool CanModify() const { return true; }
  // Sends deUpdateRecord to the links, so controls store what is typed.
  void UpdateRecord();

  // Searches.
  virtual bool Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues, TLocateOptions Options);
  // The values of ResultFields (";"-separated) of the first record whose
  // KeyFields hold KeyValues; Null when none. The current record stays.
  virtual Variant Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                         const std::string& ResultFields);
  bool FindFirst() { return FindRecord(true, true); }
  bool FindLast() { return FindRecord(true, false); }
  bool FindNext() { return FindRecord(false, true); }
  bool FindPrior() { return FindRecord(false, false); }
  bool Found() const { return FFound; }

  // Filters: OnFilterRecord decides while Filtered; the text and options are
  // for the descendant.
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool Value);
  const std::string& Filter() const { return FFilterText; }
  virtual void SetFilterText(const std::string& Value);
  TFilterOptions FilterOptions() const { return FFilterOptions; }
  virtual void SetFilterOptions(TFilterOptions Value);
  virtual void SetOnFilterRecord(TFilterRecordEvent Handler);
  bool HasOnFilterRecord() const { return static_cast<bool>(FOnFilterRecord); }

  // Field access by the field objects (the buffer follows the state).
  bool GetFieldData(const TField& Field, TQXLVariant& Value);
  void SetFieldData(const TField& Field, const TQXLVariant& Value);
  virtual std::unique_ptr<TQXLStream> CreateBlobStream(TField& Field, TBlobStreamMode Mode);
  // The record buffer that field access reads in the present state, or nullptr.
  virtual TRecordBuffer ActiveBuffer() const;

  // Data links.
  void DataEvent(TDataEvent Event, const void* Info = nullptr);
  // The source of this dataset's master, when it has one.
  virtual TDataSource* GetDataSource() const { return nullptr; }
  // Whether the chain of masters starting at Source reaches this dataset.
  bool IsLinkedTo(const TDataSource* Source) const;

  bool AutoCalcFields = true;
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  TDataSetNotifyEvent OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

protected:
  // Hooks the descendant supplies.
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  // Bytes of the record image before the bookmark.
  virtual std::int32_t GetRecordSize() const = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Puts the cursor on the record of Buffer.
  virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
  virtual void InternalGotoBookmark(const TBookmark& Bookmark) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const = 0;
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Flag) = 0;
  virtual TBookmark GetBookmarkData(TRecordBuffer Buffer) const = 0;
  virtual void SetBookmarkData(TRecordBuffer Buffer, const TBookmark& Bookmark) = 0;
  virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
  // A data field of Buffer; false when it is NULL.
  virtual bool GetDataFieldValue(const TField& Field, TRecordBuffer Buffer, TQXLVariant& Value) = 0;
  virtual void SetDataFieldValue(const TField& Field, TRecordBuffer Buffer, const TQXLVariant& Value) = 0;
  virtual void InternalPost() = 0;
  virtual void InternalDelete() = 0;
  // Hooks with a default.
  virtual void InternalInitFieldDefs() {}
  virtual void InternalInsert() {}
  virtual void InternalEdit() {}
  virtual void InternalCancel() {}
  virtual void InternalRefresh() {}
  virtual void InternalHandleException(const std::exception&) {}
  // The set-key state ends: Posted keeps the edited key, else it is dropped.
  virtual void EndKeyEdit(bool /*Posted*/) {}
  // The whole record initialisation of a new record: InternalInitRecord,
  // calculated fields cleared, flag bfInserted.
  virtual void InitRecord(TRecordBuffer Buffer);
  virtual void ClearCalcFields(TRecordBuffer Buffer);
  // The descendant may search faster; the base scans.
  virtual bool FindRecord(bool Restart, bool GoForward);
  virtual void DoOnNewRecord();

  // Services for the descendant.
  // Creates the field objects of FieldDefs, when the dataset has none of its own.
  void CreateFields();
  void BindFields(bool Binding);
  // Whether OnFilterRecord accepts the record in Buffer (always, while not
  // Filtered or without a handler, except during a find).
  bool FilterRecord(TRecordBuffer Buffer);
  bool FilterInForce() const;
  void CalculateFields(TRecordBuffer Buffer);
  // A state for the length of a call; the guard restores the old one.
  class TTempState {
  public:
    TTempState(TDataSet& DataSet, TDataSetState State, TRecordBuffer Buffer);
    ~TTempState();
    TTempState(const TTempState&) = delete;
    TTempState& operator=(const TTempState&) = delete;

  private:
    TDataSet& FDataSet;
    TDataSetState FOldState;
    TRecordBuffer FOldBuffer;
  };
  // Puts the cursor on the active record.
  void UpdateCursorPos();
  void SetState(TDataSetState Value);
  TRecordBuffer TempBuffer() const { return FTempBuffer; }
  // Buffer Index of the ring, 0 to BufferedRecordCount() - 1.
  TRecordBuffer Buffer(std::int32_t Index) const { return FBuffers[static_cast<std::size_t>(Index)]; }
  void SetModified(bool Value) { FModified = Value; }

  std::int32_t BookmarkSize = 0;

private:
  friend class TField;
  friend class TDataLink;
  friend class TDataSource;
  void AddField(TField& Field);
  void RemoveField(TField& Field);
  void AddDataSource(TDataSource& Source);
  void RemoveDataSource(TDataSource& Source);
  // The ring grows to the largest buffer count of the links.
  void UpdateBufferCount();

  void OpenCursor();
  void CloseCursor();
  void EnterInsertState();
  void DoInternalOpen();
  void LayoutCalcFields();
  void AllocateBuffers();
  void FreeBuffers();
  void ClearBuffers();
  // Fetches one record after the last buffered one (or before the first)
  // into the ring; false at the end.
  bool GetNextRecord();
  bool GetPriorRecord();
  std::int32_t GetNextRecords();
  std::int32_t GetPriorRecords();
  TGetResult Fetch(TRecordBuffer Buffer, TGetMode Mode, bool DoCheck);
  void CheckCanModify();
  void CheckRequiredFields();
  // Runs Operation until it succeeds, asking Handler after each failure.
  void WithRetry(const TDataSetErrorEvent& Handler, const std::function<void()>& Operation);
  void Run(const TDataSetNotifyEvent& Event) {
    if (Event) Event(*this);
  }
  std::uint8_t* CalcSpace(TRecordBuffer Buffer) const { return Buffer + GetRecordSize() + BookmarkSize; }
  bool ReadCalcField(const TField& Field, TRecordBuffer Buffer, TQXLVariant& Value) const;
  void WriteCalcField(const TField& Field, TRecordBuffer Buffer, const TQXLVariant& Value);
  void ComputeLookupField(TField& Field);
  // The records that the base scans for Locate and Lookup: Match is asked
  // with the scratch buffer in the filter state. The cursor is left on the found record.
  bool ScanForRecord(const std::function<bool()>& Match);
  bool KeyMatches(const std::vector<TField*>& Fields, const std::vector<Variant>& KeyValues, TLocateOptions Options);
  std::vector<TField*> FieldList(const std::string& Names) const;
  void NotifyLinks(TDataEvent Event, const void* Info);

  TDataSetState FState = dsInactive;
  TFieldDefs FFieldDefs;
  TIndexDefs FIndexDefs;
  std::vector<TField*> FFields;
  std::vector<std::unique_ptr<TField>> FOwnedFields;
  bool FDefaultFields = false;
  std::int32_t FCalcFieldsSize = 0;
  std::vector<TRecordBuffer> FBuffers;
  std::int32_t FBufferCount = 1;
  std::int32_t FBufferRecords = 0;
  std::int32_t FActiveRecord = 0;
  TRecordBuffer FTempBuffer = nullptr;
  TRecordBuffer FStateBuffer = nullptr;  // the calc-fields or filter record
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FFound = false;
  bool FFindingRecord = false;
  bool FFiltered = false;
  std::string FFilterText;
  TFilterOptions FFilterOptions;
  TFilterRecordEvent FOnFilterRecord;
  std::int32_t FDisableCount = 0;
  bool FEventsWhileDisabled = false;
  std::vector<TDataSource*> FDataSources;
};

}  // namespace qxl
