// Editing: insert, append, edit, post, cancel and delete, with their events
// and the error events that may ask for another try.
#include <algorithm>

#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset", this);
}

void TDataSet::WithRetry(const TDataSetErrorEvent& Handler, const std::function<void()>& Operation) {
  for (;;) {
    try {
      Operation();
      return;
    } catch (const std::exception& e) {
      bool retry = false;
      if (Handler) Handler(*this, e, retry);
      if (!retry) throw;
    }
  }
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::DoOnNewRecord() { Run(OnNewRecord); }

void TDataSet::Insert() {
  CheckBrowseMode();
  CheckCanModify();
  Run(BeforeInsert);
  Run(BeforeScroll);
  UpdateCursorPos();
  if (FBufferRecords == 0) {
    FActiveRecord = 0;
  } else {
    // The spare slot moves in at the active position; a full ring drops its last record.
    std::rotate(FBuffers.begin() + FActiveRecord, FBuffers.begin() + FBufferCount, FBuffers.end());
  }
  FBufferRecords = std::min(FBufferRecords + 1, FBufferCount);
  InitRecord(Buffer(FActiveRecord));
  EnterInsertState();
}

void TDataSet::Append() {
  CheckBrowseMode();
  CheckCanModify();
  Run(BeforeInsert);
  Run(BeforeScroll);
  ClearBuffers();
  InternalLast();
  while (FBufferRecords < FBufferCount - 1 && GetPriorRecord()) {}
  FActiveRecord = FBufferRecords;
  ++FBufferRecords;
  InitRecord(Buffer(FActiveRecord));
  SetBookmarkFlag(Buffer(FActiveRecord), bfEOF);
  EnterInsertState();
}

// The new record's buffer is ready in the active slot: the descendant and
// the handlers take it from here, whether it was inserted or appended.
void TDataSet::EnterInsertState() {
  InternalInsert();
  FBOF = FEOF = false;
  SetState(dsInsert);
  DoOnNewRecord();
  FModified = false;
  DataEvent(deDataSetChange);
  Run(AfterInsert);
  Run(AfterScroll);
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  CheckBrowseMode();
  if (IsEmpty()) {
    Insert();
    return;
  }
  CheckCanModify();
  Run(BeforeEdit);
  UpdateCursorPos();
  WithRetry(OnEditError, [this] { InternalEdit(); });
  SetState(dsEdit);
  DataEvent(deRecordChange);
  Run(AfterEdit);
}

void TDataSet::UpdateRecord() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    DatabaseError("Dataset not in edit or insert mode", this);
  DataEvent(deUpdateRecord);
}

void TDataSet::CheckRequiredFields() {
  for (TField* f : FFields)
    if (f->FieldKind == fkData && f->Required && !f->ReadOnly && f->DataType() != ftAutoInc && f->IsNull())
      DatabaseErrorFmt(this, "Field '%s' must have a value", f->DisplayName());
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState == dsSetKey) {
    EndKeyEdit(true);
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    return;
  }
  DataEvent(deCheckBrowseMode);
  Run(BeforePost);
  CheckRequiredFields();
  if (FState == dsEdit) UpdateCursorPos();
  WithRetry(OnPostError, [this] { InternalPost(); });
  SetState(dsBrowse);
  Resync(false, false);
  Run(AfterPost);
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey) return;
  if (FState == dsSetKey) {
    EndKeyEdit(false);
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    return;
  }
  DataEvent(deCheckBrowseMode);
  Run(BeforeCancel);
  if (FState == dsEdit) UpdateCursorPos();
  InternalCancel();
  SetState(dsBrowse);
  Resync(false, false);
  Run(AfterCancel);
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert) {
    Cancel();
    return;
  }
  if (IsEmpty()) DatabaseError("Cannot perform this operation on an empty dataset", this);
  if (FState == dsEdit) Cancel();
  DataEvent(deCheckBrowseMode);
  CheckCanModify();
  Run(BeforeDelete);
  Run(BeforeScroll);
  UpdateCursorPos();
  WithRetry(OnDeleteError, [this] { InternalDelete(); });
  SetState(dsBrowse);
  Resync(false, false);
  Run(AfterDelete);
  Run(AfterScroll);
}

}  // namespace qxl
