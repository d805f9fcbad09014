// The B-tree record index over a memory table: building over existing
// records, stepping both ways with and without a cursor's position cache,
// the record nearest a vanished one, record numbers, range scans whose cut
// keys tie, estimates, unique checks, DISTINCT, and entry changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <tuple>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/storage/btree/RecordIndexFixture.h"

using namespace qxl;

namespace qxl::test {
namespace {

class RecordIndexTest : public RecordIndexFixture {
protected:
  // Records with the IDs 1..Count; names repeat in groups of three.
  std::map<std::int32_t, TQXLPageItemID> Fill(std::int32_t Count) {
    std::map<std::int32_t, TQXLPageItemID> IDs;
    for (std::int32_t i = 1; i <= Count; ++i) {
      char Tail[16];
      std::snprintf(Tail, sizeof Tail, "%04d", (i * 37) % Count / 3);
      IDs[i] = Insert({i, LongName(Tail), i % 5});
    }
    return IDs;
  }
  // Every record in name order, equal names by record identity.
  std::vector<std::int32_t> ByName() {
    std::vector<std::pair<std::string, std::int32_t>> Rows;
    std::vector<TRow> All;
    for (std::int32_t p = 0; p < Records().RecordCount() + 1000; ++p)
      if (Records().StoredRecord(p)) {
        const TRow Row = Stored({p, 0});
        Rows.emplace_back(Row.Name, p);
        All.push_back(Row);
      }
    std::sort(Rows.begin(), Rows.end());
    std::vector<std::int32_t> Ids;
    for (const auto& [Name, Position] : Rows) Ids.push_back(Stored({Position, 0}).Id);
    return Ids;
  }
  TQXLMemoryRecordManager& Records() { return static_cast<TQXLMemoryRecordManager&>(*Table->RecordManager()); }

  // One step through the index as the index manager asks for it.
  TQXLNavigationInfo Step(std::int32_t IndexID, TQXLGetRecordMode Mode, const TQXLPageItemID& From, bool First,
                          bool Last, std::vector<std::uint8_t>& B, TQXLIndexPositionCache* Cache = nullptr) {
    TQXLNavigationInfo Nav;
    Nav.GetRecordMode = Mode;
    Nav.IndexID = IndexID;
    Nav.RecordID = From;
    Nav.RecordBuffer = B.data();
    Nav.FirstPosition = First;
    Nav.LastPosition = Last;
    Index(IndexID).GetRecordBuffer(0, Nav, Cache, Records().TableState());
    return Nav;
  }
  std::vector<std::int32_t> Walk(std::int32_t IndexID, bool Forward, TQXLIndexPositionCache* Cache = nullptr) {
    std::vector<std::uint8_t> B(static_cast<std::size_t>(Cursor.FRecordBufferSize), 0);
    std::vector<std::int32_t> Ids;
    TQXLNavigationInfo Nav = Step(IndexID, Forward ? grmNext : grmPrior, {}, Forward, !Forward, B, Cache);
    while (Nav.GetRecordResult == grrOK) {
      Ids.push_back(RowOf(B.data()).Id);
      const TQXLPageItemID At = Nav.RecordID;
      Nav = Step(IndexID, Forward ? grmNext : grmPrior, At, false, false, B, Cache);
    }
    EXPECT_EQ(Nav.GetRecordResult, Forward ? grrEOF : grrBOF);
    EXPECT_EQ(Nav.LastPosition, Forward);
    EXPECT_EQ(Nav.FirstPosition, !Forward);
    return Ids;
  }
};

TEST_F(RecordIndexTest, ABuildOverExistingRecordsHoldsEachOnceInKeyOrder) {
  const std::int32_t Empty = AddIndex("EmptyName", {"Name"});
  EXPECT_TRUE(Leaves(Empty).empty());
  EXPECT_EQ(Depth(Empty), 0);
  Fill(400);
  const std::int32_t Built = AddIndex("Name", {"Name"});
  EXPECT_GE(Depth(Built), 2);
  CheckTree(Built);
  CheckTree(Empty);
  const std::vector<std::int32_t> Expected = ByName();
  ASSERT_EQ(Expected.size(), 400u);
  EXPECT_EQ(IdsOf(Leaves(Built)), Expected);
  EXPECT_EQ(IdsOf(Leaves(Empty)), Expected);
}

TEST_F(RecordIndexTest, StepsBothWaysWithAndWithoutThePositionCache) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  Fill(250);
  const std::vector<std::int32_t> Forward = ByName();
  std::vector<std::int32_t> Backward(Forward.rbegin(), Forward.rend());
  EXPECT_EQ(Walk(ID, true), Forward);
  EXPECT_EQ(Walk(ID, false), Backward);
  TQXLIndexPositionCache Cache;
  EXPECT_EQ(Walk(ID, true, &Cache), Forward);
  EXPECT_EQ(Walk(ID, false, &Cache), Backward);
}

TEST_F(RecordIndexTest, ACacheIsTrustedOnlyForItsIndexRecordAndTableState) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  Fill(60);
  const std::vector<TQXLPageItemID> Order = Leaves(ID);
  std::vector<std::uint8_t> B(static_cast<std::size_t>(Cursor.FRecordBufferSize), 0);
  TQXLIndexPositionCache Cache;
  TQXLNavigationInfo Nav = Step(ID, grmNext, {}, true, false, B, &Cache);
  ASSERT_EQ(Nav.GetRecordResult, grrOK);
  EXPECT_EQ(Cache.IndexID, ID);
  EXPECT_EQ(Cache.RecordID, Order[0]);
  EXPECT_EQ(Cache.TableState, Records().TableState());
  // A cache that names the first record but holds the path of the tenth: a
  // valid cache is followed without a search, a stale one is not.
  TQXLKeyPath Tenth;
  ASSERT_TRUE(Index(ID).GetIndexPosition(0, Order[9], Buffer(Stored(Order[9])).data(), Tenth));
  struct Case {
    std::int32_t IndexID, TableState;
    TQXLPageItemID Record;
    TQXLPageItemID Expected;
  };
  const std::int32_t State = Records().TableState();
  for (const Case& c : {Case{ID, State, Order[0], Order[10]}, Case{ID, State + 1, Order[0], Order[1]},
                        Case{ID + 100, State, Order[0], Order[1]}, Case{ID, State, Order[5], Order[1]}}) {
    auto Path = std::make_unique<TQXLKeyPath>();
    Path->Assign(Tenth);
    Cache.Position = std::move(Path);
    Cache.IndexID = c.IndexID;
    Cache.TableState = c.TableState;
    Cache.RecordID = c.Record;
    B = Buffer(Stored(Order[0]));
    Nav = Step(ID, grmNext, Order[0], false, false, B, &Cache);
    ASSERT_EQ(Nav.GetRecordResult, grrOK);
    EXPECT_EQ(Nav.RecordID, c.Expected);
  }
  // Past the end: EOF, and the cache still names the last record read.
  B = Buffer(Stored(Order.back()));
  Cache.Position.reset();
  Nav = Step(ID, grmNext, Order.back(), false, false, B, &Cache);
  EXPECT_EQ(Nav.GetRecordResult, grrEOF);
  EXPECT_TRUE(Nav.LastPosition);
  EXPECT_EQ(Cache.Position, nullptr);
  EXPECT_EQ(NativeCodeOf([&] { Step(ID, grmCurrent, Order[0], false, false, B); }), 20053);
}

TEST_F(RecordIndexTest, TheClosestRecordSkipsKeysEqualToTheVanishedOne) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  const TQXLPageItemID A = Insert({1, LongName("a"), 1});
  Insert({2, LongName("b"), 1});
  const TQXLPageItemID B2 = Insert({3, LongName("b"), 1});
  Insert({4, LongName("b"), 1});
  const TQXLPageItemID C = Insert({5, LongName("c"), 1});
  std::vector<std::uint8_t> Vanished = Buffer(Stored(B2));
  Delete(B2);
  for (const auto& [Mode, Expected, Result] :
       {std::tuple{grmNext, 5, grrOK}, std::tuple{grmPrior, 1, grrOK}}) {
    std::vector<std::uint8_t> B = Vanished;
    TQXLNavigationInfo Nav;
    Nav.GetRecordMode = Mode;
    Nav.RecordID = B2;
    Nav.RecordBuffer = B.data();
    Index(ID).GetClosestRecordBuffer(0, Nav, nullptr, 0);
    EXPECT_EQ(Nav.GetRecordResult, Result);
    EXPECT_EQ(RowOf(B.data()).Id, Expected);
    EXPECT_EQ(Nav.GetRecordMode, Mode);
  }
  // Nothing beyond: EOF forward, BOF backward.
  std::vector<std::uint8_t> Last = Buffer(Stored(C));
  Delete(C);
  TQXLNavigationInfo Nav;
  Nav.GetRecordMode = grmNext;
  Nav.RecordBuffer = Last.data();
  Index(ID).GetClosestRecordBuffer(0, Nav, nullptr, 0);
  EXPECT_EQ(Nav.GetRecordResult, grrEOF);
  EXPECT_TRUE(Nav.LastPosition);
  std::vector<std::uint8_t> First = Buffer(Stored(A));
  Delete(A);
  Nav = {};
  Nav.GetRecordMode = grmPrior;
  Nav.RecordBuffer = First.data();
  Index(ID).GetClosestRecordBuffer(0, Nav, nullptr, 0);
  EXPECT_EQ(Nav.GetRecordResult, grrBOF);
  EXPECT_TRUE(Nav.FirstPosition);
}

TEST_F(RecordIndexTest, RecordNumbersCountEntriesAcrossLeaves) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  TQXLBTreeRecordIndex& I = Index(ID);
  EXPECT_EQ(NativeCodeOf([&] { I.GetRecordIDByRecNo(0, 1); }), 20074);
  Fill(300);
  ASSERT_GE(Depth(ID), 2);
  const std::vector<TQXLPageItemID> Order = Leaves(ID);
  for (std::size_t n = 0; n < Order.size(); n += 7) {
    EXPECT_EQ(I.GetRecNoByRecordID(0, Order[n], Buffer(Stored(Order[n])).data()), std::int64_t(n) + 1);
    EXPECT_EQ(I.GetRecordIDByRecNo(0, std::int64_t(n) + 1), Order[n]);
  }
  EXPECT_EQ(I.GetRecordIDByRecNo(0, 300), Order.back());
  EXPECT_EQ(NativeCodeOf([&] { I.GetRecordIDByRecNo(0, 301); }), 20075);
  // A record the index does not hold has no number.
  EXPECT_EQ(I.GetRecNoByRecordID(0, {9999, 0}, Buffer({1, "nobody", 1}).data()), -1);
}

// A condition on the first KeyFields columns with the values of Row.
struct TCondition {
  TQXLSearchCondition Condition = scNone;
  std::string Name;
};

class RecordIndexRangeTest : public RecordIndexTest {
protected:
  std::vector<std::vector<std::uint8_t>> Keys;
  std::unique_ptr<TQXLScanSearchCondition> Make(const TCondition& c) {
    if (c.Condition == scNone) return nullptr;
    Keys.push_back(Buffer({0, c.Name, 0}));
    auto Result = std::make_unique<TQXLScanSearchCondition>(true);
    Result->Condition = c.Condition;
    Result->KeyRecordBuffer = Keys.back().data();
    Result->KeyFieldCount = 1;
    return Result;
  }
  std::vector<std::int32_t> Scan(std::int32_t ID, bool Forward, const TCondition& Start, const TCondition& End) {
    auto S = Make(Start), E = Make(End);
    TQXLBTreeRecordIndex& I = Index(ID);
    void* Info = I.CreateSearchInfo();
    std::vector<std::int32_t> Ids;
    TQXLPageItemID RecordID{};
    std::vector<std::uint8_t> B(static_cast<std::size_t>(Cursor.FRecordBufferSize), 0);
    for (bool Restart = true; I.FindRecord(0, Restart, Forward, S.get(), E.get(), B.data(), RecordID, Info);
         Restart = false)
      Ids.push_back(Stored(RecordID).Id);
    I.FreeSearchInfo(Info);
    return Ids;
  }
  static bool Meets(const std::string& Value, const TCondition& c) {
    switch (c.Condition) {
      case scEqual: return Value == c.Name;
      case scLower: return Value < c.Name;
      case scLowerEqual: return Value <= c.Name;
      case scGreater: return Value > c.Name;
      case scGreaterEqual: return Value >= c.Name;
      default: return true;
    }
  }
};

TEST_F(RecordIndexRangeTest, RangesOverCutKeysReturnExactlyTheMatchingRecordsInOrder) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  // Every name shares 40 characters, far beyond the 12 the index keeps.
  std::vector<std::string> Tails = {"a", "b", "b", "bb", "c", "c", "c", "d", "e", "ea", "f"};
  for (std::int32_t i = 0; i < 200; ++i) Tails.push_back("m" + std::to_string(i % 50));
  std::int32_t Id = 0;
  std::vector<std::pair<std::string, std::int32_t>> Model;
  for (const std::string& Tail : Tails) {
    const TQXLPageItemID RecordID = Insert({++Id, LongName(Tail), 0});
    Model.emplace_back(LongName(Tail), std::int32_t{RecordID.PageNo});
  }
  ASSERT_GE(Depth(ID), 2);
  std::sort(Model.begin(), Model.end());
  const struct {
    TCondition Start, End;
  } Cases[] = {
      {{scEqual, LongName("c")}, {}},
      {{scEqual, LongName("bz")}, {}},
      {{scLower, LongName("c")}, {}},
      {{scLowerEqual, LongName("c")}, {}},
      {{scGreater, LongName("c")}, {}},
      {{scGreaterEqual, LongName("c")}, {}},
      {{scGreaterEqual, LongName("b")}, {scLowerEqual, LongName("d")}},
      {{scGreater, LongName("b")}, {scLower, LongName("e")}},
      {{scGreaterEqual, LongName("m2")}, {scLower, LongName("m3")}},
      {{scGreater, LongName("zz")}, {}},
      {{scLower, LongName("a")}, {}},
      {{scGreaterEqual, LongName("e")}, {scLowerEqual, LongName("b")}},
      {{}, {}},
  };
  for (const auto& c : Cases) {
    std::vector<std::int32_t> Expected;
    for (const auto& [Name, Position] : Model)
      if (Meets(Name, c.Start) && Meets(Name, c.End)) Expected.push_back(Stored({Position, 0}).Id);
    EXPECT_EQ(Scan(ID, true, c.Start, c.End), Expected) << c.Start.Name << " " << int(c.Start.Condition);
    // Backwards the lower bound becomes the end of the scan.
    std::reverse(Expected.begin(), Expected.end());
    const bool Bounded = c.End.Condition != scNone;
    EXPECT_EQ(Scan(ID, false, Bounded ? c.End : c.Start, Bounded ? c.Start : c.End), Expected)
        << c.Start.Name << " " << int(c.Start.Condition);
  }
}

TEST_F(RecordIndexRangeTest, AScanContinuesFromTheCurrentRecordOrFromTheRangesStart) {
  const std::int32_t ID = AddIndex("Grp", {"Grp"});
  std::map<std::int32_t, TQXLPageItemID> IDs;
  for (std::int32_t i = 1; i <= 9; ++i) IDs[i] = Insert({i, "n", i});
  TQXLBTreeRecordIndex& I = Index(ID);
  std::vector<std::uint8_t> Key = Buffer({0, "", 4});
  TQXLScanSearchCondition Start(true);
  Start.Condition = scGreaterEqual;
  Start.KeyRecordBuffer = Key.data();
  Start.KeyFieldCount = 1;
  for (const auto& [From, Expected] : {std::pair{2, 4}, std::pair{6, 7}}) {
    void* Info = I.CreateSearchInfo();
    std::vector<std::uint8_t> B = Buffer(Stored(IDs[From]));
    TQXLPageItemID RecordID = IDs[From];
    ASSERT_TRUE(I.FindRecord(0, false, true, &Start, nullptr, B.data(), RecordID, Info));
    EXPECT_EQ(Stored(RecordID).Id, Expected);
    EXPECT_EQ(NativeCodeOf([&] { I.FindRecord(0, true, true, &Start, nullptr, B.data(), RecordID, Info); }), 20078);
    I.FreeSearchInfo(Info);
  }
  EXPECT_EQ(NativeCodeOf([&] {
              TQXLPageItemID RecordID{};
              I.FindRecord(0, true, true, nullptr, nullptr, nullptr, RecordID, nullptr);
            }),
            20077);
}

TEST_F(RecordIndexRangeTest, EstimatesFollowTheRangeAndStayWithinTheTable) {
  const std::int32_t ID = AddIndex("Name", {"Name"}, false, 40);
  for (std::int32_t i = 0; i < 1000; ++i) {
    char Name[16];
    std::snprintf(Name, sizeof Name, "k%04d", i);
    Insert({i, Name, 0});
  }
  ASSERT_GE(Depth(ID), 2);
  const std::int64_t Count = Records().RecordCount();
  TQXLBTreeRecordIndex& I = Index(ID);
  const struct {
    TCondition Low, High;
    std::int64_t Actual;
  } Cases[] = {
      {{scGreaterEqual, "k0000"}, {scLower, "k0500"}, 500},
      {{scGreater, "k0250"}, {scLowerEqual, "k0750"}, 500},
      {{scGreaterEqual, "k0900"}, {scGreaterEqual, "k0900"}, 100},
      {{scLower, "k0100"}, {scLower, "k0100"}, 100},
      {{scGreater, "z"}, {scLower, "zz"}, 0},
      {{scGreaterEqual, "k0700"}, {scLowerEqual, "k0300"}, 0},
      {{scGreaterEqual, ""}, {scLowerEqual, "z"}, 1000},
  };
  for (const auto& c : Cases) {
    auto Low = Make(c.Low), High = Make(c.High);
    for (const bool Swap : {false, true}) {
      const std::int64_t Estimate = Swap ? I.GetApproxRangeRecordCount(0, Count, High.get(), Low.get())
                                         : I.GetApproxRangeRecordCount(0, Count, Low.get(), High.get());
      EXPECT_GE(Estimate, 0);
      EXPECT_LE(Estimate, Count);
      EXPECT_NEAR(double(Estimate), double(c.Actual), 60.0) << c.Low.Name << ".." << c.High.Name;
      if (c.Actual == 0) {
        EXPECT_EQ(Estimate, 0);
      }
    }
  }
}

TEST_F(RecordIndexTest, UniqueChecksSettleCutKeysByWholeValuesAndCountNullAsAValue) {
  const std::int32_t ByGrp = AddIndex("Grp", {"Grp"}, true);
  const std::int32_t ByName = AddIndex("Name", {"Name"}, true);
  const std::int32_t Plain = AddIndex("PlainName", {"Name"});
  const TQXLPageItemID One = Insert({1, LongName("x"), 1});
  const TQXLPageItemID Null = Insert({2, LongName("y"), std::nullopt});
  const struct {
    std::int32_t Index;
    TRow Row;
    bool Can;
  } Cases[] = {
      {ByGrp, {9, "q", 1}, false},
      {ByGrp, {9, "q", 2}, true},
      {ByGrp, {9, "q", std::nullopt}, false},
      {ByName, {9, LongName("x"), 5}, false},
      {ByName, {9, LongName("z"), 5}, true},
      {ByName, {9, LongName("xx"), 5}, true},
      {ByName, {9, LongName(""), 5}, true},
      {Plain, {9, LongName("x"), 5}, true},
  };
  for (const auto& c : Cases)
    EXPECT_EQ(Index(c.Index).CanInsertRecord(0, Buffer(c.Row).data()), c.Can) << c.Row.Name << " " << c.Index;
  // A change that keeps the key never conflicts with the record itself; one
  // onto another record's key does.
  TQXLBTreeRecordIndex& G = Index(ByGrp);
  EXPECT_TRUE(G.CanUpdateRecord(0, Buffer(Stored(One)).data(), Buffer({1, "other", 1}).data()));
  EXPECT_FALSE(G.CanUpdateRecord(0, Buffer(Stored(One)).data(), Buffer({1, "other", std::nullopt}).data()));
  EXPECT_FALSE(G.CanUpdateRecord(0, Buffer(Stored(Null)).data(), Buffer({2, "y", 1}).data()));
  EXPECT_TRUE(G.CanUpdateRecord(0, Buffer(Stored(Null)).data(), Buffer({2, "y", 3}).data()));
}

TEST_F(RecordIndexTest, DistinctKeepsTheFirstShownRecordOfEachKeyInIndexOrder) {
  const std::int32_t ID = AddIndex("GrpName", {"Grp", "Name"});
  // Groups 0..3 with several names each, and two records without a group.
  std::int32_t Id = 0;
  for (std::int32_t n = 0; n < 40; ++n) Insert({++Id, LongName(std::to_string(n % 7)), n % 4});
  Insert({++Id, "a", std::nullopt});
  Insert({++Id, "b", std::nullopt});
  TQXLBTreeRecordIndex& I = Index(ID);
  const std::vector<TQXLPageItemID> Order = Leaves(ID);
  struct Case {
    std::int32_t Fields;
    std::set<std::int32_t> Hidden;  // by position in index order, before the walk
  };
  for (const Case& c : {Case{1, {}}, Case{2, {}}, Case{1, {0, 1, 5}}}) {
    TQXLRecordBitmap Bitmap(Table);
    Bitmap.SetIndexBased(true);
    TQXLKeyPath Path;
    std::vector<TQXLKeyPath> Paths;
    std::size_t n = 0;
    for (bool More = I.GotoFirst(0, Path); More; More = I.GotoNext(0, Path), ++n) {
      if (!c.Hidden.count(static_cast<std::int32_t>(n))) Bitmap.ShowRecord(ID, Path);
      Paths.emplace_back().Assign(Path);
    }
    I.ApplyDistinctToRecordBitmap(0, Bitmap, c.Fields);
    // The model: the first shown record of each run of equal leading values.
    std::vector<std::int32_t> Expected, Shown;
    std::optional<std::pair<std::optional<std::int32_t>, std::string>> Kept;
    for (std::size_t k = 0; k < Order.size(); ++k) {
      if (c.Hidden.count(static_cast<std::int32_t>(k))) continue;
      const TRow Row = Stored(Order[k]);
      const std::pair<std::optional<std::int32_t>, std::string> Key{Row.Grp, c.Fields == 2 ? Row.Name : ""};
      if (Kept && *Kept == Key) continue;
      Kept = Key;
      Expected.push_back(Row.Id);
    }
    for (std::size_t k = 0; k < Paths.size(); ++k)
      if (Bitmap.IsRecordVisible(ID, Paths[k])) Shown.push_back(Stored(Order[k]).Id);
    EXPECT_EQ(Shown, Expected) << c.Fields;
    EXPECT_EQ(Index(ID).KeyRef()->CompareFieldCount, 2);
  }
}

TEST_F(RecordIndexTest, AnUpdateThatKeepsTheKeyLeavesTheIndexAlone) {
  const std::int32_t ID = AddIndex("Grp", {"Grp"});
  const TQXLPageItemID R = Insert({1, "a", 1});
  TQXLBTreeRecordIndex& I = Index(ID);
  // Another name, same group: not even a record the index lacks is looked for.
  std::vector<std::uint8_t> Old = Buffer({1, "a", 7}), New = Buffer({1, "b", 7});
  Cursor.FEditRecordBuffer = Old.data();
  std::memcpy(Cursor.FCurrentRecordBuffer, New.data(), New.size());
  Cursor.CurrentRecordID = {777, 0};
  EXPECT_NO_THROW(I.UpdateRecord(&Cursor, true));
  EXPECT_NO_THROW(I.UpdateRecord(&Cursor, false));
  // A changed key whose old entry is missing is an error.
  New = Buffer({1, "b", 8});
  std::memcpy(Cursor.FCurrentRecordBuffer, New.data(), New.size());
  EXPECT_EQ(NativeCodeOf([&] { I.UpdateRecord(&Cursor, true); }), 20250);
  EXPECT_EQ(NativeCodeOf([&] { I.DeleteRecord(&Cursor); }), 20027);
  Cursor.FEditRecordBuffer = nullptr;
  EXPECT_EQ(Leaves(ID), std::vector<TQXLPageItemID>{R});
}

TEST_F(RecordIndexTest, EmptyLeavesAUsableTreeAndARebuildRefillsIt) {
  const std::int32_t ID = AddIndex("Name", {"Name"});
  Fill(200);
  ASSERT_GE(Depth(ID), 2);
  TQXLBTreeRecordIndex& I = Index(ID);
  I.EmptyIndex(0);
  EXPECT_TRUE(Leaves(ID).empty());
  EXPECT_EQ(Depth(ID), 0);
  const TQXLPageItemID Later = Insert({1000, "later", 1});
  EXPECT_EQ(Leaves(ID), std::vector<TQXLPageItemID>{Later});
  I.RebuildTemporaryIndex(&Cursor);
  CheckTree(ID);
  EXPECT_EQ(IdsOf(Leaves(ID)), ByName());
  EXPECT_EQ(Leaves(ID).size(), 201u);
  // Opened again from the table's definition, the index finds its new root.
  Table->IndexManager()->CloseIndex(ID);
  CheckTree(ID);
  EXPECT_EQ(IdsOf(Leaves(ID)), ByName());
}

// Random inserts, updates and deletes through the table against a model of
// the index: after every step the leaves hold exactly the model's records
// in key order, and the tree passes its integrity check.
TEST_F(RecordIndexTest, RandomChangesKeepTheIndexInStepWithAMultimap) {
  // Wide keys for a deep tree; most names tie on the 150 characters kept.
  const std::int32_t ID = AddIndex("Name", {"Name"}, false, 150);
  const std::string Prefix(155, 'p');
  std::mt19937 Random(20261211);
  std::multimap<std::string, std::int32_t> Model;  // name -> record position
  std::map<std::int32_t, std::string> Names;
  auto RandomName = [&] {
    const int Kind = Random() % 3;
    const std::string Tail = std::to_string(Random() % 60);
    return Kind == 0 ? Prefix + Tail : Kind == 1 ? std::string("q") + Tail : Prefix + "r" + Tail;
  };
  auto Erase = [&](std::int32_t Position) {
    auto [From, To] = Model.equal_range(Names[Position]);
    for (auto It = From; It != To; ++It)
      if (It->second == Position) return void(Model.erase(It));
  };
  std::int32_t Id = 0;
  for (int StepNo = 0; StepNo < 1200; ++StepNo) {
    const int Action = Names.empty() ? 0 : int(Random() % 10);
    if (Action < 5) {
      const std::string Name = RandomName();
      const TQXLPageItemID R = Insert({++Id, Name, 0});
      Model.emplace(Name, std::int32_t{R.PageNo});
      Names[std::int32_t{R.PageNo}] = Name;
    } else {
      auto It = Names.begin();
      std::advance(It, Random() % Names.size());
      const std::int32_t Position = It->first;
      Erase(Position);
      if (Action < 8) {
        const std::string Name = RandomName();
        Update({Position, 0}, {Stored({Position, 0}).Id, Name, 0});
        Model.emplace(Name, Position);
        Names[Position] = Name;
      } else {
        Delete({Position, 0});
        Names.erase(Position);
      }
    }
    std::vector<std::pair<std::string, std::int32_t>> Expected(Model.begin(), Model.end());
    std::sort(Expected.begin(), Expected.end());
    std::vector<std::int32_t> Positions;
    for (const TQXLPageItemID& R : Leaves(ID)) Positions.push_back(std::int32_t{R.PageNo});
    std::vector<std::int32_t> ExpectedPositions;
    for (const auto& [Name, Position] : Expected) ExpectedPositions.push_back(Position);
    ASSERT_EQ(Positions, ExpectedPositions) << "step " << StepNo;
    if (StepNo % 25 == 0) CheckTree(ID);
  }
  CheckTree(ID);
  EXPECT_GE(Depth(ID), 2);
}

}  // namespace
}  // namespace qxl::test
