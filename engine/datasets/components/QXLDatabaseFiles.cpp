// What a database component does to its file as a whole: create, delete,
// rename, truncate, and the copy behind a program stub.
#include <vector>

#include "engine/datasets/QXLLocalSession.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/components/QXLSessionComponent.h"

namespace qxl {

namespace {

std::vector<char> ReadWholeFile(platform::FileSystem& Files, const std::string& FileName) {
  std::unique_ptr<platform::FileHandle> File =
      Files.Open(FileName, platform::AccessMode::ReadOnly, platform::ShareMode::DenyWrite);
  std::vector<char> Bytes(static_cast<std::size_t>(File->Size()));
  Bytes.resize(File->ReadAt(Bytes.data(), Bytes.size(), 0));
  File->Close();
  return Bytes;
}

// A refused delete or rename leaves the file as it was; the caller must know.
[[noreturn]] void RaiseFileInUse(const char* Operation, const std::string& FileName) {
  throw platform::EOSError(platform::ErrorSharingViolation,
                           platform::DescribeFailure(Operation, FileName, platform::ErrorSharingViolation));
}

TQXLLocalSession* LocalSession(TQXLBaseSession* Handle) { return dynamic_cast<TQXLLocalSession*>(Handle); }

}  // namespace

void TQXLDatabase::CheckFileOperation() {
  CheckDatabaseName();
  AttachSession(true);
  CheckInactive();
}

void TQXLDatabase::CreateDatabase() {
  CheckFileOperation();
  TQXLSessionLock Guard(*FSession);
  std::unique_ptr<TQXLLocalSession> Handle = CreateSessionHandle();
  Handle->CreateDatabase();
}

void TQXLDatabase::DeleteDatabase() {
  CheckFileOperation();
  if (!FileSystem().Delete(FDatabaseFileName)) RaiseFileInUse("Delete", FDatabaseFileName);
}

void TQXLDatabase::RenameDatabase(const std::string& NewDatabaseFileName) {
  CheckFileOperation();
  if (!FileSystem().Rename(FDatabaseFileName, NewDatabaseFileName)) RaiseFileInUse("Rename", FDatabaseFileName);
  FDatabaseFileName = NewDatabaseFileName;
}

void TQXLDatabase::TruncateDatabase() {
  CheckInactive();
  Open();
  try {
    if (TQXLLocalSession* Local = LocalSession(FHandle)) Local->TruncateDatabase();
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void TQXLDatabase::MakeExecutableDatabase(const std::string& ExeStubFileName, const std::string& ExeDbFileName) {
  const std::vector<char> Stub = ReadWholeFile(FileSystem(), ExeStubFileName);
  const std::vector<char> Database = ReadWholeFile(FileSystem(), FDatabaseFileName);
  std::unique_ptr<platform::FileHandle> Out = FileSystem().Create(ExeDbFileName, platform::ShareMode::Exclusive);
  Out->WriteAt(Stub.data(), Stub.size(), 0);
  Out->WriteAt(Database.data(), Database.size(), static_cast<std::int64_t>(Stub.size()));
  Out->Flush();
  Out->Close();
}

std::int32_t TQXLDatabase::GetDBFileConnectionsCount() {
  CheckActive();
  TQXLLocalSession* Local = LocalSession(FHandle);
  return Local ? Local->GetDBFileConnectionsCount() : 0;
}

}  // namespace qxl
