// A record key laid out from an index definition over a table's fields, with
// whole records read through the table's record manager when cut keys tie.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeDatabaseData.h"

using namespace qxl;

namespace qxl::test {
namespace {

// Reads the requested identity into a local before looking it up: the
// navigation request is packed, and its record identity lies unaligned.
class TRecordsByNumber : public FakeRecordManager {
public:
  using FakeRecordManager::FakeRecordManager;
  void GetRecordBuffer(std::int32_t, TQXLNavigationInfo& Nav) override {
    const std::int32_t No = Nav.RecordID.PageNo;
    const auto It = Records.find(No);
    Nav.GetRecordResult = It == Records.end() || Nav.GetRecordMode != grmCurrent ? grrError : grrOK;
    if (Nav.GetRecordResult == grrOK) std::memcpy(Nav.RecordBuffer, It->second.data(), It->second.size());
  }
};

class TTable : public FakeTableData {
public:
  using FakeTableData::FakeTableData;
  void CreateRecordManager() override {
    FRecordManager = std::make_unique<TRecordsByNumber>(GetRecordBufferSize());
  }
};

class TDatabase : public FakeDatabaseData {
public:
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override {
    auto Table = std::make_unique<TTable>(this);
    Table->SetTableName(Cursor->FTableName);
    return RegisterTableData(std::move(Table));
  }
};

struct TTableKeys : ::testing::Test {
  TDatabase Database;
  FakeCursor Cursor{"Tasks"};
  TQXLFieldDefs Fields;
  TQXLIndexDefs Indexes;
  TQXLConstraintDefs Constraints;
  FakeTableData* Table = nullptr;
  TQXLIndexDef Index;

  void SetUp() override {
    TQXLFieldDef* Id = Fields.AddCreated();
    Id->Name = "Id";
    Id->SetFieldDefDataType(aftInteger, 0);
    TQXLFieldDef* Name = Fields.AddCreated();
    Name->Name = "Subject";
    Name->SetFieldDefDataType(aftString, 60);
    TQXLFieldDef* Memo = Fields.AddCreated();
    Memo->Name = "Memo";
    Memo->SetFieldDefDataType(aftMemo, 0);
    Table = static_cast<FakeTableData*>(Database.FindOrCreateTableData(&Cursor));
    Table->CreateTable(&Cursor, Fields, Indexes, Constraints);
    Index.AssignByNames({"subject", "Id"}, {"ASC", "DESC"}, {"NO_CASE", "CASE"});
  }
  const TQXLFieldDef& Field(const char* Name) { return *Table->FieldManager()->FieldDefs().GetFieldDefByName(Name); }
  std::vector<std::uint8_t> Record(std::int32_t Id, const char* Subject) {
    std::vector<std::uint8_t> R(static_cast<std::size_t>(Table->GetRecordBufferSize()), 0);
    std::memcpy(R.data() + Field("Id").MemoryOffset, &Id, 4);
    std::strcpy(reinterpret_cast<char*>(R.data() + Field("Subject").MemoryOffset), Subject);
    return R;
  }
  TQXLPageItemID Store(const std::vector<std::uint8_t>& R) {
    TQXLPageItemID RecordID;
    EXPECT_TRUE(Table->Records()->AddRecord(0, R.data(), RecordID));
    return RecordID;
  }
};

TEST_F(TTableKeys, PartsFollowTheFieldsAndTiesReadTheTable) {
  TQXLRecordKeyRef KeyRef;
  KeyRef.Assign(Index, Table);
  ASSERT_EQ(KeyRef.PartCount(), 2);
  EXPECT_EQ(KeyRef.Parts[0].FieldNo, 1);
  EXPECT_EQ(KeyRef.Parts[0].OffsetInRecordBuffer, Field("Subject").MemoryOffset);
  EXPECT_EQ(KeyRef.Parts[0].ShortSize, 23);  // cut to 20 bytes
  EXPECT_EQ(KeyRef.Parts[1].OffsetInShortKeyBuffer, 23);
  EXPECT_TRUE(KeyRef.Parts[1].Descending);
  EXPECT_EQ(KeyRef.ShortKeySize, 28);

  const auto Stored = Record(1, "Prepare the quarterly REPORT for the team");
  const TQXLPageItemID StoredID = Store(Stored);
  struct Case {
    std::int32_t Id;
    const char* Subject;
    int Expected;
  } Cases[] = {
      {1, "Prepare the quarterly report for the team", 0},  // ignore-case
      {1, "Prepare the quarterly report for the tea", -1},
      {1, "Prepare the quarterly report for the teams", 1},
      {2, "Prepare the quarterly report for the team", -1},   // descending second column
      {1, "Prepare", -1},
  };
  for (const Case& c : Cases) {
    const auto Search = Record(c.Id, c.Subject);
    std::vector<std::uint8_t> Key1(28), Key2(28);
    KeyRef.MakeShortKeyFromRecordBuffer(Stored.data(), Key2.data());
    KeyRef.MakeShortKeyFromRecordBuffer(Search.data(), Key1.data());
    EXPECT_EQ(KeyRef.CompareShortKeys(Key1.data(), Key2.data(), true, 0, nullptr,
                                      reinterpret_cast<const std::uint8_t*>(&StoredID)),
              c.Expected)
        << c.Subject;
  }
  // A reference whose record is gone cannot decide a tie.
  const TQXLPageItemID Gone{StoredID.PageNo + 7, 0};
  const auto Search = Record(1, "Prepare the quarterly report for the team");
  std::vector<std::uint8_t> Key(28);
  KeyRef.MakeShortKeyFromRecordBuffer(Search.data(), Key.data());
  EXPECT_EQ(NativeCodeOf([&] {
              KeyRef.CompareShortKeys(Key.data(), Key.data(), true, 0, nullptr,
                                      reinterpret_cast<const std::uint8_t*>(&Gone));
            }),
            20170);
}

TEST_F(TTableKeys, MissingFieldsBlobsAndTablesWithoutFieldsAreRefused) {
  TQXLRecordKeyRef KeyRef;
  TQXLIndexDef Missing;
  Missing.AssignByNames({"Nothing"}, {"ASC"}, {"CASE"});
  EXPECT_EQ(Raised([&] { KeyRef.Assign(Missing, Table); }).Message,
            "Cannot find index field 'Nothing' - Native error: 20043");
  TQXLIndexDef Blob;
  Blob.AssignByNames({"Memo"}, {"ASC"}, {"CASE"});
  EXPECT_EQ(NativeCodeOf([&] { KeyRef.Assign(Blob, Table); }), 20295);
  EXPECT_EQ(NativeCodeOf([&] { KeyRef.Assign(Index, nullptr); }), 20044);
  FakeCursor Other{"Empty"};
  TQXLFieldDefs NoFields;
  auto* Empty = static_cast<FakeTableData*>(Database.FindOrCreateTableData(&Other));
  EXPECT_EQ(NativeCodeOf([&] { KeyRef.Assign(Index, Empty); }), 20044);
  Empty->CreateFieldManager(NoFields);
  EXPECT_EQ(NativeCodeOf([&] { KeyRef.Assign(Index, Empty); }), 20045);
}

}  // namespace
}  // namespace qxl::test
