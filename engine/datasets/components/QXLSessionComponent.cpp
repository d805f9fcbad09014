#include "engine/datasets/components/QXLSessionComponent.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

TQXLSession::TQXLSession(const TComponent* Owner, TQXLSessionList* List)
    : FOwner(Owner), FList(List ? List : &SessionList()) {
  CheckAutoSessionOwner(false);
  FList->AddSession(this);
}

TQXLSession::~TQXLSession() {
  FDestroying = true;
  try {
    if (FList) SetActive(false);
  } catch (...) {
    // A database that fails to close cannot stop the session from going.
  }
  ReleaseDatabases();
  if (FList) {
    if (FSessionNumber >= 0) FList->GiveBackSessionNumber(FSessionNumber);
    FList->RemoveSession(this);
  }
}

TQXLSessionList& TQXLSession::List() const {
  if (!FList) throw EQXLException(20007, "Database Engine is not initialized");
  return *FList;
}

void TQXLSession::ReleaseDatabases() {
  FOwnedDatabases.clear();
  // Databases their owners still hold fall back to the default session.
  std::vector<TQXLDatabase*> Remaining = std::move(FDatabases);
  for (TQXLDatabase* Database : Remaining) Database->SessionGone();
}

void TQXLSession::SetActive(bool Value) {
  std::lock_guard Guard(List().SessionLock());
  if (Value == Active()) return;
  if (Value)
    Activate();
  else
    Deactivate();
}

void TQXLSession::Activate() {
  if (OnStartup) OnStartup(*this);
  if (FSessionName.empty()) DatabaseError("Session name missing", this);
  if (!FDefault) {
    if (TQXLSession* Default = List().DefaultSession()) Default->SetActive(true);
    FOwnToken = std::make_unique<TQXLSessionComponentManager>();
    FHandle = FOwnToken.get();
    return;
  }
  List().CreateDefaultSessionManager();
  FHandle = List().GetDefaultSessionManager();
}

void TQXLSession::Deactivate() {
  List().SetCurrentSessionManager(FHandle);
  for (std::size_t i = FDatabases.size(); i-- > 0;) {
    if (i >= FDatabases.size()) continue;
    TQXLDatabase* Database = FDatabases[i];
    if (!Database->Temporary() || !FreeDatabase(Database)) Database->Close();
  }
  if (FDefault) {
    List().FreeDefaultSessionManager();
  } else {
    FOwnToken.reset();
    TQXLSession* Default = List().DefaultSession();
    List().SetCurrentSessionManager(Default && Default->Active() ? Default->FHandle : nullptr);
  }
  FHandle = nullptr;
}

void TQXLSession::MakeCurrent() {
  if (!Active()) SetActive(true);
  List().SetCurrentSessionManager(FHandle);
}

void TQXLSession::LockSession() {
  std::recursive_mutex& Lock = List().SessionLock();
  Lock.lock();
  try {
    MakeCurrent();
  } catch (...) {
    Lock.unlock();
    throw;
  }
}

void TQXLSession::UnlockSession() { List().SessionLock().unlock(); }

TQXLSessionComponentManager* TQXLSession::Handle() {
  MakeCurrent();
  return FHandle;
}

void TQXLSession::CheckInactive() {
  if (Active()) DatabaseError("Cannot perform this operation on an active session", this);
}

void TQXLSession::SetSessionName(const std::string& Value) {
  if (FAutoSessionName && !FUpdatingAutoSessionName)
    DatabaseError("Cannot modify SessionName while AutoSessionName is enabled", this);
  CheckInactive();
  if (!Value.empty()) {
    TQXLSession* Other = List().FindSession(Value);
    if (Other && Other != this) DatabaseErrorFmt(this, "Duplicate session name '%s'", Value);
  }
  FSessionName = Value;
}

void TQXLSession::CheckAutoSessionOwner(bool Enabling) const {
  if (!FOwner) return;
  for (std::size_t i = 0, n = FList->Count(); i < n; ++i) {
    const TQXLSession* Other = FList->GetSession(i);
    if (Other == this || Other->FOwner != FOwner) continue;
    if (Enabling) DatabaseError("Cannot enable AutoSessionName property with more than one session on a form or data-module", this);
    if (Other->FAutoSessionName)
      DatabaseErrorFmt(this, "Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled",
                       Other->Name);
  }
}

void TQXLSession::SetAutoSessionName(bool Value) {
  if (Value == FAutoSessionName) return;
  if (Value) {
    CheckInactive();
    CheckAutoSessionOwner(true);
    {
      std::lock_guard Guard(List().SessionLock());
      FSessionNumber = List().TakeSessionNumber();
    }
    FAutoSessionName = true;
    UpdateAutoSessionName();
    return;
  }
  if (FSessionNumber >= 0) {
    std::lock_guard Guard(List().SessionLock());
    List().GiveBackSessionNumber(FSessionNumber);
    FSessionNumber = -1;
  }
  FAutoSessionName = false;
}

void TQXLSession::SetName(const std::string& Value) {
  Name = Value;
  if (FAutoSessionName) UpdateAutoSessionName();
}

void TQXLSession::UpdateAutoSessionName() {
  FUpdatingAutoSessionName = true;
  try {
    SetSessionName(platform::Format("%s_%d", Name, FSessionNumber + 1));
  } catch (...) {
    FUpdatingAutoSessionName = false;
    throw;
  }
  FUpdatingAutoSessionName = false;
  if (!FOwner) return;
  // The other components on the same form follow the session's new name.
  for (std::size_t s = 0; s < List().Count(); ++s) {
    TQXLSession* Session = List().GetSession(s);
    for (std::size_t d = Session->DatabaseCount(); d-- > 0;) {
      TQXLDatabase* Database = Session->GetDatabase(d);
      if (Database->Owner() == FOwner && !SameNameIgnoringCase(Database->SessionName(), FSessionName))
        Database->SetSessionName(FSessionName);
    }
  }
}

TQXLDatabase* TQXLSession::FindDatabase(const std::string& DatabaseName) {
  TQXLSessionLock Guard(*this);
  for (TQXLDatabase* Database : FDatabases)
    if (SameNameIgnoringCase(Database->DatabaseName(), DatabaseName) &&
        (!DatabaseName.empty() || Database->Temporary()))
      return Database;
  return nullptr;
}

TQXLDatabase* TQXLSession::OpenDatabaseForOwner(const std::string& DatabaseName, const TComponent* Owner) {
  TQXLSessionLock Guard(*this);
  TQXLDatabase* Database = nullptr;
  if (Owner)
    for (TQXLDatabase* D : FDatabases)
      if (D->Owner() == Owner && D->HandleShared && SameNameIgnoringCase(D->DatabaseName(), DatabaseName)) {
        Database = D;
        break;
      }
  if (!Database) Database = FindDatabase(DatabaseName);
  bool Made = false;
  if (!Database) {
    auto New = std::make_unique<TQXLDatabase>(this, this);
    New->SetDatabaseName(DatabaseName);
    New->SetKeepConnection(KeepConnections);
    New->SetTemporary(true);
    New->SilentMode = true;
    Database = AdoptDatabase(std::move(New));
    Made = true;
  }
  try {
    Database->Open();
  } catch (...) {
    if (Made) FreeDatabase(Database);
    throw;
  }
  Database->SetRefCount(Database->RefCount() + 1);
  return Database;
}

void TQXLSession::CloseDatabase(TQXLDatabase* Database) {
  if (Database->RefCount() > 0) Database->SetRefCount(Database->RefCount() - 1);
  if (Database->RefCount() != 0 || Database->KeepConnection()) return;
  if (!Database->Temporary() || !FreeDatabase(Database)) Database->Close();
}

void TQXLSession::DropConnections() {
  for (std::size_t i = FDatabases.size(); i-- > 0;) {
    if (i >= FDatabases.size()) continue;
    TQXLDatabase* Database = FDatabases[i];
    if (Database->Temporary() && Database->RefCount() == 0) FreeDatabase(Database);
  }
}

TQXLBaseSession* TQXLSession::FindDatabaseHandle(const std::string& DatabaseName) {
  for (TQXLDatabase* Database : FDatabases)
    if (Database->Handle() && Database->HandleShared && SameNameIgnoringCase(Database->DatabaseName(), DatabaseName))
      return Database->Handle();
  return nullptr;
}

void TQXLSession::GetDatabaseNames(std::vector<std::string>& List) {
  std::vector<std::string> Names;
  for (TQXLDatabase* Database : FDatabases) Names.push_back(Database->DatabaseName());
  auto Upper = [](const std::string& S) { return platform::UpperCaseWide(platform::Utf8ToWide(S)); };
  std::sort(Names.begin(), Names.end(), [&](const std::string& A, const std::string& B) { return Upper(A) < Upper(B); });
  Names.erase(std::unique(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
                return SameNameIgnoringCase(A, B);
              }),
              Names.end());
  List = std::move(Names);
}

void TQXLSession::GetTableNames(const std::string& DatabaseName, std::vector<std::string>& List) {
  List.clear();
  if (DatabaseName.empty()) return;
  TQXLDatabase* Database = OpenDatabase(DatabaseName);
  try {
    Database->Handle()->GetTablesList(List);
  } catch (...) {
    CloseDatabase(Database);
    throw;
  }
  CloseDatabase(Database);
}

void TQXLSession::AddDatabase(TQXLDatabase* Database) {
  FDatabases.push_back(Database);
  DBNotification(TQXLDatabaseEvent::dbAdd, Database);
}

void TQXLSession::RemoveDatabase(TQXLDatabase* Database) {
  if (FList) {
    std::lock_guard Guard(FList->SessionLock());
    std::erase(FDatabases, Database);
  } else {
    std::erase(FDatabases, Database);
  }
  DBNotification(TQXLDatabaseEvent::dbRemove, Database);
}

void TQXLSession::DBNotification(TQXLDatabaseEvent Event, TQXLDatabase* Database) {
  if (OnDBNotify) OnDBNotify(Event, Database);
}

TQXLDatabase* TQXLSession::AdoptDatabase(std::unique_ptr<TQXLDatabase> Database) {
  FOwnedDatabases.push_back(std::move(Database));
  return FOwnedDatabases.back().get();
}

bool TQXLSession::FreeDatabase(TQXLDatabase* Database) {
  auto Owned = std::find_if(FOwnedDatabases.begin(), FOwnedDatabases.end(),
                            [Database](const std::unique_ptr<TQXLDatabase>& D) { return D.get() == Database; });
  if (Owned == FOwnedDatabases.end()) return false;
  std::unique_ptr<TQXLDatabase> Freed = std::move(*Owned);
  FOwnedDatabases.erase(Owned);
  Freed.reset();
  return true;
}

}  // namespace qxl
