#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeLeafController.h"

namespace qxl {

bool TQXLBTreeLeafController::FindEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                        const std::uint8_t* Reference, TQXLKeyPath& Position) {
  std::int32_t p;
  if (!FindLeafEntry(SessionID, Key, Reference, p)) return false;
  Position.AddItem(FPage.PageNo(), p, FPage.EntryCount());
  return true;
}

bool TQXLBTreeLeafController::GetFirstPosition(TQXLKeyPath& Position) {
  if (FPage.EntryCount() == 0) return false;
  Position.AddItem(FPage.PageNo(), 0, FPage.EntryCount());
  return true;
}

bool TQXLBTreeLeafController::GetLastPosition(TQXLKeyPath& Position) {
  if (FPage.EntryCount() == 0) return false;
  Position.AddItem(FPage.PageNo(), FPage.EntryCount() - 1, FPage.EntryCount());
  return true;
}

bool TQXLBTreeLeafController::FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key,
                                              TQXLSearchCondition Operator, TQXLKeyPath& Position) {
  if (FPage.EntryCount() == 0) return false;
  std::int32_t p;
  const bool Found = First ? FindFirstByCondition(SessionID, Key, Operator, p)
                           : FindLastByCondition(SessionID, Key, Operator, p);
  if (Found) Position.AddItem(FPage.PageNo(), p, FPage.EntryCount());
  return Found;
}

bool TQXLBTreeLeafController::FindFirstByCondition(std::int32_t SessionID, const std::uint8_t* Key,
                                                   TQXLSearchCondition Operator, std::int32_t& Position) {
  const std::int32_t Count = FPage.EntryCount();
  std::int32_t p = 0;
  int r;
  switch (Operator) {
    case scNone: Position = 0; return true;
    case scEqual:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
      Position = p;
      return r == QXLSearchFound;
    case scLower:
      SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
      Position = 0;
      return p - 1 >= 0;
    case scGreater:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smLastEqual, p);
      Position = r == QXLSearchFound ? p + 1 : p;
      return Position < Count;
    case scLowerEqual:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
      Position = 0;
      return (r == QXLSearchNotFound ? p - 1 : p) >= 0;
    case scGreaterEqual:
      SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
      Position = p;
      return p < Count;
  }
  return false;
}

bool TQXLBTreeLeafController::FindLastByCondition(std::int32_t SessionID, const std::uint8_t* Key,
                                                  TQXLSearchCondition Operator, std::int32_t& Position) {
  const std::int32_t Count = FPage.EntryCount();
  std::int32_t p = 0;
  int r;
  switch (Operator) {
    case scNone: Position = Count - 1; return true;
    case scEqual:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smLastEqual, p);
      Position = p;
      return r == QXLSearchFound;
    case scLower:
      SearchPosition(true, SessionID, Key, nullptr, 0, smFirstEqual, p);
      Position = p - 1;
      return Position >= 0;
    case scGreater:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smLastEqual, p);
      Position = Count - 1;
      return (r == QXLSearchFound ? p + 1 : p) < Count;
    case scLowerEqual:
      r = SearchPosition(true, SessionID, Key, nullptr, 0, smLastEqual, p);
      Position = r == QXLSearchNotFound ? p - 1 : p;
      return Position >= 0;
    case scGreaterEqual:
      SearchPosition(true, SessionID, Key, nullptr, 0, smAnyEqual, p);
      Position = Count - 1;
      return p < Count;
  }
  return false;
}

void TQXLBTreeLeafController::CheckIntegrity() {
  // Without cut parts equal keys must also ascend by reference; cut prefixes
  // that tie say nothing about the order of the whole keys.
  const bool Exact = KeyRef().ShortKeySize == KeyRef().FullKeySize;
  for (std::int32_t i = 0; i + 1 < FPage.EntryCount(); ++i) {
    const int c = CompareKeyAt(false, -1, FPage.GetPKey(i), i + 1);
    const int d = CompareReferenceAt(FPage.GetPReference(i), i + 1);
    if (c > 0 || (Exact && c == 0 && d >= 0))
      throw EQXLException(20028, "Index integrity error. PageNo=%d EntryNo=%d", {FPage.PageNo(), i});
  }
}

}  // namespace qxl
