// Randomised runs of B-trees against a std::multimap model: integer keys on
// memory pages (ascending and descending columns), page-index keys on pages of
// the disk geometry whose entries fill a page exactly, and text cut to 20 bytes
// sharing 20-byte prefixes. Keys come ascending, descending and at random;
// after each phase the tree passes its integrity check and a walk of its
// leaves gives the model's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "engine/storage/btree/QXLPageKeyRef.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"

using namespace qxl;

namespace qxl::test {
namespace {

// An entry as the model orders it: the key, then the reference's order.
using TModelKey = std::pair<std::string, std::int64_t>;

// Integers in a one-column record index; descending columns order backwards.
struct TIntKeys {
  explicit TIntKeys(bool Descending) : Descending(Descending) {
    TQXLKeyPartDef Def;
    Def.DataType = bftSignedInt32;
    Def.DataSize = 4;
    Def.Descending = Descending;
    KeyRef.AssignParts({&Def, 1}, nullptr);
    KeyRef.ReferenceSize = 6;
  }
  std::pair<TBytes, TBytes> Make(std::int64_t Value, std::int32_t Id) {
    TBytes Key(5, 0);
    const auto v = static_cast<std::int32_t>(Value);
    std::memcpy(Key.data() + 1, &v, 4);
    return {Key, BytesOf(TQXLPageItemID{Id, 0})};
  }
  static std::string Ordered(std::int64_t v) {  // big-endian with the sign flipped
    std::string s(8, '\0');
    const auto u = static_cast<std::uint64_t>(v) ^ (1ull << 63);
    for (int i = 0; i < 8; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(u >> (56 - 8 * i));
    return s;
  }
  TModelKey Model(std::int64_t Value, std::int32_t Id) const { return {Ordered(Descending ? -Value : Value), Id}; }
  TModelKey FromEntry(const TBytes& Key, const TBytes& Ref) const {
    std::int32_t v;
    TQXLPageItemID r;
    std::memcpy(&v, Key.data() + 1, 4);
    std::memcpy(&r, Ref.data(), 6);
    return Model(v, r.PageNo);
  }
  std::int64_t Value(std::mt19937& Rng, std::int32_t Range) { return std::uniform_int_distribution<>(0, Range)(Rng); }
  std::int64_t Nth(std::int32_t i) { return i; }

  bool Descending;
  TQXLRecordKeyRef KeyRef;
};

// Page numbers and 16-bit counters, as page indexes store them.
struct TPageKeys {
  std::pair<TBytes, TBytes> Make(std::int64_t Value, std::int32_t Id) {
    return {BytesOf(static_cast<std::int32_t>(Value)), BytesOf(static_cast<std::uint16_t>(Id))};
  }
  // References of two bytes compare from their first (low) byte.
  static std::int64_t RefOrder(std::uint16_t r) { return (r & 0xFF) << 8 | r >> 8; }
  TModelKey Model(std::int64_t Value, std::int32_t Id) const {
    return {TIntKeys::Ordered(Value), RefOrder(static_cast<std::uint16_t>(Id))};
  }
  TModelKey FromEntry(const TBytes& Key, const TBytes& Ref) const {
    std::int32_t v;
    std::uint16_t r;
    std::memcpy(&v, Key.data(), 4);
    std::memcpy(&r, Ref.data(), 2);
    return {TIntKeys::Ordered(v), RefOrder(r)};
  }
  std::int64_t Value(std::mt19937& Rng, std::int32_t Range) { return std::uniform_int_distribution<>(0, Range)(Rng); }
  std::int64_t Nth(std::int32_t i) { return i; }

  TQXLPageKeyRef KeyRef;
};

// Lower-case text of up to 40 letters cut to 20 bytes; most values begin with
// one of three 20-letter prefixes. Values are numbered; the records live in a
// record source for full keys.
struct TTextKeys {
  static constexpr std::int32_t DataSize = 41;
  TTextKeys() { AssignCutTextKey(KeyRef, Source, DataSize); }
  std::string Text(std::int64_t Value) const { return Texts[static_cast<std::size_t>(Value)]; }
  std::pair<TBytes, TBytes> Make(std::int64_t Value, std::int32_t Id) {
    // The search key's record stays in place while the tree compares with it.
    SearchRecord.assign(DataSize + 1, 0);
    const std::string s = Text(Value);
    std::memcpy(SearchRecord.data() + 1, s.data(), s.size());
    Source.Records[TFakeRecordSource::Id({Id, 0})] = SearchRecord;
    TBytes Key(static_cast<std::size_t>(KeyRef.ShortKeySize));
    KeyRef.MakeShortKeyFromRecordBuffer(SearchRecord.data(), Key.data());
    IdText[Id] = s;
    return {Key, BytesOf(TQXLPageItemID{Id, 0})};
  }
  TModelKey Model(std::int64_t Value, std::int32_t Id) const { return {Text(Value), Id}; }
  TModelKey FromEntry(const TBytes& Key, const TBytes& Ref) {
    TQXLPageItemID r;
    std::memcpy(&r, Ref.data(), 6);
    const std::string& s = IdText.at(r.PageNo);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Key.data()) + 1).substr(0, 20), s.substr(0, 20));
    return {s, r.PageNo};
  }
  // Values are indexes into a sorted list of texts made on demand.
  void Prepare(std::int32_t Count, std::mt19937& Rng) {
    const std::string Prefixes[3] = {"kkkkkkkkkkkkkkkkkkkk", "kkkkkkkkkkkkkkkkkkkl", "mnopqrstuvwxyzabcdef"};
    std::uniform_int_distribution<> Letter('a', 'z'), Tail(0, 20), Pick(0, 9);
    for (std::int32_t i = 0; i < Count; ++i) {
      const int p = Pick(Rng);
      std::string s = p < 9 ? Prefixes[p % 3] : std::string();
      for (int n = p < 9 ? Tail(Rng) : 1 + Tail(Rng) % 19; n > 0; --n) s += static_cast<char>(Letter(Rng));
      Texts.push_back(s);
    }
    std::sort(Texts.begin(), Texts.end());
  }
  std::int64_t Value(std::mt19937& Rng, std::int32_t) {
    return std::uniform_int_distribution<std::int64_t>(0, static_cast<std::int64_t>(Texts.size()) - 1)(Rng);
  }
  std::int64_t Nth(std::int32_t i) { return i % static_cast<std::int32_t>(Texts.size()); }

  TFakeRecordSource Source{DataSize + 1};
  TQXLRecordKeyRef KeyRef;
  std::vector<std::string> Texts;
  std::map<std::int32_t, std::string> IdText;
  TBytes SearchRecord;
};

template <typename TKeys>
class TRandomRun {
public:
  TRandomRun(TQXLPageManager& PM, TKeys& Keys) : PM(PM), Keys(Keys), Tree(PM, Keys.KeyRef) {}

  void Insert(std::int64_t Value) {
    const std::int32_t Id = NextId++;
    const auto Entry = Keys.Make(Value, Id);
    Tree.Insert(Entry.first.data(), Entry.second.data());
    Model.emplace(Keys.Model(Value, Id), Value);
    Live.push_back({Value, Id});
    ++Operations;
  }
  void DeleteRandom() {
    std::uniform_int_distribution<std::size_t> Pick(0, Live.size() - 1);
    const std::size_t i = Pick(Rng);
    const auto [Value, Id] = Live[i];
    Live[i] = Live.back();
    Live.pop_back();
    const auto Entry = Keys.Make(Value, Id);
    ASSERT_TRUE(Tree.Delete(Entry.first.data(), Entry.second.data())) << Value << " " << Id;
    Model.erase(Model.find(Keys.Model(Value, Id)));
    ++Operations;
  }
  // The integrity check, and the leaves' order against the model's.
  void Verify(const char* Phase) {
    SCOPED_TRACE(Phase);
    Tree.Check();
    const auto Entries = Tree.Walk();
    ASSERT_EQ(Entries.size(), Model.size());
    auto It = Model.begin();
    for (const auto& e : Entries) {
      ASSERT_EQ(Keys.FromEntry(e.first, e.second), It->first);
      ++It;
    }
    PM.ApplyChanges(0);
  }
  void Run(std::int32_t N) {
    for (std::int32_t i = 0; i < N; ++i) Insert(Keys.Nth(i));
    Verify("ascending");
    for (std::int32_t i = 0; i < N / 2; ++i) DeleteRandom();
    Verify("random deletes");
    for (std::int32_t i = N - 1; i >= 0; --i) Insert(Keys.Nth(i));
    Verify("descending");
    std::bernoulli_distribution Add(0.5);
    for (std::int32_t i = 0; i < 2 * N; ++i) {
      if (Live.empty() || Add(Rng)) Insert(Keys.Value(Rng, N / 4));
      else DeleteRandom();
    }
    Verify("mixed");
    while (!Live.empty()) DeleteRandom();
    Verify("all deleted");
    TQXLBTreePage Root = Tree.Root();
    EXPECT_TRUE(Root.IsLeaf());
    EXPECT_EQ(Root.EntryCount(), 0);
    Root.Put();
    PM.ApplyChanges(0);
    EXPECT_EQ(PM.GetPageCount(), 1);
  }

  std::int64_t Operations = 0;

private:
  TQXLPageManager& PM;
  TKeys& Keys;
  TTestTree Tree;
  std::multimap<TModelKey, std::int64_t> Model;
  std::vector<std::pair<std::int64_t, std::int32_t>> Live;
  std::int32_t NextId = 1;
  std::mt19937 Rng{20261210};
};

TEST(BTreeRandom, IntegerKeysOnMemoryPages) {
  for (bool Descending : {false, true}) {
    TQXLMemoryPageManager PM;
    TIntKeys Keys(Descending);
    TRandomRun<TIntKeys> Run(PM, Keys);
    // The ascending column makes the long run; the descending one a shorter.
    Run.Run(Descending ? 6000 : 25000);
    if (!Descending) {
      EXPECT_GE(Run.Operations, 100000);
    }
  }
}

TEST(BTreeRandom, PageIndexKeysFillDiskPagesExactly) {
  TDiskGeometryPageManager PM;
  TPageKeys Keys;
  ASSERT_EQ((PM.PageDataSize() - QXLIndexPageHeaderSize) % (Keys.KeyRef.ShortKeySize + Keys.KeyRef.ReferenceSize), 0);
  TRandomRun<TPageKeys> Run(PM, Keys);
  Run.Run(20000);
  EXPECT_GE(Run.Operations, 100000);
}

TEST(BTreeRandom, CutTextSharingPrefixes) {
  for (bool Disk : {false, true}) {
    TQXLMemoryPageManager Memory;
    TDiskGeometryPageManager DiskPM;
    TQXLPageManager& PM = Disk ? static_cast<TQXLPageManager&>(DiskPM) : Memory;
    TTextKeys Keys;
    std::mt19937 Rng(7);
    Keys.Prepare(4000, Rng);
    TRandomRun<TTextKeys> Run(PM, Keys);
    Run.Run(4000);
  }
}

}  // namespace
}  // namespace qxl::test
