// Searching B-trees without changing them: the binary search within a page,
// first and last entries by condition in a leaf and across nodes (cut text
// keys sharing prefixes among them), entries by reference, freeing a tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/storage/btree/QXLBTreeLeafController.h"
#include "engine/storage/btree/QXLPageKeyRef.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

const TQXLSearchCondition AllConditions[] = {scNone, scEqual, scLower, scGreater, scLowerEqual, scGreaterEqual};

// The position a condition finds in a sorted list, or -1.
int Expected(const std::vector<std::int32_t>& Keys, TQXLSearchCondition Op, std::int32_t Key, bool First) {
  auto Meets = [&](std::int32_t k) {
    switch (Op) {
      case scNone: return true;
      case scEqual: return k == Key;
      case scLower: return k < Key;
      case scGreater: return k > Key;
      case scLowerEqual: return k <= Key;
      case scGreaterEqual: return k >= Key;
    }
    return false;
  };
  const int n = static_cast<int>(Keys.size());
  for (int i = 0; i < n; ++i) {
    const int j = First ? i : n - 1 - i;
    if (Meets(Keys[static_cast<std::size_t>(j)])) return j;
  }
  return -1;
}

struct TPageKeyTree : ::testing::Test {
  TQXLMemoryPageManager PM;
  TQXLPageKeyRef KeyRef;
  TTestTree Tree{PM, KeyRef};
  std::uint16_t NextRef = 1;

  void Add(std::int32_t Key) {
    const std::uint16_t Ref = NextRef++;
    Tree.Insert(&Key, &Ref);
  }
  // The key at the position a condition finds, or -1 when it finds none.
  int Find(TQXLSearchCondition Op, std::int32_t Key, bool First) {
    TQXLKeyPath Path;
    if (!Tree.Root().FindByCondition(0, First, reinterpret_cast<const std::uint8_t*>(&Key), Op, Path)) return -1;
    std::int32_t Found;
    std::memcpy(&Found, Tree.EntryAt(Path).first.data(), 4);
    return Found;
  }
};

TEST_F(TPageKeyTree, AnEmptyTreeFindsNothing) {
  TQXLKeyPath Path;
  EXPECT_FALSE(Tree.Root().GetFirstPosition(0, Path));
  EXPECT_FALSE(Tree.Root().GetLastPosition(0, Path));
  const std::int32_t Key = 5;
  const std::uint16_t Ref = 1;
  for (TQXLSearchCondition Op : AllConditions)
    for (bool First : {true, false}) EXPECT_EQ(Find(Op, Key, First), -1);
  EXPECT_FALSE(Tree.Root().FindEntry(0, reinterpret_cast<const std::uint8_t*>(&Key),
                                     reinterpret_cast<const std::uint8_t*>(&Ref), Path));
}

TEST_F(TPageKeyTree, SearchPositionInOneLeaf) {
  for (std::int32_t k : {10, 20, 20, 20, 30}) Add(k);
  TQXLBTreePage Root = Tree.Root();
  TQXLBTreeLeafController Leaf(Root);
  struct Case {
    std::int32_t Key;
    TQXLSearchMode Mode;
    int Result, Position;
  } Cases[] = {
      {20, smFirstEqual, QXLSearchFound, 1}, {20, smLastEqual, QXLSearchFound, 3}, {10, smLastEqual, QXLSearchFound, 0},
      {30, smFirstEqual, QXLSearchFound, 4}, {5, smAnyEqual, QXLSearchNotFound, 0}, {25, smFirstEqual, QXLSearchNotFound, 4},
      {35, smLastEqual, QXLSearchNotFound, 5},
  };
  for (const Case& c : Cases) {
    std::int32_t p;
    EXPECT_EQ(Leaf.SearchPosition(true, 0, reinterpret_cast<const std::uint8_t*>(&c.Key), nullptr, 0, c.Mode, p),
              c.Result);
    EXPECT_EQ(p, c.Position) << c.Key << " mode " << int(c.Mode);
  }
  // With a reference the search lands on that very entry.
  const std::int32_t Key = 20;
  const std::uint16_t Ref = 4;
  std::int32_t p;
  EXPECT_EQ(Leaf.SearchPosition(true, 0, reinterpret_cast<const std::uint8_t*>(&Key),
                                reinterpret_cast<const std::uint8_t*>(&Ref), 0, smAnyEqual, p),
            QXLSearchFound);
  EXPECT_EQ(p, 3);
}

TEST_F(TPageKeyTree, FindByConditionInOneLeaf) {
  for (std::int32_t k : {10, 20, 20, 20, 30}) Add(k);
  struct Case {
    TQXLSearchCondition Op;
    std::int32_t Key;
    int First, Last;  // positions, -1 for none
  } Cases[] = {
      {scNone, 0, 0, 4},         {scEqual, 20, 1, 3},        {scLower, 20, 0, 0},     {scGreater, 20, 4, 4},
      {scLowerEqual, 20, 0, 3},  {scGreaterEqual, 20, 1, 4}, {scGreater, 30, -1, -1}, {scLower, 10, -1, -1},
      {scEqual, 25, -1, -1},     {scLowerEqual, 5, -1, -1},  {scGreaterEqual, 31, -1, -1},
  };
  for (const Case& c : Cases)
    for (bool First : {true, false}) {
      TQXLKeyPath Path;
      const bool Found = Tree.Root().FindByCondition(0, First, reinterpret_cast<const std::uint8_t*>(&c.Key), c.Op, Path);
      const int Want = First ? c.First : c.Last;
      EXPECT_EQ(Found, Want >= 0) << int(c.Op) << " " << c.Key << " first " << First;
      if (Found && Want >= 0) {
        EXPECT_EQ(Path.Item(0).EntryNo, Want);
      }
    }
}

// Duplicates span many leaves and nodes: every condition, first and last,
// agrees with a scan of the sorted keys.
TEST_F(TPageKeyTree, FindByConditionAcrossNodesAgreesWithAScan) {
  std::vector<std::int32_t> Keys;
  for (std::int32_t i = 0; i < 4000; ++i) Keys.push_back((i * 7919) % 1000 / 4 * 2);  // even keys, 4 copies each
  for (std::int32_t k : Keys) Add(k);
  std::sort(Keys.begin(), Keys.end());
  ASSERT_GE(Tree.Depth(), 2);
  Tree.Check();
  for (std::int32_t Key = -1; Key <= 501; Key += 3)
    for (TQXLSearchCondition Op : AllConditions)
      for (bool First : {true, false}) {
        const int Want = Expected(Keys, Op, Key, First);
        EXPECT_EQ(Find(Op, Key, First), Want < 0 ? -1 : Keys[static_cast<std::size_t>(Want)])
            << int(Op) << " " << Key << " first " << First;
      }
}

TEST_F(TPageKeyTree, FindEntryByKeyAndByReferenceAlone) {
  for (std::int32_t i = 0; i < 3000; ++i) Add(i % 50);
  for (std::uint16_t Ref : {1, 777, 3000}) {
    const std::int32_t Key = (Ref - 1) % 50;
    TQXLKeyPath ByKey, ByRef;
    ASSERT_TRUE(Tree.Root().FindEntry(0, reinterpret_cast<const std::uint8_t*>(&Key),
                                      reinterpret_cast<const std::uint8_t*>(&Ref), ByKey));
    ASSERT_TRUE(Tree.Root().FindEntry(0, nullptr, reinterpret_cast<const std::uint8_t*>(&Ref), ByRef));
    EXPECT_EQ(ByKey.Compare(ByRef), 0);
    EXPECT_EQ(ByKey.Count(), Tree.Depth());
    EXPECT_EQ(Tree.EntryAt(ByKey).second, BytesOf(Ref));
  }
  const std::int32_t Key = 3;
  const std::uint16_t Missing = 9999, Other = 5;  // 5 holds key 4
  TQXLKeyPath Path;
  EXPECT_FALSE(Tree.Root().FindEntry(0, reinterpret_cast<const std::uint8_t*>(&Key),
                                     reinterpret_cast<const std::uint8_t*>(&Missing), Path));
  EXPECT_FALSE(Tree.Root().FindEntry(0, reinterpret_cast<const std::uint8_t*>(&Key),
                                     reinterpret_cast<const std::uint8_t*>(&Other), Path));
}

TEST_F(TPageKeyTree, FreeAllPagesKeepsTheRootOrNothing) {
  for (std::int32_t i = 0; i < 3000; ++i) Add(i);
  PM.ApplyChanges(0);
  ASSERT_GT(PM.GetPageCount(), 3);
  Tree.Root().FreeAllPages(0, true);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 1);
  EXPECT_TRUE(PM.IsPageInUse(Tree.RootNo));
  {
    TQXLBTreePage Root = Tree.Root();
    Root.InitAsRoot();
    Root.MarkDirty();
  }
  for (std::int32_t i = 0; i < 3000; ++i) Add(i);
  Tree.Root().FreeAllPages(0, false);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 0);
}

// Text keys cut to 20 bytes that all share that prefix: node separators tie
// with every search value, yet strict conditions must find the entries just
// below and above it, which lie in children beyond the boundary.
struct TCutTextTree : ::testing::Test {
  static constexpr std::int32_t DataSize = 41;
  TQXLMemoryPageManager PM;
  TFakeRecordSource Source{DataSize + 1};
  TQXLRecordKeyRef KeyRef;
  std::unique_ptr<TTestTree> Tree;
  std::vector<std::string> Values;
  const std::string Prefix = "abcdefghijklmnopqrst";

  void SetUp() override {
    AssignCutTextKey(KeyRef, Source, DataSize);
    Tree = std::make_unique<TTestTree>(PM, KeyRef);
    for (int i = 0; i < 1000; ++i) {
      char Tail[8];
      std::snprintf(Tail, sizeof Tail, "k%04d", i);
      Add(Prefix + Tail, i);
    }
  }
  TBytes RecordOf(const std::string& Value) {
    TBytes R(DataSize + 1, 0);
    std::memcpy(R.data() + 1, Value.data(), Value.size());
    return R;
  }
  void Add(const std::string& Value, int i) {
    const TQXLPageItemID Ref{i + 1, 0};
    Source.Records[TFakeRecordSource::Id(Ref)] = RecordOf(Value);
    TBytes Key(static_cast<std::size_t>(KeyRef.ShortKeySize));
    const TBytes Record = RecordOf(Value);
    KeyRef.MakeShortKeyFromRecordBuffer(Record.data(), Key.data());
    Tree->Insert(Key.data(), &Ref);
    Values.push_back(Value);
  }
  // The value found for a condition, "" for none.
  std::string Find(const std::string& Value, TQXLSearchCondition Op, bool First) {
    const TBytes Record = RecordOf(Value);
    TBytes Key(static_cast<std::size_t>(KeyRef.ShortKeySize));
    KeyRef.MakeShortKeyFromRecordBuffer(Record.data(), Key.data());
    TQXLKeyPath Path;
    if (!Tree->Root().FindByCondition(0, First, Key.data(), Op, Path)) return "";
    TQXLPageItemID Ref;
    std::memcpy(&Ref, Tree->EntryAt(Path).second.data(), 6);
    return Values[static_cast<std::size_t>(Ref.PageNo - 1)];
  }
};

TEST_F(TCutTextTree, StrictConditionsLookBeyondTiedSeparators) {
  ASSERT_GE(Tree->Depth(), 2);
  Tree->Check();
  EXPECT_EQ(Find(Prefix + "k0500", scLower, false), Prefix + "k0499");
  EXPECT_EQ(Find(Prefix + "k0500", scGreater, true), Prefix + "k0501");
  EXPECT_EQ(Find(Prefix + "k0500", scLower, true), Prefix + "k0000");
  EXPECT_EQ(Find(Prefix + "k0500", scGreater, false), Prefix + "k0999");
  EXPECT_EQ(Find(Prefix + "k0500", scLowerEqual, false), Prefix + "k0500");
  EXPECT_EQ(Find(Prefix + "k0500", scGreaterEqual, true), Prefix + "k0500");
  EXPECT_EQ(Find(Prefix + "k0500", scEqual, true), Prefix + "k0500");
  EXPECT_EQ(Find(Prefix + "k05001", scEqual, true), "");
  EXPECT_EQ(Find(Prefix + "k0000", scLower, false), "");
  EXPECT_EQ(Find(Prefix + "k0999", scGreater, true), "");
  EXPECT_EQ(Find(Prefix, scLower, false), "");
  EXPECT_EQ(Find(Prefix, scGreater, true), Prefix + "k0000");
}

}  // namespace
}  // namespace qxl::test
