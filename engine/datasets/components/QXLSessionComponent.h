#pragma once
// The session components: named groups of database components, the one
// process-wide list of them with its "Default" session, and the process-wide
// re-entrant session lock that serialises database opening across sessions.
// Thread rule: activation, naming and changes of a session's database list
// run under the session lock; the list of sessions takes its own lock too.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/datasets/base/Component.h"

namespace qxl {

class TQXLBaseSession;

// A session's token: it only serves as the session's identity in the handles
// it gives its databases.
class TQXLSessionComponentManager {};


class TQXLDatabase;
class TQXLSession;

enum class TQXLDatabaseEvent { dbOpen, dbClose, dbAdd, dbRemove };
using TQXLDatabaseNotifyEvent = std::function<void(TQXLDatabaseEvent Event, TQXLDatabase* Database)>;

class TQXLSessionList {
public:
  TQXLSessionList();
  // Frees the sessions it made, closes the others, from the last to the first.
  ~TQXLSessionList();
  TQXLSessionList(const TQXLSessionList&) = delete;
  TQXLSessionList& operator=(const TQXLSessionList&) = delete;

  // An empty name gives the default session; otherwise the session of that
  // name (ignoring case), or nullptr.
  TQXLSession* FindSession(const std::string& SessionName);
  // As FindSession; an unknown name raises 20002.
  TQXLSession* GetSessionByName(const std::string& SessionName);
  // The session of that name, made (and owned by the list) when none; active.
  TQXLSession* OpenSession(const std::string& SessionName);
  // A new inactive session of that name, owned by the list.
  TQXLSession* MakeSession(const std::string& SessionName);
  void GetSessionNames(std::vector<std::string>& List);
  TQXLSession* GetSession(std::size_t Index);
  std::size_t Count();
  TQXLSession* DefaultSession();
  // The session whose token is the current one, or nullptr.
  TQXLSession* CurrentSession();
  void SetCurrentSession(TQXLSession* Session);

  // The process-wide session lock.
  std::recursive_mutex& SessionLock() { return FSessionLock; }

  // The token machinery of the default session.
  void CreateDefaultSessionManager();
  void FreeDefaultSessionManager();
  // 20007 until CreateDefaultSessionManager.
  TQXLSessionComponentManager* GetDefaultSessionManager();
  void SetCurrentSessionManager(TQXLSessionComponentManager* Token) { FCurrentToken = Token; }

  // Used by the sessions themselves.
  void AddSession(TQXLSession* Session);
  void RemoveSession(TQXLSession* Session);
  std::int32_t TakeSessionNumber();
  void GiveBackSessionNumber(std::int32_t Number);

private:
  std::recursive_mutex FSessionLock;
  std::mutex FListLock;
  std::vector<TQXLSession*> FSessions;
  std::vector<std::unique_ptr<TQXLSession>> FOwnedSessions;
  std::set<std::int32_t> FSessionNumbers;
  std::unique_ptr<TQXLSessionComponentManager> FDefaultToken;
  TQXLSessionComponentManager* FCurrentToken = nullptr;
  bool FTokensInitialized = false;
};

// The process's session list; 20007 while the engine is not started.
TQXLSessionList& SessionList();
// Whether the engine is started (the session list exists).
bool SessionListExists();
TQXLSession* DefaultSession();
// The start-up makes the list with its session "Default"; the shut-down frees it.
void CreateSessionList();
void FreeSessionList();

class TQXLSession : public TComponent {
public:
  // Joins the process's session list; the first session of the list becomes
  // the default one. Owner only decides which sessions and databases sit on
  // one form. List is the process's list unless given.
  explicit TQXLSession(const TComponent* Owner = nullptr, TQXLSessionList* List = nullptr);
  // Deactivates, then leaves the session list.
  ~TQXLSession() override;
  TQXLSession(const TQXLSession&) = delete;
  TQXLSession& operator=(const TQXLSession&) = delete;

  const TComponent* Owner() const { return FOwner; }
  bool IsDefault() const { return FDefault; }

  bool Active() const { return FHandle != nullptr; }
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // Enters the session lock and makes the session current (activating it).
  void LockSession();
  void UnlockSession();
  // Makes the session current and returns its token.
  TQXLSessionComponentManager* Handle();

  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  bool AutoSessionName() const { return FAutoSessionName; }
  void SetAutoSessionName(bool Value);
  // The component's name; reassigns the automatic session name.
  void SetName(const std::string& Value);
  bool KeepConnections = true;

  std::function<void(TQXLSession&)> OnStartup;
  TQXLDatabaseNotifyEvent OnDBNotify;

  std::size_t DatabaseCount() const { return FDatabases.size(); }
  TQXLDatabase* GetDatabase(std::size_t Index) const { return FDatabases.at(Index); }
  // The first database of that name (ignoring case); an unnamed one is found
  // only when it is temporary.
  TQXLDatabase* FindDatabase(const std::string& DatabaseName);
  // The database of that name opened and counted once more; a temporary
  // silent database is made (and owned by the session) when there is none.
  TQXLDatabase* OpenDatabase(const std::string& DatabaseName) { return OpenDatabaseForOwner(DatabaseName, nullptr); }
  TQXLDatabase* OpenDatabaseForOwner(const std::string& DatabaseName, const TComponent* Owner);
  // One use fewer; an unused database that does not keep its connection is
  // closed, or freed when temporary.
  void CloseDatabase(TQXLDatabase* Database);
  // Frees every unused temporary database.
  void DropConnections();
  void GetDatabaseNames(std::vector<std::string>& List);
  void GetTableNames(const std::string& DatabaseName, std::vector<std::string>& List);
  // The handle of a connected database of that name that shares its handle.
  TQXLBaseSession* FindDatabaseHandle(const std::string& DatabaseName);

  // Used by the database components.
  void AddDatabase(TQXLDatabase* Database);
  void RemoveDatabase(TQXLDatabase* Database);
  void DBNotification(TQXLDatabaseEvent Event, TQXLDatabase* Database);
  // Takes ownership of a database made for datasets.
  TQXLDatabase* AdoptDatabase(std::unique_ptr<TQXLDatabase> Database);
  // Frees a database this session owns; false when it owns none such.
  bool FreeDatabase(TQXLDatabase* Database);

private:
  friend class TQXLSessionList;

  void Activate();
  void Deactivate();
  void MakeCurrent();
  void CheckInactive();
  void CheckAutoSessionOwner(bool Enabling) const;
  void UpdateAutoSessionName();
  TQXLSessionList& List() const;
  // Each remaining database is told its session is gone.
  void ReleaseDatabases();

  const TComponent* FOwner;
  TQXLSessionList* FList;
  std::unique_ptr<TQXLSessionComponentManager> FOwnToken;
  TQXLSessionComponentManager* FHandle = nullptr;
  std::vector<TQXLDatabase*> FDatabases;
  std::vector<std::unique_ptr<TQXLDatabase>> FOwnedDatabases;
  bool FDefault = false;
  bool FAutoSessionName = false;
  bool FUpdatingAutoSessionName = false;
  bool FDestroying = false;
  std::string FSessionName;
  std::int32_t FSessionNumber = -1;
};

// Holds a session's lock for its scope.
class TQXLSessionLock {
public:
  explicit TQXLSessionLock(TQXLSession& Session) : FSession(Session) { FSession.LockSession(); }
  ~TQXLSessionLock() { FSession.UnlockSession(); }
  TQXLSessionLock(const TQXLSessionLock&) = delete;
  TQXLSessionLock& operator=(const TQXLSessionLock&) = delete;

private:
  TQXLSession& FSession;
};

}  // namespace qxl
