#pragma once
// The query component: the dataset through which programs run SQL text on a
// database. Its SQL lines, with optional parameters (filled from a master
// dataset through a data link when one is set), go to an SQL processor that
// runs every statement of the text in order. Open shows the last statement's
// result as a dataset; ExecSQL runs the text without a result and makes
// RowsAffected available. It is also the host its statements' subqueries ask
// to parse their query expressions.
//
// Thread rule: one thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/Params.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/nodes/QXLSubqueryCommand.h"
#include "engine/sql/query/QXLSQLLines.h"

namespace qxl {

class TField;
class TQXLQuery;
class TQXLSQLProcessor;

// The query's link to its master data source: a new master record runs the
// query again with the master's values as parameters.
class TQXLQueryDataLink final : public TDetailDataLink {
public:
  explicit TQXLQueryDataLink(TQXLQuery& Query) : FQuery(Query) {}
  TDataSet* DetailDataSet() const override;

protected:
  void ActiveChanged() override;
  void RecordChanged(TField* Field) override;
  void CheckBrowseMode() override;

private:
  TQXLQuery& FQuery;
};

class TQXLQuery : public TQXLDataSet, public TQXLSubqueryHost {
public:
  explicit TQXLQuery(const TComponent* Owner = nullptr, bool OwnerInDesignMode = false);
  // Closes and unprepares. Raises nothing.
  ~TQXLQuery() override;

  // The SQL text; every change closes and unprepares the query and parses
  // the parameters anew (with ParamCheck).
  TQXLSQLLines& SQL() { return FSQL; }
  const TQXLSQLLines& SQL() const { return FSQL; }
  // Replaces the lines in one change; the same text changes nothing.
  void SetSQL(const std::vector<std::string>& Lines);
  // The text as the parameter parser gave it back (informational).
  const std::string& Text() const { return FText; }

  TParams& Params() { return FParams; }
  std::int32_t ParamCount() const { return FParams.Count(); }
  TParam& ParamByName(const std::string& Value) { return FParams.ParamByName(Value); }

  // The master source whose record fills the parameters.
  TDataSource* DataSource() const { return FDataLink->DataSource(); }
  // A source linked back to this query raises "Circular datalinks are not allowed".
  void SetDataSource(TDataSource* Value);
  TDataSource* GetDataSource() const override { return DataSource(); }
  // Fills MasterFields with the master's fields named like parameters, and
  // DetailFields with this query's fields of those names.
  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields);

  bool RequestLive() const { return FRequestLive; }
  void SetRequestLive(bool Value) { FRequestLive = Value; }
  bool ParamCheck() const { return FParamCheck; }
  void SetParamCheck(bool Value) { FParamCheck = Value; }

  bool Prepared() const { return FPrepared; }
  void SetPrepared(bool Value);
  void Prepare();
  void UnPrepare();
  // Runs the text without a result; the dataset must be closed.
  void ExecSQL();
  // While prepared, the processor's count of the last run; else the count
  // saved when the processor was freed; -1 when not known.
  std::int32_t RowsAffected() const;
  TQXLSQLProcessor* StmtHandle() const { return FStmtHandle.get(); }

  // An open read-only query runs again; an editable one reads its records again.
  void Refresh() override;

  bool IsQuery() const override { return true; }
  void CloseByDatabase() override;
  void SetDatabaseUse(std::int32_t Reason, bool On) override;

  std::unique_ptr<TQXLSubqueryCommand> CreateSubqueryCommand(TQXLLexer& Lexer) override;

  // What a provider asks of the query.
  void PSExecute() { ExecSQL(); }
  TParams& PSGetParams() { return FParams; }
  void PSSetParams(const TParams& Values);
  void PSSetCommandText(const std::string& CommandText);

  // The master's record changed: the query runs again with its values.
  void RefreshParams();

protected:
  TQXLCursor* CreateCursorHandle() override;

private:
  void SQLChanged();
  void PrepareStep(bool Value);
  TQXLCursor* ExecuteStep(bool ForOpen);
  void SetParamsFromMaster();
  void TransferParams();

  TQXLSQLLines FSQL;
  std::unique_ptr<TQXLSQLProcessor> FStmtHandle;
  bool FPrepared = false;
  TParams FParams;
  std::string FText;
  std::unique_ptr<TQXLQueryDataLink> FDataLink;
  std::int32_t FRowsAffected = -1;
  bool FRequestLive = false;
  bool FParamCheck = true;
  bool FCheckRowsAffected = false;
  // The handle has run since it was made (its count is known).
  bool FHandleRan = false;
};

}  // namespace qxl
