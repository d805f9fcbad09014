#pragma once
// The table fixture with what the whole-table moves are checked by: a
// People table filled with numbered rows, the rows of any table as text,
// a second database file, and a progress handler that records what it saw
// and stops when told to.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

namespace qxl::testsupport {

class MoversFixture : public TableFixture {
protected:
  // People with the IDs 1..Count, named "P<id>", scored id / 2.
  std::unique_ptr<TQXLTable> People(std::int32_t Count, const std::string& Name = "People") {
    std::unique_ptr<TQXLTable> T = CreatePeople(Name);
    T->Open();
    for (std::int32_t i = 1; i <= Count; ++i) AddPerson(*T, i, "P" + std::to_string(i), i / 2.0);
    T->Close();
    return T;
  }

  // Every record of an open table as "field=value|..." in its order; NULL as "-".
  static std::vector<std::string> Rows(TDataSet& T) {
    std::vector<std::string> rows;
    for (T.First(); !T.Eof(); T.Next()) {
      std::string row;
      for (std::int32_t i = 0; i < T.FieldCount(); ++i) {
        const TField& f = T.Fields(i);
        if (i) row += '|';
        row += f.FieldName + "=" + (f.IsNull() ? std::string("-") : f.AsString());
      }
      rows.push_back(row);
    }
    return rows;
  }

  // The rows of a table of database DatabaseName, opened and closed for the look.
  static std::vector<std::string> RowsOf(const std::string& DatabaseName, const std::string& TableName) {
    TQXLTable T;
    T.SetDatabaseName(DatabaseName);
    T.SetTableName(TableName);
    T.Open();
    std::vector<std::string> rows = Rows(T);
    T.Close();
    return rows;
  }

  // A new database file in the scratch folder.
  std::string MakeDatabaseFile(const std::string& Name, const std::string& FilePassword) {
    const std::string file = Dir.File(Name);
    TQXLDatabase maker;
    maker.SetDatabaseName("Maker" + Name);
    maker.SetDatabaseFileName(file);
    maker.Password = FilePassword;
    maker.PageSize = 1024;
    maker.CreateDatabase();
    return file;
  }

  // Records each percentage; answers stop from call StopAt on (0: never).
  struct TProgressLog {
    std::vector<std::int32_t> Percents;
    std::size_t StopAt = 0;
    TQXLProgressEvent Handler() {
      return [this](TQXLTable&, std::int32_t PercentDone, bool& Continue) {
        Percents.push_back(PercentDone);
        if (StopAt && Percents.size() >= StopAt) Continue = false;
      };
    }
  };
};

}  // namespace qxl::testsupport
