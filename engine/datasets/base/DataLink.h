#pragma once
// Data sources and data links: how controls and detail datasets follow a
// dataset. A dataset tells its sources of every change (state, scroll,
// record, field, layout); each source tells its own handlers and links.
// A detail dataset follows its master through a master link. Thread rule: one thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/datasets/base/Component.h"
#include "engine/datasets/base/DataSetTypes.h"

namespace qxl {

class TDataLink;
class TDataSet;
class TField;

class TDataSource : public TComponent {
public:
  TDataSource() = default;
  // Leaves its dataset; its links keep no dataset.
  ~TDataSource() override;
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* Value);
  // The dataset's state; inactive without a dataset or while not Enabled.
  TDataSetState State() const;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);

  std::function<void(TDataSource&, TField*)> OnDataChange;
  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&)> OnUpdateData;

private:
  friend class TDataLink;
  friend class TDataSet;
  void DataEvent(TDataEvent Event, const void* Info);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  TDataSetState FLastState = dsInactive;
  std::vector<TDataLink*> FLinks;
};

class TDataLink {
public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* Value);
  TDataSet* DataSet() const;
  // The source has an open dataset and is enabled.
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  // Records this link shows at once; the dataset's ring grows to the largest.
  std::int32_t BufferCount() const { return FBufferCount; }
  void SetBufferCount(std::int32_t Value);

protected:
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled() { DataSetChanged(); }
  virtual void LayoutChanged() { DataSetChanged(); }
  // Field: the field that changed; nullptr for the whole record.
  virtual void RecordChanged(TField*) {}
  // The dataset is about to leave the edit state: store what is pending.
  virtual void UpdateData() {}
  virtual void CheckBrowseMode() {}

private:
  friend class TDataSource;
  void DataEvent(TDataEvent Event, const void* Info);
  void UpdateState();

  TDataSource* FDataSource = nullptr;
  std::int32_t FBufferCount = 1;
  bool FActive = false;
  bool FEditing = false;
};

// A link whose records follow another dataset: the detail dataset's side.
class TDetailDataLink : public TDataLink {
public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
};

// The detail dataset's link to its master: it calls OnMasterChange when the
// master opens or moves to another record, or when one of FieldNames
// changes, and OnMasterDisable when the master closes.
class TMasterDataLink : public TDetailDataLink {
public:
  explicit TMasterDataLink(TDataSet* Detail) : FDetail(Detail) {}

  TDataSet* DetailDataSet() const override { return FDetail; }
  // ";"-separated names of the master's fields that the detail follows.
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  // The master's fields of FieldNames, found when the master opens.
  const std::vector<TField*>& Fields() const { return FFields; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

protected:
  void ActiveChanged() override;
  void RecordChanged(TField* Field) override;
  void CheckBrowseMode() override;

private:
  void FindFields();

  TDataSet* FDetail;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};

// Raises EDatabaseError "Circular datalinks are not allowed" when Source's
// chain of masters leads back to Detail.
void CheckDataSourceLink(const TDataSet& Detail, const TDataSource* Source);

}  // namespace qxl
