#pragma once
// The join of two operators: CROSS, INNER, LEFT, RIGHT and FULL, with the
// key columns of NATURAL, USING or ON. With keys both inputs are sorted on
// them and merged; a run of equal keys on the driving side rescans the
// scanned side's equal-key group from a bookmark (only the group, whose size
// is then known), and the bookmark moves past every scanned row that no
// later driving row can match, so that rows read stay proportional to the
// inputs and the output. An outer join tests
// its residual condition on each pair of equal keys. Without keys the join
// is a nested loop. A NULL key never matches.
//
// Threads: as every operator, used by the thread that runs the statement.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/DataSetTypes.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLJoinType.h"

namespace qxl {

class TQXLExpression;

class TQXLAOJoin : public TQXLAOFilterable {
public:
  // Takes both children and the residual condition (nullptr: none); the
  // key column lists stay the caller's. An INNER join without keys and
  // without condition is a CROSS join, unless NATURAL (which finds its keys
  // by name).
  TQXLAOJoin(std::unique_ptr<TQXLAO> LeftChild, std::unique_ptr<TQXLAO> RightChild, TQXLJoinType JoinType,
             bool IsNatural, const TQXLFields& FieldList1, const TQXLFields& FieldList2,
             std::unique_ptr<TQXLExpression> JoinCondition);
  ~TQXLAOJoin() override;

  TQXLJoinType JoinType() const { return FJoinType; }
  bool OuterJoin() const { return FOuterJoin; }
  bool IsOuterJoin() const override { return FOuterJoin; }
  // The key pairs as link numbers: left columns, and the right columns they equal.
  const TQXLIntegerArray& LeftKeyFields() const { return FFields1; }
  const TQXLIntegerArray& RightKeyFields() const { return FFields2; }

  void Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;

protected:
  // INNER and FULL: the smaller input becomes the left, driving side.
  void AfterChildrenExecuted() override;
  // DISTINCT may reach the inputs only while nothing but the keys decides
  // which rows pair: a filter or a residual condition can look at columns
  // the DISTINCT does not cover.
  bool PushesDistinctToChildren() const override { return !FFilterExpr && !FJoinCondition; }
  void InternalFirst() override;
  void InternalNext() override;
  bool InternalEof() override;
  std::int64_t InternalRecordCount() override;

private:
  // The side that reads as NULL in the row being produced.
  enum class TNullSide : std::uint8_t { Left, Right };
  // What the full join does on its next step: compare the current rows,
  // move past rows already produced, produce the right row of a both-NULL
  // step, scan the right equal-key group for the current left row, or walk
  // the group once more for the right rows that found no partner.
  enum class TFullPhase : std::uint8_t {
    Merge,
    MoveLeft,
    MoveRight,
    MoveBoth,
    BothNullRight,
    GroupScan,
    GroupNextRight,
    GroupNextLeft,
    GroupUnmatched,
    UnmatchedNext,
  };

  void ResolveKeyFields(bool IsNatural, const TQXLFields& FieldList1, const TQXLFields& FieldList2);
  // The driving side's key columns; the driving row's key kept, and
  // compared with the current driving row's.
  const TQXLIntegerArray& DrivingKeyFields() const;
  void KeepDrivingKey();
  bool DrivingKeyIsPrevious();
  // Makes a column visible here and in the child it comes from.
  void UnhideColumn(std::int32_t FieldNo);
  void CompareJoinKeys();
  bool JoinConditionHolds();
  bool HasKeys() const { return FFieldsLink; }
  TQXLAO& Driving() const;
  TQXLAO& Scanned() const;
  void ProduceAlone(TNullSide NullSide);

  void NextCross();
  void NextMerge();
  void NextFull();

  bool FDekart = false;
  bool FOuterJoin = false;
  bool FInnerJoin = false;
  TQXLJoinType FJoinType = ajtCross;
  TQXLIntegerArray FFields1;
  TQXLIntegerArray FFields2;
  std::unique_ptr<TQXLExpression> FJoinCondition;
  TQXLCompareResult FCompareResult = cmprEqual;
  bool FFirstTimeCalled = true;
  bool FEof = false;
  // The scanned side's rescan position, and where an equal-key group ends.
  TBookmark FRightBeginBookmark;
  TBookmark FRightEndBookmark;
  // The pairs produced for the current driving row (left row for FULL).
  std::int32_t FLinkCount = 0;
  bool FFieldsLink = false;
  TQXLVariant FLeftKey;
  TQXLVariant FRightKey;

  // INNER, LEFT and RIGHT. The driving row's state: it has met equal keys
  // (the rescan position is the group's first row), and it can pair with no
  // further scanned row.
  bool FRescanMarked = false;
  bool FDrivingDone = false;
  // Every scanned row lies behind the driving rows still to come.
  bool FScannedExhausted = false;
  // The scanned side stands on the rescan position.
  bool FScannedInPlace = false;
  // The last driving row paired with an equal-key group: its key
  // (FPreviousKey), where the group ends (FRightEndBookmark, or the end of
  // the scanned side), whether the scanned side stands there (rather than on
  // the group's last row), and how many rows the group has.
  bool FGroupEndKnown = false;
  bool FGroupEndAtEof = false;
  bool FScannedAtGroupEnd = false;
  std::vector<TQXLVariant> FPreviousKey;
  std::int64_t FGroupRows = 0;
  // The equal rows the current driving row has met, and for a driving row of
  // the previous key the group rows still to read (-1: none is read again).
  std::int64_t FGroupRowsSeen = 0;
  std::int64_t FRepeatRowsLeft = -1;

  // FULL: the phase, the right group's rows that found a partner, the
  // position inside the group, whether the current left row found one,
  // whether the group's end is recorded and is the right side's end.
  TFullPhase FFullPhase = TFullPhase::Merge;
  std::vector<bool> FRightMatched;
  std::size_t FRightGroupPos = 0;
  bool FLeftRowMatched = false;
  bool FEqualStarted = false;
  bool FRightGroupAtEnd = false;
  // The right input has no row left for the merge (its last group is done).
  bool FRightExhausted = false;
};

}  // namespace qxl
