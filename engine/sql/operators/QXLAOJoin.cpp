#include "engine/sql/operators/QXLAOJoin.h"

#include <string>
#include <utility>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAONames.h"

namespace qxl {

namespace {

// The comparison of the driving row's key with the scanned row's.
enum class TMergeStep : std::uint8_t {
  Pair,     // equal keys (or no keys): a candidate pair
  Behind,   // the scanned row lies behind: no later driving row can pair with it
  Done,     // the driving row can pair with no further scanned row
};

TQXLDataSet& DataSetOf(TQXLAO& AO) { return *AO.ResultDataset(); }

}  // namespace

TQXLAOJoin::TQXLAOJoin(std::unique_ptr<TQXLAO> LeftChild, std::unique_ptr<TQXLAO> RightChild, TQXLJoinType JoinType,
                       bool IsNatural, const TQXLFields& FieldList1, const TQXLFields& FieldList2,
                       std::unique_ptr<TQXLExpression> JoinCondition)
    : TQXLAOFilterable(std::move(LeftChild), std::move(RightChild)) {
  // An inner join on two empty column lists without a condition pairs every
  // row; a NATURAL one finds its keys by name instead.
  if (JoinType == ajtInner && !IsNatural && !JoinCondition && FieldList1.ItemCount() == 0 &&
      FieldList2.ItemCount() == 0)
    JoinType = ajtCross;
  FJoinType = JoinType;
  FJoinCondition = std::move(JoinCondition);
  FInnerJoin = JoinType == ajtInner;
  FDekart = JoinType == ajtCross;
  FOuterJoin = JoinType == ajtLeftOuter || JoinType == ajtRightOuter || JoinType == ajtFullOuter;
  if (!FDekart && !IsNatural) {
    const std::int32_t n1 = FieldList1.ItemCount();
    const std::int32_t n2 = FieldList2.ItemCount();
    if (n1 != n2) throw EQXLException(10330, "Error - different list lengths. L1 = %d, L2 = %d", {n1, n2});
  }

  // The left child's columns, then the right child's.
  for (TQXLAO* child : {FLeftAO.get(), FRightAO.get()})
    for (std::int32_t i = 0; i < child->FieldCount(); ++i) {
      const TQXLFieldLink& src = child->FieldLink(i);
      TQXLFieldLink link;
      link.FieldName = src.FieldName;
      link.FieldType = src.FieldType;
      link.FieldSize = src.FieldSize;
      link.IsHidden = src.IsHidden;
      link.BLOBCompressionAlgorithm = src.BLOBCompressionAlgorithm;
      link.BLOBCompressionMode = src.BLOBCompressionMode;
      link.BLOBBlockSize = src.BLOBBlockSize;
      link.AO = child;
      link.FieldNo = i;
      FFieldLinks.push_back(std::move(link));
    }

  if (!FDekart) ResolveKeyFields(IsNatural, FieldList1, FieldList2);
  FFieldsLink = FFields1.ItemCount() > 0;
  MakeUniqueFieldNames();
  FIsMaterialized = false;
}

TQXLAOJoin::~TQXLAOJoin() = default;

void TQXLAOJoin::ResolveKeyFields(bool IsNatural, const TQXLFields& FieldList1, const TQXLFields& FieldList2) {
  const std::int32_t nL = FLeftAO->FieldCount();
  if (IsNatural) {
    // Every pair of same-named columns is a key; both stay in the row.
    for (std::int32_t j = 0; j < FRightAO->FieldCount(); ++j)
      for (std::int32_t i = 0; i < nL; ++i) {
        if (!SameName(FieldLink(i).FieldName, FieldLink(nL + j).FieldName)) continue;
        FFields1.Append(i);
        FFields2.Append(nL + j);
        UnhideColumn(i);
        UnhideColumn(nL + j);
      }
  } else {
    auto resolve = [&](const TQXLFields& List, TQXLIntegerArray& Into, std::int32_t Code) {
      for (std::int32_t i = 0; i < List.ItemCount(); ++i) {
        const TQXLSelectListItem& item = List.Items[static_cast<std::size_t>(i)];
        const std::int32_t n = FieldExists(item.FieldName, item.TableName, true, Into, false, false);
        if (n != 1)
          throw EQXLException(Code,
                              "Invalid field for join operation. Table name = '%s', FieldName = '%s', i = %d, "
                              "FieldExists = %d",
                              {item.TableName, item.FieldName, i, n});
      }
    };
    resolve(FieldList1, FFields1, 10331);
    resolve(FieldList2, FFields2, 10332);
  }
  if (FFields1.ItemCount() != FFields2.ItemCount())
    throw EQXLException(10332, "Error - different list lengths. L1 = %d, L2 = %d",
                        {FFields1.ItemCount(), FFields2.ItemCount()});

  std::string leftNames, rightNames;
  for (std::int32_t k = 0; k < FFields1.ItemCount(); ++k) {
    std::int32_t no1 = FFields1[k], no2 = FFields2[k];
    const TQXLFieldLink& l1 = FieldLink(no1);
    const TQXLFieldLink& l2 = FieldLink(no2);
    if (l1.AO == l2.AO)
      throw EQXLException(10334,
                          "Both join fields are from the same table. Field1 = '%s', Field2 = '%s', No1 = %d, "
                          "No2 = %d.",
                          {l1.FieldName, l2.FieldName, no1, no2});
    if (l1.AO == FRightAO.get()) {
      std::swap(no1, no2);
      FFields1[k] = no1;
      FFields2[k] = no2;
    }
    const TQXLFieldLink& left = FieldLink(no1);
    const TQXLFieldLink& right = FieldLink(no2);
    if (k > 0) {
      leftNames += ';';
      rightNames += ';';
    }
    leftNames += left.AO->GetFieldNameByColumnNo(left.FieldNo);
    rightNames += right.AO->GetFieldNameByColumnNo(right.FieldNo);
  }
  if (FFields1.ItemCount() > 0) {
    // Both inputs sorted on the keys in pair order, ascending, NULL first.
    FLeftAO->SetIndex(leftNames, "", "");
    FRightAO->SetIndex(rightNames, "", "");
  }
}

void TQXLAOJoin::Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (FJoinCondition) FJoinCondition->AssignAO(this, ParentQueryAO, ParentCursor);
  // Rows are counted even when no column of the join is used (COUNT(*)
  // over it): the result table carries the first column then.
  bool anyVisible = false;
  for (std::int32_t i = 0; i < FieldCount() && !anyVisible; ++i) anyVisible = !FieldLink(i).IsHidden;
  if (!anyVisible && FieldCount() > 0) UnhideColumn(0);
  TQXLAO::Execute(IsRootAO, ParentQueryAO, ParentCursor);
}

void TQXLAOJoin::UnhideColumn(std::int32_t FieldNo) {
  TQXLFieldLink& link = Link(FieldNo);
  link.IsHidden = false;
  TQXLIntegerArray found;
  link.AO->FieldExists(link.AO->GetFieldNameByColumnNo(link.FieldNo), "", true, found, false, false);
}

void TQXLAOJoin::AfterChildrenExecuted() {
  // The links keep pointing at the same children, so the columns keep their
  // order; only the driving side changes.
  if ((FJoinType != ajtInner && FJoinType != ajtFullOuter) || !FLeftAO || !FRightAO) return;
  if (FRightAO->GetRecordCount() >= FLeftAO->GetRecordCount()) return;
  std::swap(FLeftAO, FRightAO);
  std::swap(FFields1, FFields2);
}

TQXLAO& TQXLAOJoin::Driving() const { return FJoinType == ajtRightOuter ? *FRightAO : *FLeftAO; }
TQXLAO& TQXLAOJoin::Scanned() const { return FJoinType == ajtRightOuter ? *FLeftAO : *FRightAO; }

void TQXLAOJoin::CompareJoinKeys() {
  TQXLDataSet& leftSet = DataSetOf(*FLeftAO);
  TQXLDataSet& rightSet = DataSetOf(*FRightAO);
  const bool leftEmpty = leftSet.Bof() && leftSet.Eof();
  const bool rightEmpty = rightSet.Bof() && rightSet.Eof();
  FCompareResult = cmprEqual;
  for (std::int32_t k = 0; k < FFields1.ItemCount() && FCompareResult == cmprEqual; ++k) {
    FLeftKey.Clear();
    FRightKey.Clear();
    if (!leftEmpty) GetFieldValue(FLeftKey, FFields1[k], false, false);
    if (!rightEmpty) GetFieldValue(FRightKey, FFields2[k], false, false);
    try {
      FCompareResult = FLeftKey.Compare(FRightKey, true, false, false);
    } catch (const EQXLException& E) {
      throw EQXLException(10328, "Cannot compare values for fields: %s, %s. Error: %s",
                          {FieldLink(FFields1[k]).FieldName, FieldLink(FFields2[k]).FieldName, E.Message});
    }
  }
}

const TQXLIntegerArray& TQXLAOJoin::DrivingKeyFields() const {
  return FJoinType == ajtRightOuter ? FFields2 : FFields1;
}

void TQXLAOJoin::KeepDrivingKey() {
  const TQXLIntegerArray& fields = DrivingKeyFields();
  FPreviousKey.resize(static_cast<std::size_t>(fields.ItemCount()));
  for (std::int32_t k = 0; k < fields.ItemCount(); ++k) {
    GetFieldValue(FLeftKey, fields[k], false, false);
    FPreviousKey[static_cast<std::size_t>(k)].Assign(FLeftKey, true);
  }
}

bool TQXLAOJoin::DrivingKeyIsPrevious() {
  const TQXLIntegerArray& fields = DrivingKeyFields();
  for (std::int32_t k = 0; k < fields.ItemCount(); ++k) {
    GetFieldValue(FLeftKey, fields[k], false, false);
    if (FLeftKey.Compare(FPreviousKey[static_cast<std::size_t>(k)], true, false, false) != cmprEqual) return false;
  }
  return true;
}

bool TQXLAOJoin::JoinConditionHolds() {
  if (!FJoinCondition) return true;
  // The condition sees both current rows, whatever side is being produced alone.
  const bool leftNull = FLeftAONull, rightNull = FRightAONull;
  FLeftAONull = FRightAONull = false;
  struct TRestore {
    TQXLAOJoin& Join;
    bool Left, Right;
    ~TRestore() {
      Join.FLeftAONull = Left;
      Join.FRightAONull = Right;
    }
  } restore{*this, leftNull, rightNull};
  return FJoinCondition->GetResult();
}

void TQXLAOJoin::ProduceAlone(TNullSide NullSide) {
  FLeftAONull = NullSide == TNullSide::Left;
  FRightAONull = NullSide == TNullSide::Right;
}

void TQXLAOJoin::InternalFirst() {
  FLeftAONull = FRightAONull = false;
  FLeftAO->First();
  FRightAO->First();
  FEof = false;
  FRightBeginBookmark.clear();
  FRightEndBookmark.clear();
  FRescanMarked = false;
  FDrivingDone = false;
  FScannedExhausted = false;
  FScannedInPlace = false;
  FGroupEndKnown = false;
  FScannedAtGroupEnd = false;
  FGroupRows = 0;
  FGroupRowsSeen = 0;
  FRepeatRowsLeft = -1;
  FRightExhausted = false;
  FLinkCount = 0;
  FEqualStarted = false;
  FFullPhase = TFullPhase::Merge;
  const bool leftEmpty = FLeftAO->GetEof(), rightEmpty = FRightAO->GetEof();
  switch (FJoinType) {
    case ajtCross: FEof = leftEmpty || rightEmpty; break;
    case ajtLeftOuter: FEof = leftEmpty; break;
    case ajtRightOuter: FEof = rightEmpty; break;
    case ajtFullOuter: FEof = leftEmpty && rightEmpty; break;
    case ajtInner: break;
  }
  if (!FEof) {
    FFirstTimeCalled = true;
    InternalNext();
  }
  FFirstTimeCalled = false;
}

void TQXLAOJoin::InternalNext() {
  if (InternalEof()) return;
  FLeftAONull = FRightAONull = false;
  switch (FJoinType) {
    case ajtCross: NextCross(); break;
    case ajtFullOuter: NextFull(); break;
    default: NextMerge(); break;
  }
}

bool TQXLAOJoin::InternalEof() {
  if (FEof) return true;
  const bool rightAtEnd = FRightExhausted || FRightAO->GetEof();
  return FLeftAO->GetEof() && rightAtEnd;
}

std::int64_t TQXLAOJoin::InternalRecordCount() {
  if (FIsMaterialized) return TQXLAO::InternalRecordCount();
  if (FDekart) return FLeftAO->GetRecordCount() * FRightAO->GetRecordCount();
  return 0;
}

void TQXLAOJoin::NextCross() {
  // The first pair is the two first rows; the right side varies fastest.
  if (FFirstTimeCalled) return;
  FRightAO->Next();
  if (!FRightAO->GetEof()) return;
  FLeftAO->Next();
  if (FLeftAO->GetEof())
    FEof = true;
  else
    FRightAO->First();
}

void TQXLAOJoin::NextMerge() {
  // INNER and LEFT: the left side drives and the right side is scanned;
  // RIGHT the other way round. A driving row reads the scanned side from
  // its rescan position until its key is passed.
  TQXLAO& driving = Driving();
  TQXLAO& scanned = Scanned();
  const bool leftDrives = FJoinType != ajtRightOuter;
  for (;;) {
    if (FFirstTimeCalled) {
      FFirstTimeCalled = false;
      if (driving.GetEof() || (FInnerJoin && scanned.GetEof())) {
        FEof = true;
        return;
      }
      FLinkCount = 0;
      FRescanMarked = false;
      FGroupRowsSeen = 0;
    } else if (FDrivingDone) {
      driving.Next();
      FLinkCount = 0;
      FRescanMarked = false;
      FGroupRowsSeen = 0;
      if (driving.GetEof()) {
        FEof = true;
        return;
      }
      // Whether the scanned side already stands where this driving row's
      // scan starts (the row at which the previous one stopped).
      bool inPlace = false;
      if (FGroupEndKnown) {
        // The previous driving row paired with an equal-key group. A driving
        // row of another (so greater) key starts after that group.
        FGroupEndKnown = false;
        if (!DrivingKeyIsPrevious()) {
          if (FGroupEndAtEof)
            FScannedExhausted = true;
          else
            FRightBeginBookmark = FRightEndBookmark;
          inPlace = FScannedAtGroupEnd;
        } else {
          // The same key again: the group's rows are read again, and only
          // they, since how many there are is known.
          FRepeatRowsLeft = FGroupRows;
          FRescanMarked = true;
        }
      } else {
        inPlace = FScannedInPlace;
      }
      FScannedInPlace = false;
      if (FScannedExhausted) {
        // Every scanned row lies behind this driving row and all that follow.
        if (FInnerJoin) {
          FEof = true;
          return;
        }
        ProduceAlone(leftDrives ? TNullSide::Right : TNullSide::Left);
        return;
      }
      if (!inPlace) {
        if (FRightBeginBookmark.empty())
          scanned.First();
        else
          DataSetOf(scanned).GotoBookmark(FRightBeginBookmark);
      }
    } else {
      scanned.Next();
    }

    TMergeStep step = TMergeStep::Pair;
    bool drivingNull = false;
    if (scanned.GetEof()) {
      step = TMergeStep::Done;
    } else if (HasKeys()) {
      CompareJoinKeys();
      switch (FCompareResult) {
        case cmprEqual: step = TMergeStep::Pair; break;
        case cmprBothNull:
          step = TMergeStep::Done;
          drivingNull = true;
          break;
        case cmprLower: step = leftDrives ? TMergeStep::Done : TMergeStep::Behind; break;
        case cmprGreater: step = leftDrives ? TMergeStep::Behind : TMergeStep::Done; break;
        case cmprLeftNull:
          step = leftDrives ? TMergeStep::Done : TMergeStep::Behind;
          drivingNull = leftDrives;
          break;
        case cmprRightNull:
          step = leftDrives ? TMergeStep::Behind : TMergeStep::Done;
          drivingNull = !leftDrives;
          break;
      }
    }
    FDrivingDone = step == TMergeStep::Done;

    if (step == TMergeStep::Pair) {
      // Later driving rows with the same key start their scan at the group.
      if (HasKeys() && !FRescanMarked) {
        FRightBeginBookmark = DataSetOf(scanned).GetBookmark();
        FRescanMarked = true;
      }
      bool lastOfGroup = false;
      if (FRepeatRowsLeft > 0) {
        lastOfGroup = --FRepeatRowsLeft == 0;
      } else {
        ++FGroupRowsSeen;
      }
      if (lastOfGroup) {
        // The group ends after this row as it did for the previous driving
        // row; the scanned side stays on the group's last row.
        FRepeatRowsLeft = -1;
        FDrivingDone = true;
        FGroupEndKnown = true;
        FScannedAtGroupEnd = false;
      }
      if (JoinConditionHolds()) {
        ++FLinkCount;
        return;
      }
      if (lastOfGroup && FLinkCount == 0 && FOuterJoin) {
        ProduceAlone(leftDrives ? TNullSide::Right : TNullSide::Left);
        return;
      }
      continue;
    }
    if (step == TMergeStep::Behind) continue;

    // The driving row is done. When it met no equal key, every scanned row
    // before the current one lies behind it and so behind every later
    // driving row: their scans start here.
    // When it met equal keys, the group ends here; a later driving row of a
    // greater key starts here too.
    if (HasKeys() && !FRescanMarked && !drivingNull) {
      if (scanned.GetEof()) {
        FScannedExhausted = true;
      } else {
        FRightBeginBookmark = DataSetOf(scanned).GetBookmark();
        FScannedInPlace = true;
      }
    } else if (HasKeys() && FRescanMarked) {
      FGroupEndKnown = true;
      FGroupEndAtEof = scanned.GetEof();
      FScannedAtGroupEnd = true;
      if (!FGroupEndAtEof) FRightEndBookmark = DataSetOf(scanned).GetBookmark();
      FGroupRows = FGroupRowsSeen;
      FRepeatRowsLeft = -1;
      KeepDrivingKey();
    }
    if (FLinkCount == 0 && FOuterJoin) {
      ProduceAlone(leftDrives ? TNullSide::Right : TNullSide::Left);
      return;
    }
    if (FScannedExhausted && FInnerJoin) {
      FEof = true;
      return;
    }
  }
}

void TQXLAOJoin::NextFull() {
  // Both sorted inputs merged by key. Rows of equal-key groups are paired,
  // left row major; a left row without partner comes alone in its place,
  // the right rows without partner come after the group.
  TQXLAO& left = *FLeftAO;
  TQXLAO& right = *FRightAO;
  auto rightAtEnd = [&] { return FRightExhausted || right.GetEof(); };
  auto keysEqual = [&] {
    if (!HasKeys()) return true;
    CompareJoinKeys();
    return FCompareResult == cmprEqual;
  };
  for (;;) {
    switch (FFullPhase) {
      case TFullPhase::MoveLeft:
        left.Next();
        FFullPhase = TFullPhase::Merge;
        break;
      case TFullPhase::MoveRight:
        right.Next();
        FFullPhase = TFullPhase::Merge;
        break;
      case TFullPhase::MoveBoth:
        left.Next();
        right.Next();
        FFullPhase = TFullPhase::Merge;
        break;
      case TFullPhase::BothNullRight:
        ProduceAlone(TNullSide::Left);
        FFullPhase = TFullPhase::MoveBoth;
        return;
      case TFullPhase::Merge: {
        const bool leftEnd = left.GetEof(), rightEnd = rightAtEnd();
        if (leftEnd && rightEnd) {
          FEof = true;
          return;
        }
        if (leftEnd || rightEnd) {
          ProduceAlone(leftEnd ? TNullSide::Left : TNullSide::Right);
          FFullPhase = leftEnd ? TFullPhase::MoveRight : TFullPhase::MoveLeft;
          return;
        }
        if (HasKeys()) {
          CompareJoinKeys();
          switch (FCompareResult) {
            case cmprBothNull:
              // Both rows alone, the left one first.
              ProduceAlone(TNullSide::Right);
              FFullPhase = TFullPhase::BothNullRight;
              return;
            case cmprLeftNull:
            case cmprLower:
              ProduceAlone(TNullSide::Right);
              FFullPhase = TFullPhase::MoveLeft;
              return;
            case cmprRightNull:
            case cmprGreater:
              ProduceAlone(TNullSide::Left);
              FFullPhase = TFullPhase::MoveRight;
              return;
            case cmprEqual: break;
          }
        }
        // An equal-key group starts (without keys both whole inputs are one).
        FRightBeginBookmark = DataSetOf(right).GetBookmark();
        FRightMatched.clear();
        FRightGroupPos = 0;
        FLeftRowMatched = false;
        FEqualStarted = false;
        FFullPhase = TFullPhase::GroupScan;
        break;
      }
      case TFullPhase::GroupScan:
        if (!rightAtEnd() && keysEqual()) {
          if (FRightGroupPos == FRightMatched.size()) FRightMatched.push_back(false);
          if (JoinConditionHolds()) {
            FRightMatched[FRightGroupPos] = true;
            FLeftRowMatched = true;
            ++FLinkCount;
            FFullPhase = TFullPhase::GroupNextRight;
            return;
          }
          right.Next();
          ++FRightGroupPos;
          break;
        }
        // The scan of this left row passed the group's end; remember it once.
        if (!FEqualStarted) {
          FEqualStarted = true;
          FRightGroupAtEnd = right.GetEof();
          if (!FRightGroupAtEnd) FRightEndBookmark = DataSetOf(right).GetBookmark();
        }
        FFullPhase = TFullPhase::GroupNextLeft;
        if (!FLeftRowMatched) {
          ProduceAlone(TNullSide::Right);
          return;
        }
        break;
      case TFullPhase::GroupNextRight:
        right.Next();
        ++FRightGroupPos;
        FFullPhase = TFullPhase::GroupScan;
        break;
      case TFullPhase::GroupNextLeft: {
        left.Next();
        FLeftRowMatched = false;
        FLinkCount = 0;
        DataSetOf(right).GotoBookmark(FRightBeginBookmark);
        FRightGroupPos = 0;
        if (!left.GetEof() && keysEqual()) {
          FFullPhase = TFullPhase::GroupScan;
          break;
        }
        // The left group is done: the right rows that found no partner.
        if (FJoinCondition) {
          FFullPhase = TFullPhase::GroupUnmatched;
          break;
        }
        if (FRightGroupAtEnd)
          FRightExhausted = true;
        else
          DataSetOf(right).GotoBookmark(FRightEndBookmark);
        FFullPhase = TFullPhase::Merge;
        break;
      }
      case TFullPhase::GroupUnmatched:
        if (FRightGroupPos >= FRightMatched.size()) {
          // The walk ends on the first row after the group.
          FFullPhase = TFullPhase::Merge;
          break;
        }
        if (!FRightMatched[FRightGroupPos]) {
          ProduceAlone(TNullSide::Left);
          FFullPhase = TFullPhase::UnmatchedNext;
          return;
        }
        right.Next();
        ++FRightGroupPos;
        break;
      case TFullPhase::UnmatchedNext:
        right.Next();
        ++FRightGroupPos;
        FFullPhase = TFullPhase::GroupUnmatched;
        break;
    }
  }
}

}  // namespace qxl
