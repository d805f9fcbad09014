// Structure statements on a table that another process holds open
// exclusively (qxl_store_worker's table-keep): each is refused under its
// statement's code, nothing of the table changes, and once the holder is gone
// the same statements run.
#include <gtest/gtest.h>

#include <optional>

#include "platform/Clock.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"
#include "tests/engine/storage/WorkerProcess.h"

using namespace qxl;

namespace {

class DDLProcesses : public qxl::testsupport::SqlRunFixture {};

TEST_F(DDLProcesses, StatementsOnATableAnotherProcessHoldsAreRefused) {
  Run("CREATE TABLE Held (ID INTEGER, Value INTEGER, PRIMARY KEY (ID))");
  Run("INSERT INTO Held VALUES (1, 10), (2, 20)");
  const std::string Ready = Dir.File("held.ready");
  TWorker Holder({"table-keep", File, "-", "Held", Ready}, Dir.File("holder.out"));
  Holder.AwaitFile(Ready);
  std::ifstream Out(Dir.File("holder.out"));
  std::string Line;
  std::getline(Out, Line);
  ASSERT_EQ(Line, "granted") << Holder.Errors();

  // The lock retries before each refusal pass at once.
  platform::FakeClock Quick;
  std::optional<platform::ScopedClock> UseQuick(std::in_place, Quick);
  struct Case {
    const char* Sql;
    std::int32_t Code;
  } Cases[] = {
      {"DROP TABLE Held", 30250},
      {"TRUNCATE TABLE Held", 30491},
      {"RENAME TABLE Held TO Other", 30265},
      {"ALTER TABLE Held RENAME COLUMN Value TO Amount", 30265},
      {"ALTER TABLE Held ADD (Extra INTEGER)", 30265},
      {"ALTER TABLE Held DROP (\"Value\")", 30265},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code) << Message;
  }
  // The index statements pass the table component's refusal on unchanged.
  EXPECT_NE(Failure("CREATE INDEX ByValue ON Held (Value)").first, 0);
  EXPECT_NE(Failure("DROP INDEX Held.C_PK$ID").first, 0);
  EXPECT_NE(Failure("INSERT INTO Held VALUES (3, 30)").first, 0);

  UseQuick.reset();
  Holder.Kill();
  std::unique_ptr<TQXLTable> T = Opened("Held");
  EXPECT_EQ(Forward(*T), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(T->AdvIndexDefs().Count(), 1);
  EXPECT_NE(T->FindField("Value"), nullptr);
  T->Close();
  Run("ALTER TABLE Held RENAME COLUMN Value TO Amount");
  Run("RENAME TABLE Held TO Other");
  Run("DROP TABLE Other");
  EXPECT_FALSE(NewTable("Other")->Exists());
}

}  // namespace
