// Grouping and TOP against a model, on random tables with NULL keys and
// values, single-row groups, and empty inputs.
#include <map>
#include <optional>
#include <random>

#include "tests/engine/sql/operators/OperatorFixture.h"

namespace qxl::optest {
namespace {

using Cell = std::optional<int>;

std::string Text(const Cell& C) { return C ? std::to_string(*C) : "NULL"; }

class GroupingModel : public OperatorTest {};

TEST_F(GroupingModel, GroupsAndTopRowsMatchTheModel) {
  std::mt19937 Random(20261211);
  for (int Round = 0; Round < 12; ++Round) {
    SCOPED_TRACE(Round);
    const int RowCount = Round == 0 ? 0 : static_cast<int>(Random() % 40) + 1;
    const int KeyRange = Round % 3 == 0 ? 1 : 5;
    std::vector<std::pair<Cell, Cell>> Data;
    Rows Lines;
    for (int i = 0; i < RowCount; ++i) {
      Cell X = Random() % 6 == 0 ? Cell() : Cell(static_cast<int>(Random() % KeyRange));
      Cell Z = Random() % 5 == 0 ? Cell() : Cell(static_cast<int>(Random() % 10));
      Data.emplace_back(X, Z);
      Lines.push_back(Text(X) + "|" + Text(Z));
    }
    const std::string Table = "R" + std::to_string(Round);
    MakeTable(Table, {{"X", aftInteger}, {"Z", aftInteger}}, Lines);

    // The model: groups by X, NULL first.
    struct Group {
      int Count = 0, CountZ = 0, Sum = 0;
      Cell Min, Max;
    };
    std::map<Cell, Group> Model;
    for (const auto& [X, Z] : Data) {
      Group& G = Model[X];
      ++G.Count;
      if (!Z) continue;
      ++G.CountZ;
      G.Sum += *Z;
      G.Min = G.Min ? std::min(*G.Min, *Z) : *Z;
      G.Max = G.Max ? std::max(*G.Max, *Z) : *Z;
    }
    Rows Expected;
    for (const auto& [X, G] : Model)
      Expected.push_back(Text(X) + "|" + std::to_string(G.Count) + "|" + std::to_string(G.CountZ) + "|" +
                         (G.CountZ ? std::to_string(G.Sum) : "NULL") + "|" + Text(G.Min) + "|" + Text(G.Max));

    const auto Build = [&] {
      auto List = Items(Col("X"), Expr("COUNT(*)"), Expr("COUNT(Z)"), Expr("SUM(Z)"), Expr("MIN(Z)"), Expr("MAX(Z)"));
      TQXLFields Fields;
      Fields.Append(Col("X"));
      auto G = std::make_unique<TQXLAOGroupBy>(Scan(Table), &Fields, List);
      G->SetResultFields(List, false);
      return G;
    };
    auto G = Build();
    EXPECT_EQ(Run(*G), Expected);

    // TOP n, m over the groups: rows m .. m + n - 1.
    const std::int64_t First = static_cast<std::int64_t>(Random() % 4) + 1;
    const std::int64_t Count = static_cast<std::int64_t>(Random() % 4);
    Rows Slice;
    for (std::int64_t r = First - 1; r < First - 1 + Count && r < static_cast<std::int64_t>(Expected.size()); ++r)
      Slice.push_back(Expected[static_cast<std::size_t>(r)]);
    auto Top = std::make_unique<TQXLAOSQLTopRowCount>(Build());
    Top->SetTopRowCount(First, Count);
    EXPECT_EQ(Run(*Top), Slice) << "TOP " << Count << ", " << First;
  }
}

}  // namespace
}  // namespace qxl::optest
