#pragma once
// The pages of a database file, checked after several processes worked on
// it: the file's own structure (sizes and space maps,
// StorageStructureCheck.h), and every page reached exactly once from the
// system directory, through the sessions file, the table list and each
// table's three internal files, its record page index to its record pages,
// every index's tree, its BLOB page index to the shared BLOB pages, and each
// record's large BLOB values to their data and list pages; or else free.
// After a write failure that lasted to the end of a change, a weaker check:
// no page owned twice or owned and free.
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/blobs/QXLBlobPageFormat.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/blobs/QXLLargeBlob.h"
#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/btree/QXLKeyPath.h"
#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/support/DiskTableUser.h"

namespace qxl {

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

// A page index of the open table (of its record or its BLOB pages): its node
// pages once each, and the page of each entry; the listed pages are returned.
inline std::set<std::int32_t> ReachPageIndex(qxl::testsupport::TDiskTableUser& U, qxl::TQXLBTreePageIndex& Index,
                                             TReached& Reached) {
  std::set<std::int32_t> Nodes{Index.RootPageNo()}, Listed;
  qxl::TQXLKeyPath Path;
  for (bool More = Index.GotoFirst(U.SessionID(), Path); More; More = Index.GotoNext(U.SessionID(), Path)) {
    for (std::int32_t Level = 0; Level < Path.Count(); ++Level) Nodes.insert(Path.Item(Level).PageNo);
    const std::int32_t PageNo = Index.GetPageNoAtPosition(U.SessionID(), Path);
    ++Reached[PageNo];
    Listed.insert(PageNo);
  }
  for (std::int32_t PageNo : Nodes) ++Reached[PageNo];
  return Listed;
}

inline void ReachRecordPages(qxl::testsupport::TDiskTableUser& U, TReached& Reached) {
  ReachPageIndex(U, U.Table().DiskRecordManager()->RecordPageIndex(), Reached);
}

// Every page of one tree, from its root down through the children of each node.
inline void ReachTree(qxl::testsupport::TDiskTableUser& U, qxl::TQXLBTreeRecordIndex& Index, std::int32_t PageNo,
                      TReached& Reached, std::int32_t Depth = 0) {
  ++Reached[PageNo];
  // A tree deeper than the file has pages loops; the page reached twice says so.
  if (Reached[PageNo] > 1 || Depth > U.Database().DiskPageManager()->DBHeader().TotalPageCount) return;
  std::vector<std::int32_t> Children;
  {
    qxl::TQXLBTreePage Page = qxl::TQXLBTreePage::Fetch(U.Database().DiskPageManager(), Index.KeyRef(),
                                                        U.SessionID(), PageNo);
    if (!Page.IsLeaf())
      for (std::int32_t Entry = 0; Entry < Page.EntryCount(); ++Entry) Children.push_back(Page.ChildPageNo(Entry));
  }
  for (std::int32_t Child : Children) ReachTree(U, Index, Child, Reached, Depth + 1);
}

// The open table's indexes, each tree whole.
inline void ReachIndexes(qxl::testsupport::TDiskTableUser& U, TReached& Reached) {
  TQXLBaseIndexManager& Indexes = *U.Table().IndexManager();
  for (std::int32_t i = 0; i < Indexes.IndexDefs().Count(); ++i) {
    const TQXLIndexDef& Def = *Indexes.IndexDefs().GetIndexDef(i);
    if (Def.RootPageNo < 0) continue;
    auto& Index = dynamic_cast<qxl::TQXLBTreeRecordIndex&>(*Indexes.OpenIndex(Def.ObjectID));
    ReachTree(U, Index, Def.RootPageNo, Reached);
  }
}

// The open table's BLOB page index and the shared pages it lists, and for
// each record's BLOB values that are not on a listed page, the pages of the
// large BLOB.
inline void ReachBlobPages(qxl::testsupport::TDiskTableUser& U, TReached& Reached) {
  qxl::TQXLDiskBlobManager* Blobs = U.Table().BlobManager();
  if (!Blobs || Blobs->BlobPageIndex().RootPageNo() < 0) return;
  const std::set<std::int32_t> Shared = ReachPageIndex(U, Blobs->BlobPageIndex(), Reached);
  const TQXLFieldDefs& Defs = U.Table().FieldManager()->FieldDefs();
  U.Rewind();
  while (U.Next()) {
    const std::uint8_t* Record = U.Cursor().FCurrentRecordBuffer;
    for (std::int32_t f = 0; f < Defs.Count(); ++f) {
      if (!qxl::IsBlobBaseFieldType(Defs.GetDef(f)->BaseFieldType) || qxl::GetBitInBuffer(f, Record)) continue;
      const TQXLPageItemID Value = Blobs->GetBlobPageItemID(Record, f);
      if (Value.PageNo == 0 || Value.PageNo == -1 || Shared.count(Value.PageNo)) continue;
      for (std::int32_t PageNo : qxl::TQXLLargeBlob(*U.Database().DiskPageManager(), U.SessionID()).OwnedPages(Value.PageNo))
        ++Reached[PageNo];
    }
  }
}

// Every page the file's tables and directories own, reached from the system
// directory, counted in Reached.
inline void ReachOwnedPages(qxl::testsupport::TDiskTableUser& U, TReached& Reached) {
  TQXLDiskDatabaseData& D = U.Database();
  TQXLDiskPageManager& M = *D.DiskPageManager();
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
    ReachIndexes(U, Reached);
    ReachBlobPages(U, Reached);
    U.Close();
  }
}

inline ::testing::AssertionResult TableFileIsSound(const std::string& File, const TQXLPassword& Password) {
  if (auto Sound = FileStructureIsSound(File, {}, Password); !Sound) return Sound;
  qxl::testsupport::TDiskTableUser U(File, Password);
  TReached Reached;
  ReachOwnedPages(U, Reached);
  return PagesAreFreeOrReachedOnce(*U.Database().DiskPageManager(), Reached);
}

// What a write failure that lasts to the end of a change may leave, since
// the space maps are written as pages are taken and given back, outside any
// commit: pages marked used that nobody owns (their room is lost until the
// file is rebuilt) and extent states that lag behind. What it must never
// leave is a page owned twice, or owned and marked free, which the next
// allocation would hand out again.
inline ::testing::AssertionResult TableFileOwnsNoPageTwice(const std::string& File, const TQXLPassword& Password) {
  qxl::testsupport::TDiskTableUser U(File, Password);
  TQXLDiskPageManager& M = *U.Database().DiskPageManager();
  TReached Reached;
  ReachOwnedPages(U, Reached);
  TQXLDatabaseFreeSpaceManager& FSM = *M.FreeSpaceManager();
  const std::int32_t Total = M.DBHeader().TotalPageCount;
  for (const auto& [PageNo, Times] : Reached) {
    if (PageNo < 0 || PageNo >= Total || FSM.IsSystemPage(PageNo))
      return ::testing::AssertionFailure() << "page " << PageNo << " reached outside the data pages";
    if (Times != 1) return ::testing::AssertionFailure() << "page " << PageNo << " reached " << Times << " times";
    if (!FSM.GetPageUsageFromPFS(PageNo)) return ::testing::AssertionFailure() << "page " << PageNo << " is reached but free";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tablecheck

}  // namespace qxl
