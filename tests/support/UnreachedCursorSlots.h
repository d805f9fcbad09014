#pragma once
// The navigation, filter, locate, edit-and-post and BLOB slots of a cursor,
// which the dataset layer fills in, as a test stand-in needs them when its
// tests drive only the layers below: each says so if it is reached. Base is
// the cursor class the stand-in completes.
//
// Threads: as Base.
#include <stdexcept>

#include "engine/core/abstract/QXLCursor.h"

namespace qxl {

template <class Base>
class UnreachedCursorSlots : public Base {
public:
  using Base::Base;

  bool LockTable(TQXLLockType, std::int32_t, std::int32_t, bool) override { return Unused(), false; }
  bool UnlockTable(TQXLLockType, bool) override { return Unused(), false; }
  std::int64_t GetRecordCount() override { return Unused(), 0; }
  TQXLGetRecordResult GetRecordBuffer(TQXLGetRecordMode) override { return Unused(), grrError; }
  void SetRecNo(std::int64_t) override { Unused(); }
  std::int64_t GetRecNo() override { return Unused(), 0; }
  std::int32_t CompareRecordsOrder(const TQXLPageItemID&, const TQXLPageItemID&) override { return Unused(), 0; }
  void InternalFirst() override { Unused(); }
  void InternalLast() override { Unused(); }
  void InternalInsert() override { Unused(); }
  void InternalEdit() override { Unused(); }
  void InternalCancel(bool) override { Unused(); }
  void InternalPost(bool) override { Unused(); }
  void InternalDelete() override { Unused(); }
  bool IsRecordLocked() override { return Unused(), false; }
  void ApplyDistinct(const std::vector<std::string>&, const std::vector<std::string>&,
                     const std::vector<std::string>&) override {
    Unused();
  }
  void ActivateFilters(const std::string&, bool, bool) override { Unused(); }
  void DeactivateFilters() override { Unused(); }
  bool Locate(const std::string&, const Variant&, bool, bool) override { return Unused(), false; }
  bool FindKey(TQXLSearchCondition) override { return Unused(), false; }
  bool IsAnyRecordMatchCondition(const std::string&, TQXLDataOperator, const TQXLVariant&) override {
    return Unused(), false;
  }
  TQXLStream* InternalCreateBlobStream(bool, bool, std::int32_t, TQXLBLOBOpenMode, bool) override {
    return Unused(), nullptr;
  }
  void InternalCloseBLOB(std::int32_t) override { Unused(); }
  void ClearBLOBStreams(bool) override { Unused(); }
  void BeginBatchUpdate() override { Unused(); }
  void EndBatchUpdate() override { Unused(); }
  void CancelBatchUpdate() override { Unused(); }

protected:
  [[noreturn]] static void Unused() { throw std::logic_error("not reached by the tests that use this fake cursor"); }
};

}  // namespace qxl
