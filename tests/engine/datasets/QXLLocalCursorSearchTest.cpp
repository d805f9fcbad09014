// The local cursor's searches over an in-memory table: dataset filters,
// Locate and FindKey, each in physical order and in the order of an index
// (case-insensitive, descending, of two columns), with NULLs, partial keys
// and letter case.
#include <gtest/gtest.h>

#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "tests/support/ConditionExpression.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

constexpr std::int32_t IdField = 0, NameField = 1, CityField = 2, AgeField = 3;

struct TPerson {
  std::int32_t Id;
  const char* Name;
  const char* City;  // nullptr: NULL
  std::int32_t Age;  // -1: NULL
};

const TPerson People[] = {
    {1, "Anna", "Oslo", 30}, {2, "bob", nullptr, 25}, {3, "Bert", "Bergen", -1},
    {4, "anders", "Oslo", 41}, {5, "Carl", "bergen", 25},
};

class LocalCursorSearchTest : public ::testing::Test {
protected:
  void SetUp() override {
    Databases.Add(std::make_unique<TQXLMemoryDatabaseData>());
    Session.FDatabaseName = "MEMORY";
    Session.SetConnected(true);
    Cursor.FSession = &Session;
    Cursor.FTableName = "People";
    CreateTable();
    Cursor.OpenTableByFieldDefs(nullptr, nullptr, nullptr);
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
    for (const TPerson& p : People) Insert(p);
  }
  void TearDown() override {
    if (Cursor.FKeyBuffer) Cursor.FreeRecordBuffer(Cursor.FKeyBuffer);
  }

  void CreateTable() {
    TQXLFieldDefs fields;
    const std::pair<const char*, TQXLAdvancedFieldType> columns[] = {
        {"ID", aftInteger}, {"Name", aftString}, {"City", aftString}, {"Age", aftInteger}};
    for (auto& [name, type] : columns) {
      TQXLFieldDef* f = fields.AddCreated();
      f->Name = name;
      f->SetFieldDefDataType(type, type == aftString ? 20 : 0);
    }
    TQXLIndexDefs indexes;
    auto index = [&](const char* Name, std::vector<std::string> Columns, std::vector<std::string> Order,
                     std::vector<std::string> Case) {
      TQXLIndexDef* ix = indexes.AddCreated();
      ix->Name = Name;
      ix->AssignByNames(Columns, Order, Case);
    };
    index("ByID", {"ID"}, {"ASC"}, {"CASE"});
    index("ByName", {"Name"}, {"ASC"}, {"NO_CASE"});
    index("ByAgeDesc", {"Age"}, {"DESC"}, {"CASE"});
    index("ByCityName", {"City", "Name"}, {"ASC", "ASC"}, {"CASE", "CASE"});
    TQXLConstraintDefs constraints;
    Cursor.CreateTable(fields, indexes, constraints);
  }

  void Set(std::int32_t FieldNo, const Variant& Value, std::uint8_t* Buffer) {
    TQXLVariant v;
    v.SetAsVariant(Value);
    Cursor.SetFieldValue(v, FieldNo, false, Buffer);
  }
  void Insert(const TPerson& p) {
    std::uint8_t* r = Cursor.FCurrentRecordBuffer;
    Cursor.InternalInitRecord(r, true);
    Set(IdField, p.Id, r);
    Set(NameField, p.Name, r);
    if (p.City) Set(CityField, p.City, r);
    if (p.Age >= 0) Set(AgeField, p.Age, r);
    Cursor.InternalPost(true);
    ASSERT_EQ(Cursor.ErrorCode(), 0);
  }

  std::int32_t CurrentId() {
    EXPECT_EQ(Cursor.GetRecordBuffer(grmCurrent), grrOK);
    TQXLVariant v;
    Cursor.GetFieldValue(v, IdField, false);
    return v.GetAsInteger();
  }
  // The IDs of the view from its first record on.
  std::vector<std::int32_t> Ids() {
    std::vector<std::int32_t> ids;
    Cursor.InternalFirst();
    while (Cursor.GetRecordBuffer(grmNext) == grrOK) {
      TQXLVariant v;
      Cursor.GetFieldValue(v, IdField, false);
      ids.push_back(v.GetAsInteger());
    }
    return ids;
  }

  qxl::testsupport::TConditionExpressionServices Expressions;
  TQXLDatabaseDataList Databases;
  TQXLLocalSession Session{Databases};
  TQXLLocalCursor Cursor;
};

}  // namespace

TEST_F(LocalCursorSearchTest, FiltersShowTheirRecordsInTheCursorsOrder) {
  struct Case {
    const char* Filter;
    bool CaseInsensitive, PartialKey;
    const char* Index;
    std::vector<std::int32_t> Ids;
  };
  const Case cases[] = {
      {"Age > 26", false, false, "", {1, 4}},
      {"Age > 26", false, false, "ByAgeDesc", {4, 1}},
      {"Age <> 25", false, false, "", {1, 4}},  // NULL is neither
      {"City = 'oslo'", false, false, "", {}},
      {"City = 'oslo'", true, false, "", {1, 4}},
      {"Name = 'b*'", true, true, "ByName", {3, 2}},
      {"Name = 'b*'", true, false, "ByName", {}},
      {"City IS NULL", false, false, "", {2}},
      {"Age >= 25 AND City = 'Oslo'", false, false, "ByAgeDesc", {4, 1}},
      {"Age IS NOT NULL AND Age <= 25", false, false, "ByID", {2, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Filter) + " / " + c.Index);
    Cursor.SetIndexName(c.Index);
    Cursor.ActivateFilters(c.Filter, c.CaseInsensitive, c.PartialKey);
    EXPECT_EQ(Ids(), c.Ids);
    EXPECT_EQ(Cursor.GetRecordCount(), static_cast<std::int64_t>(c.Ids.size()));
    Cursor.DeactivateFilters();
    EXPECT_EQ(Ids().size(), 5u);
  }
  EXPECT_EQ(NativeCodeOf([&] { Cursor.ActivateFilters("  ", false, false); }), 30119);
  EXPECT_EQ(Ids().size(), 5u);
}

TEST_F(LocalCursorSearchTest, LocateFindsTheFirstMatchInTheCursorsOrder) {
  struct Case {
    const char* Field;
    Variant Value;
    bool CaseInsensitive, PartialKey;
    const char* Index;
    std::int32_t Id;  // 0: none
  };
  const Case cases[] = {
      {"Name", "bob", false, false, "", 2},
      {"Name", "BOB", false, false, "", 0},
      {"name", "BOB", true, false, "", 2},
      {"Name", "B", true, true, "", 2},
      {"Name", "B", true, true, "ByName", 3},
      {"Name", "B", true, false, "", 0},
      {"City", Variant::Null(), false, false, "", 2},
      {"City", "Oslo", false, false, "", 1},
      {"City", "Oslo", false, false, "ByAgeDesc", 4},
      {"Age", std::int32_t{25}, false, false, "ByAgeDesc", 2},
      {"Age", Variant::Null(), false, false, "ByAgeDesc", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Field) + " / " + c.Index + " / " + std::to_string(c.Id));
    Cursor.SetIndexName(c.Index);
    Cursor.InternalFirst();
    EXPECT_EQ(Cursor.Locate(c.Field, c.Value, c.CaseInsensitive, c.PartialKey), c.Id != 0);
    if (c.Id != 0) {
      EXPECT_EQ(CurrentId(), c.Id);
    }
  }
}

TEST_F(LocalCursorSearchTest, FindKeySearchesTheActiveIndexWithTheKeyBuffer) {
  struct Case {
    const char* Index;
    std::vector<std::pair<std::int32_t, Variant>> Key;
    std::int32_t KeyFieldCount;
    TQXLSearchCondition Condition;
    std::int32_t Id;  // 0: none
  };
  const Case cases[] = {
      {"ByID", {{IdField, 3}}, 1, scEqual, 3},
      {"ByID", {{IdField, 6}}, 1, scEqual, 0},
      {"ByID", {{IdField, 3}}, 1, scGreater, 4},
      {"ByName", {{NameField, "BERT"}}, 1, scEqual, 3},
      {"ByName", {{NameField, "b"}}, 1, scGreaterEqual, 3},
      {"ByName", {{NameField, "zed"}}, 1, scEqual, 0},
      {"ByAgeDesc", {{AgeField, 30}}, 1, scEqual, 1},
      {"ByAgeDesc", {{AgeField, Variant::Null()}}, 1, scEqual, 3},
      {"ByCityName", {{CityField, "Oslo"}}, 1, scEqual, 4},
      {"ByCityName", {{CityField, "Oslo"}, {NameField, "Anna"}}, 2, scEqual, 1},
      {"ByCityName", {{CityField, "Oslo"}, {NameField, "Anna"}}, 0, scEqual, 1},
      {"ByCityName", {{CityField, Variant::Null()}, {NameField, "bob"}}, 0, scEqual, 2},
  };
  Cursor.FKeyBuffer = Cursor.AllocateKeyRecordBuffer();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Index) + " / " + std::to_string(c.Id));
    Cursor.SetIndexName(c.Index);
    Cursor.InternalInitKeyBuffer(Cursor.FKeyBuffer);
    for (auto& [field, value] : c.Key) Set(field, value, Cursor.FKeyBuffer);
    Cursor.FKeyFieldCount = c.KeyFieldCount;
    EXPECT_EQ(Cursor.FindKey(c.Condition), c.Id != 0);
    EXPECT_EQ(Cursor.FKeyFieldCount, c.KeyFieldCount);
    if (c.Id != 0) {
      EXPECT_EQ(CurrentId(), c.Id);
    }
  }
  Cursor.SetIndexName("ByCityName");
  Cursor.FKeyFieldCount = 3;
  EXPECT_EQ(NativeCodeOf([&] { Cursor.FindKey(scEqual); }), 10439);
  Cursor.FKeyFieldCount = -1;
  EXPECT_EQ(NativeCodeOf([&] { Cursor.FindKey(scEqual); }), 10439);
  Cursor.SetIndexName("");
  Cursor.FKeyFieldCount = 1;
  EXPECT_EQ(NativeCodeOf([&] { Cursor.FindKey(scEqual); }), 20258);
}

TEST_F(LocalCursorSearchTest, RecordsAreOrderedByTheActiveIndexThenByIdentity) {
  auto idOf = [&](std::int32_t Id) {
    Cursor.SetIndexName("");
    Cursor.InternalFirst();
    EXPECT_TRUE(Cursor.Locate("ID", Id, false, false));
    return Cursor.CurrentRecordID;
  };
  const TQXLPageItemID anna = idOf(1), bob = idOf(2), carl = idOf(5);
  EXPECT_EQ(Cursor.CompareRecordsOrder(anna, bob), -1);
  EXPECT_EQ(Cursor.CompareRecordsOrder(bob, bob), 0);
  Cursor.SetIndexName("ByAgeDesc");
  EXPECT_EQ(Cursor.CompareRecordsOrder(anna, bob), -1);
  EXPECT_EQ(Cursor.CompareRecordsOrder(bob, anna), 1);
  // Equal ages fall back to the identities.
  EXPECT_EQ(Cursor.CompareRecordsOrder(bob, carl), -1);
  const TQXLPageItemID missing{anna.PageNo + 1000, 0};
  EXPECT_EQ(Cursor.CompareRecordsOrder(missing, anna), -1);
  EXPECT_EQ(Cursor.CompareRecordsOrder(anna, missing), 1);
  EXPECT_EQ(Cursor.CurrentRecordID, carl);
}

TEST_F(LocalCursorSearchTest, DistinctShowsOneRecordPerKey) {
  Cursor.ApplyDistinct({"Age"}, {"ASC"}, {"CASE"});
  EXPECT_EQ(Cursor.FDistinctFieldCount, 1);
  EXPECT_EQ(Ids().size(), 4u);
}
