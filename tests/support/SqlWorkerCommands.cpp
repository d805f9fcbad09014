#include "tests/support/SqlWorkerCommands.h"

#include <chrono>
#include <thread>

#include "engine/datasets/QXLMain.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/statements/QXLSQLProcessor.h"
#include "tools/WorkerGate.h"

namespace qxl::testsupport {

namespace {

int Repeat(const std::string& File, const std::string& Password, const std::string& Gate, int Times,
           const std::string& Sql) {
  TQXLEngineScope Engine;
  RegisterSQLExpressions();
  TQXLDatabase Db;
  Db.SetDatabaseName("Db");
  Db.SetDatabaseFileName(File);
  if (Password != "-") Db.Password = Password;
  Db.MultiUser = true;
  Db.Open();
  TQXLDataSet Query;
  Query.SetDatabaseName("Db");
  Query.SetDatabaseUse(TQXLDataSet::duExecSQL, true);
  TQXLLocalSQLProcessor Processor(&Query);
  Processor.PrepareStatement(Sql);
  worker::PassGate(Gate);
  worker::TPeriod Period(Gate);
  for (int Run = 0; Run < Times; ++Run) {
    Period.Begin();
    Processor.SQLParams().Clear();
    Processor.SQLParams().AddCreated()->SetAsInteger(Run);
    Processor.SQLParams().GetValue(0)->Name = "i";
    Processor.ExecuteQuery();
    Period.Finish();
    // A lock given back and taken again at once is never free for anyone
    // else: each run rests a little afterwards, as a client would.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  Period.Print();
  Query.SetDatabaseUse(TQXLDataSet::duExecSQL, false);
  return 0;
}

}  // namespace

std::optional<int> RunSqlWorkerCommand(const std::vector<std::string>& Args) {
  if (Args.size() == 6 && Args[0] == "sql-repeat") return Repeat(Args[1], Args[2], Args[3], std::stoi(Args[5]), Args[4]);
  return std::nullopt;
}

}  // namespace qxl::testsupport
