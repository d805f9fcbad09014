// Record index keys: building short and full keys from record buffers and
// comparing them in index order (NULL, descending, ignore-case, cut 8-bit and
// UTF-16 text sharing prefixes, partial compare); references.
#include "engine/storage/btree/QXLRecordKeyRef.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

// One column at offset 1 of a record whose byte 0 is the null bitmap.
TQXLKeyPartDef Column(TQXLBaseFieldType Type, std::int32_t DataSize, std::int32_t MaxIndexedSize = 20,
                      bool Descending = false, bool CaseInsensitive = false) {
  TQXLKeyPartDef Def;
  Def.FieldName = "F";
  Def.DataType = Type;
  Def.OffsetInRecordBuffer = 1;
  Def.DataSize = DataSize;
  Def.MaxIndexedSize = MaxIndexedSize;
  Def.Descending = Descending;
  Def.CaseInsensitive = CaseInsensitive;
  return Def;
}

TBytes Record(std::int32_t DataSize, const void* Value, std::size_t Bytes) {
  TBytes R(static_cast<std::size_t>(DataSize) + 1, 0);
  if (!Value) R[0] = 1;
  else std::memcpy(R.data() + 1, Value, Bytes);
  return R;
}

// Compares the keys of two one-column records, the second one stored.
struct TPair {
  TQXLRecordKeyRef KeyRef;
  TFakeRecordSource Source;
  TBytes Record1, Record2;

  TPair(const TQXLKeyPartDef& Def, TBytes R1, TBytes R2)
      : Source(Def.DataSize + 1), Record1(std::move(R1)), Record2(std::move(R2)) {
    KeyRef.AssignParts({&Def, 1}, &Source);
    Source.Records[TFakeRecordSource::Id({2, 0})] = Record2;
  }
  int Compare(bool MayUseFullKeys) {
    // Exactly sized, so that a read past a key is caught.
    TBytes Key1(static_cast<std::size_t>(KeyRef.ShortKeySize)), Key2(Key1.size());
    KeyRef.MakeShortKeyFromRecordBuffer(Record2.data(), Key2.data());
    KeyRef.MakeShortKeyFromRecordBuffer(Record1.data(), Key1.data());
    const TQXLPageItemID Ref2{2, 0};
    return KeyRef.CompareShortKeys(Key1.data(), Key2.data(), MayUseFullKeys, 0, nullptr,
                                   reinterpret_cast<const std::uint8_t*>(&Ref2));
  }
};

TBytes IntRecord(std::optional<std::int32_t> V) {
  return V ? Record(4, &*V, 4) : Record(4, nullptr, 0);
}

TEST(RecordKeyRef, IntegerOrderWithNullsAndDirection) {
  struct Case {
    std::optional<std::int32_t> A, B;
    bool Descending;
    int Expected;
  } Cases[] = {
      {1, 2, false, -1},           {2, 1, false, 1},     {7, 7, false, 0},
      {std::nullopt, -5, false, -1}, {-5, std::nullopt, false, 1}, {std::nullopt, std::nullopt, false, 0},
      {1, 2, true, 1},             {std::nullopt, -5, true, 1}, {std::nullopt, std::nullopt, true, 0},
  };
  for (const Case& c : Cases) {
    TPair P(Column(bftSignedInt32, 4, 20, c.Descending), IntRecord(c.A), IntRecord(c.B));
    EXPECT_EQ(P.Compare(true), c.Expected) << c.A.value_or(-999) << " vs " << c.B.value_or(-999);
    EXPECT_EQ(P.KeyRef.ShortKeySize, 5);
  }
}

TBytes AnsiRecord(std::int32_t DataSize, const std::string& Text) { return Record(DataSize, Text.c_str(), Text.size()); }

TEST(RecordKeyRef, AnsiTextCutAndCase) {
  struct Case {
    std::string A, B;
    bool CaseInsensitive, MayUseFullKeys;
    int Expected;
    int Reads;  // stored records read for full keys
  } Cases[] = {
      {"abc", "ABC", true, true, 0, 0},
      {"abc", "abd", true, true, -1, 0},
      {"ab", "ab", false, true, 0, 0},                                // ends within the prefix: no read
      {"ab", "ac", false, true, -1, 0},
      {"abcdefghX", "abcdefghY", false, false, 0, 0},                // equal prefixes, full keys barred
      {"abcdefghX", "abcdefghY", false, true, -1, 1},                // full values decide
      {"abcdefghZ", "abcdefghY", false, true, 1, 1},
      {"abcdefgh", "abcdefghY", false, true, -1, 1},                 // the prefix fills the indexed size
      {"abcdefghZZ", "ABCDEFGHzz", true, true, 0, 1},
  };
  for (const Case& c : Cases) {
    TPair P(Column(bftVarchar, 21, 8, false, c.CaseInsensitive), AnsiRecord(21, c.A), AnsiRecord(21, c.B));
    EXPECT_EQ(P.KeyRef.Parts[0].AddedSize, 2);
    EXPECT_EQ(P.KeyRef.ShortKeySize, 11);
    EXPECT_EQ(P.Compare(c.MayUseFullKeys), c.Expected) << c.A << " vs " << c.B;
    EXPECT_EQ(P.Source.Reads, c.Reads) << c.A << " vs " << c.B;
  }
}

TBytes WideRecord(std::int32_t DataSize, const std::u16string& Text) {
  return Record(DataSize, Text.c_str(), 2 * Text.size());
}

// A cut UTF-16 part holds 4 characters and two added bytes; every comparison
// must stay within them (the keys here are exactly sized for the sanitizer).
TEST(RecordKeyRef, WideTextCutPartsStayWithinThePart) {
  struct Case {
    std::u16string A, B;
    bool MayUseFullKeys;
    int Expected;
    int Reads;
  } Cases[] = {
      {u"abcdX", u"abcdY", false, 0, 0},
      {u"abcdX", u"abcdY", true, -1, 1},
      {u"abcdZ", u"abcdY", true, 1, 1},
      {u"abcd", u"abcd", true, 0, 1},
      {u"abc", u"abc", true, 0, 0},
      {u"abc", u"abd", true, -1, 0},
      {u"abcd", u"abcdA", true, -1, 1},
  };
  for (const Case& c : Cases) {
    TPair P(Column(bftWideVarchar, 22, 8), WideRecord(22, c.A), WideRecord(22, c.B));
    EXPECT_EQ(P.KeyRef.ShortKeySize, 11);
    EXPECT_EQ(P.Compare(c.MayUseFullKeys), c.Expected);
    EXPECT_EQ(P.Source.Reads, c.Reads);
  }
}

TEST(RecordKeyRef, PartialCompareMatchesEveryValueThatBeginsWithTheSearchValue) {
  struct Case {
    std::string Stored;
    int Expected;
  } Cases[] = {{"ab", 0}, {"abzzzzzzzzzzz", 0}, {"aa", 1}, {"ac", -1}, {"a", 1}};
  for (const Case& c : Cases) {
    TPair P(Column(bftVarchar, 21, 8), AnsiRecord(21, "ab"), AnsiRecord(21, c.Stored));
    P.KeyRef.SetPartialCompare(P.Record1.data(), true);
    EXPECT_EQ(P.Compare(true), c.Expected) << c.Stored;
    P.KeyRef.SetPartialCompare(P.Record1.data(), false);
    EXPECT_EQ(P.KeyRef.FCompareLengths[0], -1);
  }
}

TEST(RecordKeyRef, TwoColumnsAndFewerComparedColumns) {
  TQXLKeyPartDef Defs[2] = {Column(bftSignedInt32, 4), Column(bftVarchar, 11, 20, true)};
  Defs[1].OffsetInRecordBuffer = 5;
  Defs[1].FieldNo = 1;
  TQXLRecordKeyRef KeyRef;
  KeyRef.AssignParts(Defs, nullptr);
  EXPECT_EQ(KeyRef.ShortKeySize, 5 + 12);
  EXPECT_EQ(KeyRef.Parts[1].OffsetInShortKeyBuffer, 5);
  auto Make = [](std::int32_t I, const char* S) {
    TBytes R(16, 0);
    std::memcpy(R.data() + 1, &I, 4);
    std::strcpy(reinterpret_cast<char*>(R.data() + 5), S);
    return R;
  };
  const TBytes R1 = Make(3, "b"), R2 = Make(3, "a");
  TBytes K1(17), K2(17);
  KeyRef.MakeShortKeyFromRecordBuffer(R1.data(), K1.data());
  KeyRef.MakeShortKeyFromRecordBuffer(R2.data(), K2.data());
  EXPECT_EQ(KeyRef.CompareShortKeys(K1.data(), K2.data(), true, 0, nullptr, nullptr), -1);  // descending second
  KeyRef.CompareFieldCount = 1;
  EXPECT_EQ(KeyRef.CompareShortKeys(K1.data(), K2.data(), true, 0, nullptr, nullptr), 0);
}

TEST(RecordKeyRef, BlobColumnsAndUnreadableRecordsAreRefused) {
  for (TQXLBaseFieldType Type : {bftBlob, bftClob, bftWideClob}) {
    TQXLKeyPartDef Def = Column(Type, 10);
    TQXLRecordKeyRef KeyRef;
    EXPECT_EQ(NativeCodeOf([&] { KeyRef.AssignParts({&Def, 1}, nullptr); }), 20295);
  }
  TPair P(Column(bftVarchar, 21, 8), AnsiRecord(21, "abcdefghX"), AnsiRecord(21, "abcdefghY"));
  P.Source.Records.clear();
  EXPECT_EQ(NativeCodeOf([&] { P.Compare(true); }), 20170);
}

TEST(RecordKeyRef, ReferencesCompareAsRecordIdentities) {
  const TQXLPageItemID A{1, 65535}, B{2, 0}, C{-1, 5};
  auto Cmp = [](const TQXLPageItemID& x, const TQXLPageItemID& y) {
    return TQXLBTreeKeyRef::CompareReferences(reinterpret_cast<const std::uint8_t*>(&x),
                                              reinterpret_cast<const std::uint8_t*>(&y), 6);
  };
  EXPECT_EQ(Cmp(A, B), -1);
  EXPECT_EQ(Cmp(B, A), 1);
  EXPECT_EQ(Cmp(C, A), -1);
  EXPECT_EQ(Cmp(A, A), 0);
  const std::uint8_t X[2] = {1, 0x80}, Y[2] = {1, 0x7F};
  EXPECT_EQ(TQXLBTreeKeyRef::CompareReferences(X, Y, 2), 1);
}

}  // namespace
}  // namespace qxl::test
