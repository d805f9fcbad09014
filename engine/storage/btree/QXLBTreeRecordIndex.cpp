// Building, opening, dropping and emptying a record index, its pages, and
// the conversions between key paths, record identities and bitmap numbers.
#include "engine/storage/btree/QXLBTreeRecordIndex.h"

#include <cstring>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

namespace {

const TQXLKeyPath& AsKeyPath(const TQXLIndexPosition& Position) {
  const auto* Path = dynamic_cast<const TQXLKeyPath*>(&Position);
  if (!Path) throw EQXLException(20068, "Index error: invalid position");
  return *Path;
}

TQXLKeyPath& AsKeyPath(TQXLIndexPosition& Position) {
  auto* Path = dynamic_cast<TQXLKeyPath*>(&Position);
  if (!Path) throw EQXLException(20068, "Index error: invalid position");
  return *Path;
}

}  // namespace

TQXLPageManager* TQXLBTreeRecordIndex::IndexPageManager() const {
  auto* Pages = dynamic_cast<TQXLPageManager*>(FIndexManager ? FIndexManager->GetPageManager(*this) : nullptr);
  if (!Pages) throw platform::Exception("The index has no page manager");
  return Pages;
}

TQXLTableData* TQXLBTreeRecordIndex::TableData() const { return FIndexManager ? FIndexManager->TableData() : nullptr; }

TQXLBTreePage TQXLBTreeRecordIndex::AllocIndexPage(std::int32_t SessionID) {
  TQXLPageManager* Pages = IndexPageManager();
  return TQXLBTreePage(Pages, FKeyRef.get(), Pages->AddPage(SessionID, QXLIndexPageType));
}

TQXLBTreePage TQXLBTreeRecordIndex::FetchIndexPage(std::int32_t SessionID, std::int32_t PageNo) {
  return TQXLBTreePage::Fetch(IndexPageManager(), FKeyRef.get(), SessionID, PageNo);
}

TQXLBTreePage TQXLBTreeRecordIndex::FetchRoot(std::int32_t SessionID, std::int32_t NoRootCode) {
  if (RootPageNo() == -1) throw EQXLException(NoRootCode, "Invalid page number");
  return FetchIndexPage(SessionID, RootPageNo());
}

void TQXLBTreeRecordIndex::AssignKeyRef() {
  auto KeyRef = std::make_unique<TQXLRecordKeyRef>();
  KeyRef->Assign(*FIndexDef, TableData());
  KeyRef->ReferenceSize = RecordReferenceSize;
  FKeyRef = std::move(KeyRef);
}

void TQXLBTreeRecordIndex::CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& aIndexDef) {
  TQXLIndex::CreateIndex(Cursor, aIndexDef);
  AssignKeyRef();
  const std::int32_t SessionID = Cursor ? Cursor->SessionID() : SystemSessionID;
  {
    TQXLBTreePage Root = AllocIndexPage(SessionID);
    Root.InitAsRoot();
    Root.MarkDirty();
    aIndexDef.RootPageNo = Root.PageNo();
    FIndexDef->RootPageNo = Root.PageNo();
  }
  if (Cursor) FillFromTable(Cursor);
}

// The records are read through the table's record manager in the cursor's
// session, as a second cursor of that session would see them.
void TQXLBTreeRecordIndex::FillFromTable(TQXLCursor* Cursor) {
  TQXLTableData* Table = TableData();
  TQXLBaseRecordManager* Records = Table ? Table->RecordManager() : nullptr;
  if (!Records) return;
  const std::int32_t SessionID = Cursor->SessionID();
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(Table->GetRecordBufferSize()), 0);
  TQXLNavigationInfo Nav;
  Nav.GetRecordMode = grmNext;
  Nav.FirstPosition = true;
  Nav.RecordBuffer = Buffer.data();
  for (;;) {
    Records->GetRecordBuffer(SessionID, Nav);
    if (Nav.GetRecordResult != grrOK) break;
    Nav.FirstPosition = Nav.LastPosition = false;
    const TQXLPageItemID RecordID = Nav.RecordID;
    InsertEntry(SessionID, 20127, Buffer.data(), RecordID);
  }
}

void TQXLBTreeRecordIndex::OpenIndex(const TQXLIndexDef& aIndexDef) {
  TQXLIndex::OpenIndex(aIndexDef);
  AssignKeyRef();
}

void TQXLBTreeRecordIndex::DropIndex(std::int32_t SessionID) {
  FetchRoot(SessionID, 20119).FreeAllPages(SessionID, false);
}

void TQXLBTreeRecordIndex::EmptyIndex(std::int32_t SessionID) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20120);
  Root.FreeAllPages(SessionID, true);
  Root.InitAsRoot();
  Root.MarkDirty();
}

void TQXLBTreeRecordIndex::RebuildTemporaryIndex(TQXLCursor* Cursor) {
  DropIndex(Cursor ? Cursor->SessionID() : SystemSessionID);
  CreateIndex(Cursor, *FIndexDef);
  // The manager's definition must name the new root, or the index would be
  // reopened on the freed one.
  if (TQXLIndexDef* Listed = FIndexManager ? FIndexManager->IndexDefs().GetIndexDefByObjectId(FIndexDef->ObjectID) : nullptr)
    Listed->RootPageNo = FIndexDef->RootPageNo;
}

bool TQXLBTreeRecordIndex::GetIndexPosition(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                            const std::uint8_t* RecordBuffer, TQXLIndexPosition& IndexPosition) {
  TQXLKeyPath& Path = AsKeyPath(IndexPosition);
  TQXLBTreePage Root = FetchRoot(SessionID, 20124);
  Path.Clear();
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, KeyBytes);
  const TQXLPageItemID Reference = RecordID;
  return Root.FindEntry(SessionID, KeyBytes, reinterpret_cast<const std::uint8_t*>(&Reference), Path);
}

std::int32_t TQXLBTreeRecordIndex::CompareRecordPositionsInIndex(const TQXLIndexPosition& RecordPosition1,
                                                                 const TQXLIndexPosition& RecordPosition2) {
  return AsKeyPath(RecordPosition1).Compare(AsKeyPath(RecordPosition2));
}

void TQXLBTreeRecordIndex::GetRecordIDByIndexPosition(std::int32_t SessionID, const TQXLIndexPosition& IndexPos,
                                                      TQXLPageItemID& RecordID) {
  const TQXLKeyPath& Path = AsKeyPath(IndexPos);
  if (Path.Count() == 0) throw EQXLException(20068, "Index error: invalid position");
  if (RootPageNo() == -1) throw EQXLException(20068, "Index error: invalid position");
  std::int32_t PageNo = RootPageNo();
  for (std::int32_t Level = 0;; ++Level) {
    TQXLBTreePage Page = FetchIndexPage(SessionID, PageNo);
    const std::int32_t EntryNo = Path.Item(Level).EntryNo;
    const bool Last = Level == Path.Count() - 1;
    // A number from a bitmap may name an entry or a depth the tree no longer has.
    if (EntryNo < 0 || EntryNo >= Page.EntryCount() || Page.IsLeaf() != Last)
      throw EQXLException(20068, "Index error: invalid position");
    if (Last) {
      std::memcpy(&RecordID, Page.GetPReference(EntryNo), RecordReferenceSize);
      return;
    }
    PageNo = Page.ChildPageNo(EntryNo);
  }
}

std::int32_t TQXLBTreeRecordIndex::GetMaxEntriesPerPage() {
  return IndexPageManager()->PageDataSize() / (FKeyRef->ShortKeySize + QXLNodeReferenceSize);
}

std::int32_t TQXLBTreeRecordIndex::KeyEntrySize() { return FKeyRef ? FKeyRef->ShortKeySize + RecordReferenceSize : 0; }

std::int64_t TQXLBTreeRecordIndex::IndexPositionToBitNo(const TQXLIndexPosition& IndexPos) {
  return AsKeyPath(IndexPos).GetBitmapRecNoByIndexPosition(GetMaxEntriesPerPage());
}

void TQXLBTreeRecordIndex::BitNoToIndexPosition(std::int64_t BitNo, TQXLIndexPosition& IndexPos) {
  AsKeyPath(IndexPos).FillItemsByBitmapRecNo(BitNo, GetMaxEntriesPerPage());
}

}  // namespace qxl
