// The plan of one SELECT block into a tree of relational operators, built
// bottom-up: the source (tables, derived tables and joins), an early
// projection, the first placement of WHERE, the grouping, the select list,
// HAVING, ORDER BY, the rest of WHERE, TOP, and a late DISTINCT.
#include "engine/core/QXLException.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLAOGroupBy.h"
#include "engine/sql/operators/QXLAOTable.h"
#include "engine/sql/operators/QXLAOTableExpr.h"
#include "engine/sql/statements/QXLJoinOperator.h"
#include "engine/sql/statements/QXLSQLSelect.h"
#include "engine/sql/statements/QXLSQLUnion.h"

namespace qxl {

namespace {

std::string UpperAscii(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

TQXLExpression* ExpressionOf(const TQXLSelectListItem& Item) {
  return static_cast<TQXLExpression*>(Item.ValueExpr.get());
}

bool IsAggregateItem(const TQXLSelectListItem& Item) {
  return Item.IsExpression && Item.ValueExpr && ExpressionOf(Item)->IsAggregated();
}

// A computed item: an expression that is not an aggregate, or a column named twice.
bool IsComputedItem(const TQXLSelectListItem& Item) {
  return Item.IsDuplicatedField || (Item.IsExpression && Item.ValueExpr && !ExpressionOf(Item)->IsAggregated());
}

bool IsOuter(TQXLJoinType Type) {
  return Type == ajtLeftOuter || Type == ajtRightOuter || Type == ajtFullOuter;
}

// The qualifier a USING column takes on one side of a join.
std::string QualifierOf(const TQXLTableReference& Reference) {
  return Reference.TableName.empty() ? Reference.Pseudonym : Reference.TableName;
}

bool Unplaced(const std::unique_ptr<TQXLExpression>& Condition) { return Condition && !Condition->IsEmpty(); }

}  // namespace

bool TQXLSQLSelect::AllConditionsApplied() {
  return !FSubqueryHasNotAppliedConditions && !Unplaced(SearchCondition) && !Unplaced(HavingCondition);
}

std::unique_ptr<TQXLAO> TQXLSQLSelect::PlanReference(TQXLTableReference& Reference, TQXLDataSet* Query,
                                                     TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                                     bool AllowNotAppliedConditions) {
  switch (Reference.TableType) {
    case attTable: {
      std::unique_ptr<TQXLTable> Table;
      std::unique_ptr<TQXLDatabase> Database;
      OpenExternalTable(Query, Reference.DatabaseName, Reference.TableName, Reference.Password,
                        Reference.InMemory || Query->InMemory(), Table, Database);
      Reference.ExternalDBToFree = std::move(Database);
      return std::make_unique<TQXLAOTable>(Reference.TableName, Reference.Pseudonym,
                                           Reference.ExternalDBToFree.get(), std::move(Table));
    }
    case attSubQuery: {
      std::unique_ptr<TQXLAO> Tree =
          Reference.SubQuery->BuildAOTree(Query, true, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
      Tree->SetTableAlias(Reference.Pseudonym);
      if (!Reference.SubQuery->AllConditionsApplied()) FSubqueryHasNotAppliedConditions = true;
      return Tree;
    }
    case attJoinedTable:
      break;
  }
  return PlanJoin(Reference, Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
}

std::unique_ptr<TQXLAO> TQXLSQLSelect::PlanJoin(TQXLTableReference& Reference, TQXLDataSet* Query,
                                                TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                                bool AllowNotAppliedConditions) {
  std::unique_ptr<TQXLAO> Left =
      PlanReference(*Reference.LeftTable, Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  std::unique_ptr<TQXLAO> Right =
      PlanReference(*Reference.RightTable, Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  const bool Outer = IsOuter(Reference.JoinType);
  TQXLFields Keys1;
  TQXLFields Keys2;
  std::vector<TQXLSelectListItem>& Fields1 = Keys1.Items;
  std::vector<TQXLSelectListItem>& Fields2 = Keys2.Items;
  std::unique_ptr<TQXLExpression> JoinCondition;
  if (!Reference.NaturalJoin && Reference.JoinType != ajtCross) {
    if (!Reference.UsingFields.empty()) {
      for (const std::string& Name : Reference.UsingFields) {
        TQXLSelectListItem LeftItem;
        LeftItem.TableName = QualifierOf(*Reference.LeftTable);
        LeftItem.FieldName = Name;
        Fields1.push_back(std::move(LeftItem));
        TQXLSelectListItem RightItem;
        RightItem.TableName = QualifierOf(*Reference.RightTable);
        RightItem.FieldName = Name;
        Fields2.push_back(std::move(RightItem));
      }
    } else {
      if (Reference.SearchCondition) {
        Reference.SearchCondition->ExtractJoinConditions(Left.get(), Right.get(), Fields1, Fields2);
      } else {
        if (Reference.LeftTable->SearchCondition)
          Reference.LeftTable->SearchCondition->ExtractJoinConditions(Left.get(), Right.get(), Fields1, Fields2);
        if (Reference.RightTable->SearchCondition)
          Reference.RightTable->SearchCondition->ExtractJoinConditions(Left.get(), Right.get(), Fields1, Fields2);
      }
      if (!Outer && SearchCondition)
        SearchCondition->ExtractJoinConditions(Left.get(), Right.get(), Fields1, Fields2);
    }
    if (Outer && Unplaced(Reference.SearchCondition)) JoinCondition = std::move(Reference.SearchCondition);
  }
  std::unique_ptr<TQXLAO> Join = NewJoinOperator(std::move(Left), std::move(Right), Reference.JoinType,
                                                 Reference.NaturalJoin, Keys1, Keys2, std::move(JoinCondition));
  if (!Outer && Unplaced(Reference.SearchCondition)) {
    Reference.SearchCondition->ApplyFilterParts(Join.get(), nullptr, nullptr, true, false);
    if (Unplaced(Reference.SearchCondition))
      throw EQXLException(20270, "ON condition for JOIN is not applicable");
  }
  return Join;
}

std::unique_ptr<TQXLAO> TQXLSQLSelect::PlanSource(TQXLDataSet* Query, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                                  bool AllowNotAppliedConditions) {
  std::unique_ptr<TQXLAO> Tree =
      PlanReference(*FromTables.front(), Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  for (std::size_t I = 1; I < FromTables.size(); ++I) {
    std::unique_ptr<TQXLAO> Next =
        PlanReference(*FromTables[I], Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
    TQXLFields Keys1;
    TQXLFields Keys2;
    std::int32_t Pairs = 0;
    if (SearchCondition)
      Pairs = SearchCondition->ExtractJoinConditions(Tree.get(), Next.get(), Keys1.Items, Keys2.Items);
    Tree = NewJoinOperator(std::move(Tree), std::move(Next), Pairs > 0 ? ajtInner : ajtCross, false, Keys1, Keys2,
                           nullptr);
  }
  return Tree;
}

std::unique_ptr<TQXLAO> TQXLSQLSelect::BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                                   TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) {
  ResultDataset = Query;
  FSubqueryHasNotAppliedConditions = false;
  std::unique_ptr<TQXLAO> Tree = PlanSource(Query, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);

  // Grouping: GROUP BY, or an aggregate in a select list other than "*".
  bool Grouping = !GroupByFields.empty();
  if (!AllFields)
    for (const TQXLSelectListItem& Item : SelectList)
      if (IsAggregateItem(Item)) Grouping = true;

  // Early projection: computed values over a table, or below a grouping
  // that groups by a computed column's alias.
  if (Grouping || Tree->IsAOTable()) {
    bool Computed = false;
    for (const TQXLSelectListItem& Item : SelectList)
      if (IsComputedItem(Item)) Computed = true;
    if (Computed) {
      if (Grouping) {
        bool AliasGrouped = false;
        for (const TQXLSelectListItem& Item : SelectList) {
          if (!Item.IsExpression || !Item.ValueExpr || ExpressionOf(Item)->IsAggregated()) continue;
          for (const TQXLSelectListItem& Group : GroupByFields)
            if (!Item.Pseudonym.empty() && UpperAscii(Item.Pseudonym) == UpperAscii(Group.FieldName))
              AliasGrouped = true;
        }
        if (AliasGrouped) {
          Tree = std::make_unique<TQXLAOTableExpr>(std::move(Tree));
          Tree->SetResultFields(SelectList, false);
        }
      } else {
        Tree = std::make_unique<TQXLAOTableExpr>(std::move(Tree));
      }
    }
  }

  if (SearchCondition) SearchCondition->ApplyFilterParts(Tree.get(), ParentQueryAO, ParentCursor, true, false);

  TQXLAO* GroupingAO = nullptr;
  if (Grouping) {
    TQXLFields GroupColumns;
    for (const TQXLSelectListItem& Item : GroupByFields) GroupColumns.Append(Item);
    try {
      Tree = std::make_unique<TQXLAOGroupBy>(std::move(Tree), &GroupColumns, SelectList);
    } catch (...) {
      for (TQXLSelectListItem& Item : SelectList) Item.ValueExpr.reset();
      throw;
    }
    GroupingAO = Tree.get();
  }

  if (Tree->HasSetResultFields()) Tree = std::make_unique<TQXLAOTableExpr>(std::move(Tree));

  const bool LateDistinct = !RequestLive && Tree->IsAOTable() && TopRowCount < 0;
  std::vector<TQXLSelectListItem> NoItems;
  Tree->SetResultFields(AllFields ? NoItems : SelectList, Distinct && !LateDistinct);

  if (HavingCondition) {
    // A HAVING with nothing grouped would be tested nowhere and let every row through.
    if (!Grouping) throw EQXLException(20244, "'Having' condition is not applicable");
    HavingCondition->ApplyFilterParts(Tree.get(), ParentQueryAO, ParentCursor, false, true);
    if (Unplaced(HavingCondition))
      HavingCondition->ApplyFilterParts(GroupingAO, ParentQueryAO, ParentCursor, true, true);
    if (Unplaced(HavingCondition) && !AllowNotAppliedConditions)
      throw EQXLException(20244, "'Having' condition is not applicable");
  }

  ApplyOrderBy(*Tree);

  if (Unplaced(SearchCondition)) {
    SearchCondition->ApplyFilterParts(Tree.get(), ParentQueryAO, ParentCursor, true, false);
    if (Unplaced(SearchCondition) && !AllowNotAppliedConditions)
      throw EQXLException(30144, "Search condition is not applicable");
  }

  if (TopRowCount >= 0) {
    Tree = std::make_unique<TQXLAOSQLTopRowCount>(std::move(Tree));
    Tree->SetTopRowCount(FirstRowNo, TopRowCount);
  }

  if (LateDistinct) {
    Tree = std::make_unique<TQXLAOTableExpr>(std::move(Tree));
    Tree->SetResultFields(AllFields ? NoItems : SelectList, Distinct);
  }
  return Tree;
}

}  // namespace qxl
