#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/components/QXLSessionComponent.h"

namespace qxl {

namespace {

std::unique_ptr<TQXLSessionList>& TheSessionList() {
  static std::unique_ptr<TQXLSessionList> List;
  return List;
}

}  // namespace

TQXLSessionList& SessionList() {
  if (!TheSessionList()) throw EQXLException(20007, "Database Engine is not initialized");
  return *TheSessionList();
}

bool SessionListExists() { return TheSessionList() != nullptr; }

TQXLSession* DefaultSession() { return SessionList().DefaultSession(); }

void CreateSessionList() {
  TheSessionList() = std::make_unique<TQXLSessionList>();
  // Not activated here: the default session becomes active on first use.
  TheSessionList()->MakeSession("Default");
}

void FreeSessionList() { TheSessionList().reset(); }

TQXLSessionList::TQXLSessionList() = default;

TQXLSessionList::~TQXLSessionList() {
  while (true) {
    TQXLSession* Last;
    {
      std::lock_guard Guard(FListLock);
      if (FSessions.empty()) break;
      Last = FSessions.back();
    }
    auto Owned = std::find_if(FOwnedSessions.begin(), FOwnedSessions.end(),
                              [Last](const std::unique_ptr<TQXLSession>& S) { return S.get() == Last; });
    if (Owned != FOwnedSessions.end()) {
      std::unique_ptr<TQXLSession> Session = std::move(*Owned);
      FOwnedSessions.erase(Owned);
      Session.reset();
    } else {
      // A session its owner still holds is closed and let go of; its
      // destructor will find no list.
      try {
        Last->Close();
      } catch (...) {
        // Shut-down goes on whatever one session reports.
      }
      RemoveSession(Last);
      Last->FList = nullptr;
    }
  }
}

void TQXLSessionList::AddSession(TQXLSession* Session) {
  std::lock_guard Guard(FListLock);
  Session->FDefault = FSessions.empty();
  FSessions.push_back(Session);
}

void TQXLSessionList::RemoveSession(TQXLSession* Session) {
  std::lock_guard Guard(FListLock);
  std::erase(FSessions, Session);
}

TQXLSession* TQXLSessionList::DefaultSession() {
  std::lock_guard Guard(FListLock);
  for (TQXLSession* S : FSessions)
    if (S->FDefault) return S;
  return nullptr;
}

TQXLSession* TQXLSessionList::FindSession(const std::string& SessionName) {
  if (SessionName.empty()) return DefaultSession();
  std::lock_guard Guard(FListLock);
  for (TQXLSession* S : FSessions)
    if (SameNameIgnoringCase(S->SessionName(), SessionName)) return S;
  return nullptr;
}

TQXLSession* TQXLSessionList::GetSessionByName(const std::string& SessionName) {
  TQXLSession* Session = FindSession(SessionName);
  if (!Session) throw EQXLException(20002, "Invalid session name '%s'", {SessionName});
  return Session;
}

TQXLSession* TQXLSessionList::OpenSession(const std::string& SessionName) {
  TQXLSession* Session = FindSession(SessionName);
  if (!Session) Session = MakeSession(SessionName);
  Session->SetActive(true);
  return Session;
}

TQXLSession* TQXLSessionList::MakeSession(const std::string& SessionName) {
  auto Made = std::make_unique<TQXLSession>(nullptr, this);
  Made->SetSessionName(SessionName);
  FOwnedSessions.push_back(std::move(Made));
  return FOwnedSessions.back().get();
}

void TQXLSessionList::GetSessionNames(std::vector<std::string>& List) {
  std::lock_guard Guard(FListLock);
  List.clear();
  for (TQXLSession* S : FSessions) List.push_back(S->SessionName());
}

TQXLSession* TQXLSessionList::GetSession(std::size_t Index) {
  std::lock_guard Guard(FListLock);
  return FSessions.at(Index);
}

std::size_t TQXLSessionList::Count() {
  std::lock_guard Guard(FListLock);
  return FSessions.size();
}

TQXLSession* TQXLSessionList::CurrentSession() {
  std::lock_guard Guard(FListLock);
  for (TQXLSession* S : FSessions)
    if (S->FHandle && S->FHandle == FCurrentToken) return S;
  return nullptr;
}

void TQXLSessionList::SetCurrentSession(TQXLSession* Session) { Session->MakeCurrent(); }

void TQXLSessionList::CreateDefaultSessionManager() {
  if (FTokensInitialized) return;
  FTokensInitialized = true;
  FDefaultToken = std::make_unique<TQXLSessionComponentManager>();
  FCurrentToken = FDefaultToken.get();
}

void TQXLSessionList::FreeDefaultSessionManager() {
  if (!FTokensInitialized) return;
  FTokensInitialized = false;
  if (FCurrentToken == FDefaultToken.get()) FCurrentToken = nullptr;
  FDefaultToken.reset();
}

TQXLSessionComponentManager* TQXLSessionList::GetDefaultSessionManager() {
  if (!FTokensInitialized) throw EQXLException(20007, "Database Engine is not initialized");
  return FCurrentToken;
}

std::int32_t TQXLSessionList::TakeSessionNumber() {
  std::int32_t Number = 0;
  while (FSessionNumbers.contains(Number)) ++Number;
  FSessionNumbers.insert(Number);
  return Number;
}

void TQXLSessionList::GiveBackSessionNumber(std::int32_t Number) { FSessionNumbers.erase(Number); }

}  // namespace qxl
