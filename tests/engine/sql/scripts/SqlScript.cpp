#include "tests/engine/sql/scripts/SqlScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "tests/engine/storage/StorageTestUtil.h"

namespace qxl::testsupport {

namespace {

struct TRecord {
  int Line = 0;  // of its first line
  std::vector<std::string> Lines;
};

std::string Trim(const std::string& Text) {
  const std::size_t First = Text.find_first_not_of(" \t\r");
  if (First == std::string::npos) return std::string();
  const std::size_t Last = Text.find_last_not_of(" \t\r");
  return Text.substr(First, Last - First + 1);
}

std::vector<std::string> Words(const std::string& Line) {
  std::istringstream In(Line);
  std::vector<std::string> Result;
  for (std::string Word; In >> Word;) Result.push_back(Word);
  return Result;
}

std::string Upper(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

std::vector<TRecord> ReadRecords(const std::string& Path) {
  std::ifstream In(Path);
  if (!In) throw std::runtime_error("cannot read " + Path);
  std::vector<TRecord> Records;
  TRecord Current;
  int LineNo = 0;
  for (std::string Line; std::getline(In, Line);) {
    ++LineNo;
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Trim(Line).empty()) {
      if (!Current.Lines.empty()) Records.push_back(std::move(Current));
      Current = TRecord();
      continue;
    }
    if (Trim(Line)[0] == '#') continue;
    if (Current.Lines.empty()) Current.Line = LineNo;
    Current.Lines.push_back(Line);
  }
  if (!Current.Lines.empty()) Records.push_back(std::move(Current));
  return Records;
}

// One row as the script writes it: values joined with "|", NULL for none.
std::string RowOf(TDataSet& Data) {
  std::string Row;
  for (std::int32_t I = 0; I < Data.FieldCount(); ++I) {
    if (I > 0) Row += '|';
    const TField& Field = Data.Fields(I);
    Row += Field.IsNull() ? std::string("NULL") : Field.AsString();
  }
  return Row;
}

std::string Joined(const std::vector<std::string>& Rows) {
  std::string Text;
  for (const std::string& Row : Rows) Text += "  " + Row + "\n";
  return Text;
}

TQXLAdvancedFieldType TypeNamed(const std::string& Name) {
  for (const TSQLFieldType& Row : SQLFieldTypes)
    if (Upper(Name) == Row.SqlName) return Row.AdvancedFieldType;
  throw std::runtime_error("unknown column type " + Name);
}

class TScriptRun {
public:
  explicit TScriptRun(std::string Path) : FPath(std::move(Path)) {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(FFile);
    Maker.PageSize = 1024;
    Maker.CreateDatabase();
    FDb = std::make_unique<TQXLDatabase>();
    FDb->Name = "Db";
    FDb->SetDatabaseName("Db");
    FDb->SetDatabaseFileName(FFile);
    FDb->MultiUser = true;
    FDb->Open();
  }

  ~TScriptRun() {
    FDb.reset();
    UnregisterSQLExpressions();
  }

  int Run() {
    const std::vector<TRecord> Records = ReadRecords(FPath);
    for (const TRecord& Record : Records) {
      SCOPED_TRACE(FPath + ":" + std::to_string(Record.Line));
      try {
        RunRecord(Record);
      } catch (const std::exception& Error) {
        ADD_FAILURE() << FPath << ":" << Record.Line << ": " << Error.what();
      }
    }
    return static_cast<int>(Records.size());
  }

private:
  void RunRecord(const TRecord& Record) {
    const std::vector<std::string> Head = Words(Record.Lines.front());
    if (Head.empty()) return;
    if (Head[0] == "table") return MakeTable(Record, Head);
    if (Head[0] == "statement" || Head[0] == "query") return RunSql(Record, Head);
    throw std::runtime_error("unknown record '" + Record.Lines.front() + "'");
  }

  void MakeTable(const TRecord& Record, const std::vector<std::string>& Head) {
    if (Head.size() != 2) throw std::runtime_error("table NAME expected");
    TQXLTable Table;
    Table.SetDatabaseName("Db");
    Table.SetTableName(Head[1]);
    std::size_t I = 1;
    for (; I < Record.Lines.size(); ++I) {
      const std::vector<std::string> W = Words(Record.Lines[I]);
      if (W.empty()) continue;
      if (W[0] == "rows") break;
      if (W[0] == "index") {
        if (W.size() < 3) throw std::runtime_error("index NAME FIELDS expected");
        TIndexOptions Options{};
        std::string Desc;
        for (std::size_t K = 3; K < W.size(); ++K) {
          if (W[K] == "primary") Options.Include(ixPrimary);
          if (W[K] == "unique") Options.Include(ixUnique);
          if (W[K] == "desc" && K + 1 < W.size()) Desc = W[++K];
        }
        if (!Desc.empty()) Options.Include(ixDescending);
        Table.AdvIndexDefs().Add(W[1], W[2], Options, false, Desc);
        continue;
      }
      std::string TypeName = W.size() > 1 ? W[1] : std::string();
      std::int32_t Size = 0;
      if (const std::size_t Open = TypeName.find('('); Open != std::string::npos) {
        Size = std::stoi(TypeName.substr(Open + 1));
        TypeName = TypeName.substr(0, Open);
      }
      const bool Required = W.size() > 2 && W[2] == "required";
      Table.AdvFieldDefs().Add(W[0], TypeNamed(TypeName), Size, Required);
    }
    Table.CreateTable();
    if (I >= Record.Lines.size()) return;
    Table.Open();
    for (++I; I < Record.Lines.size(); ++I) {
      std::vector<std::string> Values;
      std::string Line = Record.Lines[I];
      for (std::size_t Start = 0;;) {
        const std::size_t Bar = Line.find('|', Start);
        Values.push_back(Line.substr(Start, Bar == std::string::npos ? std::string::npos : Bar - Start));
        if (Bar == std::string::npos) break;
        Start = Bar + 1;
      }
      if (static_cast<std::int32_t>(Values.size()) != Table.FieldCount())
        throw std::runtime_error("row '" + Line + "' does not fill the table's columns");
      Table.Append();
      for (std::size_t K = 0; K < Values.size(); ++K)
        if (Values[K] != "NULL") Table.Fields(static_cast<std::int32_t>(K)).SetAsString(Values[K]);
      Table.Post();
    }
    Table.Close();
  }

  void RunSql(const TRecord& Record, const std::vector<std::string>& Head) {
    const bool IsQuery = Head[0] == "query";
    if (Head.size() < 2) throw std::runtime_error("record kind expected after " + Head[0]);
    const std::string Kind = Head[1];
    std::int32_t ExpectedCode = 0;
    std::string ExpectedText;
    std::int32_t ExpectedCount = -1;
    bool Live = false, ReadOnly = false, Names = false;
    if (Kind == "error") {
      if (Head.size() < 3) throw std::runtime_error("error CODE expected");
      ExpectedCode = std::stoi(Head[2]);
      const std::string& First = Record.Lines.front();
      const std::size_t CodeAt = First.find(Head[2], First.find("error") + 5);
      ExpectedText = Trim(First.substr(CodeAt + Head[2].size()));
    } else if (Kind == "count") {
      if (Head.size() < 3) throw std::runtime_error("count N expected");
      ExpectedCount = std::stoi(Head[2]);
    } else if (Kind != "ok" && Kind != "sorted" && Kind != "ordered") {
      throw std::runtime_error("unknown record kind " + Kind);
    }
    for (std::size_t K = 2; K < Head.size(); ++K) {
      if (Head[K] == "live") Live = true;
      if (Head[K] == "readonly") ReadOnly = true;
      if (Head[K] == "names") Names = true;
    }

    std::size_t I = 1;
    std::vector<std::vector<std::string>> Params;
    for (; I < Record.Lines.size() && Trim(Record.Lines[I]).rfind("param ", 0) == 0; ++I)
      Params.push_back(Words(Record.Lines[I]));
    std::vector<std::string> Sql;
    for (; I < Record.Lines.size() && Trim(Record.Lines[I]) != "----"; ++I) Sql.push_back(Record.Lines[I]);
    std::vector<std::string> Expected;
    const bool HasRows = I < Record.Lines.size();
    for (++I; I < Record.Lines.size(); ++I) Expected.push_back(Record.Lines[I]);
    if (Sql.empty()) throw std::runtime_error("SQL expected");

    TQXLQuery Query;
    Query.SetDatabaseName("Db");
    Query.SetRequestLive(Live || ReadOnly);
    Query.SetSQL(Sql);
    for (const std::vector<std::string>& P : Params) SetParam(Query, P);

    try {
      if (IsQuery)
        Query.Open();
      else
        Query.ExecSQL();
    } catch (const EQXLException& Error) {
      if (ExpectedCode == 0) throw;
      EXPECT_EQ(Error.NativeError, ExpectedCode) << Error.Message;
      EXPECT_NE(Error.Message.find(ExpectedText), std::string::npos)
          << "'" << ExpectedText << "' not in: " << Error.Message;
      return;
    }
    if (ExpectedCode != 0) {
      ADD_FAILURE() << "no error " << ExpectedCode << " raised";
      return;
    }
    if (ExpectedCount >= 0) {
      EXPECT_EQ(Query.RowsAffected(), ExpectedCount);
    }
    if (!IsQuery) return;
    if (Live) {
      EXPECT_FALSE(Query.ReadOnly()) << "the result is not editable";
    }
    if (ReadOnly) {
      EXPECT_TRUE(Query.ReadOnly()) << "the result is editable";
    }
    if (!HasRows && Kind != "ok") throw std::runtime_error("---- and the expected rows are missing");
    std::vector<std::string> Actual;
    if (Names) {
      std::string Row;
      for (std::int32_t K = 0; K < Query.FieldCount(); ++K) Row += (K ? "|" : "") + Query.Fields(K).FieldName;
      Actual.push_back(Row);
    }
    for (Query.First(); !Query.Eof(); Query.Next()) Actual.push_back(RowOf(Query));
    if (Kind == "sorted") {
      const auto From = static_cast<std::ptrdiff_t>(Names ? 1 : 0);
      std::sort(Actual.begin() + From, Actual.end());
      if (static_cast<std::ptrdiff_t>(Expected.size()) >= From) std::sort(Expected.begin() + From, Expected.end());
    }
    EXPECT_EQ(Actual, Expected) << "actual rows:\n" << Joined(Actual) << "expected rows:\n" << Joined(Expected);
    Query.Close();
  }

  static void SetParam(TQXLQuery& Query, const std::vector<std::string>& Words) {
    if (Words.size() < 3) throw std::runtime_error("param NAME TYPE VALUE expected");
    TParam& P = Query.ParamByName(Words[1]);
    const std::string& Type = Words[2];
    std::string Value;
    for (std::size_t K = 3; K < Words.size(); ++K) Value += (K > 3 ? " " : "") + Words[K];
    if (Type == "integer")
      P.SetAsInteger(std::stoi(Value));
    else if (Type == "float")
      P.SetAsFloat(std::stod(Value));
    else if (Type == "string")
      P.SetAsString(Value);
    else if (Type == "null")
      P.Clear();
    else
      throw std::runtime_error("unknown parameter type " + Type);
  }

  std::string FPath;
  TQXLEngineScope FEngine;
  TScratchDir FDir;
  std::string FFile = FDir.File("script.qxl");
  std::unique_ptr<TQXLDatabase> FDb;
  // Registered before any table is opened, for the engine's own filters too.
  struct TExpressions {
    TExpressions() { RegisterSQLExpressions(); }
  } FExpressions;
};

}  // namespace

int RunSqlScript(const std::string& Path) {
  TScriptRun Run(Path);
  return Run.Run();
}

}  // namespace qxl::testsupport
