#pragma once
// The database component: names one database (a file, "MEMORY" or "TEMP")
// within a session, carries the settings a file is created and opened with,
// owns the local session that connects it, and counts the datasets that use
// it. Opening handles a wrong password and a file that needs repair through
// the user-interface seam, unless the component is silent.
// Thread rule: opening and creating run under the session lock; the
// component is otherwise used by one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLPassword.h"
#include "engine/datasets/base/Component.h"
#include "platform/FileSystem.h"

namespace qxl {

class TQXLRebuildEvents;

class TQXLBaseSession;
class TQXLDatabaseDataList;
class TQXLLocalSession;


class TQXLSession;

// A dataset as its database sees it.
class TQXLDatabaseDataSet {
public:
  virtual ~TQXLDatabaseDataSet() = default;
  // Queries are closed first: closing one may close others.
  virtual bool IsQuery() const = 0;
  // Closes the dataset because its database closes.
  virtual void CloseByDatabase() = 0;
};

class TQXLDatabase;
// Asked after a wrong password; Continue (false on entry) retries the open
// with the component's Password.
using TQXLPasswordEvent = std::function<void(TQXLDatabase& Database, bool& Continue)>;
// Asked in place of the repair question.
using TQXLOnNeedRepairEvent = std::function<void(TQXLDatabase& Database, bool& DoRepair)>;
// Rebuilds the file during Open in place of RepairDatabase when set. Any
// failure is reported as 20238.
using TQXLRepairHook = std::function<void(TQXLDatabase& Database, std::string& Log)>;
// The events of the maintenance operations that rebuild the file.
using TQXLMaintenanceEvent = std::function<void(TQXLDatabase& Sender)>;
// Progress of a rebuild; setting Continue to false stops it.
using TQXLMaintenanceProgressEvent = std::function<void(TQXLDatabase& Sender, std::int32_t PercentDone, bool& Continue)>;

class TQXLDatabase : public TComponent {
public:
  static constexpr std::int32_t DefaultPageSize = 4096;
  static constexpr std::int32_t DefaultPageCountInExtent = 8;
  static constexpr std::int32_t DefaultMaxConnections = 500;

  // Joins Session, else the owner when that is a session, else the default session.
  explicit TQXLDatabase(const TComponent* Owner = nullptr, TQXLSession* Session = nullptr);
  // Closes and leaves the session. Raises nothing.
  ~TQXLDatabase() override;
  TQXLDatabase(const TQXLDatabase&) = delete;
  TQXLDatabase& operator=(const TQXLDatabase&) = delete;

  const TComponent* Owner() const { return FOwner; }

  void Open();
  void Close();
  bool Connected() const { return FHandle != nullptr; }
  void SetConnected(bool Value);

  void CreateDatabase();
  // Both raise the file system's error, naming the file, when it fails, and
  // then leave the file as it was.
  void DeleteDatabase();
  void RenameDatabase(const std::string& NewDatabaseFileName);
  void TruncateDatabase();
  // Writes ExeDbFileName: the whole of ExeStubFileName, then the database file.
  void MakeExecutableDatabase(const std::string& ExeStubFileName, const std::string& ExeDbFileName);
  std::int32_t GetDBFileConnectionsCount();

  // Maintenance by rebuilding the file. In place, the rebuilt file takes the
  // old one's name in one step, only while no other connection holds the
  // file; any failure leaves the old file as it was and is raised.
  // Into NewDatabaseFileName with the current settings; True, or raises.
  bool CompactDatabase(const std::string& NewDatabaseFileName);
  bool CompactDatabase();
  // Copies what can be read; Log lists what could not.
  bool RepairDatabase(const std::string& NewDatabaseFileName, std::string& Log);
  // In place; returns the log (empty: nothing found). With a log the damaged
  // file is kept beside the repaired one, under the name the log ends with.
  std::string RepairDatabase();
  // Both return the log: empty for success.
  std::string ChangePassword(const std::string& NewPassword);
  std::string ChangePassword(const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm);
  bool ChangeDatabaseSettings(std::string& Log, bool IgnoreErrors, const std::string& NewPassword,
                              TQXLCryptoAlgorithm NewCryptoAlgorithm, std::int32_t NewPageSize,
                              std::int32_t NewPageCountInExtent, std::int32_t NewMaxConnections);
  // The common routine: a new file with these settings, every table copied
  // into it. IgnoreErrors is the repair mode.
  bool RebuildDatabaseFile(const std::string& NewDatabaseFileName, std::string& Log, bool IgnoreErrors,
                           const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm,
                           std::int32_t NewPageSize, std::int32_t NewPageCountInExtent,
                           std::int32_t NewMaxConnections, const TQXLMaintenanceEvent& BeforeEvent,
                           const TQXLMaintenanceProgressEvent& ProgressEvent, const TQXLMaintenanceEvent& AfterEvent);
  void FlushBuffers();
  void CloseDataSets();
  // Raises "Duplicate database name" for another database of the session
  // with that name, unless both share their handles; an unused temporary
  // database of that name is freed instead.
  void ValidateName(const std::string& Name);
  // Never raises: the list holds what could be read.
  void GetTablesList(std::vector<std::string>& List);
  bool TableExists(const std::string& TableName);
  bool Exists();

  void StartTransaction();
  void Commit(bool DoFlushBuffers);
  void Rollback();
  bool InTransaction() const;

  // Finds the session named SessionName; with Activate it must exist and is
  // made active.
  void AttachSession(bool Activate);

  // The dataset list, kept by the datasets.
  void AddDataSet(TQXLDatabaseDataSet* DataSet);
  void RemoveDataSet(TQXLDatabaseDataSet* DataSet);
  std::size_t DataSetCount() const { return FDataSets.size(); }
  TQXLDatabaseDataSet* DataSet(std::size_t Index) const { return FDataSets.at(Index); }

  std::string CurrentVersion() const { return "7.80 "; }
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  const std::string& DatabaseFileName() const { return FDatabaseFileName; }
  void SetDatabaseFileName(const std::string& Value);
  bool KeepConnection() const { return FKeepConnection; }
  void SetKeepConnection(bool Value);
  // The local session while connected; assigning one borrows it.
  TQXLBaseSession* Handle() const { return FHandle; }
  void SetHandle(TQXLBaseSession* Value);
  TQXLSession* Session() const { return FSession; }
  bool Temporary() const { return FTemporary; }
  void SetTemporary(bool Value) { FTemporary = Value; }
  std::int32_t RefCount() const { return FRefCount; }
  void SetRefCount(std::int32_t Value) { FRefCount = Value; }

  // Where the files are; the real files unless a test puts another in.
  void SetFileSystem(platform::FileSystem& Value) { FFileSystem = &Value; }
  platform::FileSystem& FileSystem() const { return *FFileSystem; }
  // The databases this component opens are found in and added to this list
  // (the process's list unless set).
  void SetDatabaseDataList(TQXLDatabaseDataList& Value) { FDatabaseDataList = &Value; }

  bool HandleShared = false;
  bool ReadOnly = false;
  bool Exclusive = false;
  std::string Password;
  TQXLCryptoAlgorithm CryptoAlgorithm = craRijndael_128;
  std::int32_t PageSize = DefaultPageSize;
  std::int32_t PageCountInExtent = DefaultPageCountInExtent;
  bool NoRequestAutoRepair = false;
  bool SilentMode = false;
  bool MultiUser = false;
  std::int32_t MaxConnections = DefaultMaxConnections;
  bool DisableTempFiles = false;

  TQXLPasswordEvent OnPassword;
  TQXLOnNeedRepairEvent OnNeedRepair;
  TQXLRepairHook RepairHook;
  TQXLMaintenanceEvent BeforeRepair, AfterRepair, BeforeCompact, AfterCompact, BeforeChangePassword,
      AfterChangePassword, BeforeChangeDatabaseSettings, AfterChangeDatabaseSettings;
  TQXLMaintenanceProgressEvent OnRepairProgress, OnCompactProgress, OnChangePasswordProgress,
      OnChangeDatabaseSettingsProgress;

private:
  friend class TQXLSession;

  // The session goes away: the database closes and falls back to the default session.
  void SessionGone();
  void CheckDatabaseName() const;
  void CheckActive() const;
  void CheckInactive() const;
  void EnsureDatabaseClosed();
  void CheckFileOperation();
  std::unique_ptr<TQXLLocalSession> CreateSessionHandle();
  void FreeSessionHandle();
  // For paths that already carry a failure.
  void DropSessionHandle() noexcept;
  bool TakeSharedHandle();
  void OpenOwnHandle();
  void ConnectHandle();
  // True when the file was rebuilt and must be connected again.
  bool HandleRepairNeeded();
  void RepairDuringOpen();
  void ReadBackSettings();
  bool RequestDatabasePassword();
  bool AskRepairDatabase();
  bool NotifyOldFormatConversion();
  // Opens and closes the database (the file must open: its password, the
  // repair question); 10462 when another connection holds the file.
  void CheckOnlyConnection();
  // Puts the rebuilt TempFileName in the place of the database file; with
  // KeptFileName the old file is copied there first.
  void ReplaceDatabaseFile(const std::string& TempFileName, const std::string& KeptFileName);
  // The same after a rebuild whose Log may list losses: then the old file is
  // kept, and the last line of Log names where. A failure deletes TempFileName.
  void SwapInRebuiltFile(const std::string& TempFileName, std::string& Log);
  // The first free name beside the database file for a damaged file kept.
  std::string KeptFileName();
  // Deletes a rebuilt file that is not to be used; what went wrong when it
  // stays behind, else empty.
  std::string DiscardRebuiltFile(const std::string& FileName) noexcept;
  // Inside a handler: deletes the file a failed rebuild made, and adds to the
  // failure's message when the file stays behind.
  void DiscardAfterFailure(const std::string& FileName) noexcept;
  // RebuildDatabaseFile into TempFileName with Events' handlers; a rebuild
  // that raises or answers false leaves no file behind (the raise names a
  // file that stays, the false answer adds it to Log).
  bool RebuildOrDiscard(const std::string& TempFileName, std::string& Log, bool IgnoreErrors,
                        const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm,
                        std::int32_t NewPageSize, std::int32_t NewPageCountInExtent, std::int32_t NewMaxConnections,
                        TQXLRebuildEvents& Events);

  const TComponent* FOwner;
  std::vector<TQXLDatabaseDataSet*> FDataSets;
  bool FKeepConnection = true;
  bool FTemporary = false;
  bool FAcquiredHandle = false;
  std::int32_t FRefCount = 0;
  TQXLBaseSession* FHandle = nullptr;
  std::unique_ptr<TQXLLocalSession> FOwnHandle;
  TQXLSession* FSession = nullptr;
  std::string FSessionName;
  std::string FDatabaseName;
  std::string FDatabaseFileName;
  platform::FileSystem* FFileSystem;
  TQXLDatabaseDataList* FDatabaseDataList = nullptr;
  bool FDestroying = false;
  // The last rebuild got as far as making its new file.
  bool FRebuiltFileMade = false;
};

}  // namespace qxl
