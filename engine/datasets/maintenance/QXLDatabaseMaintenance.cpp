// The maintenance operations of the database component: compact, repair,
// change the password and change the file settings, each by a rebuild into
// a new file. In place, the rebuilt file takes the old one's name by one
// atomic rename, refused while any other handle has either file open; until
// then the old file is untouched, so a failure at any step leaves it as it
// was. A repair that lost something keeps the damaged file beside the
// repaired one.
#include <memory>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/maintenance/QXLRebuildEvents.h"

namespace qxl {

namespace {

constexpr std::int32_t OperationFailedCode = 30456;
constexpr std::int32_t MaxConnectionsCode = 20274;
constexpr std::int32_t FileInUseCode = 10462;
constexpr std::size_t CopyBlockSize = 1 << 20;

std::string TempFileNameOf(const std::string& DatabaseFileName) { return DatabaseFileName + ".tmp"; }

// Copies a closed file whole into a new file that must not exist yet.
void CopyWholeFile(platform::FileSystem& Files, const std::string& From, const std::string& To) {
  std::unique_ptr<platform::FileHandle> In =
      Files.Open(From, platform::AccessMode::ReadOnly, platform::ShareMode::DenyWrite);
  std::unique_ptr<platform::FileHandle> Out = Files.Create(To, platform::ShareMode::Exclusive);
  std::vector<char> Block(CopyBlockSize);
  std::int64_t Offset = 0;
  while (true) {
    const std::size_t Read = In->ReadAt(Block.data(), Block.size(), Offset);
    if (Read == 0) break;
    Out->WriteAt(Block.data(), Read, Offset);
    Offset += static_cast<std::int64_t>(Read);
  }
  Out->Flush();
  Out->Close();
  In->Close();
}

}  // namespace

std::string TQXLDatabase::DiscardRebuiltFile(const std::string& FileName) noexcept {
  try {
    if (!FileSystem().Exists(FileName) || FileSystem().Delete(FileName)) return "";
    return platform::Format("The rebuilt file '%s' is in use and could not be deleted.", FileName);
  } catch (const std::exception& E) {
    return platform::Format("The rebuilt file '%s' could not be deleted: %s", FileName, std::string(E.what()));
  } catch (...) {
    return platform::Format("The rebuilt file '%s' could not be deleted.", FileName);
  }
}

void TQXLDatabase::DiscardAfterFailure(const std::string& FileName) noexcept {
  // A rebuild that failed before making its file leaves a file of that name
  // alone: it is not the rebuild's.
  if (!FRebuiltFileMade) return;
  const std::string Problem = DiscardRebuiltFile(FileName);
  if (Problem.empty()) return;
  // The failure on its way out says that the file stays behind.
  try {
    throw;
  } catch (platform::Exception& E) {
    E.Message += " (" + Problem + ")";
  } catch (...) {
  }
}

std::string TQXLDatabase::KeptFileName() {
  const std::string Base = FDatabaseFileName + ".damaged";
  std::string Name = Base;
  for (std::int32_t Number = 2; FileSystem().Exists(Name); ++Number) Name = Base + std::to_string(Number);
  return Name;
}

void TQXLDatabase::ReplaceDatabaseFile(const std::string& TempFileName, const std::string& KeptFileName) {
  if (!KeptFileName.empty()) {
    try {
      CopyWholeFile(FileSystem(), FDatabaseFileName, KeptFileName);
    } catch (...) {
      DiscardRebuiltFile(KeptFileName);
      throw;
    }
  }
  bool Replaced = false;
  try {
    Replaced = FileSystem().Replace(TempFileName, FDatabaseFileName);
  } catch (...) {
    if (!KeptFileName.empty()) DiscardRebuiltFile(KeptFileName);
    throw;
  }
  if (Replaced) return;
  if (!KeptFileName.empty()) DiscardRebuiltFile(KeptFileName);
  throw EQXLException(FileInUseCode, "Error - database file %s is in use.", {FDatabaseFileName});
}

void TQXLDatabase::CheckOnlyConnection() {
  Open();
  std::int32_t Connections = 1;
  try {
    // A single-user connection holds every session byte, and has the file to
    // itself or could not have opened it.
    if (FHandle->FMultiUser) Connections = GetDBFileConnectionsCount();
  } catch (...) {
    Close();
    throw;
  }
  Close();
  if (Connections > 1) throw EQXLException(FileInUseCode, "Error - database file %s is in use.", {FDatabaseFileName});
}

bool TQXLDatabase::RebuildOrDiscard(const std::string& TempFileName, std::string& Log, bool IgnoreErrors,
                                    const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm,
                                    std::int32_t NewPageSize, std::int32_t NewPageCountInExtent,
                                    std::int32_t NewMaxConnections, TQXLRebuildEvents& Events) {
  bool Done = false;
  try {
    Done = RebuildDatabaseFile(TempFileName, Log, IgnoreErrors, NewPassword, NewCryptoAlgorithm, NewPageSize,
                               NewPageCountInExtent, NewMaxConnections, Events.Before(), Events.Progress(),
                               Events.After());
  } catch (...) {
    DiscardAfterFailure(TempFileName);
    throw;
  }
  if (Done) return true;
  const std::string Problem = DiscardRebuiltFile(TempFileName);
  if (!Problem.empty()) Log += Problem + "\r\n";
  return false;
}

bool TQXLDatabase::CompactDatabase(const std::string& NewDatabaseFileName) {
  CheckDatabaseName();
  AttachSession(true);
  EnsureDatabaseClosed();
  // The file must open: its password, the repair question.
  Open();
  Close();
  TQXLRebuildEvents Events(*this, TQXLRebuildOperation::Compact);
  std::string Log;
  if (RebuildOrDiscard(NewDatabaseFileName, Log, false, Password, CryptoAlgorithm, PageSize, PageCountInExtent,
                       MaxConnections, Events))
    return true;
  throw EQXLException(OperationFailedCode, "Operation %s failed: %s", {"CompactDatabase", Log});
}

bool TQXLDatabase::CompactDatabase() {
  CheckDatabaseName();
  AttachSession(true);
  EnsureDatabaseClosed();
  CheckOnlyConnection();
  const std::string Temp = TempFileNameOf(FDatabaseFileName);
  CompactDatabase(Temp);
  try {
    ReplaceDatabaseFile(Temp, "");
  } catch (...) {
    DiscardAfterFailure(Temp);
    throw;
  }
  return true;
}

bool TQXLDatabase::RepairDatabase(const std::string& NewDatabaseFileName, std::string& Log) {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
  Open();
  Close();
  TQXLRebuildEvents Events(*this, TQXLRebuildOperation::Repair);
  return RebuildDatabaseFile(NewDatabaseFileName, Log, true, Password, CryptoAlgorithm, PageSize, PageCountInExtent,
                             MaxConnections, Events.Before(), Events.Progress(), Events.After());
}

std::string TQXLDatabase::RepairDatabase() {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
  CheckOnlyConnection();
  std::string Log;
  const std::string Temp = TempFileNameOf(FDatabaseFileName);
  bool Done = false;
  try {
    Done = RepairDatabase(Temp, Log);
  } catch (...) {
    DiscardAfterFailure(Temp);
    throw;
  }
  if (!Done) {
    if (Log.empty()) Log = "Unknown error";
    const std::string Problem = DiscardRebuiltFile(Temp);
    if (!Problem.empty()) Log += "\r\n" + Problem;
    return Log;
  }
  SwapInRebuiltFile(Temp, Log);
  return Log;
}

void TQXLDatabase::SwapInRebuiltFile(const std::string& TempFileName, std::string& Log) {
  // What could not be copied is still in the damaged file: it stays.
  const std::string Kept = Log.empty() ? std::string() : KeptFileName();
  try {
    ReplaceDatabaseFile(TempFileName, Kept);
  } catch (...) {
    DiscardAfterFailure(TempFileName);
    throw;
  }
  if (!Kept.empty()) Log += platform::Format("The damaged database file was kept as '%s'.\r\n", Kept);
}

std::string TQXLDatabase::ChangePassword(const std::string& NewPassword) {
  return ChangePassword(NewPassword, CryptoAlgorithm);
}

std::string TQXLDatabase::ChangePassword(const std::string& NewPassword, TQXLCryptoAlgorithm NewCryptoAlgorithm) {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
  CheckOnlyConnection();
  std::string Log;
  const std::string Temp = TempFileNameOf(FDatabaseFileName);
  TQXLRebuildEvents Events(*this, TQXLRebuildOperation::ChangePassword);
  if (!RebuildOrDiscard(Temp, Log, false, NewPassword, NewCryptoAlgorithm, PageSize, PageCountInExtent,
                        MaxConnections, Events))
    return Log;
  try {
    ReplaceDatabaseFile(Temp, "");
  } catch (...) {
    DiscardAfterFailure(Temp);
    throw;
  }
  // Only now does the file answer to the new password.
  Password = NewPassword;
  CryptoAlgorithm = NewCryptoAlgorithm;
  return Log;
}

bool TQXLDatabase::ChangeDatabaseSettings(std::string& Log, bool IgnoreErrors, const std::string& NewPassword,
                                          TQXLCryptoAlgorithm NewCryptoAlgorithm, std::int32_t NewPageSize,
                                          std::int32_t NewPageCountInExtent, std::int32_t NewMaxConnections) {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
  CheckOnlyConnection();
  if (NewMaxConnections <= 0) throw EQXLException(MaxConnectionsCode, "MaxConnections value must be positive ( >= 0)");
  const std::string Temp = TempFileNameOf(FDatabaseFileName);
  TQXLRebuildEvents Events(*this, TQXLRebuildOperation::ChangeSettings);
  if (!RebuildOrDiscard(Temp, Log, IgnoreErrors, NewPassword, NewCryptoAlgorithm, NewPageSize, NewPageCountInExtent,
                        NewMaxConnections, Events))
    return false;
  SwapInRebuiltFile(Temp, Log);
  Password = NewPassword;
  CryptoAlgorithm = NewCryptoAlgorithm;
  return true;
}

}  // namespace qxl
