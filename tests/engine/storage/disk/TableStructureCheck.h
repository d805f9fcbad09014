#pragma once
// The pages of a database file whose tables hold fixed-size records, checked
// after several processes worked on it: the file's own structure (sizes and
// space maps, StorageStructureCheck.h), and every page reached exactly once
// from the system directory, through the sessions file, the table list, each
// table's three internal files and its record page index to its record pages,
// or else free. A table with BLOB values or indexes leaves pages this walk
// does not reach, and fails the check.
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/QXLDiskFormat.h"
#include "engine/storage/btree/QXLKeyPath.h"
#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/support/DiskTableUser.h"

namespace tablecheck {

using TReached = std::map<std::int32_t, int>;

// Reaches every page of the chain that starts at StartPageNo.
inline void ReachChain(TQXLDiskPageManager& M, std::int32_t StartPageNo, TReached& Reached) {
  const std::int32_t Total = M.DBHeader().TotalPageCount;
  for (std::int32_t PageNo = StartPageNo, Links = 0; PageNo != -1 && Links <= Total; ++Links) {
    ++Reached[PageNo];
    if (PageNo < 0 || PageNo >= Total) return;  // reported as reached outside the data pages
    M.ReadPageRegion(&PageNo, PageNo, offsetof(TQXLDiskPageHeader, NextPageNo), sizeof PageNo);
  }
}

// The open table's record page index: its node pages once each, and the record
// page of each entry.
inline void ReachRecordPages(qxl::testsupport::TDiskTableUser& U, TReached& Reached) {
  qxl::TQXLBTreeRecordPageIndex& Index = U.Table().DiskRecordManager()->RecordPageIndex();
  std::set<std::int32_t> Nodes{Index.RootPageNo()};
  qxl::TQXLKeyPath Path;
  for (bool More = Index.GotoFirst(U.SessionID(), Path); More; More = Index.GotoNext(U.SessionID(), Path)) {
    for (std::int32_t Level = 0; Level < Path.Count(); ++Level) Nodes.insert(Path.Item(Level).PageNo);
    ++Reached[Index.GetPageNoAtPosition(U.SessionID(), Path)];
  }
  for (std::int32_t PageNo : Nodes) ++Reached[PageNo];
}

inline ::testing::AssertionResult TableFileIsSound(const std::string& File, const TQXLPassword& Password) {
  if (auto Sound = FileStructureIsSound(File, {}, Password); !Sound) return Sound;
  qxl::testsupport::TDiskTableUser U(File, Password);
  TQXLDiskDatabaseData& D = U.Database();
  TQXLDiskPageManager& M = *D.DiskPageManager();
  TReached Reached;
  ReachChain(M, TQXLSystemDirectory::DirectoryPageNo, Reached);
  ReachChain(M, D.SystemDirectory()->GetFileFirstPageNo(dbftActiveSessionsList), Reached);
  ReachChain(M, D.SystemDirectory()->GetFileFirstPageNo(dbftTablesList), Reached);
  std::vector<std::string> Tables;
  D.GetTablesList(Tables);
  for (const std::string& Table : Tables) {
    std::int32_t Id, Metadata, MostUpdated, Locks;
    D.FindTableListItem(Table, Id, Metadata, MostUpdated, Locks);
    for (std::int32_t Start : {Metadata, MostUpdated, Locks}) ReachChain(M, Start, Reached);
    U.Open(Table);
    ReachRecordPages(U, Reached);
    U.Close();
  }
  return PagesAreFreeOrReachedOnce(M, Reached);
}

}  // namespace tablecheck
