// Memory tables with the indexes their database makes: a cursor walking an
// index both ways and by record number, stepping past a record another
// cursor deleted, ranges, unique keys with NULL, DISTINCT, Locate through an
// index range, and FindKey on keys that tie on their indexed prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/core/QXLTestExpression.h"
#include "tests/engine/storage/btree/RecordIndexFixture.h"

using namespace qxl;

namespace qxl::test {
namespace {

class MemoryRealIndexTest : public RecordIndexFixture {
protected:
  std::vector<std::vector<std::uint8_t>> Keys;

  void UseIndex(std::int32_t IndexID) {
    Cursor.FIndexID = IndexID;
    Cursor.FIndexPositionCache = std::make_unique<TQXLIndexPositionCache>();
  }
  std::uint8_t* Key(const TRow& Row) {
    Keys.push_back(Buffer(Row));
    return Keys.back().data();
  }
  // Records with names "n00".."n29" stored in a shuffled order; the ID is
  // the name's number.
  void InsertShuffled() {
    for (std::int32_t i = 0; i < 30; ++i) {
      const std::int32_t n = (i * 7) % 30;
      char Name[8];
      std::snprintf(Name, sizeof Name, "n%02d", n);
      Insert({n, Name, n % 3});
    }
  }
};

}  // namespace

TEST_F(MemoryRealIndexTest, ACursorWalksItsIndexBothWaysAndByRecordNumber) {
  const std::int32_t ByName = AddIndex("Name", {"Name"});
  InsertShuffled();
  UseIndex(ByName);
  EXPECT_EQ(Walk(grmNext), Range(0, 29));
  EXPECT_EQ(Walk(grmPrior), Range(29, 0));
  Table->SetRecNo(&Cursor, 12);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, 11);
  EXPECT_EQ(Table->GetRecNo(&Cursor), 12);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, 12);
}

TEST_F(MemoryRealIndexTest, StepsFromARecordAnotherCursorDeletedLandOnItsNeighbours) {
  const std::int32_t ByGrp = AddIndex("Grp", {"Grp", "Name"});
  InsertShuffled();
  UseIndex(ByGrp);
  // Order: group 0 (n00, n03, ...), group 1, group 2.
  Cursor.FirstPosition = true;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmNext), grrOK);
  ASSERT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, 9);
  const TQXLPageItemID Gone = Cursor.CurrentRecordID;
  MemoryCursor Other{"Tasks"};
  Open(Other);
  Other.CurrentRecordID = Gone;
  ASSERT_TRUE(Table->DeleteRecord(&Other));
  Table->CloseTable(&Other);
  for (const auto& [Mode, Expected] : {std::pair{grmNext, 12}, std::pair{grmPrior, 6}}) {
    Cursor.CurrentRecordID = Gone;
    Cursor.FirstPosition = Cursor.LastPosition = false;
    std::memcpy(Cursor.FCurrentRecordBuffer, Buffer({9, "n09", 0}).data(), static_cast<std::size_t>(Cursor.FRecordBufferSize));
    ASSERT_EQ(Table->GetRecordBuffer(&Cursor, Mode), grrOK);
    EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, Expected);
  }
}

TEST_F(MemoryRealIndexTest, RangesOnTheCursorsIndexShowOnlyTheirRecords) {
  const std::int32_t ByName = AddIndex("Name", {"Name"});
  InsertShuffled();
  const struct {
    const char *From, *To;
    bool FromExclusive, ToExclusive;
    std::vector<std::int32_t> Expected;
  } Cases[] = {
      {"n05", "n09", false, false, Range(5, 9)},
      {"n05", "n09", true, true, Range(6, 8)},
      {"n28", "n99", false, false, Range(28, 29)},
      {"n10", "n05", false, false, {}},
  };
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  for (const auto& c : Cases) {
    UseIndex(ByName);
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    Cursor.ApplyRange(Key({0, c.From, 0}), Key({0, c.To, 0}), 1, 1, c.FromExclusive, c.ToExclusive);
    EXPECT_EQ(Walk(grmNext), c.Expected) << c.From << ".." << c.To;
    std::vector<std::int32_t> Backward(c.Expected.rbegin(), c.Expected.rend());
    EXPECT_EQ(Walk(grmPrior), Backward) << c.From << ".." << c.To;
    EXPECT_EQ(Table->GetRecordCount(&Cursor), std::int64_t(c.Expected.size()));
    Cursor.ResetRange();
  }
}

// Runs of equal keys, NULLs and bounds that fall inside, between and outside
// the stored keys, walked both ways from each end, against a model of the
// table; records leave the table between rounds.
TEST_F(MemoryRealIndexTest, RangesOverRunsOfEqualKeysShowWhatAModelShows) {
  const std::int32_t ByGrp = AddIndex("Grp", {"Grp"});
  std::mt19937 Rng(20261211);
  std::map<std::int32_t, std::optional<std::int32_t>> Model;
  std::map<std::int32_t, TQXLPageItemID> Stored;
  for (std::int32_t Id = 0; Id < 150; ++Id) {
    const std::optional<std::int32_t> Grp =
        Rng() % 15 == 0 ? std::nullopt : std::optional<std::int32_t>(static_cast<std::int32_t>(Rng() % 12));
    Stored[Id] = Insert({Id, "x", Grp});
    Model[Id] = Grp;
  }
  UseIndex(ByGrp);
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  for (int Round = 0; Round < 80; ++Round) {
    const std::int32_t From = static_cast<std::int32_t>(Rng() % 14) - 1;
    const std::int32_t To = From + static_cast<std::int32_t>(Rng() % 5);
    const bool FromExclusive = Rng() % 2 == 0, ToExclusive = Rng() % 2 == 0;
    std::vector<std::int32_t> Expected;
    for (const auto& [Id, Grp] : Model)
      if (Grp && (FromExclusive ? *Grp > From : *Grp >= From) && (ToExclusive ? *Grp < To : *Grp <= To))
        Expected.push_back(Id);
    Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
    Cursor.ApplyRange(Key({0, "", From}), Key({0, "", To}), 1, 1, FromExclusive, ToExclusive);
    const std::vector<std::int32_t> Forward = Walk(grmNext);
    const std::vector<std::int32_t> Backward = Walk(grmPrior);
    Cursor.ResetRange();
    const std::string Case = std::to_string(From) + (FromExclusive ? "<" : "<=") + "g" + (ToExclusive ? "<" : "<=") +
                             std::to_string(To);
    std::vector<std::int32_t> Found = Forward;
    std::sort(Found.begin(), Found.end());
    EXPECT_EQ(Found, Expected) << Case;
    EXPECT_TRUE(std::is_sorted(Forward.begin(), Forward.end(),
                               [&](std::int32_t A, std::int32_t B) { return *Model[A] < *Model[B]; }))
        << Case;
    EXPECT_EQ(Backward, std::vector<std::int32_t>(Forward.rbegin(), Forward.rend())) << Case;
    if (Round % 4 == 3) {
      const auto Gone = std::next(Model.begin(), static_cast<std::ptrdiff_t>(Rng() % Model.size()));
      Cursor.CurrentRecordID = Stored[Gone->first];
      ASSERT_TRUE(Table->DeleteRecord(&Cursor));
      Model.erase(Gone);
    }
  }
}

TEST_F(MemoryRealIndexTest, AUniqueIndexRefusesASecondEqualKeyNullIncluded) {
  const std::int32_t Unique = AddIndex("Grp", {"Grp"}, true);
  const TQXLPageItemID One = Insert({1, "a", 1});
  const TQXLPageItemID Null = Insert({2, "b", std::nullopt});
  const struct {
    TRow Row;
    bool Failed;
  } Inserts[] = {{{3, "c", 1}, true}, {{3, "c", 2}, false}, {{3, "c", std::nullopt}, true}};
  for (const auto& c : Inserts)
    EXPECT_EQ(Table->IsUniqueConstraintFailed(0, Unique, Buffer(c.Row).data(), nullptr, true, {}), c.Failed);
  const std::vector<std::uint8_t> OneNow = Buffer(Stored(One)), NullNow = Buffer(Stored(Null));
  EXPECT_FALSE(Table->IsUniqueConstraintFailed(0, Unique, Buffer({1, "renamed", 1}).data(), OneNow.data(), false, One));
  EXPECT_TRUE(Table->IsUniqueConstraintFailed(0, Unique, Buffer({2, "b", 1}).data(), NullNow.data(), false, Null));
  // NULL orders before every value.
  Insert({4, "d", 2});
  EXPECT_EQ(IdsOf(Leaves(Unique)), (std::vector<std::int32_t>{2, 1, 4}));
}

TEST_F(MemoryRealIndexTest, DistinctShowsTheFirstRecordOfEachGroupInIndexOrder) {
  const std::int32_t ByGrp = AddIndex("GrpName", {"Grp", "Name"});
  InsertShuffled();
  UseIndex(ByGrp);
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  Cursor.FDistinctFieldCount = 1;
  EXPECT_EQ(Walk(grmNext), (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(Table->GetRecordCount(&Cursor), 3);
  Cursor.FDistinctFieldCount = 0;
}

// Whole 300-character names in the keys leave room for a dozen entries on a
// page, so a few thousand records make an index of four levels: a range, a
// DISTINCT view and record numbers on it show what a model of the table shows.
TEST_F(MemoryRealIndexTest, ViewsOfAFourLevelIndexCountNumberAndDistinguishTheirRecords) {
  const std::int32_t ByGrpName = AddIndex("GrpName", {"Grp", "Name"}, false, NameSize);
  std::mt19937 Rng(404);
  std::map<std::pair<std::int32_t, std::string>, std::int32_t> Model;  // (Grp, Name) -> ID, in index order
  for (std::int32_t Id = 0; Id < 2500; ++Id) {
    const auto Grp = static_cast<std::int32_t>(Rng() % 40);
    const std::string Name = std::string(250, 'q') + std::to_string(Rng() % 100000) + "-" + std::to_string(Id);
    Insert({Id, Name, Grp});
    Model[{Grp, Name}] = Id;
  }
  ASSERT_GE(Depth(ByGrpName), 4);
  UseIndex(ByGrpName);
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;

  // Groups 10 to 14: the view's count, its records both ways, and record numbers both ways.
  std::vector<std::int32_t> Expected;
  for (const auto& [Key, Id] : Model)
    if (Key.first >= 10 && Key.first <= 14) Expected.push_back(Id);
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  Cursor.ApplyRange(Key({0, "", 10}), Key({0, "", 14}), 1, 1, false, false);
  EXPECT_EQ(Table->GetRecordCount(&Cursor), std::int64_t(Expected.size()));
  EXPECT_EQ(Walk(grmNext), Expected);
  EXPECT_EQ(Walk(grmPrior), std::vector<std::int32_t>(Expected.rbegin(), Expected.rend()));
  for (std::int64_t RecNo : {std::int64_t{1}, std::int64_t(Expected.size() / 2), std::int64_t(Expected.size())}) {
    Table->SetRecNo(&Cursor, RecNo);
    ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
    EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, Expected[static_cast<std::size_t>(RecNo - 1)]) << RecNo;
    EXPECT_EQ(Table->GetRecNo(&Cursor), RecNo);
  }
  Cursor.ResetRange();

  // DISTINCT on the group: the first record of each group, in index order.
  std::vector<std::int32_t> Firsts;
  for (auto It = Model.begin(); It != Model.end(); It = Model.lower_bound({It->first.first + 1, ""}))
    Firsts.push_back(It->second);
  Cursor.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(Table);
  Cursor.FDistinctFieldCount = 1;
  EXPECT_EQ(Walk(grmNext), Firsts);
  EXPECT_EQ(Table->GetRecordCount(&Cursor), std::int64_t(Firsts.size()));
  Table->SetRecNo(&Cursor, 25);
  ASSERT_EQ(Table->GetRecordBuffer(&Cursor, grmCurrent), grrOK);
  EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, Firsts[24]);
  EXPECT_EQ(Table->GetRecNo(&Cursor), 25);
  Cursor.FDistinctFieldCount = 0;
}

TEST_F(MemoryRealIndexTest, LocateWalksAnIndexRangeAndFindKeySettlesCutKeys) {
  const std::int32_t ByName = AddIndex("Name", {"Name"}, false, 12);
  std::map<std::string, std::int32_t> Names;
  for (std::int32_t i = 0; i < 20; ++i) {
    const std::string Name = LongName(std::string(1, char('a' + (i * 3) % 20)));
    Insert({i, Name, 0});
    Names[Name] = i;
  }
  // Locate: the first record, in physical order, whose name is at least
  // LongName("m"), found through a bound the expression lays on the index.
  TestExpression AtLeastM;
  AtLeastM.AddNode(nullptr);
  const std::string From = LongName("m");
  AtLeastM.OnCreateIndexScanConditions = [&](TQXLIndexDefs*, TQXLScanSearchConditionArray* List, std::int32_t) {
    TQXLScanSearchCondition c(true);
    c.IndexID = ByName;
    c.Condition = scGreaterEqual;
    c.KeyRecordBuffer = Key({0, From, 0});
    c.KeyRecordBufferSize = Cursor.FRecordBufferSize;
    c.KeyFieldCount = 1;
    c.CreatedFromExpression = true;
    List->AddCondition(c);
  };
  AtLeastM.Result = true;
  Cursor.FirstPosition = true;
  ASSERT_TRUE(Table->Locate(&Cursor, &AtLeastM));
  std::int32_t FirstStored = 1000;
  for (const auto& [Name, Id] : Names)
    if (Name >= From) FirstStored = std::min(FirstStored, Id);
  EXPECT_EQ(RowOf(Cursor.FCurrentRecordBuffer).Id, FirstStored);
  // FindKey in the cursor's index: equal and at-or-after on names that agree
  // on every indexed character.
  UseIndex(ByName);
  Cursor.FKeyBufferSize = Cursor.FRecordBufferSize;
  Cursor.FKeyFieldCount = 1;
  const struct {
    std::string Key;
    TQXLSearchCondition Condition;
    std::optional<std::string> Expected;
  } Cases[] = {
      {LongName("g"), scEqual, LongName("g")},
      {LongName("gg"), scEqual, std::nullopt},
      {LongName("gg"), scGreaterEqual, LongName("h")},
      {LongName("t"), scGreaterEqual, LongName("t")},
      {LongName("u"), scGreaterEqual, std::nullopt},
  };
  for (const auto& c : Cases) {
    Cursor.FKeyBuffer = Key({0, c.Key, 0});
    const bool Found = Table->FindKey(&Cursor, c.Condition);
    ASSERT_EQ(Found, c.Expected.has_value()) << c.Key;
    if (Found) {
      EXPECT_EQ(Stored(Cursor.CurrentRecordID).Name, *c.Expected) << c.Key;
    }
  }
  Cursor.FKeyBuffer = nullptr;
}

}  // namespace qxl::test
