#pragma once
// What the operator tests compose trees from: in-memory tables filled from
// rows of text ("NULL" is NULL), table operators over them, select-list
// items and parsed SQL expressions, and the rows of a result read back as
// text ("a|b|c").
//
// Threads: one test thread.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLAOGroupBy.h"
#include "engine/sql/operators/QXLAOTable.h"
#include "engine/sql/operators/QXLAOTableExpr.h"

namespace qxl::optest {

using Rows = std::vector<std::string>;

struct Column {
  std::string Name;
  TQXLAdvancedFieldType Type;
  std::int32_t Size = 0;
};

inline TQXLSelectListItem Col(const std::string& Name, const std::string& Table = "", const std::string& Alias = "") {
  TQXLSelectListItem Item;
  Item.FieldName = Name;
  Item.TableName = Table;
  Item.Pseudonym = Alias;
  return Item;
}

inline TQXLSelectListItem Star(const std::string& Table = "") {
  TQXLSelectListItem Item;
  Item.AllFields = true;
  Item.TableName = Table;
  return Item;
}

inline std::unique_ptr<TQXLExpression> ValueExpr(const std::string& Sql) {
  TQXLLexer L(Sql, nullptr, false);
  L.GetNextCommand();
  auto E = std::make_unique<TQXLExpression>();
  E->ParseForValueExpression(nullptr, &L);
  EXPECT_FALSE(E->IsEmpty()) << Sql;
  return E;
}

inline std::unique_ptr<TQXLExpression> Condition(const std::string& Sql) {
  TQXLLexer L(Sql, nullptr, false);
  L.GetNextCommand();
  auto E = std::make_unique<TQXLExpression>();
  E->ParseForBooleanExpression(nullptr, &L);
  return E;
}

inline TQXLSelectListItem Expr(const std::string& Sql, const std::string& Alias = "") {
  TQXLSelectListItem Item;
  Item.IsExpression = true;
  Item.ValueExpr = ValueExpr(Sql);
  Item.Pseudonym = Alias;
  return Item;
}

template <typename... T>
std::vector<TQXLSelectListItem> Items(T&&... Item) {
  std::vector<TQXLSelectListItem> List;
  (List.push_back(std::move(Item)), ...);
  return List;
}

inline std::int32_t CodeOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const EQXLException& E) {
    return E.NativeError;
  }
  return 0;
}

class OperatorTest : public ::testing::Test {
protected:
  OperatorTest() { RegisterSQLExpressions(); }
  ~OperatorTest() override {
    for (const std::string& Name : FTables) {
      try {
        TQXLTable T;
        T.SetInMemory(true);
        T.SetTableName(Name);
        T.DeleteTable();
      } catch (...) {
      }
    }
  }

  // Makes and fills an in-memory table; each row is "v1|v2|..." in column order.
  // IndexFields (";"-separated) gets an index when given.
  void MakeTable(const std::string& Name, const std::vector<Column>& Columns, const Rows& Data,
                 const std::string& IndexFields = "") {
    TQXLTable T;
    T.SetInMemory(true);
    T.SetTableName(Name);
    for (const Column& C : Columns) T.AdvFieldDefs().Add(C.Name, C.Type, C.Size, false);
    if (!IndexFields.empty()) T.AdvIndexDefs().Add("By" + Name, IndexFields, TIndexOptions{});
    T.CreateTable();
    FTables.push_back(Name);
    T.Open();
    for (const std::string& Row : Data) {
      T.Append();
      std::size_t Start = 0;
      for (std::size_t c = 0; c < Columns.size(); ++c) {
        const std::size_t End = Row.find('|', Start);
        const std::string Cell = Row.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
        Start = End == std::string::npos ? Row.size() : End + 1;
        TField& F = T.Fields(static_cast<std::int32_t>(c));
        if (Cell == "NULL")
          F.Clear();
        else if (Columns[c].Type == aftString || Columns[c].Type == aftMemo)
          F.SetAsString(Cell);
        else
          F.SetAsInteger(std::stoi(Cell));
      }
      T.Post();
    }
    T.Close();
  }

  // A table operator over a table made with MakeTable.
  static std::unique_ptr<TQXLAOTable> Scan(const std::string& Name, const std::string& Alias = "") {
    auto T = std::make_unique<TQXLTable>();
    T->SetInMemory(true);
    T->SetTableName(Name);
    return std::make_unique<TQXLAOTable>(Name, Alias, nullptr, std::move(T));
  }

  // Executes Root as the root of its tree and reads its result.
  static Rows Run(TQXLAO& Root) {
    EXPECT_TRUE(Root.OpenTables());
    EXPECT_TRUE(Root.LockTables());
    Root.Execute(true, nullptr, nullptr);
    EXPECT_TRUE(Root.UnlockTables());
    return Read(*Root.ResultDataset());
  }

  static Rows Read(TQXLTable& T) {
    Rows Out;
    for (T.First(); !T.Eof(); T.Next()) {
      std::string Row;
      for (std::int32_t i = 0; i < T.FieldCount(); ++i) {
        if (i > 0) Row += '|';
        Row += T.Fields(i).IsNull() ? "NULL" : T.Fields(i).AsString();
      }
      Out.push_back(Row);
    }
    return Out;
  }

  // The names the result shows.
  static std::string Header(TQXLTable& T) {
    std::string Names;
    for (std::int32_t i = 0; i < T.FieldCount(); ++i) Names += (i > 0 ? "|" : "") + T.Fields(i).DisplayName();
    return Names;
  }

  TQXLEngineScope Engine;
  std::vector<std::string> FTables;
};

}  // namespace qxl::optest
