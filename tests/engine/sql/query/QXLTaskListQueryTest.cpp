// The task list query of the user program (the task table inner-joined with
// its six lookups, two of them the users table under aliases, ordered by
// client, category rank, priority rank and responsible user) over the
// program's schema with a few hundred tasks, some of which miss a lookup row
// and so must not be listed. The expected rows are computed here from the
// same data: the set of rows must match, and their order must follow the
// ORDER BY.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

struct TLookup {
  std::string Name;
  std::int32_t Extension;
};

// One listed task as the test compares it.
struct TRow {
  std::int32_t Id;
  std::string Subject, Client, Category;
  std::int32_t Private, CategoryExt;
  std::string Priority;
  std::int32_t PriorityExt;
  std::string Responsible, Author, State;
  std::int32_t StateExt;
  bool Finished;
  auto Key() const { return std::tie(Id, Subject, Client, Category, Private, CategoryExt, Priority, PriorityExt,
                                     Responsible, Author, State, StateExt, Finished); }
  bool operator<(const TRow& Other) const { return Key() < Other.Key(); }
  bool operator==(const TRow& Other) const { return Key() == Other.Key(); }
};

class TaskListQuery : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterSQLExpressions();
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(File);
    Maker.PageSize = 4096;
    Maker.CreateDatabase();
    Db = std::make_unique<TQXLDatabase>();
    Db->SetDatabaseName("Db");
    Db->SetDatabaseFileName(File);
    Db->Open();
    MakeSchema();
  }
  void TearDown() override {
    Db.reset();
    UnregisterSQLExpressions();
  }

  std::unique_ptr<TQXLTable> NewTable(const std::string& Name) {
    auto T = std::make_unique<TQXLTable>();
    T->SetDatabaseName("Db");
    T->SetTableName(Name);
    return T;
  }

  // A lookup table: Id, its name column, Extension; indexed by Id and by Extension.
  void MakeLookup(const std::string& Table, const std::string& Column, const std::map<std::int32_t, TLookup>& Rows,
                  bool WithPrivate = false) {
    std::unique_ptr<TQXLTable> T = NewTable(Table);
    T->AdvFieldDefs().Add("Id", aftInteger, 0, true);
    T->AdvFieldDefs().Add(Column, aftString, 80, false);
    if (WithPrivate) T->AdvFieldDefs().Add("Private", aftInteger, 0, false);
    T->AdvFieldDefs().Add("Extension", aftInteger, 0, false);
    T->AdvIndexDefs().Add("ById", "Id", TIndexOptions{ixPrimary});
    if (Table != "Users" && Table != "Clients") T->AdvIndexDefs().Add("ExtensionAscIdx", "Extension", TIndexOptions{});
    T->CreateTable();
    T->Open();
    for (const auto& [Id, Row] : Rows) {
      T->Append();
      T->FieldByName("Id").SetAsInteger(Id);
      T->FieldByName(Column).SetAsString(Row.Name);
      if (WithPrivate) T->FieldByName("Private").SetAsInteger(Id % 2);
      T->FieldByName("Extension").SetAsInteger(Row.Extension);
      T->Post();
    }
  }

  void MakeSchema() {
    for (std::int32_t Id = 1; Id <= 12; ++Id)
      Clients[Id] = {"Client " + std::string(Id < 10 ? "0" : "") + std::to_string(13 - Id), 1};
    for (std::int32_t Id = 1; Id <= 5; ++Id) Categories[Id] = {"Category " + std::to_string(Id), (Id * 7) % 5 + 1};
    for (std::int32_t Id = 1; Id <= 4; ++Id) Priorities[Id] = {"Priority " + std::to_string(Id), 10 * (5 - Id) + Id};
    for (std::int32_t Id = 1; Id <= 5; ++Id) States[Id] = {"State " + std::to_string(Id), Id == 5 ? 100000 : Id};
    Users[0] = {"(nobody)", 0};
    for (std::int32_t Id = 1; Id <= 8; ++Id) Users[Id] = {"User " + std::to_string(9 - Id), Id > 1 ? 2 : 1};
    MakeLookup("Clients", "Client", Clients);
    MakeLookup("Categories", "Category", Categories, true);
    MakeLookup("Priorities", "Priority", Priorities);
    MakeLookup("States", "State", States);
    MakeLookup("Users", "Name", Users);

    std::unique_ptr<TQXLTable> T = NewTable("TaskList");
    TQXLAdvFieldDefs& D = T->AdvFieldDefs();
    D.Add("Id", aftAutoInc, 0, false);
    D.Add("UpdateCounter", aftInteger, 0, true);
    D.Add("Registered", aftDate, 0, false);
    D.Add("RegisteredSet", aftInteger, 0, false);
    D.Add("TargetDate", aftDate, 0, false);
    D.Add("TargetDateSet", aftInteger, 0, false);
    D.Add("Finished", aftDate, 0, false);
    D.Add("Subject", aftString, 70, false);
    for (const char* Column : {"Author_Id", "Memo_Id", "Client_Id", "Category_Id", "Priority_Id", "Responsible_Id",
                               "State_Id"})
      D.Add(Column, aftInteger, 0, false);
    T->AdvIndexDefs().Add("ById", "Id", TIndexOptions{ixPrimary});
    T->CreateTable();
    T->Open();
    // Deterministic tasks; about one in seven points at a client, user or
    // state that does not exist.
    std::uint32_t Seed = 12345;
    auto Next = [&Seed](std::uint32_t Below) {
      Seed = Seed * 1103515245u + 12345u;
      return static_cast<std::int32_t>((Seed >> 8) % Below);
    };
    for (std::int32_t N = 1; N <= TaskCount; ++N) {
      T->Append();
      T->FieldByName("UpdateCounter").SetAsInteger(0);
      T->FieldByName("Registered").SetAsDateTime(45000.0 + N);
      T->FieldByName("RegisteredSet").SetAsInteger(1);
      T->FieldByName("TargetDateSet").SetAsInteger(0);
      if (N % 3 == 0) T->FieldByName("Finished").SetAsDateTime(45100.0 + N);
      T->FieldByName("Subject").SetAsString("Task " + std::to_string(N));
      T->FieldByName("Author_Id").SetAsInteger(1 + Next(8));
      T->FieldByName("Memo_Id").SetAsInteger(N);
      T->FieldByName("Client_Id").SetAsInteger(Next(14) == 0 ? 99 : 1 + Next(12));
      T->FieldByName("Category_Id").SetAsInteger(1 + Next(5));
      T->FieldByName("Priority_Id").SetAsInteger(1 + Next(4));
      T->FieldByName("Responsible_Id").SetAsInteger(Next(20) == 0 ? 42 : Next(9));
      T->FieldByName("State_Id").SetAsInteger(Next(25) == 0 ? 7 : 1 + Next(5));
      T->Post();
    }
    // The expected rows, from the table as stored.
    for (T->First(); !T->Eof(); T->Next()) {
      auto Find = [](const std::map<std::int32_t, TLookup>& M, std::int32_t Id) {
        auto It = M.find(Id);
        return It == M.end() ? nullptr : &It->second;
      };
      const TLookup* Client = Find(Clients, T->FieldByName("Client_Id").AsInteger());
      const TLookup* Category = Find(Categories, T->FieldByName("Category_Id").AsInteger());
      const TLookup* Priority = Find(Priorities, T->FieldByName("Priority_Id").AsInteger());
      const TLookup* Responsible = Find(Users, T->FieldByName("Responsible_Id").AsInteger());
      const TLookup* Author = Find(Users, T->FieldByName("Author_Id").AsInteger());
      const TLookup* State = Find(States, T->FieldByName("State_Id").AsInteger());
      if (!Client || !Category || !Priority || !Responsible || !Author || !State) {
        ++Unlisted;
        continue;
      }
      const std::int32_t CategoryId = T->FieldByName("Category_Id").AsInteger();
      Expected.push_back({T->FieldByName("Id").AsInteger(), T->FieldByName("Subject").AsString(), Client->Name,
                          Category->Name, CategoryId % 2, Category->Extension, Priority->Name, Priority->Extension,
                          Responsible->Name, Author->Name, State->Name, State->Extension,
                          !T->FieldByName("Finished").IsNull()});
    }
  }

  static constexpr std::int32_t TaskCount = 400;
  TQXLEngineScope Engine;
  TScratchDir Dir;
  std::string File = Dir.File("kemu.qxl");
  std::unique_ptr<TQXLDatabase> Db;
  std::map<std::int32_t, TLookup> Clients, Categories, Priorities, States, Users;
  std::vector<TRow> Expected;
  std::int32_t Unlisted = 0;
};

TEST_F(TaskListQuery, SixInnerJoinsInTheGridsOrder) {
  ASSERT_GT(Unlisted, 10);
  ASSERT_GT(Expected.size(), 300u);
  TQXLQuery Q;
  Q.SetDatabaseName("Db");
  Q.SetSQL({"SELECT",
            " TaskList.Id, TaskList.Registered, TaskList.TargetDate, TaskList.Finished, TaskList.Subject, ",
            " Clients.Client, ",
            " Categories.Category, Categories.Private, Categories.Extension,",
            " Priorities.Priority, Priorities.Extension AS PriorityExt,",
            " Users_Responsible.Name AS Responsible, ",
            " Users_Author.Name AS Author, ",
            " States.State, States.Extension AS StateExt",
            "FROM TaskList",
            " INNER JOIN Clients ON (TaskList.Client_Id = Clients.Id)",
            " INNER JOIN Categories ON (TaskList.Category_Id = Categories.Id)",
            " INNER JOIN Priorities ON (TaskList.Priority_Id = Priorities.Id)",
            " INNER JOIN Users AS Users_Responsible ON (TaskList.Responsible_Id = Users_Responsible.Id)",
            " INNER JOIN Users AS Users_Author ON (TaskList.Author_Id = Users_Author.Id)",
            " INNER JOIN States ON (TaskList.State_Id = States.Id)",
            "",
            "ORDER BY Client ASC, Categories.Extension ASC, Priorities.Extension ASC, Responsible ASC"});
  Q.SetRequestLive(true);
  Q.Open();
  EXPECT_TRUE(Q.ReadOnly());
  std::vector<std::string> Names;
  for (std::int32_t I = 0; I < Q.FieldCount(); ++I) Names.push_back(Q.Fields(I).FieldName);
  EXPECT_EQ(Names, (std::vector<std::string>{"Id", "Registered", "TargetDate", "Finished", "Subject", "Client",
                                             "Category", "Private", "Extension", "Priority", "PriorityExt",
                                             "Responsible", "Author", "State", "StateExt"}));
  std::vector<TRow> Actual;
  for (Q.First(); !Q.Eof(); Q.Next())
    Actual.push_back({Q.FieldByName("Id").AsInteger(), Q.FieldByName("Subject").AsString(),
                      Q.FieldByName("Client").AsString(), Q.FieldByName("Category").AsString(),
                      Q.FieldByName("Private").AsInteger(), Q.FieldByName("Extension").AsInteger(),
                      Q.FieldByName("Priority").AsString(), Q.FieldByName("PriorityExt").AsInteger(),
                      Q.FieldByName("Responsible").AsString(), Q.FieldByName("Author").AsString(),
                      Q.FieldByName("State").AsString(), Q.FieldByName("StateExt").AsInteger(),
                      !Q.FieldByName("Finished").IsNull()});
  // The order of the grid: client, category rank, priority rank, responsible.
  auto SortKey = [](const TRow& R) { return std::tie(R.Client, R.CategoryExt, R.PriorityExt, R.Responsible); };
  for (std::size_t I = 1; I < Actual.size(); ++I)
    EXPECT_FALSE(SortKey(Actual[I]) < SortKey(Actual[I - 1])) << "row " << I << " (task " << Actual[I].Id
                                                             << ") out of order";
  std::sort(Actual.begin(), Actual.end());
  std::vector<TRow> Wanted = Expected;
  std::sort(Wanted.begin(), Wanted.end());
  EXPECT_EQ(Actual.size(), Wanted.size());
  EXPECT_TRUE(Actual == Wanted);
}

}  // namespace
