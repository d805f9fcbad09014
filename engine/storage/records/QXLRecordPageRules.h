#pragma once
// What a table's record store needs to know from its owner and the database
// file to judge a record page: the table it belongs to, whether the checks
// are off (repair, or a file from before pages named their table), and
// whether the free-space map counts a page as used.
// Thread rule: called under the table's lock.
#include <cstdint>

namespace qxl {

class TQXLDiskPageManager;


class TQXLRecordPageRules {
public:
  virtual ~TQXLRecordPageRules() = default;
  virtual std::int32_t TableID() const = 0;
  virtual bool AcceptAnyPage() = 0;
  virtual bool IsPageUsed(std::int32_t PageNo) = 0;
};

// The rules of a table in a database file.
class TQXLDiskRecordPageRules : public TQXLRecordPageRules {
public:
  TQXLDiskRecordPageRules(TQXLDiskPageManager& PageManager, std::int32_t TableID)
      : FPageManager(PageManager), FTableID(TableID) {}
  std::int32_t TableID() const override { return FTableID; }
  bool AcceptAnyPage() override;
  bool IsPageUsed(std::int32_t PageNo) override;

private:
  TQXLDiskPageManager& FPageManager;
  std::int32_t FTableID;
};

}  // namespace qxl
