// The rebuild behind every maintenance operation of the database component:
// a new database file with the wanted settings, every table of this database
// copied into it by the table component's copy, progress reported across the
// tables, and the problems met collected in a log.
#include <memory>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Guid.h"

namespace qxl {

namespace {

constexpr std::int32_t NotEnoughSpaceCode = 20303;
constexpr std::int32_t CreateDatabaseErrorCode = 30449;
constexpr std::int32_t CopyTableErrorCode = 20199;

// Restores the settings the rebuild changes on the source component and calls
// the after event once the before event has run, on every way out.
class TRebuildScope {
public:
  TRebuildScope(TQXLDatabase& Database, const TQXLMaintenanceEvent& After)
      : LDatabase(Database), LAfter(After), FExclusive(Database.Exclusive), FSilentMode(Database.SilentMode) {}
  ~TRebuildScope() noexcept(false) {
    LDatabase.Exclusive = FExclusive;
    LDatabase.SilentMode = FSilentMode;
    // An after event that fails while a failure is already on its way out
    // must not hide that failure.
    if (!FBeforeRun || !LAfter) return;
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        LAfter(LDatabase);
      } catch (...) {
      }
      return;
    }
    LAfter(LDatabase);
  }
  void BeforeRun() { FBeforeRun = true; }
  bool SavedSilentMode() const { return FSilentMode; }

private:
  TQXLDatabase& LDatabase;
  const TQXLMaintenanceEvent& LAfter;
  bool FExclusive;
  bool FSilentMode;
  bool FBeforeRun = false;
  int FUncaught = std::uncaught_exceptions();
};

// The source while the tables are copied out of it: open, exclusive, its
// damaged page headers accepted; closed again on every way out.
class TOpenSource {
public:
  TOpenSource(TQXLDatabase& Database, bool SilentMode) : LDatabase(Database) {
    LDatabase.Exclusive = true;
    LDatabase.SilentMode = true;
    try {
      LDatabase.Open();
    } catch (...) {
      LDatabase.SilentMode = SilentMode;
      throw;
    }
    LDatabase.SilentMode = SilentMode;
    try {
      LDatabase.Handle()->SetSuppressDBHeaderErrors(true);
    } catch (...) {
      LDatabase.Close();
      throw;
    }
  }
  ~TOpenSource() noexcept(false) {
    if (!LDatabase.Connected()) return;
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        Close();
      } catch (...) {
      }
      return;
    }
    Close();
  }

private:
  void Close() {
    LDatabase.Handle()->SetSuppressDBHeaderErrors(false);
    LDatabase.Close();
  }

  TQXLDatabase& LDatabase;
  int FUncaught = std::uncaught_exceptions();
};

void AppendLine(std::string& Log, const std::string& Line) { Log += Line + "\r\n"; }

}  // namespace

bool TQXLDatabase::RebuildDatabaseFile(const std::string& NewDatabaseFileName, std::string& Log, bool IgnoreErrors,
                                       const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm,
                                       std::int32_t NewPageSize, std::int32_t NewPageCountInExtent,
                                       std::int32_t NewMaxConnections, const TQXLMaintenanceEvent& BeforeEvent,
                                       const TQXLMaintenanceProgressEvent& ProgressEvent,
                                       const TQXLMaintenanceEvent& AfterEvent) {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
  FRebuiltFileMade = false;
  TRebuildScope Scope(*this, AfterEvent);
  Log.clear();
  if (BeforeEvent) {
    Scope.BeforeRun();
    BeforeEvent(*this);
  }

  // Nothing is made on a file system that cannot hold a copy of the file.
  std::int64_t SourceSize = 0;
  {
    std::unique_ptr<platform::FileHandle> Source =
        FileSystem().Open(FDatabaseFileName, platform::AccessMode::ReadOnly, platform::ShareMode::DenyNone);
    SourceSize = Source->Size();
    Source->Close();
  }
  if (FileSystem().FreeSpace(NewDatabaseFileName) < SourceSize)
    throw EQXLException(NotEnoughSpaceCode,
                        "There is not enough free space on drive to perform required operation with the database file.");

  auto Target = std::make_unique<TQXLDatabase>(nullptr, FSession);
  Target->SetFileSystem(FileSystem());
  if (FDatabaseDataList) Target->SetDatabaseDataList(*FDatabaseDataList);
  Target->SetDatabaseFileName(NewDatabaseFileName);
  Target->SetDatabaseName("TempDatabase" + platform::GuidToString(platform::NewGuid()));
  Target->Password = NewPassword;
  Target->CryptoAlgorithm = NewCryptoAlgorithm;
  Target->PageSize = NewPageSize;
  Target->PageCountInExtent = NewPageCountInExtent;
  Target->MaxConnections = NewMaxConnections;
  FRebuiltFileMade = true;
  try {
    Target->CreateDatabase();
    Target->Open();
  } catch (const platform::Exception& E) {
    AppendLine(Log, platform::Format("Create database error: '%s'", E.Message));
    if (!IgnoreErrors) throw EQXLException(CreateDatabaseErrorCode, "Create database error: '%s'", {E.Message});
    return false;
  }

  bool Continue = true;
  {
    TOpenSource Source(*this, Scope.SavedSilentMode());
    // Read without swallowing its errors: a list that could not be read must
    // not leave an empty file to take the place of this one.
    std::vector<std::string> Names;
    try {
      FHandle->GetTablesList(Names);
    } catch (const platform::Exception& E) {
      const std::string Text = platform::Format("Cannot read the list of tables: '%s'", E.Message);
      AppendLine(Log, Text);
      if (!IgnoreErrors) throw EQXLException(CopyTableErrorCode, Text);
      return false;
    }
    const std::int32_t Count = static_cast<std::int32_t>(Names.size());
    for (std::int32_t i = 0; i < Count && Continue; ++i) {
      const std::string& Name = Names[static_cast<std::size_t>(i)];
      try {
        TQXLTable Table;
        Table.SetSessionName(FSessionName);
        Table.SetDatabaseName(FDatabaseName);
        Table.SetTableName(Name);
        if (IgnoreErrors) {
          Table.RepairOpen();
          Table.Open();
          Table.Close();
        }
        Table.OnCopyProgress = [this, &ProgressEvent](TQXLTable&, std::int32_t PercentDone, bool& Go) {
          if (ProgressEvent) ProgressEvent(*this, PercentDone, Go);
        };
        // The rebuild's own window shows the progress; the table shows none.
        Table.BeforeCopy = Table.AfterCopy = [](TQXLTable&) {};
        Table.CopyTable(Name, Log, Continue, NewDatabaseFileName, NewPassword, IgnoreErrors, false, true,
                        i * 100 / Count, (i + 1) * 100 / Count);
      } catch (const platform::Exception& E) {
        const std::string Text = platform::Format("Problem occured while copying table '%s': '%s'", Name, E.Message);
        AppendLine(Log, Text);
        if (!IgnoreErrors) throw EQXLException(CopyTableErrorCode, Text);
      }
    }
  }
  if (!Continue) {
    // The log says why the rebuild answers false.
    if (Log.find("Terminated by User.") == std::string::npos) AppendLine(Log, "Terminated by User.");
    return false;
  }
  // The work is done: a stop asked for now comes too late to matter.
  if (ProgressEvent) ProgressEvent(*this, 100, Continue);
  // Cut to the pages in use and on the disk before anything takes the new
  // file for the database.
  Target->Close();
  Target->Open();
  if (auto* Local = dynamic_cast<TQXLLocalSession*>(Target->Handle())) Local->TruncateDatabase();
  Target->FlushBuffers();
  Target->Close();
  return IgnoreErrors || Log.empty();
}

}  // namespace qxl
