// The database component's settings, its place in a session, its datasets
// and its transactions.
#include "engine/datasets/components/QXLDatabase.h"

#include <set>

#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLSessionComponent.h"

namespace qxl {

namespace {

// The session a new database joins when none is given.
TQXLSession* SessionForOwner(const TComponent* Owner) {
  if (auto* Session = dynamic_cast<TQXLSession*>(const_cast<TComponent*>(Owner))) return Session;
  TQXLSessionList& List = SessionList();
  if (Owner)
    for (std::size_t i = 0; i < List.Count(); ++i)
      if (TQXLSession* S = List.GetSession(i); S->Owner() == Owner && S->AutoSessionName()) return S;
  return List.DefaultSession();
}

}  // namespace

TQXLDatabase::TQXLDatabase(const TComponent* Owner, TQXLSession* Session)
    : FOwner(Owner), FFileSystem(&platform::RealFileSystem()) {
  FSession = Session ? Session : SessionForOwner(Owner);
  FSessionName = FSession->SessionName();
  FSession->AddDatabase(this);
}

TQXLDatabase::~TQXLDatabase() {
  FDestroying = true;
  try {
    Close();
  } catch (...) {
    // A failed disconnect cannot be reported by a destructor; the handle is freed all the same.
  }
  if (FSession) FSession->RemoveDatabase(this);
}

void TQXLDatabase::SessionGone() {
  try {
    Close();
  } catch (...) {
    // The session is going whatever the database reports.
  }
  if (FSession && !FSession->IsDefault()) FSessionName.clear();
  FSession = nullptr;
}

void TQXLDatabase::CheckDatabaseName() const {
  if (FDatabaseName.empty() && !FTemporary) DatabaseError("Database name missing", this);
}

void TQXLDatabase::CheckActive() const {
  if (!FHandle) DatabaseError("Cannot perform this operation on a closed database", this);
}

void TQXLDatabase::CheckInactive() const {
  if (FHandle) DatabaseError("Cannot perform this operation on an open database", this);
}

void TQXLDatabase::EnsureDatabaseClosed() {
  if (!FHandle) return;
  if (FormEditorMode)
    Close();
  else
    CheckInactive();
}

void TQXLDatabase::SetConnected(bool Value) {
  if (Value)
    Open();
  else
    Close();
}

void TQXLDatabase::SetDatabaseName(const std::string& Value) {
  EnsureDatabaseClosed();
  ValidateName(Value);
  FDatabaseName = Value;
}

void TQXLDatabase::SetSessionName(const std::string& Value) {
  EnsureDatabaseClosed();
  if (Value == FSessionName) return;
  FSessionName = Value;
  if (!FDestroying) AttachSession(false);
}

void TQXLDatabase::SetDatabaseFileName(const std::string& Value) {
  if (Value == FDatabaseFileName) return;
  Close();
  FDatabaseFileName = Value;
}

void TQXLDatabase::SetKeepConnection(bool Value) {
  if (Value == FKeepConnection) return;
  FKeepConnection = Value;
  if (!Value && FRefCount == 0) Close();
}

void TQXLDatabase::SetHandle(TQXLBaseSession* Value) {
  Close();
  if (!Value) return;
  CheckDatabaseName();
  AttachSession(true);
  if (Value->FSessionHandle != FSession->Handle())
    DatabaseError("Database handle owned by a different session", this);
  FHandle = Value;
  FSession->DBNotification(TQXLDatabaseEvent::dbOpen, this);
  FAcquiredHandle = true;
}

void TQXLDatabase::AttachSession(bool Activate) {
  TQXLSession* Session =
      Activate ? SessionList().GetSessionByName(FSessionName) : SessionList().FindSession(FSessionName);
  if (!Session) return;
  if (Session != FSession) {
    if (FSession) FSession->RemoveDatabase(this);
    FSession = Session;
    Session->AddDatabase(this);
    try {
      ValidateName(FDatabaseName);
    } catch (...) {
      FDatabaseName.clear();
      throw;
    }
  }
  if (Activate) Session->SetActive(true);
}

void TQXLDatabase::ValidateName(const std::string& Name) {
  if (Name.empty() || !FSession) return;
  // The lock only, without making the session current: naming a database
  // must not activate its session.
  std::lock_guard Guard(SessionList().SessionLock());
  for (std::size_t i = 0; i < FSession->DatabaseCount();) {
    TQXLDatabase* Other = FSession->GetDatabase(i);
    if (Other == this || !SameNameIgnoringCase(Other->DatabaseName(), Name) || (HandleShared && Other->HandleShared)) {
      ++i;
      continue;
    }
    if (!Other->Temporary() || Other->RefCount() != 0 || !FSession->FreeDatabase(Other))
      DatabaseErrorFmt(this, "Duplicate database name '%s'", Name);
    i = 0;
  }
}

void TQXLDatabase::AddDataSet(TQXLDatabaseDataSet* DataSet) { FDataSets.push_back(DataSet); }

void TQXLDatabase::RemoveDataSet(TQXLDatabaseDataSet* DataSet) { std::erase(FDataSets, DataSet); }

void TQXLDatabase::CloseDataSets() {
  std::set<TQXLDatabaseDataSet*> Closed;
  for (bool Again = true; Again;) {
    Again = false;
    for (TQXLDatabaseDataSet* DataSet : FDataSets)
      if (DataSet->IsQuery() && Closed.insert(DataSet).second) {
        DataSet->CloseByDatabase();
        Again = true;
        break;
      }
  }
  for (std::size_t i = FDataSets.size(); i-- > 0;) {
    if (i >= FDataSets.size()) continue;
    if (Closed.insert(FDataSets[i]).second) FDataSets[i]->CloseByDatabase();
  }
}

void TQXLDatabase::GetTablesList(std::vector<std::string>& List) {
  List.clear();
  const bool Connect = !Connected();
  try {
    if (Connect) Open();
    FHandle->GetTablesList(List);
  } catch (...) {
    // The list holds what could be read.
  }
  if (!Connect) return;
  try {
    Close();
  } catch (...) {
    // Never raises, not even for the close of its own connection.
  }
}

bool TQXLDatabase::TableExists(const std::string& TableName) {
  if (!Connected()) Open();
  return FHandle->TableExists(TableName);
}

bool TQXLDatabase::Exists() { return FileSystem().Exists(FDatabaseFileName); }

void TQXLDatabase::StartTransaction() {
  CheckActive();
  if (FHandle->FInTransaction) DatabaseError("Database is already within a transaction", this);
  FHandle->StartTransaction();
}

void TQXLDatabase::Commit(bool DoFlushBuffers) {
  CheckActive();
  FHandle->Commit(DoFlushBuffers);
}

void TQXLDatabase::Rollback() {
  CheckActive();
  FHandle->Rollback();
}

bool TQXLDatabase::InTransaction() const { return FHandle && FHandle->FInTransaction; }

void TQXLDatabase::FlushBuffers() {
  CheckActive();
  FHandle->FlushBuffers();
}

}  // namespace qxl
