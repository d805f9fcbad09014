#pragma once
// The behaviour of a leaf page: its entries are the tree's entries (key and
// reference), searched, inserted and deleted here.
// Thread rule: a short-lived view of one page, under the table's lock.
#include "engine/storage/btree/QXLBTreePageController.h"

namespace qxl {

class TQXLBTreeLeafController : public TQXLBTreePageController {
public:
  using TQXLBTreePageController::TQXLBTreePageController;

  void InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  bool DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  bool FindEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                 TQXLKeyPath& Position);
  bool GetFirstPosition(TQXLKeyPath& Position);
  bool GetLastPosition(TQXLKeyPath& Position);
  bool FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key, TQXLSearchCondition Operator,
                       TQXLKeyPath& Position);
  void CheckIntegrity();

private:
  bool FindFirstByCondition(std::int32_t SessionID, const std::uint8_t* Key, TQXLSearchCondition Operator,
                            std::int32_t& Position);
  bool FindLastByCondition(std::int32_t SessionID, const std::uint8_t* Key, TQXLSearchCondition Operator,
                           std::int32_t& Position);
};

}  // namespace qxl
