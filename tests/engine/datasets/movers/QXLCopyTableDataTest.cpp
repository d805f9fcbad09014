// The record copier on its own: a source that cannot be moved to its next
// record (records reached again by number, each one that cannot be reached
// logged, and an end with an error when none can), failing fields and
// posts with and without IgnoreErrors, and a source field without a field
// object.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/FieldKinds.h"
#include "engine/datasets/movers/QXLCopyTableData.h"
#include "tests/engine/datasets/base/RowListDataSet.h"
#include "tests/engine/datasets/movers/MoversFixture.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

// Rows whose Id is in BadIds cannot be read by moving on to them; record
// numbers in Unreachable cannot be positioned on either.
class DamagedRows : public RowListDataSet {
public:
  using RowListDataSet::RowListDataSet;
  std::set<std::int32_t> BadIds;
  std::set<std::int64_t> Unreachable;
  std::vector<std::int64_t> Positioned;

  void SetRecNo(std::int64_t Value) override {
    Positioned.push_back(Value);
    if (Unreachable.count(Value) || Value < 1 || Value > RecordCount())
      throw std::runtime_error("record " + std::to_string(Value) + " unreadable");
    FPositioning = true;
    First();
    MoveBy(static_cast<std::int32_t>(Value - 1));
    FPositioning = false;
  }

protected:
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode Mode, bool DoCheck) override {
    const TGetResult result = RowListDataSet::GetRecord(Buffer, Mode, DoCheck);
    if (!FPositioning && Mode == gmNext && result == grOK) {
      const std::int32_t value = *reinterpret_cast<const std::int32_t*>(Buffer);
      if (BadIds.count(value)) throw std::runtime_error("page damaged");
    }
    return result;
  }

private:
  bool FPositioning = false;
};

std::vector<Row> Numbered(std::int32_t Count) {
  std::vector<Row> rows;
  for (std::int32_t i = 1; i <= Count; ++i) rows.push_back({i, "R" + std::to_string(i), i * 1.0, 0});
  return rows;
}

// The ids of the rows, in any order (an inserted row goes before the current one).
std::set<std::int32_t> IdsOf(const RowListDataSet& Rows) {
  std::set<std::int32_t> ids;
  for (const Row& R : Rows.Rows) ids.insert(R.Id.value_or(0));
  return ids;
}

class CopyTableDataTest : public qxl::testsupport::MoversFixture {
protected:
  // A table Copy of Id integer, Name of type NameType, Amount double.
  std::unique_ptr<TQXLTable> Target(TQXLAdvancedFieldType NameType = aftString) {
    std::unique_ptr<TQXLTable> T = NewTable("Copy");
    T->AdvFieldDefs().Add("Id", aftInteger, 0, false);
    T->AdvFieldDefs().Add("Name", NameType, NameType == aftString ? 20 : 0, false);
    T->AdvFieldDefs().Add("Amount", aftDouble, 0, false);
    T->CreateTable();
    T->Open();
    return T;
  }
  static std::vector<std::int32_t> Ids(TQXLTable& T) { return Forward(T, "Id"); }
};

TEST_F(CopyTableDataTest, ASourceThatCannotMoveOnIsReachedByNumberOrEndsWithAnError) {
  struct Case {
    const char* Title;
    std::int32_t Rows;
    std::set<std::int32_t> BadIds;
    std::set<std::int64_t> Unreachable;
    bool IgnoreErrors;
    std::int32_t Code;
    bool Answer;
    std::vector<std::int32_t> Copied;
    std::string Log;
  };
  const std::vector<Case> Cases{
      {"the failed record is reached again", 4, {3}, {}, false, 0, true, {1, 2, 3, 4}, ""},
      {"one record skipped", 5, {3}, {3}, false, 0, false, {1, 2, 4, 5}, "Record #3 corrupted and skipped.\r\n"},
      {"no later record, raised", 3, {2}, {2, 3}, false, CopyPositionCode, false, {1},
       "Record #2 corrupted and skipped.\r\nRecord #3 corrupted and skipped.\r\n"
       "Error copying table \"unknown\". No record after record #3 can be reached: page damaged\r\n"},
      {"no later record, logged", 3, {2}, {2, 3}, true, 0, false, {1},
       "Record #2 corrupted and skipped.\r\nRecord #3 corrupted and skipped.\r\n"
       "Error copying table \"unknown\". No record after record #3 can be reached: page damaged\r\n"},
      {"the last record cannot be moved to", 2, {2}, {2}, true, 0, false, {1},
       "Record #2 corrupted and skipped.\r\n"
       "Error copying table \"unknown\". No record after record #2 can be reached: page damaged\r\n"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Title);
    DamagedRows Source(Numbered(C.Rows));
    Source.BadIds = C.BadIds;
    Source.Unreachable = C.Unreachable;
    Source.Open();
    std::unique_ptr<TQXLTable> Dest = Target();
    std::string Log;
    bool Continue = true;
    bool Answer = true;
    EXPECT_EQ(NativeCodeOf([&] {
                Answer = CopyTableData(nullptr, Source, *Dest, Log, Continue, C.IgnoreErrors, false, nullptr, 0, 100);
              }),
              C.Code);
    if (!C.Code) {
      EXPECT_EQ(Answer, C.Answer);
    }
    EXPECT_EQ(Log, C.Log);
    EXPECT_EQ(Ids(*Dest), C.Copied);
    EXPECT_EQ(Dest->State(), dsBrowse);
    Dest->Close();
    Dest->DeleteTable();
  }
}

TEST_F(CopyTableDataTest, FieldAndPostFailuresAreLoggedAndRaisedUnlessIgnored) {
  const std::string FieldLine =
      "Error copying table \"Copy\". Record #%d, field 'Name' was copied with Null value due to error: ";
  for (const bool Ignore : {true, false}) {
    SCOPED_TRACE(Ignore ? "ignored" : "raised");
    RowListDataSet Source(Numbered(2));
    Source.Open();
    // Names are text; the target keeps integers there.
    std::unique_ptr<TQXLTable> Dest = Target(aftInteger);
    std::string Log;
    bool Continue = true;
    bool Answer = true;
    bool Raised = false;
    try {
      Answer = CopyTableData(Dest.get(), Source, *Dest, Log, Continue, Ignore, false, nullptr, 0, 100);
    } catch (const std::exception&) {
      Raised = true;
    }
    EXPECT_EQ(Raised, !Ignore);
    if (Ignore) {
      EXPECT_FALSE(Answer);
      // Both records arrive, their names as NULL.
      EXPECT_EQ(Rows(*Dest), (std::vector<std::string>{"Id=1|Name=-|Amount=1", "Id=2|Name=-|Amount=2"}));
      EXPECT_EQ(Log.find(platform::Format(FieldLine, 1)), 0u) << Log;
      EXPECT_NE(Log.find(platform::Format(FieldLine, 2)), std::string::npos) << Log;
    } else {
      EXPECT_TRUE(Dest->IsEmpty());
      EXPECT_EQ(Log.find(platform::Format(FieldLine, 1)), 0u) << Log;
      EXPECT_EQ(Log.find("Record #2"), std::string::npos) << Log;
    }
    EXPECT_EQ(Dest->State(), dsBrowse);
    Dest->Close();
    Dest->DeleteTable();
  }

  // A destination that refuses a post.
  RowListDataSet Source(Numbered(3));
  Source.Open();
  RowListDataSet Dest;
  Dest.Open();
  Dest.FailPosts = 1;
  std::string Log;
  bool Continue = true;
  EXPECT_FALSE(CopyTableData(nullptr, Source, Dest, Log, Continue, true, false, nullptr, 0, 100));
  EXPECT_EQ(Log, "Error copying table \"unknown\". Record #1 was not imported due to error: post refused\r\n\r\n");
  EXPECT_EQ(IdsOf(Dest), (std::set<std::int32_t>{2, 3}));
  Dest.FailPosts = 1;
  Log.clear();
  EXPECT_THROW(CopyTableData(nullptr, Source, Dest, Log, Continue, false, false, nullptr, 0, 100), std::runtime_error);
  EXPECT_EQ(Dest.State(), dsBrowse);
  EXPECT_EQ(Dest.Rows.size(), 2u);
}

TEST_F(CopyTableDataTest, ASourceFieldWithoutAFieldObjectIsReportedAsUnsupported) {
  RowListDataSet Source(Numbered(2));
  // Field objects for Id and Amount only: Name has none.
  std::unique_ptr<TField> Id = CreateField(ftInteger);
  Id->FieldName = "Id";
  Id->SetDataSet(&Source);
  std::unique_ptr<TField> Amount = CreateField(ftFloat);
  Amount->FieldName = "Amount";
  Amount->SetDataSet(&Source);
  Source.Open();
  RowListDataSet Dest;
  Dest.Open();
  const std::string Line = "Cannot copy field 'Name' of table \"unknown\". The field's data type is not supported.";
  std::string Log;
  bool Continue = true;
  EXPECT_EQ(NativeCodeOf([&] { CopyTableData(nullptr, Source, Dest, Log, Continue, false, false, nullptr, 0, 100); }),
            CopyFieldTypeCode);
  EXPECT_EQ(Log, Line + "\r\n");
  EXPECT_TRUE(Dest.Rows.empty());
  Log.clear();
  EXPECT_FALSE(CopyTableData(nullptr, Source, Dest, Log, Continue, true, false, nullptr, 0, 100));
  EXPECT_EQ(Log, Line + "\r\n" + Line + "\r\n");
  EXPECT_EQ(IdsOf(Dest), (std::set<std::int32_t>{1, 2}));
  for (const Row& R : Dest.Rows) {
    EXPECT_EQ(R.Amount, R.Id.value() * 1.0);
    EXPECT_FALSE(R.Name.has_value());
  }
  Source.Close();
}

}  // namespace
