// Damaged copies of every stored form the core reads: each must load or fail
// with an error, never crash, overrun (the sanitizers watch) or hang.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "engine/core/containers/QXLBitsArray.h"
#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLVariant.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

Bytes StoredFieldDefs() {
  TQXLFieldDefs defs;
  auto* id = defs.AddCreated();
  id->Name = "ID";
  id->SetFieldDefDataType(aftInteger, 0);
  auto* doc = defs.AddCreated();
  doc->Name = "DOC";
  doc->SetFieldDefDataType(aftMemo, 0);
  doc->DefaultValue->SetAsAnsiString("none");
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  return ContentOf(s);
}

Bytes StoredIndexDefs() {
  TQXLIndexDefs defs;
  auto* index = defs.AddCreated();
  index->Name = "PK";
  index->AssignByNames({"ID", "DOC"}, {"ASC", "DESC"}, {"CASE", "NO_CASE"});
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  return ContentOf(s);
}

Bytes StoredConstraintDefs() {
  TQXLConstraintDefs defs;
  defs.AddNotNull()->SetNames("ID", "T", "");
  auto* check = defs.AddCheck();
  check->SetNames("N", "T", "");
  check->MinValue->SetAsInteger(1);
  check->MaxValue->SetAsAnsiString("zz");
  defs.AddPK()->Columns = {{"ID", 1}, {"N", 2}};
  TQXLMemoryStream s;
  defs.SaveToStream(s);
  return ContentOf(s);
}

Bytes StoredBits() {
  TQXLBitsArray bits;
  bits.SetSize(21);
  bits.SetBit(3, true);
  bits.SetBit(20, true);
  TQXLMemoryStream s;
  bits.SaveToStream(s);
  return ContentOf(s);
}

// A small-block BLOB of three blocks, so that every header is a target.
constexpr std::int32_t kBlobBlock = 64;

Bytes StoredBlob(TQXLBLOBDescriptor& d) {
  d.BlockSize = kBlobBlock;
  d.CompressionAlgorithm = acaZLIB;
  d.CompressionMode = 1;
  TQXLMemoryStream s;
  TQXLCompressedBLOBStream blob(s, d, true, false);
  Bytes value(kBlobBlock * 5 / 2);
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 7);
  blob.Write(value.data(), static_cast<std::int32_t>(value.size()));
  d = blob.BLOBDescriptor();
  return ContentOf(s);
}

// Loads Damaged into a fresh object; only an engine or list error may leave.
void ExpectLoadsOrFailsCleanly(const std::function<void(TQXLMemoryStream&)>& load, const Bytes& damaged) {
  TQXLMemoryStream s;
  Fill(s, damaged);
  try {
    load(s);
  } catch (const platform::Exception&) {
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected " << e.what();
  }
}

// Every cut of Whole, then random damage: overwritten bytes, mostly 0x00,
// 0xFF and 0x80 that make lengths and counts extreme.
void Damage(const Bytes& whole, const std::function<void(TQXLMemoryStream&)>& load) {
  for (std::size_t cut = 0; cut < whole.size(); ++cut)
    ExpectLoadsOrFailsCleanly(load, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
  std::mt19937 rng(20261210);
  const std::uint8_t extremes[] = {0x00, 0xFF, 0x80, 0x7F};
  for (int round = 0; round < 400; ++round) {
    Bytes damaged = whole;
    for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) {
      const std::size_t at = rng() % damaged.size();
      damaged[at] = rng() % 4 ? extremes[rng() % 4] : static_cast<std::uint8_t>(rng());
    }
    ExpectLoadsOrFailsCleanly(load, damaged);
  }
}

}  // namespace

TEST(QXLStoredFormDamage, SchemaListsAndBitArrays) {
  Damage(StoredFieldDefs(), [](TQXLMemoryStream& s) { TQXLFieldDefs().LoadFromStream(s); });
  Damage(StoredIndexDefs(), [](TQXLMemoryStream& s) { TQXLIndexDefs().LoadFromStream(s); });
  Damage(StoredConstraintDefs(), [](TQXLMemoryStream& s) { TQXLConstraintDefs().LoadFromStream(s); });
  Damage(StoredBits(), [](TQXLMemoryStream& s) { TQXLBitsArray().LoadFromStream(s); });
}

TEST(QXLStoredFormDamage, CompressedBlobOpenedReadAndRepaired) {
  TQXLBLOBDescriptor d;
  const Bytes whole = StoredBlob(d);
  for (bool repair : {false, true}) {
    Damage(whole, [&](TQXLMemoryStream& s) {
      TQXLCompressedBLOBStream blob(s, d, false, repair);
      Bytes value(static_cast<std::size_t>(blob.Size()) + 1);
      blob.Read(value.data(), static_cast<std::int32_t>(value.size()));
      blob.SetPosition(blob.Size());
      blob.Write("x", 1);
    });
  }
}
