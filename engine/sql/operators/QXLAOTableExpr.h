#pragma once
// The one-child operators that copy their child's rows: the projection,
// which takes the child's visible columns and adds the select list's
// expressions (and sorts an ORDER BY that no index of a table below serves),
// and the TOP operator, which keeps the first rows of its child from an
// optional first-row number on. Both are materialised when executed.
//
// A TOP pair is applied once, by the operator that produces the result: a
// child that accepts it too only stops after the rows the parent can use
// and skips none.
//
// Threads: as every operator (the statement's thread).
#include <memory>

#include "engine/sql/operators/QXLAO.h"

namespace qxl {

// What the projection and the TOP operator share: links to the child's
// columns and the child's rows as their own.
class TQXLAOOneChild : public TQXLAOFilterable {
public:
  // Links every column the child shows (or every column when it has set no
  // result fields).
  explicit TQXLAOOneChild(std::unique_ptr<TQXLAO> Child);

  void InternalFirst() override;
  void InternalNext() override;
  bool InternalEof() override;
  std::int64_t InternalRecordCount() override;
  void SetTopRowCount(std::int64_t FirstRowNo, std::int64_t TopRowCount) override;
};

class TQXLAOTableExpr : public TQXLAOOneChild {
public:
  using TQXLAOOneChild::TQXLAOOneChild;
  void Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;

private:
  void TranslateOrderByNames();
  void AddOrderByFieldLinks();
};

class TQXLAOSQLTopRowCount : public TQXLAOOneChild {
public:
  using TQXLAOOneChild::TQXLAOOneChild;
};

}  // namespace qxl
