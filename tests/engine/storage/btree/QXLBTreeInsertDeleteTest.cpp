// Changing B-trees: root splits in place, page splits, deletion with merges
// and separator upkeep, the refusal of keys too large for a page, and pages
// left without entries beside exactly full neighbours.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/storage/btree/QXLBTreeLeafController.h"
#include "engine/storage/btree/QXLPageKeyRef.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

struct TPageKeys : ::testing::Test {
  TDiskGeometryPageManager PM;  // 4038 entry bytes: 673 page-index entries exactly
  TQXLPageKeyRef KeyRef;
  TTestTree Tree{PM, KeyRef};

  void Add(std::int32_t Key, std::uint16_t Ref = 1) { Tree.Insert(&Key, &Ref); }
  bool Remove(std::int32_t Key, std::uint16_t Ref = 1) { return Tree.Delete(&Key, &Ref); }
  std::vector<std::int32_t> Keys() {
    std::vector<std::int32_t> Out;
    for (const auto& e : Tree.Walk()) {
      std::int32_t k;
      std::memcpy(&k, e.first.data(), 4);
      Out.push_back(k);
    }
    return Out;
  }
  std::int32_t FirstKey() {
    TQXLKeyPath Path;
    if (!Tree.Root().GetFirstPosition(0, Path)) return -1;
    std::int32_t k;
    std::memcpy(&k, Tree.EntryAt(Path).first.data(), 4);
    return k;
  }
};

TEST_F(TPageKeys, TheFirstOverflowSplitsTheRootInPlace) {
  for (std::int32_t i = 0; i < 673; ++i) Add(i);
  EXPECT_TRUE(Tree.Root().IsLeaf());
  Add(673);  // 674 entries: 337 left, 337 right
  TQXLBTreePage Root = Tree.Root();
  ASSERT_FALSE(Root.IsLeaf());
  EXPECT_TRUE(Root.IsRoot());
  ASSERT_EQ(Root.EntryCount(), 2);
  EXPECT_EQ(TBytes(Root.GetPKey(0), Root.GetPKey(0) + 4), TBytes(4, 0));
  EXPECT_EQ(TBytes(Root.GetPKey(1), Root.GetPKey(1) + 4), BytesOf<std::int32_t>(337));
  TQXLBTreePage A = Tree.Page(Root.ChildPageNo(0)), B = Tree.Page(Root.ChildPageNo(1));
  EXPECT_EQ(A.EntryCount(), 337);
  EXPECT_EQ(B.EntryCount(), 337);
  EXPECT_EQ(A.RightPageNo(), B.PageNo());
  EXPECT_EQ(B.LeftPageNo(), A.PageNo());
  EXPECT_FALSE(A.IsRoot());
}

TEST(BTreeSplit, AnOddCountSplitsWithTheLargerHalfOnTheRight) {
  // 11-byte entries: 370 fit in a memory page, the 371st splits the root.
  TQXLMemoryPageManager PM;
  TQXLKeyPartDef Def;
  Def.DataType = bftSignedInt32;
  Def.DataSize = 4;
  TQXLRecordKeyRef KeyRef;
  KeyRef.AssignParts({&Def, 1}, nullptr);
  KeyRef.ReferenceSize = 6;
  TTestTree Tree(PM, KeyRef);
  for (std::int32_t i = 0; i < 371; ++i) {
    std::uint8_t Key[5] = {0};
    std::memcpy(Key + 1, &i, 4);
    const TQXLPageItemID Ref{i, 0};
    Tree.Insert(Key, &Ref);
  }
  TQXLBTreePage Root = Tree.Root();
  ASSERT_EQ(Root.EntryCount(), 2);
  EXPECT_EQ(Tree.Page(Root.ChildPageNo(0)).EntryCount(), 185);
  EXPECT_EQ(Tree.Page(Root.ChildPageNo(1)).EntryCount(), 186);
  Root.Put();
  Tree.Check();
}

TEST_F(TPageKeys, AnEmptiedLeafBesideAnExactlyFullOneLeavesTheTree) {
  // Leaves of 337, 337 and more, keys 10 apart.
  for (std::int32_t i = 0; i < 2000; ++i) Add(10 * i);
  TQXLBTreePage Root = Tree.Root();
  const std::int32_t First = Root.ChildPageNo(0), Second = Root.ChildPageNo(1);
  const std::int32_t SecondLow = [&] {
    std::int32_t k;
    std::memcpy(&k, Tree.Page(Second).GetPKey(0), 4);
    return k;
  }();
  Root.Put();
  // Fill the second leaf to exactly 673 entries.
  for (std::int32_t i = 0; Tree.Page(Second).EntryCount() < 673; ++i) Add(SecondLow + 1 + 10 * i);
  ASSERT_EQ(Tree.Page(Second).EntryCount(), 673);
  // Empty the first leaf; nothing can merge into the full one until it is empty.
  std::vector<std::int32_t> FirstKeys;
  {
    TQXLBTreePage Leaf = Tree.Page(First);
    for (std::int32_t i = 0; i < Leaf.EntryCount(); ++i) {
      std::int32_t k;
      std::memcpy(&k, Leaf.GetPKey(i), 4);
      FirstKeys.push_back(k);
    }
  }
  for (std::int32_t k : FirstKeys) ASSERT_TRUE(Remove(k));
  EXPECT_EQ(FirstKey(), SecondLow);
  Tree.Check();
  TQXLBTreePage After = Tree.Root();
  for (std::int32_t i = 0; i < After.EntryCount(); ++i) EXPECT_NE(After.ChildPageNo(i), First);
  const std::vector<std::int32_t> Left = Keys();
  EXPECT_TRUE(std::is_sorted(Left.begin(), Left.end()));
  EXPECT_EQ(Left.front(), SecondLow);
}

TEST_F(TPageKeys, EqualKeysOrderByReferenceAndAllCanBeDeleted) {
  for (std::uint16_t r = 3000; r >= 1; --r) Add(42, r);
  Tree.Check();
  const auto Entries = Tree.Walk();
  ASSERT_EQ(Entries.size(), 3000u);
  // Two-byte references order by their bytes from the first on.
  for (std::size_t i = 1; i < Entries.size(); ++i)
    EXPECT_EQ(TQXLBTreeKeyRef::CompareReferences(Entries[i - 1].second.data(), Entries[i].second.data(), 2), -1);
  for (std::uint16_t r = 1; r <= 3000; r += 2) ASSERT_TRUE(Remove(42, r));
  EXPECT_FALSE(Remove(42, 1));
  EXPECT_FALSE(Remove(43, 2));
  Tree.Check();
  for (std::uint16_t r = 2; r <= 3000; r += 2) ASSERT_TRUE(Remove(42, r));
  EXPECT_TRUE(Tree.Walk().empty());
}

TEST_F(TPageKeys, DeletingEverythingLeavesOneEmptyRootLeaf) {
  for (std::int32_t i = 0; i < 20000; ++i) Add((i * 7919) % 20000);
  PM.ApplyChanges(0);
  ASSERT_GE(Tree.Depth(), 2);
  for (std::int32_t i = 0; i < 20000; ++i) ASSERT_TRUE(Remove((i * 104729) % 20000)) << i;
  PM.ApplyChanges(0);
  TQXLBTreePage Root = Tree.Root();
  EXPECT_TRUE(Root.IsLeaf());
  EXPECT_TRUE(Root.IsRoot());
  EXPECT_EQ(Root.EntryCount(), 0);
  EXPECT_EQ(Root.PageNo(), Tree.RootNo);
  EXPECT_EQ(PM.GetPageCount(), 1);
}

TEST_F(TPageKeys, DeletingTheLowestKeysKeepsEverySearchWorking) {
  for (std::int32_t i = 0; i < 5000; ++i) Add(i);
  for (std::int32_t i = 0; i < 2500; ++i) {
    ASSERT_TRUE(Remove(i));
    if (i % 250 == 0) {
      Tree.Check();
      EXPECT_EQ(FirstKey(), i + 1);
    }
  }
  for (std::int32_t k = 2500; k < 5000; k += 97) {
    TQXLKeyPath Path;
    const std::uint16_t Ref = 1;
    EXPECT_TRUE(Tree.Root().FindEntry(0, reinterpret_cast<const std::uint8_t*>(&k),
                                      reinterpret_cast<const std::uint8_t*>(&Ref), Path));
  }
}

TEST_F(TPageKeys, WrongPageKindsAndEmptyPagesRaise) {
  TQXLBTreePage Root = Tree.Root();
  TQXLBTreeLeafController Leaf(Root);
  EXPECT_EQ(NativeCodeOf([&] { Leaf.DeleteEntryAt(0); }), 20025);
  TQXLKeyPath Path;
  const std::int32_t Child = 1;
  EXPECT_EQ(NativeCodeOf([&] { Root.InsertNodeEntry(0, nullptr, reinterpret_cast<const std::uint8_t*>(&Child), Path); }),
            20020);
  EXPECT_EQ(NativeCodeOf([&] { Root.DeleteNodeEntry(0, Path, true); }), 20024);
}

TEST(BTreeKeySize, FewerThanThreeEntriesPerPageAreRefused) {
  struct Case {
    std::int32_t DataSize;
    bool Disk;
    bool Refused;
  } Cases[] = {
      {1340, false, false}, {1400, false, true}, {1330, true, false}, {1340, true, true}, {70000, false, true},
  };
  for (const Case& c : Cases) {
    TQXLMemoryPageManager Memory;
    TDiskGeometryPageManager Disk;
    TQXLPageManager& PM = c.Disk ? static_cast<TQXLPageManager&>(Disk) : Memory;
    TQXLKeyPartDef Def;
    Def.DataType = bftBytes;
    Def.DataSize = c.DataSize;
    Def.MaxIndexedSize = c.DataSize;
    TQXLRecordKeyRef KeyRef;
    KeyRef.AssignParts({&Def, 1}, nullptr);
    KeyRef.ReferenceSize = 6;
    const std::int32_t Code = NativeCodeOf([&] { TTestTree Tree(PM, KeyRef); });
    EXPECT_EQ(Code, c.Refused ? 20311 : 0) << c.DataSize << (c.Disk ? " disk" : " memory");
    PM.CancelChanges(0);
  }
}

}  // namespace
}  // namespace qxl::test
