#pragma once
// Private to the expression grammar's source files: the remembered
// production, the ordered choice of alternatives, and the node classes.
//
// Threads: as the parser's.
#include "engine/core/QXLException.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/grammar/QXLExprParser.h"
#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLExprNode.h"
#include "engine/sql/nodes/QXLExprNodeAggregated.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBlob.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeCase.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeDateFunction.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLExprNodeSubquery.h"
#include "engine/sql/nodes/QXLExprNodeSystem.h"
#include "engine/sql/nodes/QXLSelectListItem.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/sql/nodes/QXLSubqueryCommand.h"

namespace qxl {

// Row and column limits of a subquery, by where it stands.
inline constexpr std::uint8_t SubqueryOneRowOneColumn = 1;
inline constexpr std::uint8_t SubqueryAnyRowsOneColumn = 2;
inline constexpr std::uint8_t SubqueryAnyRowsAnyColumns = 3;

// A production at the current token: recognised once per position (without
// nodes), then, while building, only its winning alternative is run.
// Alternatives(Only) runs every alternative in order when Only is -1, else
// only alternative Only, and reports which one won in TParsed::Alt.
template <typename Body>
TParsed TQXLExprParser::Production(TProd P, std::uint8_t Param, Body&& Alternatives) {
  ++FProductionCalls;
  if (FDepth >= MaxNestingDepth)
    throw EQXLException(30510, "Expression nested too deeply at line %d, column %d",
                        {FToken.LineNum, FToken.ColumnNum});
  struct TDepth {
    std::int32_t& D;
    explicit TDepth(std::int32_t& Depth) : D(Depth) { ++D; }
    ~TDepth() { --D; }
  } Depth(FDepth);

  const std::int32_t Start = Pos();
  const std::uint64_t Key = (static_cast<std::uint64_t>(P) << 40) | (static_cast<std::uint64_t>(Param) << 32) |
                            static_cast<std::uint32_t>(Start);
  auto Found = FMemo.find(Key);
  if (Found == FMemo.end()) {
    const bool WasBuilding = FBuilding;
    FBuilding = false;
    TParsed R;
    try {
      R = Alternatives(static_cast<std::int8_t>(-1));
    } catch (...) {
      FBuilding = WasBuilding;
      throw;
    }
    FBuilding = WasBuilding;
    Found = FMemo.emplace(Key, TMemo{R.Ok, R.Alt, R.Kind, Pos()}).first;
  }
  const TMemo M = Found->second;
  if (!M.Ok) {
    SetPos(Start);
    return Fail();
  }
  if (!FBuilding) {
    SetPos(M.End);
    TParsed R;
    R.Ok = true;
    R.Kind = M.Kind;
    R.Alt = M.Alt;
    return R;
  }
  SetPos(Start);
  TParsed R = Alternatives(M.Alt);
  if (!R.Ok) SetPos(Start);  // recognised and built alike; kept safe all the same
  return R;
}

// The first alternative that succeeds, each tried from the same token; the
// position is put back after each failure.
template <typename... TAlternative>
TParsed TQXLExprParser::FirstOf(std::int8_t Only, TAlternative&&... Alternatives) {
  const std::int32_t Start = Pos();
  TParsed Result;
  std::int8_t Index = 0;
  auto TryOne = [&](auto& Alternative) {
    const std::int8_t I = Index++;
    if (Result.Ok || (Only >= 0 && Only != I)) return;
    TParsed R = Alternative();
    if (R.Ok) {
      R.Alt = I;
      Result = std::move(R);
    } else {
      SetPos(Start);
    }
  };
  (TryOne(Alternatives), ...);
  return Result;
}

}  // namespace qxl
