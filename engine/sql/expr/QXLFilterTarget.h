#pragma once
// What the push-down of a search condition needs of a relational operator:
// its child operators, whether it is an outer join (which no condition passes
// below), and a place to keep the part of the condition it tests. Relational
// operators implement it beside their operator base.
//
// Threads: as the operator's.
#include <memory>

namespace qxl {

class TQXLAO;


class TQXLExpression;

class TQXLFilterTarget {
public:
  virtual ~TQXLFilterTarget() = default;
  virtual TQXLAO* LeftChildAO() const = 0;   // nullptr when none
  virtual TQXLAO* RightChildAO() const = 0;  // nullptr when none
  virtual bool IsOuterJoin() const = 0;
  // The operator takes the condition it is to test and owns it.
  virtual void SetFilterExpression(std::unique_ptr<TQXLExpression> Filter) = 0;
};

}  // namespace qxl
