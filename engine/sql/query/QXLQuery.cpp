#include "engine/sql/query/QXLQuery.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/base/Field.h"
#include "engine/sql/lexer/QXLSQLParams.h"
#include "engine/sql/statements/QXLSQLProcessor.h"
#include "engine/sql/statements/QXLSubqueryStatement.h"

namespace qxl {

namespace {

// A colon between two double quotes is no parameter: hidden from the
// parameter parser and put back in its output.
constexpr std::string_view QuotedColon = "\":\"";
constexpr std::string_view CutColon = "\"<cut colon>\"";

std::string ReplaceAll(std::string Text, std::string_view From, std::string_view To) {
  for (std::size_t At = Text.find(From); At != std::string::npos; At = Text.find(From, At + To.size()))
    Text.replace(At, From.size(), To);
  return Text;
}

}  // namespace

// ---- Data link ------------------------------------------------------------------

TDataSet* TQXLQueryDataLink::DetailDataSet() const { return &FQuery; }

void TQXLQueryDataLink::ActiveChanged() {
  if (FQuery.Active()) FQuery.RefreshParams();
}

void TQXLQueryDataLink::RecordChanged(TField* Field) {
  if (!Field && FQuery.Active()) FQuery.RefreshParams();
}

void TQXLQueryDataLink::CheckBrowseMode() {
  if (FQuery.Active()) FQuery.CheckBrowseMode();
}

// ---- Life -----------------------------------------------------------------------

TQXLQuery::TQXLQuery(const TComponent* Owner, bool OwnerInDesignMode)
    : TQXLDataSet(Owner, OwnerInDesignMode), FParams(this), FDataLink(std::make_unique<TQXLQueryDataLink>(*this)) {
  FSQL.OnChange = [this] { SQLChanged(); };
}

TQXLQuery::~TQXLQuery() {
  try {
    CloseByDatabase();
  } catch (...) {
    // Nothing can be reported from a destructor.
  }
  // The base's destructor no longer reaches this class's steps: whatever
  // is still held is let go here.
  FExternalHandle = nullptr;
  FStmtHandle.reset();
  FDataLink.reset();
}

void TQXLQuery::CloseByDatabase() {
  Close();
  UnPrepare();
}

void TQXLQuery::SetDatabaseUse(std::int32_t Reason, bool On) {
  if (!On && Reason >= 0 && Reason <= 15 && DatabaseInUse(Reason)) {
    bool Last = true;
    for (std::int32_t Other = 0; Other < 16; ++Other)
      if (Other != Reason && DatabaseInUse(Other)) Last = false;
    if (Last) {
      try {
        PrepareStep(false);
      } catch (...) {
        TQXLDataSet::SetDatabaseUse(Reason, On);
        throw;
      }
    }
  }
  TQXLDataSet::SetDatabaseUse(Reason, On);
}

// ---- SQL text and parameters ------------------------------------------------------

void TQXLQuery::SetSQL(const std::vector<std::string>& Lines) {
  if (Lines == FSQL.Lines()) return;
  CloseByDatabase();
  FSQL.BeginUpdate();
  FSQL.Assign(Lines);
  FSQL.EndUpdate();
}

void TQXLQuery::SQLChanged() {
  CloseByDatabase();
  const std::string Whole = FSQL.Text();
  if (FParamCheck || FormEditorMode) {
    TParams Fresh(this);
    FText = ReplaceAll(Fresh.ParseSQL(ReplaceAll(Whole, QuotedColon, CutColon), true), CutColon, QuotedColon);
    Fresh.AssignValues(FParams);
    FParams.Assign(Fresh);
  } else {
    FText = Whole;
  }
  DataEvent(dePropertyChange);
}

void TQXLQuery::SetDataSource(TDataSource* Value) {
  CheckDataSourceLink(*this, Value);
  FDataLink->SetDataSource(Value);
}

void TQXLQuery::GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
  TDataSet* Master = DataSource() ? DataSource()->DataSet() : nullptr;
  if (!Master) return;
  for (std::int32_t I = 0; I < FParams.Count(); ++I) {
    TField* MasterField = Master->FindField(FParams[I].Name);
    if (!MasterField) continue;
    MasterFields.push_back(MasterField);
    if (TField* Own = FindField(FParams[I].Name)) DetailFields.push_back(Own);
  }
}

void TQXLQuery::PSSetParams(const TParams& Values) {
  if (Values.Count() > 0) FParams.Assign(Values);
  Close();
}

void TQXLQuery::PSSetCommandText(const std::string& CommandText) {
  if (!CommandText.empty()) FSQL.SetText(CommandText);
}

void TQXLQuery::RefreshParams() {
  DisableControls();
  struct TEnable {
    TQXLQuery& Q;
    ~TEnable() { Q.EnableControls(); }
  } Enable{*this};
  TDataSet* Master = DataSource() ? DataSource()->DataSet() : nullptr;
  if (Master && Master->Active() && Master->State() != dsSetKey) {
    Close();
    Open();
  }
}

void TQXLQuery::SetParamsFromMaster() {
  TDataSet* Master = DataSource()->DataSet();
  if (!Master) return;
  for (std::int32_t I = 0; I < FParams.Count(); ++I) {
    TParam& P = FParams[I];
    if (P.Bound) continue;
    const TField& Field = Master->FieldByName(P.Name);
    P.DataType = Field.DataType();
    P.Value = Field.AsVariant();
    if (P.IsNull()) P.DataType = ftInteger;
  }
}

void TQXLQuery::TransferParams() {
  if (FParams.Count() == 0) return;
  TQXLSQLParams& Target = FStmtHandle->SQLParams();
  Target.Clear();
  for (std::int32_t I = 0; I < FParams.Count(); ++I) {
    const TParam& P = FParams[I];
    TQXLSQLParam* Value = Target.AddCreated();
    Value->Name = P.Name;
    if (P.DataType == ftUnknown) {
      if (!P.IsNull()) Value->SetAsVariant(P.Value);
      continue;
    }
    Value->Clear(AdvancedToBaseFieldType(FieldTypeToAdvancedFieldType(P.DataType)));
    if (P.IsNull()) continue;
    switch (P.DataType) {
      case ftTime: {
        TQXLVariant DateTime;
        DateTime.SetAsVariant(P.Value);
        Value->SetAsTTime(DateTime.GetAsTDateTime());
        break;
      }
      case ftBlob:
      case ftGraphic: {
        TQXLVariant Bytes;
        Bytes.SetAsVariant(P.Value);
        const std::string Data = P.Value.VType() == varString ? P.Value.Get<std::string>() : Bytes.GetAsAnsiString();
        Value->Clear(bftBlob);
        Value->SetData(Data.data(), static_cast<std::int32_t>(Data.size()), bftBlob, true);
        break;
      }
      case ftMemo:
      case ftFmtMemo:
        Value->Clear(bftVarchar);
        Value->SetAsVariant(P.Value);
        break;
      case ftWideMemo:
        Value->Clear(bftWideVarchar);
        Value->SetAsVariant(P.Value);
        break;
      default:
        Value->SetAsVariant(P.Value);
        break;
    }
  }
}

// ---- Preparing and running ---------------------------------------------------------

void TQXLQuery::SetPrepared(bool Value) {
  if (Value)
    Prepare();
  else
    UnPrepare();
}

void TQXLQuery::Prepare() {
  SetDatabaseUse(duPrepared, true);
  try {
    PrepareStep(true);
  } catch (...) {
    SetDatabaseUse(duPrepared, false);
    throw;
  }
}

void TQXLQuery::UnPrepare() {
  PrepareStep(false);
  SetDatabaseUse(duPrepared, false);
}

void TQXLQuery::PrepareStep(bool Value) {
  if (Handle()) {
    if (Value) throw EQXLException(30141, "Cannot perform this operation on an open dataset");
    FHandle = nullptr;
    FExternalHandle = nullptr;
  }
  if (FPrepared == Value) return;
  if (Value) {
    FRowsAffected = -1;
    FCheckRowsAffected = true;
    const std::string Text = FSQL.Text();
    if (Text.size() < 2) throw EQXLException(30142, "No SQL statement available");
    auto Processor = std::make_unique<TQXLLocalSQLProcessor>(this);
    Processor->FRequestLive = FRequestLive;
    Processor->FInMemory = InMemory();
    Processor->PrepareStatement(Text);
    FStmtHandle = std::move(Processor);
    FHandleRan = false;
  } else {
    // The result cursor belongs to the processor: the dataset lets go of it first.
    FExternalHandle = nullptr;
    if (FStmtHandle && FCheckRowsAffected && FHandleRan) FRowsAffected = static_cast<std::int32_t>(FStmtHandle->FRowsAffected);
    FStmtHandle.reset();
  }
  FPrepared = Value;
}

std::int32_t TQXLQuery::RowsAffected() const {
  if (FStmtHandle && FHandleRan) return static_cast<std::int32_t>(FStmtHandle->FRowsAffected);
  return FRowsAffected;
}

TQXLCursor* TQXLQuery::ExecuteStep(bool ForOpen) {
  if (FSQL.Count() == 0) throw EQXLException(20034, "No SQL statement available");
  PrepareStep(true);
  if (DataSource()) SetParamsFromMaster();
  TransferParams();
  FHandleRan = true;
  TQXLCursor* Cursor = nullptr;
  if (ForOpen) {
    Cursor = FStmtHandle->OpenQuery();
    if (Cursor) {
      Cursor->FSettingProjection = true;
      FExternalHandle = Cursor;
      TakeReadOnly(FStmtHandle->FReadOnly || (Database() && Database()->ReadOnly));
    }
  } else {
    FStmtHandle->ExecuteQuery();
  }
  FCheckRowsAffected = Cursor == nullptr;
  return Cursor;
}

void TQXLQuery::ExecSQL() {
  CheckInactive();
  TDatabaseUseScope Use(*this, duExecSQL);
  ExecuteStep(false);
}

TQXLCursor* TQXLQuery::CreateCursorHandle() {
  TQXLDatabase* Db = Database();
  const bool Silent = Db ? Db->SilentMode : false;
  if (Db) Db->SilentMode = true;
  struct TRestore {
    TQXLDatabase* Db;
    bool Silent;
    ~TRestore() {
      if (Db) Db->SilentMode = Silent;
    }
  } Restore{Db, Silent};
  if (FExternalHandle) return FExternalHandle;
  return ExecuteStep(true);
}

void TQXLQuery::Refresh() {
  if (Active() && ReadOnly()) {
    Close();
    Open();
    return;
  }
  TQXLDataSet::Refresh();
}

std::unique_ptr<TQXLSubqueryCommand> TQXLQuery::CreateSubqueryCommand(TQXLLexer& Lexer) {
  return std::make_unique<TQXLSubqueryStatement>(Lexer, this);
}

}  // namespace qxl
