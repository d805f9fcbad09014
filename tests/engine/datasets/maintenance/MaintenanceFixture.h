#pragma once
// A database file with tables of items, reached through the database
// component "Db" of the default session on a file system that can be made to
// fail. Each table "Items..." holds ID (integer, primary) and Text (a text of
// 200), one record per ID given. Helpers read a table's IDs back from any file
// and password, and find the pages of a table in an unencrypted file by a
// marker that only its texts contain.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
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
#include "tests/support/FaultyFileSystem.h"

namespace qxl::testsupport {

class MaintenanceFixture : public ::testing::Test {
protected:
  static constexpr std::int32_t TextSize = 200;

  void SetUp() override { MakeDatabase(File, Password); }

  void MakeDatabase(const std::string& FileName, const std::string& FilePassword) {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(FileName);
    Maker.Password = FilePassword;
    Maker.PageSize = 1024;
    Maker.CreateDatabase();
  }

  // The component every test works through; closed.
  TQXLDatabase& Db() {
    if (!FDb) {
      FDb = std::make_unique<TQXLDatabase>();
      FDb->Name = "Db";
      FDb->SetDatabaseName("Db");
      FDb->SetDatabaseFileName(File);
      FDb->SetFileSystem(Files);
      FDb->Password = Password;
      FDb->SilentMode = true;
    }
    return *FDb;
  }

  static std::string TextOf(std::int32_t Id, const std::string& Marker = "item") {
    std::string Text = Marker + "-" + std::to_string(Id) + "-";
    while (Text.size() < static_cast<std::size_t>(TextSize)) Text += static_cast<char>('a' + Text.size() % 26);
    return Text;
  }

  // Creates the table in Db's file with one record per ID; Db is closed again.
  void FillTable(const std::string& Name, const std::vector<std::int32_t>& Ids, const std::string& Marker = "item",
                 const std::string& TextField = "Text") {
    {
      TQXLTable T;
      T.SetDatabaseName("Db");
      T.SetTableName(Name);
      T.AdvFieldDefs().Add("ID", aftInteger, 0, true);
      T.AdvFieldDefs().Add(TextField, aftString, TextSize, false);
      T.AdvIndexDefs().Add("ByID", "ID", TIndexOptions{ixPrimary});
      Db();
      T.CreateTable();
      T.Open();
      for (std::int32_t Id : Ids) {
        T.Append();
        T.FieldByName("ID").SetAsInteger(Id);
        T.FieldByName(TextField).SetAsString(TextOf(Id, Marker));
        T.Post();
      }
      T.Close();
    }
    Db().Close();
  }

  // Deletes the records whose ID is even; Db is closed again.
  void DeleteEvenIds(const std::string& Name) {
    {
      TQXLTable T;
      T.SetDatabaseName("Db");
      T.SetTableName(Name);
      Db();
      T.Open();
      T.First();
      while (!T.Eof()) {
        if (T.FieldByName("ID").AsInteger() % 2 == 0) T.Delete();
        else T.Next();
      }
      T.Close();
    }
    Db().Close();
  }

  // The IDs of a table of the file opened with FilePassword, each checked
  // against its text; an ID whose text is wrong reads as -1.
  std::vector<std::int32_t> Ids(const std::string& Name, const std::string& FileName = "",
                                const std::string* FilePassword = nullptr, const std::string& Marker = "item") {
    TQXLDatabase Reader;
    Reader.SetDatabaseName("Reader");
    Reader.SetDatabaseFileName(FileName.empty() ? File : FileName);
    Reader.Password = FilePassword ? *FilePassword : Password;
    Reader.SilentMode = true;
    std::vector<std::int32_t> Result;
    {
      TQXLTable T;
      T.SetDatabaseName("Reader");
      T.SetTableName(Name);
      T.Open();
      for (T.First(); !T.Eof(); T.Next()) {
        const std::int32_t Id = T.FieldByName("ID").AsInteger();
        Result.push_back(T.FieldByName("Text").AsString() == TextOf(Id, Marker) ? Id : -1);
      }
      T.Close();
    }
    Reader.Close();
    return Result;
  }

  static std::vector<std::int32_t> Range(std::int32_t First, std::int32_t Last, std::int32_t Step = 1) {
    std::vector<std::int32_t> Result;
    for (std::int32_t Id = First; Id <= Last; Id += Step) Result.push_back(Id);
    return Result;
  }

  static std::string Bytes(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
  }
  static bool Exists(const std::string& FileName) { return platform::RealFileSystem().Exists(FileName); }

  TQXLEngineScope Engine;
  TScratchDir Dir;
  platform::test::FaultyFileSystem Files;
  std::string File = Dir.File("shop.qxl");
  std::string Temp = File + ".tmp";
  std::string Password = "Rk#4w%";
  std::unique_ptr<TQXLDatabase> FDb;
};

}  // namespace qxl::testsupport
