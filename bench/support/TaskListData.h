#pragma once
// The task database of the user program as a workload: its nine tables in the
// engine's SQL and in SQLite's, their indexes, and the rows of a filled
// database made from one seed, so that every program filling a database from
// it gets the same rows. 100,000 tasks, 1,000 users (the user 0 stands for
// "not assigned"), 500 clients, and the small lookup tables. Tasks of a
// closing state carry a finished date; the others are open. The expected
// answers of the task list's views and of the other queries run on it are
// counted here from the rows themselves, so that a database that answers
// differently is caught.
//
// Threads: the data is made once and then only read.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/DateTime.h"

namespace qxl::tasklist {

constexpr std::int32_t TaskCount = 100000;
constexpr std::int32_t UserCount = 1000;  // Ids 0 .. 999
constexpr std::int32_t ClientCount = 500;
constexpr std::int32_t ClosingExtension = 100000;

struct TLookup {
  std::int32_t Id = 0;
  std::string Name;
  std::int32_t Extension = 0;
  std::int32_t Private = 0;  // categories only
};

struct TTask {
  std::int32_t Id = 0;
  std::int32_t UpdateCounter = 0;
  platform::TDateTime Registered = 0;
  std::optional<platform::TDateTime> TargetDate;
  std::optional<platform::TDateTime> Finished;
  std::string Subject;
  std::int32_t Author = 0;
  std::int32_t Memo = 0;
  std::int32_t Client = 0;
  std::int32_t Category = 0;
  std::int32_t Priority = 0;
  std::int32_t Responsible = 0;
  std::int32_t State = 0;
};

// A date as the user program writes it, the short date of the engine's
// default format (dd.mm.yyyy), and as SQLite keeps dates (yyyy-mm-dd).
inline std::string ShortDate(platform::TDateTime Date) {
  int y = 0, m = 0, d = 0;
  platform::DecodeDate(Date, y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
  return text;
}
inline std::string IsoDate(platform::TDateTime Date) {
  int y = 0, m = 0, d = 0;
  platform::DecodeDate(Date, y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

// The words a subject begins with; a LIKE on a prefix finds about one task in eight.
inline const std::vector<std::string>& SubjectWords() {
  static const std::vector<std::string> words{"Fix", "Install", "Order", "Call", "Update", "Check", "Print", "Move"};
  return words;
}

struct TTaskListData {
  std::vector<TLookup> Users, Clients, Categories, Priorities, States;
  std::vector<TTask> Tasks;  // Id = position + 1

  TTaskListData() {
    std::mt19937 rng(20261211);
    Users.push_back({0, "-/-", 0, 0});
    for (std::int32_t i = 1; i < UserCount; ++i) Users.push_back({i, "User " + Number(i, 4), 1 + i % 3, 0});
    for (std::int32_t i = 1; i <= ClientCount; ++i) Clients.push_back({i, "Client " + Number(i, 3), i % 7 == 0 ? 0 : 1 + i % 2, 0});
    for (std::int32_t i = 1; i <= 10; ++i)
      Categories.push_back({i, "Category " + Number(i, 2), (11 - i) * 10, i == 3 || i == 8 ? 1 : 0});
    for (std::int32_t i = 1; i <= 5; ++i) Priorities.push_back({i, "Priority " + Number(i, 1), i * 10 + i, 0});
    // Four open states (style digits in the last place) and two closing ones.
    const std::int32_t stateExt[] = {11, 20, 32, 44, ClosingExtension, ClosingExtension + 10};
    for (std::int32_t i = 1; i <= 6; ++i) States.push_back({i, "State " + Number(i, 1), stateExt[i - 1], 0});

    const platform::TDateTime first = platform::EncodeDate(2010, 1, 1);
    std::uniform_int_distribution<std::int32_t> day(0, 5000), span(1, 200), user(1, UserCount - 1),
        client(1, ClientCount), category(1, 10), priority(1, 5), state(1, 6), percent(0, 99), number(0, 99999),
        word(0, static_cast<std::int32_t>(SubjectWords().size()) - 1);
    Tasks.reserve(TaskCount);
    for (std::int32_t i = 1; i <= TaskCount; ++i) {
      TTask t;
      t.Id = i;
      t.Registered = first + day(rng);
      if (percent(rng) < 50) t.TargetDate = t.Registered + span(rng);
      t.Subject = SubjectWords()[static_cast<std::size_t>(word(rng))] + " item " + std::to_string(number(rng));
      t.Author = user(rng);
      t.Memo = i;
      t.Client = client(rng);
      t.Category = category(rng);
      t.Priority = priority(rng);
      t.Responsible = percent(rng) < 20 ? 0 : user(rng);
      // Seven tasks in ten are open.
      t.State = percent(rng) < 70 ? 1 + state(rng) % 4 : 5 + state(rng) % 2;
      if (IsClosing(t.State)) t.Finished = t.Registered + span(rng);
      Tasks.push_back(std::move(t));
    }
  }

  bool IsClosing(std::int32_t StateId) const {
    return States[static_cast<std::size_t>(StateId - 1)].Extension >= ClosingExtension;
  }
  bool IsPrivate(std::int32_t CategoryId) const {
    return Categories[static_cast<std::size_t>(CategoryId - 1)].Private != 0;
  }

  // The rows of the three views of the task list for the user Me; the
  // all-tasks view with the condition "open".
  std::int64_t OwnTasks(std::int32_t Me) const {
    return CountIf([&](const TTask& t) { return !t.Finished && t.Responsible == Me; });
  }
  std::int64_t UnassignedTasks(std::int32_t Me) const {
    return CountIf([&](const TTask& t) {
      return !t.Finished && t.Responsible == 0 && (!IsPrivate(t.Category) || t.Author == Me);
    });
  }
  std::int64_t AllOpenTasks(std::int32_t Me) const {
    return CountIf([&](const TTask& t) {
      return (!IsPrivate(t.Category) || t.Author == Me || t.Responsible == Me) && !IsClosing(t.State);
    });
  }
  std::int64_t SubjectsStartingWith(const std::string& Prefix) const {
    return CountIf([&](const TTask& t) { return t.Subject.compare(0, Prefix.size(), Prefix) == 0; });
  }
  std::int64_t ClosedTasks() const {
    return CountIf([&](const TTask& t) { return IsClosing(t.State); });
  }
  // The states that have tasks.
  std::int64_t StatesInUse() const {
    std::vector<bool> used(States.size() + 1);
    for (const TTask& t : Tasks) used[static_cast<std::size_t>(t.State)] = true;
    std::int64_t n = 0;
    for (bool u : used) n += u;
    return n;
  }

private:
  static std::string Number(std::int32_t Value, int Digits) {
    std::string s = std::to_string(Value);
    return std::string(s.size() < static_cast<std::size_t>(Digits) ? Digits - s.size() : 0, '0') + s;
  }
  template <class TPred>
  std::int64_t CountIf(TPred Pred) const {
    std::int64_t n = 0;
    for (const TTask& t : Tasks) n += Pred(t);
    return n;
  }
};

inline const TTaskListData& Data() {
  static const TTaskListData d;
  return d;
}

// The tables in the engine's SQL: auto-increment keys where the programs
// insert without an Id, the key of every table its primary index.
inline const std::vector<std::string>& EngineSchema() {
  static const std::vector<std::string> sql{
      "CREATE TABLE TaskList (Id AUTOINC(INTEGER), UpdateCounter INTEGER NOT NULL, Registered DATE, "
      "RegisteredSet INTEGER, TargetDate DATE, TargetDateSet INTEGER, Finished DATE, Subject VARCHAR(70), "
      "Author_Id INTEGER, Memo_Id INTEGER, Client_Id INTEGER, Category_Id INTEGER, Priority_Id INTEGER, "
      "Responsible_Id INTEGER, State_Id INTEGER, PRIMARY KEY (Id))",
      "CREATE TABLE Memos (Id AUTOINC(INTEGER), Text BLOB, PRIMARY KEY (Id))",
      "CREATE TABLE Clients (Id INTEGER, Client VARCHAR(80) NOT NULL, Extension BYTE NOT NULL DEFAULT 1, "
      "PRIMARY KEY (Id))",
      "CREATE TABLE Categories (Id INTEGER, Category VARCHAR(40), Private INTEGER, Extension INTEGER, "
      "Template_Id INTEGER, PRIMARY KEY (Id))",
      "CREATE TABLE Priorities (Id INTEGER, Priority VARCHAR(40), Extension INTEGER, PRIMARY KEY (Id))",
      "CREATE TABLE States (Id INTEGER, State VARCHAR(40), Extension INTEGER, PRIMARY KEY (Id))",
      "CREATE TABLE Users (Id AUTOINC(INTEGER), Name VARCHAR(40), Extension INTEGER, PwdKey VARCHAR(32), "
      "Permission VARCHAR(40), Setting_Id INTEGER, PRIMARY KEY (Id))",
      "CREATE TABLE AppInternals (Id INTEGER, Data VARCHAR(200), PRIMARY KEY (Id))",
      "CREATE TABLE AppTexts (Id INTEGER, Text VARCHAR(200), PRIMARY KEY (Id))",
      "CREATE INDEX ExtensionAscIdx ON Categories (Extension)",
      "CREATE INDEX ExtensionAscIdx ON Priorities (Extension)",
      "CREATE INDEX ExtensionAscIdx ON States (Extension)",
  };
  return sql;
}

// The same tables and indexes in SQLite (an index name is unique in the
// whole database there).
inline const std::vector<std::string>& SqliteSchema() {
  static const std::vector<std::string> sql{
      "CREATE TABLE TaskList (Id INTEGER PRIMARY KEY AUTOINCREMENT, UpdateCounter INTEGER NOT NULL, "
      "Registered DATE, RegisteredSet INTEGER, TargetDate DATE, TargetDateSet INTEGER, Finished DATE, "
      "Subject VARCHAR(70), Author_Id INTEGER, Memo_Id INTEGER, Client_Id INTEGER, Category_Id INTEGER, "
      "Priority_Id INTEGER, Responsible_Id INTEGER, State_Id INTEGER)",
      "CREATE TABLE Memos (Id INTEGER PRIMARY KEY AUTOINCREMENT, Text BLOB)",
      "CREATE TABLE Clients (Id INTEGER PRIMARY KEY, Client VARCHAR(80) NOT NULL, Extension INTEGER NOT NULL "
      "DEFAULT 1)",
      "CREATE TABLE Categories (Id INTEGER PRIMARY KEY, Category VARCHAR(40), Private INTEGER, Extension INTEGER, "
      "Template_Id INTEGER)",
      "CREATE TABLE Priorities (Id INTEGER PRIMARY KEY, Priority VARCHAR(40), Extension INTEGER)",
      "CREATE TABLE States (Id INTEGER PRIMARY KEY, State VARCHAR(40), Extension INTEGER)",
      "CREATE TABLE Users (Id INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(40), Extension INTEGER, "
      "PwdKey VARCHAR(32), Permission VARCHAR(40), Setting_Id INTEGER)",
      "CREATE TABLE AppInternals (Id INTEGER PRIMARY KEY, Data VARCHAR(200))",
      "CREATE TABLE AppTexts (Id INTEGER PRIMARY KEY, Text VARCHAR(200))",
      "CREATE INDEX Categories_ExtensionAscIdx ON Categories (Extension)",
      "CREATE INDEX Priorities_ExtensionAscIdx ON Priorities (Extension)",
      "CREATE INDEX States_ExtensionAscIdx ON States (Extension)",
  };
  return sql;
}

// The rows of AppInternals: the database version and the task sheet's layout.
struct TInternalRow {
  std::int32_t Id;
  const char* Data;
};
inline const std::vector<TInternalRow>& Internals() {
  static const std::vector<TInternalRow> rows{{101, "V1.03.11"}, {920, "210;20;10;15;15"}, {930, "0;30;100;130"}};
  return rows;
}

// The SQL of the task list: its select list and joins, then a view's WHERE
// clause and the sort of the default grid columns.
inline std::string TaskListQuery(const std::string& WhereClause) {
  return "SELECT\r\n"
         " TaskList.Id, TaskList.Registered, TaskList.TargetDate, TaskList.Finished, TaskList.Subject, \r\n"
         " Clients.Client, \r\n"
         " Categories.Category, Categories.Private, Categories.Extension,\r\n"
         " Priorities.Priority, Priorities.Extension AS PriorityExt,\r\n"
         " Users_Responsible.Name AS Responsible, \r\n"
         " Users_Author.Name AS Author, \r\n"
         " States.State, States.Extension AS StateExt\r\n"
         "FROM TaskList\r\n"
         " INNER JOIN Clients ON (TaskList.Client_Id = Clients.Id)\r\n"
         " INNER JOIN Categories ON (TaskList.Category_Id = Categories.Id)\r\n"
         " INNER JOIN Priorities ON (TaskList.Priority_Id = Priorities.Id)\r\n"
         " INNER JOIN Users AS Users_Responsible ON (TaskList.Responsible_Id = Users_Responsible.Id)\r\n"
         " INNER JOIN Users AS Users_Author ON (TaskList.Author_Id = Users_Author.Id)\r\n"
         " INNER JOIN States ON (TaskList.State_Id = States.Id)\r\n" +
         WhereClause +
         "\r\n"
         "ORDER BY Client ASC, Categories.Extension ASC, Priorities.Extension ASC, Responsible ASC";
}

// The views' WHERE clauses for the user Me, as the program writes them for
// the engine (a NULL date compared by =) or for SQLite (IS NULL).
inline std::string OwnTasksWhere(std::int32_t Me, bool Sqlite) {
  return std::string(Sqlite ? "WHERE (TaskList.Finished IS NULL)" : "WHERE (TaskList.Finished = NULL)") +
         "\r\n AND (TaskList.Responsible_Id = " + std::to_string(Me) + ")";
}
inline std::string UnassignedWhere(std::int32_t Me, bool Sqlite) {
  return std::string(Sqlite ? "WHERE (TaskList.Finished IS NULL)" : "WHERE (TaskList.Finished = NULL)") +
         "\r\n AND (TaskList.Responsible_Id = 0)\r\n AND ((Categories.Private = 0)\r\n OR   (TaskList.Author_Id = " +
         std::to_string(Me) + "))\r\n";
}
inline std::string AllOpenWhere(std::int32_t Me) {
  return "WHERE ((Categories.Private = 0)\r\n OR (TaskList.Author_Id = " + std::to_string(Me) +
         ")\r\n OR (TaskList.Responsible_Id = " + std::to_string(Me) + "))\r\n AND (StateExt < 100000)\r\n";
}

}  // namespace qxl::tasklist
