#include "engine/storage/btree/QXLBTreePage.h"

#include <optional>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

TQXLBTreePage::TQXLBTreePage(TQXLPageManager* PageManager, TQXLBTreeKeyRef* KeyRef, TQXLPage* Page)
    : TQXLPageController(Page), LPageManager(PageManager), LKeyRef(KeyRef),
      LHeaderSize(PageManager->PageHeaderSize()) {}

TQXLBTreePage::~TQXLBTreePage() {
  if (LPage) LPageManager->PutPage(LPage);
}

TQXLBTreePage::TQXLBTreePage(TQXLBTreePage&& Other) noexcept
    : TQXLPageController(Other.LPage), LPageManager(Other.LPageManager), LKeyRef(Other.LKeyRef),
      LHeaderSize(Other.LHeaderSize) {
  Other.LPage = nullptr;
}

void TQXLBTreePage::Put() {
  TQXLPage* Page = LPage;
  LPage = nullptr;
  if (Page) LPageManager->PutPage(Page);
}

std::int32_t TQXLBTreePage::Capacity(std::int32_t PageDataSize, std::int32_t EntrySize) {
  return EntrySize > 0 ? (PageDataSize - QXLIndexPageHeaderSize) / EntrySize : 0;
}

void TQXLBTreePage::RaiseDamaged() const {
  throw EQXLException(20310, "Index page is damaged. PageNo=%d", {PageNo()});
}

void TQXLBTreePage::Validate() const {
  // Everything a search reads must lie within the page; a page of another
  // tree or a damaged header is refused before any entry is looked at.
  if (Data()[0] > 1 || Data()[1] > 1 || HasSuffixes() || PagePrefixSize() != 0 ||
      KeyPrefixSize() != LKeyRef->ShortKeySize ||
      EntriesOffset() + EntryCount() * EntrySize() > PageDataSize())
    RaiseDamaged();
}

TQXLBTreePage TQXLBTreePage::Fetch(TQXLPageManager* PageManager, TQXLBTreeKeyRef* KeyRef, std::int32_t SessionID,
                                   std::int32_t PageNo) {
  if (PageNo < 0) throw EQXLException(20312, "Index error: invalid page number %d", {PageNo});
  TQXLBTreePage Page(PageManager, KeyRef, PageManager->GetPage(SessionID, PageNo, QXLIndexPageType, true));
  Page.Validate();
  return Page;
}

TQXLBTreePage TQXLBTreePage::AddIndexPage(std::int32_t SessionID) const {
  TQXLBTreePage Page(LPageManager, LKeyRef, LPageManager->AddPage(SessionID, QXLIndexPageType));
  Page.Init();
  return Page;
}

TQXLBTreePage TQXLBTreePage::GetIndexPage(std::int32_t SessionID, std::int32_t PageNo) const {
  return Fetch(LPageManager, LKeyRef, SessionID, PageNo);
}

void TQXLBTreePage::RemoveIndexPage(std::int32_t SessionID, std::int32_t PageNo) const {
  LPageManager->RemovePage(SessionID, PageNo);
}

std::int32_t TQXLBTreePage::ChildPageNo(std::int32_t Position) const {
  if (Position < 0 || Position >= EntryCount()) RaiseDamaged();
  std::int32_t Child;
  std::memcpy(&Child, GetPReference(Position), 4);
  if (Child < 0 || Child == PageNo()) RaiseDamaged();
  return Child;
}

void TQXLBTreePage::UpdateKey(std::int32_t Position, const std::uint8_t* Key) {
  MarkDirty();
  std::memcpy(GetPKey(Position), Key, KeyPrefixSize());
}

void TQXLBTreePage::UpdateReference(std::int32_t Position, const std::uint8_t* Reference) {
  MarkDirty();
  std::memcpy(GetPReference(Position), Reference, static_cast<std::size_t>(ReferenceSize()));
}

void TQXLBTreePage::Init() {
  std::memset(WritableData(), 0, QXLIndexPageHeaderSize);
  SetLeftPageNo(-1);
  SetRightPageNo(-1);
}

void TQXLBTreePage::InitAsRoot() {
  const std::int32_t LeafEntry = LKeyRef->ShortKeySize + LKeyRef->ReferenceSize;
  const std::int32_t NodeEntry = LKeyRef->ShortKeySize + QXLNodeReferenceSize;
  // Splitting needs room for three entries; a larger key would split a page
  // without end or write past it.
  if (LKeyRef->ShortKeySize > UINT16_MAX || Capacity(PageDataSize(), LeafEntry) < 3 ||
      Capacity(PageDataSize(), NodeEntry) < 3)
    throw EQXLException(20311, "Index key of %d bytes is too large for a page of %d bytes",
                        {LKeyRef->ShortKeySize, PageDataSize()});
  Init();
  SetIsRoot(true);
  SetIsLeaf(true);
  SetHasKeys(true);
  SetKeyPrefixSize(static_cast<std::uint16_t>(LKeyRef->ShortKeySize));
}

void TQXLBTreePage::CopyFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count) {
  std::memcpy(WritableData(), Source.Data(), static_cast<std::size_t>(Source.EntriesOffset()));
  std::memcpy(GetPKey(0), Source.GetPKey(StartNo), static_cast<std::size_t>(Count * Source.EntrySize()));
  SetEntryCount(Count);
}

void TQXLBTreePage::AppendFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count) {
  MarkDirty();
  std::memcpy(GetPKey(EntryCount()), Source.GetPKey(StartNo), static_cast<std::size_t>(Count * EntrySize()));
  SetEntryCount(EntryCount() + Count);
}

void TQXLBTreePage::InsertFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count) {
  const auto Bytes = static_cast<std::size_t>(Count * EntrySize());
  MarkDirty();
  std::memmove(GetPKey(Count), GetPKey(0), static_cast<std::size_t>(EntryCount() * EntrySize()));
  std::memcpy(GetPKey(0), Source.GetPKey(StartNo), Bytes);
  SetEntryCount(EntryCount() + Count);
}

}  // namespace qxl
