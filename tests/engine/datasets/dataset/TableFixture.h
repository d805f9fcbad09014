#pragma once
// A database file opened multi-user through the database component "Db" of
// the default session, and table components on it; the table "People" holds
// ID (integer, required), Name (text of 20), Score (double) and Notes (memo),
// indexed ByID (primary) and ByName. The filter and Locate conditions are
// understood by the test's stand-in expression.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/ConditionExpression.h"

namespace qxl::testsupport {

class TableFixture : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(File);
    Maker.Password = Password;
    Maker.PageSize = 1024;
    Maker.CreateDatabase();
    Db = std::make_unique<TQXLDatabase>();
    Db->Name = "Db";
    Db->SetDatabaseName("Db");
    Db->SetDatabaseFileName(File);
    Db->Password = Password;
    Db->MultiUser = true;
    Db->Open();
  }

  std::unique_ptr<TQXLTable> NewTable(const std::string& Name) {
    auto T = std::make_unique<TQXLTable>();
    T->SetDatabaseName("Db");
    T->SetTableName(Name);
    return T;
  }

  std::unique_ptr<TQXLTable> CreatePeople(const std::string& Name = "People") {
    std::unique_ptr<TQXLTable> T = NewTable(Name);
    T->AdvFieldDefs().Add("ID", aftInteger, 0, true);
    T->AdvFieldDefs().Add("Name", aftString, 20, false);
    T->AdvFieldDefs().Add("Score", aftDouble, 0, false);
    T->AdvFieldDefs().Add("Notes", aftMemo, 0, false);
    T->AdvIndexDefs().Add("ByID", "ID", TIndexOptions{ixPrimary});
    T->AdvIndexDefs().Add("ByName", "Name", TIndexOptions{});
    T->CreateTable();
    return T;
  }

  static void AddPerson(TQXLTable& T, std::int32_t Id, const std::string& Name, double Score = 0) {
    T.Append();
    T.FieldByName("ID").SetAsInteger(Id);
    if (!Name.empty()) T.FieldByName("Name").SetAsString(Name);
    T.FieldByName("Score").SetAsFloat(Score);
    T.Post();
  }

  // The IDs from the first record to the last, and back.
  static std::vector<std::int32_t> Forward(TQXLTable& T, const char* Field = "ID") {
    std::vector<std::int32_t> Ids;
    for (T.First(); !T.Eof(); T.Next()) Ids.push_back(T.FieldByName(Field).AsInteger());
    return Ids;
  }
  static std::vector<std::int32_t> Backward(TQXLTable& T) {
    std::vector<std::int32_t> Ids;
    for (T.Last(); !T.Bof(); T.Prior()) Ids.push_back(T.FieldByName("ID").AsInteger());
    return Ids;
  }

  TQXLEngineScope Engine;
  TConditionExpressionServices Expressions;
  TScratchDir Dir;
  std::string File = Dir.File("people.qxl");
  std::string Password;
  std::unique_ptr<TQXLDatabase> Db;
};

}  // namespace qxl::testsupport
