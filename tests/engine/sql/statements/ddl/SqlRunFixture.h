#pragma once
// SQL text run through the processor on the database "Db" of the table
// fixture, the way a query component runs it: the query dataset holds its
// database while the text runs. The SQL layer's expressions answer
// filters and defaults.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/statements/QXLSQLProcessor.h"
#include "tests/engine/datasets/dataset/TableFixture.h"

namespace qxl::testsupport {

class SqlRunFixture : public TableFixture {
protected:
  SqlRunFixture() { RegisterSQLExpressions(); }

  // Runs Sql on the database component DatabaseName; the rows it affected. Errors propagate.
  std::int64_t Run(const std::string& Sql, const std::string& DatabaseName = "Db") {
    TQXLDataSet Query;
    Query.SetDatabaseName(DatabaseName);
    TQXLLocalSQLProcessor Processor(&Query);
    Processor.PrepareStatement(Sql);
    Query.SetDatabaseUse(TQXLDataSet::duExecSQL, true);
    struct TRelease {
      TQXLDataSet& Query;
      ~TRelease() { Query.SetDatabaseUse(TQXLDataSet::duExecSQL, false); }
    } Release{Query};
    Processor.ExecuteQuery();
    return Processor.FRowsAffected;
  }

  // The native code and message Sql raises; 0 and "" when it runs.
  std::pair<std::int32_t, std::string> Failure(const std::string& Sql) {
    try {
      Run(Sql);
    } catch (const EQXLException& E) {
      return {E.NativeError, E.Message};
    } catch (const platform::Exception& E) {
      return {-1, E.Message};
    }
    return {0, std::string()};
  }

  // The table's stored definitions, read by opening it.
  std::unique_ptr<TQXLTable> Opened(const std::string& Name) {
    std::unique_ptr<TQXLTable> T = NewTable(Name);
    T->Open();
    return T;
  }
};

}  // namespace qxl::testsupport
