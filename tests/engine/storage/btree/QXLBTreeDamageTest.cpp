// Damaged index pages: wrong page types, impossible entry counts and child
// numbers are refused with engine errors, and the integrity check names each
// kind of broken order or link instead of crashing.
#include <gtest/gtest.h>

#include <functional>

#include "engine/storage/btree/QXLPageKeyRef.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

// Keys of 1001 bytes: four entries a page, so that a few hundred entries make
// a tree of several levels.
struct TBigKeyTree {
  static constexpr std::int32_t DataSize = 1000;
  TDiskGeometryPageManager PM;
  TQXLRecordKeyRef KeyRef;
  std::unique_ptr<TTestTree> Tree;

  TBigKeyTree() {
    TQXLKeyPartDef Def;
    Def.DataType = bftBytes;
    Def.DataSize = DataSize;
    Def.MaxIndexedSize = DataSize;
    KeyRef.AssignParts({&Def, 1}, nullptr);
    KeyRef.ReferenceSize = 6;
    Tree = std::make_unique<TTestTree>(PM, KeyRef);
    for (std::int32_t i = 0; i < 300; ++i) {
      const TBytes Key = KeyOf(i);
      const TQXLPageItemID Ref{i, 0};
      Tree->Insert(Key.data(), &Ref);
    }
  }
  static TBytes KeyOf(std::int32_t i) {
    TBytes Key(DataSize + 1, 0);
    std::snprintf(reinterpret_cast<char*>(Key.data()) + 1, 8, "%05d", i);
    return Key;
  }
  // The first page of each level under the root, root first.
  std::vector<std::int32_t> LeftEdge() {
    std::vector<std::int32_t> Pages{Tree->RootNo};
    for (;;) {
      TQXLBTreePage Page = Tree->Page(Pages.back());
      if (Page.IsLeaf()) return Pages;
      Pages.push_back(Page.ChildPageNo(0));
    }
  }
};

TEST(BTreeDamage, TheIntegrityCheckNamesEachDamage) {
  using TDamage = std::function<void(TBigKeyTree&, std::vector<std::int32_t>&)>;
  struct Case {
    const char* Name;
    TDamage Damage;
    std::int32_t Code;
  } Cases[] = {
      {"leaf order",
       [](TBigKeyTree& t, auto& e) {
         TQXLBTreePage Leaf = t.Tree->Page(e.back());
         Leaf.MarkDirty();
         std::swap_ranges(Leaf.GetPKey(0), Leaf.GetPKey(0) + Leaf.EntrySize(), Leaf.GetPKey(1));
       },
       20028},
      {"left link",
       [](TBigKeyTree& t, auto& e) {
         const std::int32_t Second = t.Tree->Page(e[e.size() - 2]).ChildPageNo(1);
         t.Tree->Page(Second).SetLeftPageNo(5000);
       },
       20033},
      {"right link", [](TBigKeyTree& t, auto& e) { t.Tree->Page(e.back()).SetRightPageNo(5000); }, 20034},
      {"separator above the first entry of its child",
       [](TBigKeyTree& t, auto& e) {
         TQXLBTreePage Node = t.Tree->Page(e[e.size() - 2]);
         const TBytes High = TBigKeyTree::KeyOf(99999);
         Node.UpdateKey(1, High.data());
       },
       20031},
      {"separator below the child before",
       [](TBigKeyTree& t, auto& e) {
         TQXLBTreePage Node = t.Tree->Page(e[e.size() - 2]);
         Node.UpdateKey(Node.EntryCount() - 1, TBigKeyTree::KeyOf(0).data());
       },
       20030},
      {"circular child",
       [](TBigKeyTree& t, auto& e) {
         TQXLBTreePage Node = t.Tree->Page(e[e.size() - 2]);
         const std::int32_t Parent = e[e.size() - 3];
         Node.MarkDirty();
         std::memcpy(Node.GetPReference(0), &Parent, 4);
       },
       20032},
      {"entry count beyond the page", [](TBigKeyTree& t, auto& e) { t.Tree->Page(e.back()).SetEntryCount(60000); }, 20310},
      {"negative child",
       [](TBigKeyTree& t, auto& e) {
         const std::int32_t Bad = -7;
         TQXLBTreePage Node = t.Tree->Page(e[e.size() - 2]);
         Node.MarkDirty();
         std::memcpy(Node.GetPReference(0), &Bad, 4);
       },
       20310},
      {"child outside the file",
       [](TBigKeyTree& t, auto& e) {
         const std::int32_t Bad = 1 << 24;
         TQXLBTreePage Node = t.Tree->Page(e[e.size() - 2]);
         Node.MarkDirty();
         std::memcpy(Node.GetPReference(0), &Bad, 4);
       },
       10392},
      {"not a leaf and not a node",
       [](TBigKeyTree& t, auto& e) {
         TQXLBTreePage Leaf = t.Tree->Page(e.back());
         Leaf.MarkDirty();
         Leaf.Page()->PageData()[1] = 7;
       },
       20310},
  };
  for (const Case& c : Cases) {
    TBigKeyTree t;
    std::vector<std::int32_t> Edge = t.LeftEdge();
    ASSERT_GE(Edge.size(), 3u);
    c.Damage(t, Edge);
    EXPECT_EQ(NativeCodeOf([&] { t.Tree->Check(); }), c.Code) << c.Name;
    // Searches over the damage end in an error or an answer, never a crash.
    for (std::int32_t k : {0, 150, 299}) {
      const TBytes Key = TBigKeyTree::KeyOf(k);
      const TQXLPageItemID Ref{k, 0};
      TQXLKeyPath Path;
      NativeCodeOf([&] { t.Tree->Root().FindEntry(0, Key.data(), reinterpret_cast<const std::uint8_t*>(&Ref), Path); });
      NativeCodeOf([&] { t.Tree->Delete(Key.data(), &Ref); });
      NativeCodeOf([&] { t.Tree->Insert(Key.data(), &Ref); });
    }
  }
}

TEST(BTreeDamage, APageOfAnotherTypeIsNoIndexPage) {
  TDiskGeometryPageManager PM;
  PM.SetCacheCapacity(0);  // read afresh, as from the file
  TQXLPage* Page = PM.AddPage(0, 10);
  const std::int32_t PageNo = Page->PageNo();
  PM.PutPage(Page);
  PM.ApplyChanges(0);
  TQXLPageKeyRef KeyRef;
  EXPECT_EQ(NativeCodeOf([&] { TQXLBTreePage::Fetch(&PM, &KeyRef, 0, PageNo); }), 20153);
}

}  // namespace
}  // namespace qxl::test
