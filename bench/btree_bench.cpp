// B-tree costs on the memory page manager: insert, point lookup, ordered scan
// and delete of 1,000,000 integer keys and of 200,000 text keys of 50
// characters, beside a std::map doing the same in the same run. Counters give
// the pages the tree used and how full they were on average. Changes are
// applied to the page manager every 1000 operations, as a batch would.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLKeyRecordSource.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"

namespace {

using namespace qxl;

constexpr std::int32_t IntCount = 1000000;
constexpr std::int32_t TextCount = 200000;
constexpr std::int32_t TextSize = 51;
constexpr std::int32_t ApplyEvery = 1000;

// Records numbered from 0: the text values the full keys are read from.
class TRecords : public TQXLKeyRecordSource {
public:
  std::int32_t RecordBufferSize() const override { return TextSize + 1; }
  bool ReadRecord(std::int32_t, const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) override {
    if (RecordID.PageNo < 0 || RecordID.PageNo >= static_cast<std::int32_t>(Buffers.size())) return false;
    std::memcpy(RecordBuffer, Buffers[static_cast<std::size_t>(RecordID.PageNo)].data(), TextSize + 1);
    return true;
  }
  std::vector<std::vector<std::uint8_t>> Buffers;
};

// One tree with its keys made in advance, shared by the benchmarks of a kind
// in the order insert, lookup, scan, delete.
struct TTree {
  TQXLMemoryPageManager PM;
  TRecords Records;
  TQXLRecordKeyRef KeyRef;
  std::int32_t RootNo = -1;
  std::vector<std::vector<std::uint8_t>> Keys;  // short keys, in insertion order
  std::int32_t Size = 0;

  explicit TTree(const TQXLKeyPartDef& Column) {
    KeyRef.AssignParts({&Column, 1}, &Records);
    KeyRef.ReferenceSize = 6;
    TQXLBTreePage Root(&PM, &KeyRef, PM.AddPage(0, QXLIndexPageType));
    Root.InitAsRoot();
    Root.MarkDirty();
    RootNo = Root.PageNo();
  }
  TQXLBTreePage Root() { return TQXLBTreePage::Fetch(&PM, &KeyRef, 0, RootNo); }
  // The search key is made from its record, as a record index makes it.
  const std::uint8_t* Key(std::int32_t i) {
    if (!Records.Buffers.empty()) KeyRef.LRecordBuffer = Records.Buffers[static_cast<std::size_t>(i)].data();
    return Keys[static_cast<std::size_t>(i)].data();
  }
  void Apply(std::int32_t Done) {
    if (Done % ApplyEvery == 0) PM.ApplyChanges(0);
  }
  void InsertAll() {
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(Keys.size()); ++i) {
      const TQXLPageItemID Ref{i, 0};
      TQXLKeyPath Path;
      Root().InsertLeafEntry(0, Key(i), reinterpret_cast<const std::uint8_t*>(&Ref), Path);
      Apply(i + 1);
    }
    PM.ApplyChanges(0);
    Size = static_cast<std::int32_t>(Keys.size());
  }
  void Counters(benchmark::State& State) {
    std::int64_t Pages = 0, Used = 0;
    for (std::int32_t p = 0; p <= PM.LastAllocatedPageNo(); ++p) {
      if (!PM.IsPageInUse(p)) continue;
      TQXLBTreePage Page = TQXLBTreePage::Fetch(&PM, &KeyRef, 0, p);
      ++Pages;
      Used += QXLIndexPageHeaderSize + std::int64_t{Page.EntryCount()} * Page.EntrySize();
    }
    State.counters["pages"] = static_cast<double>(Pages);
    State.counters["fill"] = static_cast<double>(Used) / static_cast<double>(Pages * PM.PageDataSize());
  }
};

TQXLKeyPartDef IntColumn() {
  TQXLKeyPartDef Def;
  Def.DataType = bftSignedInt32;
  Def.OffsetInRecordBuffer = 1;
  Def.DataSize = 4;
  return Def;
}

TQXLKeyPartDef TextColumn() {
  TQXLKeyPartDef Def;
  Def.DataType = bftVarchar;
  Def.OffsetInRecordBuffer = 1;
  Def.DataSize = TextSize;
  Def.MaxIndexedSize = 20;
  return Def;
}

std::vector<std::int32_t> Shuffled(std::int32_t Count, unsigned Seed) {
  std::vector<std::int32_t> v(static_cast<std::size_t>(Count));
  for (std::int32_t i = 0; i < Count; ++i) v[static_cast<std::size_t>(i)] = i;
  std::shuffle(v.begin(), v.end(), std::mt19937(Seed));
  return v;
}

std::vector<std::string> Texts() {
  std::mt19937 Rng(5);
  std::uniform_int_distribution<> Letter('a', 'z');
  std::vector<std::string> v;
  for (std::int32_t i = 0; i < TextCount; ++i) {
    std::string s(50, ' ');
    for (char& c : s) c = static_cast<char>(Letter(Rng));
    v.push_back(s);
  }
  return v;
}

TTree& IntTree() {
  static std::unique_ptr<TTree> Tree;
  if (!Tree) {
    Tree = std::make_unique<TTree>(IntColumn());
    for (std::int32_t v : Shuffled(IntCount, 1)) {
      std::vector<std::uint8_t> Key(5, 0);
      std::memcpy(Key.data() + 1, &v, 4);
      Tree->Keys.push_back(Key);
    }
  }
  return *Tree;
}

TTree& TextTree() {
  static std::unique_ptr<TTree> Tree;
  if (!Tree) {
    Tree = std::make_unique<TTree>(TextColumn());
    for (const std::string& s : Texts()) {
      std::vector<std::uint8_t> Record(TextSize + 1, 0);
      std::memcpy(Record.data() + 1, s.data(), s.size());
      std::vector<std::uint8_t> Key(static_cast<std::size_t>(Tree->KeyRef.ShortKeySize));
      Tree->KeyRef.MakeShortKeyFromRecordBuffer(Record.data(), Key.data());
      Tree->Records.Buffers.push_back(std::move(Record));
      Tree->Keys.push_back(std::move(Key));
    }
  }
  return *Tree;
}

void Insert(benchmark::State& State, TTree& Tree) {
  for (auto _ : State) {
    if (Tree.Size != 0) State.SkipWithError("tree already filled");
    else Tree.InsertAll();
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(Tree.Keys.size()));
  Tree.Counters(State);
}

void Lookup(benchmark::State& State, TTree& Tree) {
  if (Tree.Size == 0) Tree.InsertAll();
  std::int64_t Found = 0;
  for (auto _ : State) {
    for (std::int32_t i = 0; i < Tree.Size; ++i) {
      TQXLKeyPath Path;
      Found += Tree.Root().FindByCondition(0, true, Tree.Key(i), scEqual, Path);
    }
  }
  if (Found != std::int64_t{Tree.Size} * State.iterations()) State.SkipWithError("a key was not found");
  State.SetItemsProcessed(std::int64_t{Tree.Size} * State.iterations());
}

void Scan(benchmark::State& State, TTree& Tree) {
  if (Tree.Size == 0) Tree.InsertAll();
  std::int64_t Seen = 0;
  for (auto _ : State) {
    TQXLKeyPath Path;
    Tree.Root().GetFirstPosition(0, Path);
    for (std::int32_t PageNo = Path.Item(Path.Count() - 1).PageNo; PageNo != -1;) {
      TQXLBTreePage Leaf = TQXLBTreePage::Fetch(&Tree.PM, &Tree.KeyRef, 0, PageNo);
      for (std::int32_t e = 0; e < Leaf.EntryCount(); ++e) benchmark::DoNotOptimize(*Leaf.GetPReference(e));
      Seen += Leaf.EntryCount();
      PageNo = Leaf.RightPageNo();
    }
  }
  if (Seen != std::int64_t{Tree.Size} * State.iterations()) State.SkipWithError("the scan missed entries");
  State.SetItemsProcessed(Seen);
}

void Delete(benchmark::State& State, TTree& Tree) {
  if (Tree.Size == 0) Tree.InsertAll();
  const std::vector<std::int32_t> Order = Shuffled(Tree.Size, 2);
  for (auto _ : State) {
    std::int32_t Done = 0;
    for (std::int32_t i : Order) {
      const TQXLPageItemID Ref{i, 0};
      TQXLKeyPath Path;
      if (!Tree.Root().DeleteLeafEntry(0, Tree.Key(i), reinterpret_cast<const std::uint8_t*>(&Ref), Path))
        State.SkipWithError("a key was not deleted");
      Tree.Apply(++Done);
    }
    Tree.PM.ApplyChanges(0);
    Tree.Size = 0;
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(Order.size()));
  State.counters["pages"] = Tree.PM.GetPageCount();
}

void BM_BTreeIntInsert(benchmark::State& s) { Insert(s, IntTree()); }
void BM_BTreeIntLookup(benchmark::State& s) { Lookup(s, IntTree()); }
void BM_BTreeIntScan(benchmark::State& s) { Scan(s, IntTree()); }
void BM_BTreeIntDelete(benchmark::State& s) { Delete(s, IntTree()); }
void BM_BTreeTextInsert(benchmark::State& s) { Insert(s, TextTree()); }
void BM_BTreeTextLookup(benchmark::State& s) { Lookup(s, TextTree()); }
void BM_BTreeTextScan(benchmark::State& s) { Scan(s, TextTree()); }
void BM_BTreeTextDelete(benchmark::State& s) { Delete(s, TextTree()); }

// The reference: the same keys and operations on a std::map; the argument
// picks insert, lookup, scan or delete.
template <typename TKey>
void MapOperations(benchmark::State& State, const std::vector<TKey>& Keys) {
  static const char* const Names[] = {"insert", "lookup", "scan", "delete"};
  const std::string Op = Names[State.range(0)];
  State.SetLabel(Op);
  std::map<TKey, TQXLPageItemID> Map;
  for (auto _ : State) {
    State.PauseTiming();
    Map.clear();
    if (Op != "insert")
      for (std::size_t i = 0; i < Keys.size(); ++i) Map.emplace(Keys[i], TQXLPageItemID{static_cast<std::int32_t>(i), 0});
    State.ResumeTiming();
    if (Op == "insert") {
      for (std::size_t i = 0; i < Keys.size(); ++i) Map.emplace(Keys[i], TQXLPageItemID{static_cast<std::int32_t>(i), 0});
    } else if (Op == "lookup") {
      for (const TKey& k : Keys) benchmark::DoNotOptimize(Map.find(k));
    } else if (Op == "scan") {
      for (const auto& e : Map) benchmark::DoNotOptimize(e.second);
    } else {
      for (const TKey& k : Keys) Map.erase(k);
    }
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(Keys.size()) * State.iterations());
}

void BM_MapInt(benchmark::State& s) {
  static const std::vector<std::int32_t> Keys = Shuffled(IntCount, 1);
  MapOperations(s, Keys);
}
void BM_MapText(benchmark::State& s) {
  static const std::vector<std::string> Keys = Texts();
  MapOperations(s, Keys);
}

#define QXL_ONCE(b) BENCHMARK(b)->Iterations(1)->Unit(benchmark::kMillisecond)
QXL_ONCE(BM_BTreeIntInsert);
QXL_ONCE(BM_BTreeIntLookup);
QXL_ONCE(BM_BTreeIntScan);
QXL_ONCE(BM_BTreeIntDelete);
QXL_ONCE(BM_MapInt)->DenseRange(0, 3);
QXL_ONCE(BM_BTreeTextInsert);
QXL_ONCE(BM_BTreeTextLookup);
QXL_ONCE(BM_BTreeTextScan);
QXL_ONCE(BM_BTreeTextDelete);
QXL_ONCE(BM_MapText)->DenseRange(0, 3);

}  // namespace
