#include "engine/datasets/base/DataLink.h"

#include <algorithm>

#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(FLinks)) link->FDataSource = nullptr;
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet) FDataSet->RemoveDataSource(*this);
  FDataSet = Value;
  if (FDataSet) FDataSet->AddDataSource(*this);
  DataEvent(deUpdateState, nullptr);
}

TDataSetState TDataSource::State() const { return FDataSet && FEnabled ? FDataSet->State() : dsInactive; }

void TDataSource::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  DataEvent(deUpdateState, nullptr);
}

void TDataSource::DataEvent(TDataEvent Event, const void* Info) {
  if (Event == deUpdateState) {
    if (State() != FLastState) {
      FLastState = State();
      if (OnStateChange) OnStateChange(*this);
    }
  } else if (!FEnabled) {
    return;
  } else if (Event == deFieldChange || Event == deRecordChange || Event == deDataSetChange ||
             Event == deDataSetScroll || Event == deLayoutChange) {
    if (OnDataChange)
      OnDataChange(*this, Event == deFieldChange ? static_cast<TField*>(const_cast<void*>(Info)) : nullptr);
  } else if (Event == deUpdateRecord && OnUpdateData) {
    OnUpdateData(*this);
  }
  for (TDataLink* link : std::vector<TDataLink*>(FLinks)) link->DataEvent(Event, Info);
}

TDataLink::~TDataLink() {
  if (FDataSource) {
    auto& links = FDataSource->FLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
}

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (FDataSource) {
    auto& links = FDataSource->FLinks;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  FDataSource = Value;
  if (FDataSource) {
    FDataSource->FLinks.push_back(this);
    if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
  }
  UpdateState();
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetBufferCount(std::int32_t Value) {
  FBufferCount = std::max(Value, 1);
  if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
}

void TDataLink::UpdateState() {
  const TDataSetState state = FDataSource ? FDataSource->State() : dsInactive;
  const bool active = state != dsInactive;
  if (active != FActive) {
    FActive = active;
    ActiveChanged();
  }
  const bool editing = state == dsEdit || state == dsInsert;
  if (editing != FEditing) {
    FEditing = editing;
    EditingChanged();
  }
}

void TDataLink::DataEvent(TDataEvent Event, const void* Info) {
  switch (Event) {
    case deUpdateState: UpdateState(); break;
    case deFieldChange: RecordChanged(static_cast<TField*>(const_cast<void*>(Info))); break;
    case deRecordChange: RecordChanged(nullptr); break;
    case deDataSetChange: DataSetChanged(); break;
    case deDataSetScroll: DataSetScrolled(); break;
    case deLayoutChange: LayoutChanged(); break;
    case deUpdateRecord: UpdateData(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    default: break;
  }
}

void TMasterDataLink::SetFieldNames(const std::string& Value) {
  FFieldNames = Value;
  FindFields();
}

void TMasterDataLink::FindFields() {
  FFields.clear();
  TDataSet* master = DataSet();
  if (!master || !Active()) return;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = FFieldNames.find(';', start);
    const std::string name = FFieldNames.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!name.empty()) FFields.push_back(&master->FieldByName(name));
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

void TMasterDataLink::ActiveChanged() {
  FindFields();
  if (Active()) {
    if (OnMasterChange) OnMasterChange();
  } else if (OnMasterDisable) {
    OnMasterDisable();
  }
}

void TMasterDataLink::RecordChanged(TField* Field) {
  if (!Active() || !OnMasterChange) return;
  if (!Field || std::find(FFields.begin(), FFields.end(), Field) != FFields.end()) OnMasterChange();
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDetail && FDetail->Active()) FDetail->CheckBrowseMode();
}

void CheckDataSourceLink(const TDataSet& Detail, const TDataSource* Source) {
  if (Detail.IsLinkedTo(Source)) DatabaseError("Circular datalinks are not allowed", &Detail);
}

}  // namespace qxl
