#pragma once
// The SQL processor of one query component: it keeps the text and the
// parameter values, and on each run lexes the whole text once and runs its
// statements in order, each made by its first words, parsed and executed.
// Only the last statement (and its result) is kept; the affected rows of all
// statements are summed. It opens and ends no transaction of its own, so a
// failing statement stops the run and leaves the earlier ones done.
//
// Threads: one processor per query component, used by the thread that runs
// the query.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/lexer/QXLSQLParams.h"

namespace qxl {

class TQXLCursor;
class TQXLDataSet;
class TQXLSQLCommand;

class TQXLSQLProcessor {
public:
  explicit TQXLSQLProcessor(TQXLDataSet* Query);
  virtual ~TQXLSQLProcessor();
  TQXLSQLProcessor(const TQXLSQLProcessor&) = delete;
  TQXLSQLProcessor& operator=(const TQXLSQLProcessor&) = delete;

  // Keeps the text; it is checked when it runs.
  void PrepareStatement(const std::string& SQLText);
  // Runs the text; the last statement's result cursor on its first row, or
  // nullptr when that statement has none.
  TQXLCursor* OpenQuery();
  void ExecuteQuery() { OpenQuery(); }

  TQXLSQLParams& SQLParams() { return FSQLParams; }
  const std::string& SqlText() const { return FSqlText; }
  // The statement being run or last run; nullptr before a run and after a
  // statement that failed to parse.
  TQXLSQLCommand* Statement() const { return FStatement.get(); }
  TQXLDataSet* QXLQuery() const { return FQuery; }

  // The last query statement's result cannot be edited.
  bool FReadOnly = false;
  bool FRequestLive = false;
  bool FInMemory = false;
  std::int64_t FRowsAffected = 0;

private:
  // Makes the next command's statement; false when there is none.
  bool NextCommand();

  TQXLDataSet* FQuery;
  std::unique_ptr<TQXLLexer> FLex;
  std::string FSqlText;
  TQXLSQLParams FSQLParams;
  std::unique_ptr<TQXLSQLCommand> FStatement;
};

// The processor the query component makes.
class TQXLLocalSQLProcessor final : public TQXLSQLProcessor {
public:
  using TQXLSQLProcessor::TQXLSQLProcessor;
};

}  // namespace qxl
