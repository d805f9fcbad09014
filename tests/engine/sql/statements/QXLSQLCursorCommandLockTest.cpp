// A query statement whose table another session write-locks between the
// planning (the table is open by then) and the run: the statement tries its
// shared lock 900 times, 100 ms apart, raises 20225, and once freed holds
// nothing of the table.
#include <gtest/gtest.h>

#include <functional>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "engine/sql/statements/QXLSQLUnion.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

// Runs AfterPlan once the tree is planned, before the statement locks it.
class TLockedAfterPlanning : public TQXLSQLUnion {
public:
  using TQXLSQLUnion::TQXLSQLUnion;
  std::function<void()> AfterPlan;
  std::unique_ptr<TQXLAO> BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                      TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) override {
    std::unique_ptr<TQXLAO> Tree =
        TQXLSQLUnion::BuildAOTree(Query, RequestLive, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
    if (AfterPlan) AfterPlan();
    return Tree;
  }
};

// Counts the statement's own pauses (100 ms) apart from the lock calls' inner ones.
class TCountingClock : public platform::FakeClock {
public:
  std::uint64_t StatementPauses = 0;
  void Sleep(std::uint32_t Ms) override {
    FakeClock::Sleep(Ms);
    if (Ms == 100) ++StatementPauses;
  }
};

std::unique_ptr<TQXLDatabase> OpenDatabase(const std::string& Name, const std::string& File) {
  auto Db = std::make_unique<TQXLDatabase>();
  Db->SetDatabaseName(Name);
  Db->SetDatabaseFileName(File);
  Db->MultiUser = true;
  Db->Open();
  return Db;
}

TEST(QXLSQLCursorCommandLocks, ATableWriteLockedAfterPlanningGivesUpWith20225) {
  TQXLEngineScope Engine;
  RegisterSQLExpressions();
  TScratchDir Dir;
  const std::string File = Dir.File("locks.qxl");
  {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(File);
    Maker.CreateDatabase();
  }
  std::unique_ptr<TQXLDatabase> Db = OpenDatabase("Db", File);
  std::unique_ptr<TQXLDatabase> OtherDb = OpenDatabase("Other", File);
  {
    TQXLTable Items;
    Items.SetDatabaseName("Db");
    Items.SetTableName("Items");
    Items.AdvFieldDefs().Add("N", aftInteger, 0, false);
    Items.CreateTable();
    Items.Open();
    Items.Append();
    Items.Fields(0).SetAsInteger(1);
    Items.Post();
  }
  TQXLTable Writer;
  Writer.SetDatabaseName("Other");
  Writer.SetTableName("Items");

  TQXLQuery Query;
  Query.SetDatabaseName("Db");
  TQXLLexer Lexer("SELECT N FROM Items", nullptr, false);
  Lexer.GetNextCommand();
  Lexer.SetCurrentTokenNo(0);
  std::unique_ptr<TLockedAfterPlanning> Statement = TQXLSQLCommand::Make<TLockedAfterPlanning>(Lexer, &Query);
  Statement->AfterPlan = [&] {
    Writer.Open();
    ASSERT_TRUE(Writer.Handle()->LockTable(ltRW, 1, 0, true));
  };
  TCountingClock Clock;
  {
    platform::ScopedClock UseClock(Clock);
    bool ReadOnly = false;
    try {
      Statement->ExecSQL(&Query, true, false, ReadOnly, nullptr, nullptr);
      ADD_FAILURE() << "the statement ran beside a writer";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, 20225) << E.Message;
      EXPECT_NE(E.Message.find("Table is locked"), std::string::npos) << E.Message;
    }
  }
  EXPECT_EQ(Clock.StatementPauses, 900u);
  Statement.reset();
  // The writer lets go; nothing of the failed statement holds the table.
  EXPECT_TRUE(Writer.Handle()->UnlockTable(ltRW, false));
  Writer.Close();
  TQXLTable Exclusive;
  Exclusive.SetDatabaseName("Db");
  Exclusive.SetTableName("Items");
  Exclusive.SetExclusive(true);
  EXPECT_NO_THROW(Exclusive.Open());
  Exclusive.Close();
  UnregisterSQLExpressions();
}

}  // namespace
