#pragma once
// A database file with its own structures, as a new database gets them: the
// system directory at page 2 naming the sessions file and the table list.
#include <cstdint>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLActiveSessionsFile.h"
#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/files/QXLTableListFile.h"
#include "tests/engine/storage/PageManagerTestSupport.h"

namespace qxl {

struct TDatabaseStructure {
  std::int32_t SessionsPageNo = -1;
  std::int32_t TableListPageNo = -1;
};

// Creates the file with MaxSessions session bytes.
inline TDatabaseStructure CreateStructuredDatabase(const std::string& Name, std::int32_t MaxSessions,
                                                   std::uint16_t PageSize = 4096) {
  TQXLDiskPageManager M;
  M.CreateAndOpenDatabase(Name, {}, PageSize, 8);
  TQXLSystemDirectory Directory(M);
  Directory.CreateDirectory();
  TDatabaseStructure Result;
  Result.SessionsPageNo = TQXLActiveSessionsFile(M).CreateFile(MaxSessions);
  Result.TableListPageNo = TQXLTableListFile(M).CreateFile();
  Directory.CreateFile(dbftActiveSessionsList, Result.SessionsPageNo);
  Directory.CreateFile(dbftTablesList, Result.TableListPageNo);
  Directory.SaveDirectory();
  M.ApplyChanges(QXLSystemSessionID);
  return Result;
}

}  // namespace qxl
