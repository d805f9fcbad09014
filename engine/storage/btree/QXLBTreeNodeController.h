#pragma once
// The behaviour of a node page: one entry per child (separator key and child
// page number); searches choose the children that can hold what is sought.
// Thread rule: a short-lived view of one page, under the table's lock.
#include "engine/storage/btree/QXLBTreePageController.h"

namespace qxl {

class TQXLBTreeNodeController : public TQXLBTreePageController {
public:
  using TQXLBTreePageController::TQXLBTreePageController;

  void InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  bool DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  void InsertNodeEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  void DeleteNodeEntry(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft);
  void CollapseRoot(std::int32_t SessionID);

  bool FindEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                 TQXLKeyPath& Position);
  bool GetFirstPosition(std::int32_t SessionID, TQXLKeyPath& Position);
  bool GetLastPosition(std::int32_t SessionID, TQXLKeyPath& Position);
  bool FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key, TQXLSearchCondition Operator,
                       TQXLKeyPath& Position);
  void FreeAllPages(std::int32_t SessionID, bool KeepRootPage, std::int32_t Depth);
  void CheckIntegrity(std::int32_t SessionID, TQXLKeyPath& KeyPath);

  // The lowest and highest child that can hold an entry meeting Operator
  // against Key.
  void GetChildRange(std::int32_t SessionID, const std::uint8_t* Key, TQXLSearchCondition Operator,
                     std::int32_t& Lo, std::int32_t& Hi);

private:
  void SetSeparatorsAbove(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft, std::int32_t EntryNo);
  void CheckChildren(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  void CheckSeparators(std::int32_t SessionID);
};

}  // namespace qxl
