#include "engine/storage/btree/QXLBTreePageController.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLKeyScratch.h"

namespace qxl {

int TQXLBTreePageController::CompareKeyAt(bool MayUseFullKeys, std::int32_t SessionID, const std::uint8_t* Key,
                                          std::int32_t Position) const {
  return KeyRef().CompareShortKeys(Key, FPage.GetPKey(Position), MayUseFullKeys, SessionID, nullptr,
                                   FPage.GetPReference(Position));
}

int TQXLBTreePageController::CompareReferenceAt(const std::uint8_t* Reference, std::int32_t Position) const {
  return TQXLBTreeKeyRef::CompareReferences(Reference, FPage.GetPReference(Position), FPage.ReferenceSize());
}

int TQXLBTreePageController::CompareEntryReference(bool, std::int32_t SessionID, const std::uint8_t* Key,
                                                   const std::uint8_t* Reference, std::int32_t Position) const {
  if (FPage.IsLeaf()) return CompareReferenceAt(Reference, Position);
  TQXLKeyScratch First(KeyRef().ShortKeySize, KeyRef().ReferenceSize);
  {
    TQXLBTreePage Child = FPage.GetIndexPage(SessionID, FPage.ChildPageNo(Position));
    Child.GetFirstEntry(SessionID, First.Key(), First.Reference());
  }
  const int r = KeyRef().CompareShortKeys(Key, First.Key(), true, SessionID, Reference, First.Reference());
  return r != 0 ? r : TQXLBTreeKeyRef::CompareReferences(Reference, First.Reference(), KeyRef().ReferenceSize);
}

int TQXLBTreePageController::SearchPosition(bool MayUseFullKeys, std::int32_t SessionID, const std::uint8_t* Key,
                                            const std::uint8_t* Reference, std::int32_t Low, TQXLSearchMode Mode,
                                            std::int32_t& Position) const {
  const std::int32_t Count = FPage.EntryCount();
  if (Count == 0) {
    Position = 0;
    return QXLSearchEmpty;
  }
  std::int32_t lo = Low, hi = Count - 1;
  while (lo <= hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    int c = CompareKeyAt(MayUseFullKeys, SessionID, Key, mid);
    if (c == 0 && Reference) c = CompareEntryReference(MayUseFullKeys, SessionID, Key, Reference, mid);
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      // Equal keys lie together, so their first and last are found by
      // halving instead of stepping over every duplicate.
      std::int32_t l = Low, h = mid;
      if (Mode == smFirstEqual) {
        while (l < h) {
          const std::int32_t m = l + (h - l) / 2;
          if (CompareKeyAt(MayUseFullKeys, SessionID, Key, m) == 0) h = m; else l = m + 1;
        }
      } else if (Mode == smLastEqual) {
        l = mid, h = Count - 1;
        while (l < h) {
          const std::int32_t m = l + (h - l + 1) / 2;
          if (CompareKeyAt(MayUseFullKeys, SessionID, Key, m) == 0) l = m; else h = m - 1;
        }
      } else {
        l = mid;
      }
      Position = l;
      return QXLSearchFound;
    }
  }
  Position = lo;
  return QXLSearchNotFound;
}

bool TQXLBTreePageController::FindLeafEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                            const std::uint8_t* Reference, std::int32_t& Position) const {
  const std::int32_t Count = FPage.EntryCount();
  Position = -1;
  if (!Key) {
    for (std::int32_t p = 0; p < Count; ++p)
      if (CompareReferenceAt(Reference, p) == 0) return Position = p, true;
    return false;
  }
  std::int32_t p;
  if (SearchPosition(true, SessionID, Key, Reference, 0, smAnyEqual, p) != QXLSearchFound) return false;
  if (CompareReferenceAt(Reference, p) == 0) return Position = p, true;
  // Found by key alone (a reference that ties): walk the equal keys.
  SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
  for (; p < Count && CompareKeyAt(false, -1, Key, p) == 0; ++p)
    if (CompareReferenceAt(Reference, p) == 0) return Position = p, true;
  return false;
}

bool TQXLBTreePageController::CanInsertEntry() const {
  return (FPage.EntryCount() + 1) * FPage.EntrySize() + FPage.EntriesOffset() <= FPage.PageDataSize();
}

bool TQXLBTreePageController::IsOverflowed() const {
  return FPage.EntryCount() * FPage.EntrySize() + FPage.EntriesOffset() > FPage.PageDataSize();
}

bool TQXLBTreePageController::IsUnderflowed() const {
  return FPage.EntryCount() * FPage.EntrySize() < (FPage.PageDataSize() - FPage.EntriesOffset()) / 2;
}

bool TQXLBTreePageController::CanMergeInto(const TQXLBTreePage& Sibling) const {
  if (FPage.EntryCount() == 0) return true;
  return (FPage.EntryCount() + Sibling.EntryCount()) * FPage.EntrySize() + Sibling.EntriesOffset() <
         Sibling.PageDataSize();
}

void TQXLBTreePageController::InsertEntryAt(const std::uint8_t* Key, const std::uint8_t* Reference,
                                            std::int32_t Position) {
  const std::int32_t Count = FPage.EntryCount();
  if (Position < 0 || Position > Count) FPage.RaiseDamaged();
  FPage.MarkDirty();
  if (!CanInsertEntry()) FPage.EnlargePageBuffer(FPage.PageSize() + FPage.EntrySize());
  const auto EntrySize = static_cast<std::size_t>(FPage.EntrySize());
  std::uint8_t* At = FPage.GetPKey(Position);
  std::memmove(At + EntrySize, At, static_cast<std::size_t>(Count - Position) * EntrySize);
  std::memset(At, 0, FPage.KeyPrefixSize());
  if (Key) std::memcpy(At, Key, FPage.KeyPrefixSize());
  std::memcpy(At + FPage.KeyPrefixSize(), Reference, static_cast<std::size_t>(FPage.ReferenceSize()));
  FPage.SetEntryCount(Count + 1);
}

void TQXLBTreePageController::DeleteEntryAt(std::int32_t Position) {
  const std::int32_t Count = FPage.EntryCount();
  if (Count <= 0) throw EQXLException(20025, "Index error: page is empty");
  if (Position < 0 || Position >= Count) FPage.RaiseDamaged();
  FPage.MarkDirty();
  const auto EntrySize = static_cast<std::size_t>(FPage.EntrySize());
  std::uint8_t* At = FPage.GetPKey(Position);
  std::memmove(At, At + EntrySize, static_cast<std::size_t>(Count - Position - 1) * EntrySize);
  FPage.SetEntryCount(Count - 1);
}

}  // namespace qxl
