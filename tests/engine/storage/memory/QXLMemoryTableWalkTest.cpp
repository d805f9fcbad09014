// A cursor stepping through a restricted view, planned once and walked on
// from where the last step left: random ranges, filters (a callback and an
// expression) and steps in both directions, turning at random, with records
// added and removed by another cursor between steps, against a model of the
// table. The view's order comes from the model (index order) or from a walk
// of the whole table (physical order).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/core/search/QXLRecordIterator.h"
#include "engine/core/search/QXLSearchPlanner.h"
#include "tests/engine/core/QXLTestExpression.h"
#include "tests/engine/storage/btree/RecordIndexFixture.h"

using namespace qxl;

namespace qxl::test {
namespace {

// A filter expression that shows the records whose ID is not a multiple of Divisor.
class IdFilter : public TestExpression {
public:
  std::function<std::int32_t(const std::uint8_t*)> IdOf;
  std::int32_t Divisor = 3;
  bool GetResult() override { return IdOf(BoundBuffer) % Divisor != 0; }
};

struct TView {
  bool ByIndex = true;
  std::optional<std::int32_t> From, To;  // bounds on Grp
  bool FromExclusive = false, ToExclusive = false;
  bool Callback = false;    // shows odd IDs
  bool Expression = false;  // hides multiples of three

  bool Shows(std::int32_t Id, const std::optional<std::int32_t>& Grp) const {
    if (From || To) {
      // NULL lies below every value: a lower bound excludes it.
      if (From && (!Grp || (FromExclusive ? *Grp <= *From : *Grp < *From))) return false;
      if (To && Grp && (ToExclusive ? *Grp >= *To : *Grp > *To)) return false;
    }
    if (Callback && Id % 2 == 0) return false;
    if (Expression && Id % 3 == 0) return false;
    return true;
  }
  std::string Text() const {
    std::string s = ByIndex ? "index" : "physical";
    if (From) s += " from " + std::to_string(*From) + (FromExclusive ? "(excl)" : "");
    if (To) s += " to " + std::to_string(*To) + (ToExclusive ? "(excl)" : "");
    if (Callback) s += " odd";
    if (Expression) s += " not-3n";
    return s;
  }
};

class MemoryWalkTest : public RecordIndexFixture {
protected:
  std::map<std::int32_t, std::optional<std::int32_t>> Model;  // ID -> Grp
  std::map<std::int32_t, TQXLPageItemID> Where;
  std::vector<std::vector<std::uint8_t>> Keys;
  std::int32_t NextId = 0;

  std::uint8_t* Key(std::int32_t Grp) {
    Keys.push_back(Buffer({0, "", Grp}));
    return Keys.back().data();
  }
  void Add(MemoryCursor& Other, std::mt19937& Rng) {
    const std::int32_t Id = NextId++;
    const std::optional<std::int32_t> Grp =
        Rng() % 10 == 0 ? std::nullopt : std::optional<std::int32_t>(static_cast<std::int32_t>(Rng() % 12));
    const std::vector<std::uint8_t> B = Buffer({Id, "x", Grp});
    std::memcpy(Other.FCurrentRecordBuffer, B.data(), B.size());
    TQXLCursor* C = &Other;
    ASSERT_TRUE(Table->InsertRecord(C));
    Model[Id] = Grp;
    Where[Id] = Other.CurrentRecordID;
  }
  void Remove(MemoryCursor& Other, std::int32_t Id) {
    Other.CurrentRecordID = Where[Id];
    ASSERT_TRUE(Table->DeleteRecord(&Other));
    Model.erase(Id);
    Where.erase(Id);
  }
  // Every record's ID in the table's physical order, read without a view.
  std::vector<std::int32_t> PhysicalOrder(MemoryCursor& Other) {
    std::vector<std::int32_t> Ids;
    Other.FIndexID = -1;
    Other.FirstPosition = true;
    Other.LastPosition = false;
    while (Table->GetRecordBuffer(&Other, grmNext) == grrOK) Ids.push_back(RowOf(Other.FCurrentRecordBuffer).Id);
    return Ids;
  }
  std::vector<std::int32_t> Expected(const TView& View, MemoryCursor& Other) {
    std::vector<std::int32_t> Ids;
    if (View.ByIndex) {
      // Index (Grp, ID): NULL first, then by value, ties by ID.
      std::vector<std::pair<std::pair<bool, std::int32_t>, std::int32_t>> Order;
      for (const auto& [Id, Grp] : Model) Order.push_back({{Grp.has_value(), Grp.value_or(0)}, Id});
      std::sort(Order.begin(), Order.end());
      for (const auto& [Key, Id] : Order)
        if (View.Shows(Id, Model[Id])) Ids.push_back(Id);
    } else {
      for (std::int32_t Id : PhysicalOrder(Other))
        if (View.Shows(Id, Model[Id])) Ids.push_back(Id);
    }
    return Ids;
  }
};

}  // namespace

TEST_F(MemoryWalkTest, StepsThroughRandomViewsShowWhatAModelShows) {
  const std::int32_t ByGrp = AddIndex("GrpId", {"Grp", "ID"});
  std::mt19937 Rng(2126);
  MemoryCursor Other{"Tasks"};
  Open(Other);
  for (int i = 0; i < 300; ++i) Add(Other, Rng);
  IdFilter Filter;
  Filter.AddNode(nullptr);
  Filter.IdOf = [this](const std::uint8_t* B) { return RowOf(B).Id; };
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  for (int Round = 0; Round < 120; ++Round) {
    TView View;
    View.ByIndex = Rng() % 4 != 0;
    if (View.ByIndex && Rng() % 5 != 0) {
      if (Rng() % 4 != 0) View.From = static_cast<std::int32_t>(Rng() % 14) - 1;
      if (Rng() % 4 != 0) View.To = View.From.value_or(0) + static_cast<std::int32_t>(Rng() % 6);
      View.FromExclusive = Rng() % 2 == 0;
      View.ToExclusive = Rng() % 2 == 0;
    }
    View.Callback = Rng() % 3 == 0;
    View.Expression = Rng() % 4 == 0;
    if (!View.From && !View.To && !View.Callback && !View.Expression) View.Callback = true;
    Cursor.FIndexID = View.ByIndex ? ByGrp : -1;
    Cursor.FIndexPositionCache = std::make_unique<TQXLIndexPositionCache>();
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    if (View.From || View.To)
      Cursor.ApplyRange(View.From ? Key(*View.From) : nullptr, View.To ? Key(*View.To) : nullptr, 1, 1,
                        View.FromExclusive, View.ToExclusive);
    if (View.Callback) Cursor.FilterRecord = [this](std::uint8_t* B, void*) { return RowOf(B).Id % 2 != 0; };
    if (View.Expression) Cursor.FSQLFilterExpression = &Filter;

    // From one end, then steps at random, turning now and then; another
    // cursor adds and removes records between steps.
    std::vector<std::int32_t> Shown = Expected(View, Other);
    const bool FromStart = Rng() % 2 == 0;
    Cursor.FirstPosition = FromStart;
    Cursor.LastPosition = !FromStart;
    std::optional<std::int32_t> At;  // the record the cursor stands on
    std::ptrdiff_t Pos = FromStart ? -1 : static_cast<std::ptrdiff_t>(Shown.size());
    bool Forward = FromStart;
    for (int Step = 0; Step < 60; ++Step) {
      if (Rng() % 6 == 0) Forward = !Forward;
      const TQXLGetRecordResult Got = Table->GetRecordBuffer(&Cursor, Forward ? grmNext : grmPrior);
      const std::ptrdiff_t Want = Pos + (Forward ? 1 : -1);
      const std::string Case = View.Text() + ", round " + std::to_string(Round) + ", step " + std::to_string(Step);
      if (Want < 0 || Want >= static_cast<std::ptrdiff_t>(Shown.size())) {
        ASSERT_EQ(Got, Forward ? grrEOF : grrBOF) << Case;
      } else {
        ASSERT_EQ(Got, grrOK) << Case;
        const std::int32_t Id = RowOf(Cursor.FCurrentRecordBuffer).Id;
        ASSERT_EQ(Id, Shown[static_cast<std::size_t>(Want)]) << Case;
        ASSERT_EQ(Cursor.CurrentRecordID, Where[Id]) << Case;
        At = Id;
        Pos = Want;
      }
      if (Rng() % 8 == 0) {
        // A change elsewhere in the table; the cursor's own record stays.
        if (Rng() % 2 == 0 || Model.size() < 50) {
          Add(Other, Rng);
        } else {
          auto Gone = std::next(Model.begin(), static_cast<std::ptrdiff_t>(Rng() % Model.size()));
          if (At && Gone->first == *At) Gone = std::next(Gone) == Model.end() ? Model.begin() : std::next(Gone);
          Remove(Other, Gone->first);
        }
        Shown = Expected(View, Other);
        Pos = At ? std::find(Shown.begin(), Shown.end(), *At) - Shown.begin()
                 : FromStart ? -1 : static_cast<std::ptrdiff_t>(Shown.size());
      }
    }
    Cursor.ResetRange();
    Cursor.FilterRecord = nullptr;
    Cursor.FSQLFilterExpression = nullptr;
  }
  Table->CloseTable(&Other);
}

// The planner and iterator without a cursor's steps, as an operator uses
// them: one plan, walked both ways, each record's columns read from its
// stored bytes without a record buffer.
TEST_F(MemoryWalkTest, AnIteratorWalksOnePlanBothWaysAndReadsColumnsInPlace) {
  const std::int32_t ByGrp = AddIndex("GrpId", {"Grp", "ID"});
  std::mt19937 Rng(77);
  MemoryCursor Other{"Tasks"};
  Open(Other);
  for (int i = 0; i < 200; ++i) Add(Other, Rng);
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  Cursor.FIndexID = ByGrp;
  TView View;
  View.From = 3;
  View.To = 7;
  View.ToExclusive = true;
  Cursor.ApplyRange(Key(3), Key(7), 1, 1, false, true);
  const std::vector<std::int32_t> Shown = Expected(View, Other);
  TQXLSearchPlanner Planner(*Table);
  TQXLRecordIterator Walk(*Table, Planner.Plan(&Cursor, nullptr, nullptr, true, true), Cursor.SessionID());
  Cursor.ResetRange();
  EXPECT_EQ(Walk.Plan().Strategy, ssOrderIndexRange);
  EXPECT_FALSE(Walk.Plan().HasResidual);
  EXPECT_GT(Planner.EstimateRows(Cursor.SessionID(), Walk.Plan()), 0);
  Walk.Seek(true, {});
  EXPECT_EQ(Walk.Fields(), nullptr);
  std::vector<std::int32_t> Forward;
  while (Walk.Next()) {
    const TQXLFieldAccessor* Fields = Walk.Fields();
    ASSERT_NE(Fields, nullptr);
    std::int32_t Id = -1, Grp = -1;
    ASSERT_TRUE(Fields->GetField(IdField, &Id));
    ASSERT_TRUE(Fields->GetField(GrpField, &Grp));
    EXPECT_EQ(Model[Id], std::optional<std::int32_t>(Grp)) << Id;
    EXPECT_EQ(Walk.RecordID(), Where[Id]) << Id;
    Forward.push_back(Id);
  }
  EXPECT_EQ(Forward, Shown);
  // Back from the last record: the same records the other way, the last one
  // not given twice.
  std::vector<std::int32_t> Backward;
  while (Walk.Prior()) Backward.push_back(RowOf(Walk.Record()).Id);
  ASSERT_FALSE(Shown.empty());
  EXPECT_EQ(Backward, std::vector<std::int32_t>(Shown.rbegin() + 1, Shown.rend()));
  Table->CloseTable(&Other);
}

}  // namespace qxl::test
