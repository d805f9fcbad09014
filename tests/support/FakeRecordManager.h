#pragma once
// Stands in for an engine's record manager: records in a map by record
// number (the page number of the identity, item 0), physical order by number,
// with the navigation rules every record manager keeps.
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include "engine/core/abstract/QXLRecordManager.h"

namespace qxl {

class FakeRecordManager : public TQXLBaseRecordManager {
public:
  explicit FakeRecordManager(std::int32_t RecordBufferSize) { FRecordBufferSize = RecordBufferSize; }

  void Empty(std::int32_t) override {
    Records.clear();
    Changed();
  }
  bool AddRecord(std::int32_t, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) override {
    RecordID = {NextNo++, 0};
    Records[RecordID.PageNo].assign(RecordBuffer, RecordBuffer + FRecordBufferSize);
    Changed();
    return true;
  }
  bool UpdateRecord(std::int32_t, const std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID) override {
    auto it = Records.find(RecordID.PageNo);
    if (it == Records.end()) return false;
    it->second.assign(RecordBuffer, RecordBuffer + FRecordBufferSize);
    Changed();
    return true;
  }
  bool DeleteRecord(std::int32_t, TQXLPageItemID& RecordID) override {
    if (Records.erase(RecordID.PageNo) == 0) return false;
    Changed();
    return true;
  }
  void GetRecordBuffer(std::int32_t, TQXLNavigationInfo& Nav) override {
    Nav.GetRecordResult = Step(Nav);
    if (Nav.GetRecordResult != grrOK) return;
    Nav.FirstPosition = Nav.LastPosition = false;
    const std::int32_t no = Nav.RecordID.PageNo;  // a packed field: copied, never bound
    std::memcpy(Nav.RecordBuffer, Records[no].data(), Records[no].size());
  }
  std::int32_t CompareRecordID(const TQXLPageItemID& a, const TQXLPageItemID& b) override {
    return a.PageNo < b.PageNo ? -1 : a.PageNo > b.PageNo ? 1 : 0;
  }
  std::int64_t GetApproximateRecNo(std::int32_t, const TQXLPageItemID& RecordID) override {
    auto it = Records.find(RecordID.PageNo);
    return it == Records.end() ? -1 : std::distance(Records.begin(), it) + 1;
  }

  std::map<std::int32_t, std::vector<std::uint8_t>> Records;
  std::int32_t NextNo = 0;

private:
  void Changed() {
    ++FTableState;
    FRecordCount = static_cast<std::int64_t>(Records.size());
  }
  TQXLGetRecordResult Step(TQXLNavigationInfo& Nav) {
    if (Records.empty()) return grrEOF;
    const TQXLGetRecordMode mode = Nav.GetRecordMode;
    if (Nav.FirstPosition) return mode == grmNext ? Found(Records.begin(), Nav) : mode == grmPrior ? grrBOF : grrError;
    if (Nav.LastPosition) return mode == grmPrior ? Found(std::prev(Records.end()), Nav) : mode == grmNext ? grrEOF : grrError;
    const std::int32_t no = Nav.RecordID.PageNo;
    if (mode == grmCurrent) return Records.count(no) ? grrOK : grrError;
    if (mode == grmNext) {
      auto it = Records.upper_bound(no);
      return it == Records.end() ? grrEOF : Found(it, Nav);
    }
    auto it = Records.lower_bound(no);
    return it == Records.begin() ? grrBOF : Found(std::prev(it), Nav);
  }
  TQXLGetRecordResult Found(std::map<std::int32_t, std::vector<std::uint8_t>>::iterator it, TQXLNavigationInfo& Nav) {
    Nav.RecordID = {it->first, 0};
    return grrOK;
  }
};

}  // namespace qxl
