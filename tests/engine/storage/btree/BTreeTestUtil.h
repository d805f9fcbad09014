#pragma once
// Helpers of the B-tree tests: a memory page manager with the disk page
// geometry, a record store for full keys, and a tree handle that inserts,
// deletes, checks and walks a tree from its root.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLKeyRecordSource.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"

namespace qxl::test {

// 40-byte page headers and 4056 data bytes, as pages of a database file.
class TDiskGeometryPageManager : public TQXLMemoryPageManager {
public:
  TDiskGeometryPageManager() { SetGeometry(4096, 40); }
};

// Records by identity, as a table's record manager would read them.
class TFakeRecordSource : public TQXLKeyRecordSource {
public:
  explicit TFakeRecordSource(std::int32_t RecordSize) : FRecordSize(RecordSize) {}
  std::int32_t RecordBufferSize() const override { return FRecordSize; }
  bool ReadRecord(std::int32_t, const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) override {
    ++Reads;
    auto It = Records.find(Id(RecordID));
    if (It == Records.end()) return false;
    std::memcpy(RecordBuffer, It->second.data(), It->second.size());
    return true;
  }
  static std::int64_t Id(const TQXLPageItemID& RecordID) {
    return (std::int64_t{RecordID.PageNo} << 16) | RecordID.PageItemNo;
  }
  std::map<std::int64_t, std::vector<std::uint8_t>> Records;
  int Reads = 0;

private:
  std::int32_t FRecordSize;
};

// Keys on one VARCHAR of DataSize bytes at offset 1 of the records of
// Source, of which the tree keeps the first 20 bytes: keys that tie there are
// told apart by reading their records. References are 6 bytes.
inline void AssignCutTextKey(TQXLRecordKeyRef& KeyRef, TFakeRecordSource& Source, std::int32_t DataSize) {
  TQXLKeyPartDef Def;
  Def.DataType = bftVarchar;
  Def.OffsetInRecordBuffer = 1;
  Def.DataSize = DataSize;
  Def.MaxIndexedSize = 20;
  KeyRef.AssignParts({&Def, 1}, &Source);
  KeyRef.ReferenceSize = 6;
}

using TBytes = std::vector<std::uint8_t>;

template <typename T>
TBytes BytesOf(const T& Value) {
  TBytes Bytes(sizeof Value);
  std::memcpy(Bytes.data(), &Value, sizeof Value);
  return Bytes;
}

// One tree on a page manager, driven from its root as an index would.
class TTestTree {
public:
  TTestTree(TQXLPageManager& PageManager, TQXLBTreeKeyRef& KeyRef) : PM(PageManager), KeyRef(KeyRef) {
    TQXLBTreePage Root(&PM, &KeyRef, PM.AddPage(Session, QXLIndexPageType));
    Root.InitAsRoot();
    Root.MarkDirty();
    RootNo = Root.PageNo();
  }
  TQXLBTreePage Root() { return TQXLBTreePage::Fetch(&PM, &KeyRef, Session, RootNo); }
  TQXLBTreePage Page(std::int32_t PageNo) { return TQXLBTreePage::Fetch(&PM, &KeyRef, Session, PageNo); }

  void Insert(const void* Key, const void* Reference) {
    TQXLKeyPath Path;
    Root().InsertLeafEntry(Session, static_cast<const std::uint8_t*>(Key),
                           static_cast<const std::uint8_t*>(Reference), Path);
  }
  bool Delete(const void* Key, const void* Reference) {
    TQXLKeyPath Path;
    return Root().DeleteLeafEntry(Session, static_cast<const std::uint8_t*>(Key),
                                  static_cast<const std::uint8_t*>(Reference), Path);
  }
  void Check() {
    TQXLKeyPath Path;
    Root().CheckIntegrity(Session, Path);
  }
  // Key and reference of the entry at the end of a path.
  std::pair<TBytes, TBytes> EntryAt(const TQXLKeyPath& Path) {
    TQXLBTreePage Leaf = Page(Path.Item(Path.Count() - 1).PageNo);
    const std::int32_t i = Path.Item(Path.Count() - 1).EntryNo;
    return {TBytes(Leaf.GetPKey(i), Leaf.GetPKey(i) + KeyRef.ShortKeySize),
            TBytes(Leaf.GetPReference(i), Leaf.GetPReference(i) + KeyRef.ReferenceSize)};
  }
  // Every entry in leaf order, following the right links from the first leaf.
  std::vector<std::pair<TBytes, TBytes>> Walk() {
    std::vector<std::pair<TBytes, TBytes>> Entries;
    TQXLKeyPath Path;
    if (!Root().GetFirstPosition(Session, Path)) return Entries;
    for (std::int32_t PageNo = Path.Item(Path.Count() - 1).PageNo; PageNo != -1;) {
      TQXLBTreePage Leaf = Page(PageNo);
      EXPECT_TRUE(Leaf.IsLeaf());
      for (std::int32_t i = 0; i < Leaf.EntryCount(); ++i)
        Entries.emplace_back(TBytes(Leaf.GetPKey(i), Leaf.GetPKey(i) + KeyRef.ShortKeySize),
                             TBytes(Leaf.GetPReference(i), Leaf.GetPReference(i) + KeyRef.ReferenceSize));
      PageNo = Leaf.RightPageNo();
    }
    return Entries;
  }
  // Levels from the root to the leaves.
  int Depth() {
    int Levels = 1;
    TQXLKeyPath Path;
    Root().GetFirstPosition(Session, Path);
    Levels = Path.Count();
    return Levels;
  }

  TQXLPageManager& PM;
  TQXLBTreeKeyRef& KeyRef;
  std::int32_t RootNo = -1;
  std::int32_t Session = 0;
};

}  // namespace qxl::test
