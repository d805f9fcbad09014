#pragma once
// What the expression node tests build trees from: constants of every kind,
// a cursor over one in-memory record of every column type, a relational
// operator with named columns, and a subquery that answers as told.
//
// Threads: one test thread.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLSubqueryTests.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "tests/support/CursorFields.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/TestFieldDefs.h"

namespace qxl::nodetest {

using TNodePtr = std::unique_ptr<TQXLExprNode>;

inline std::unique_ptr<TQXLExprNodeConst> Const() { return std::make_unique<TQXLExprNodeConst>(); }
inline TNodePtr Int(std::int32_t v) {
  auto n = Const();
  n->Value().Clear(bftSignedInt32);
  n->Value().SetAsInteger(v);
  return n;
}
inline TNodePtr Int64(std::int64_t v) {
  auto n = Const();
  n->Value().Clear(bftSignedInt64);
  n->Value().SetAsInt64(v);
  return n;
}
inline TNodePtr Dbl(double v) {
  auto n = Const();
  n->Value().Clear(bftDouble);
  n->Value().SetAsDouble(v);
  return n;
}
inline TNodePtr Str(const std::string& v) {
  auto n = Const();
  n->Value().Clear(bftVarchar);
  n->Value().SetAsAnsiString(v);
  return n;
}
inline TNodePtr WStr(const std::u16string& v) {
  auto n = Const();
  n->Value().Clear(bftWideVarchar);
  n->Value().SetAsWideString(v);
  return n;
}
inline TNodePtr Bool(bool v) {
  auto n = Const();
  n->Value().Clear(bftLogical);
  n->Value().SetAsBoolean(v);
  return n;
}
// The keyword NULL: an Int32 NULL.
inline TNodePtr Null(TQXLBaseFieldType Type = bftSignedInt32) {
  auto n = Const();
  n->Value().Clear(Type);
  return n;
}
inline TNodePtr Date(int y, int m, int d) {
  auto n = Const();
  n->Value().Clear(bftDate);
  n->Value().SetAsTDate(platform::EncodeDate(y, m, d));
  return n;
}

// A value as the tests compare it: "NULL", or its text (UTF-8).
inline std::string Text(const TQXLVariant* v) {
  if (v->IsNull()) return "NULL";
  return v->IsWideStringDataType() ? platform::WideToUtf8(v->GetAsWideString()) : v->GetAsAnsiString();
}

// The native code of the engine error Fn raises, 0 when none.
inline std::int32_t CodeOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const EQXLException& e) {
    return e.NativeError;
  }
  return 0;
}
inline std::string MessageOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// One record of every storage kind the nodes read: text (8-bit and wide),
// integers, floats, date and time values, a Boolean and two text BLOBs whose
// content the cursor serves from memory.
class NodeTestCursor : public FakeCursor {
public:
  NodeTestCursor() : FakeCursor("T") {
    TQXLFieldDefs fields;
    AddField(fields, "NAME", aftString, 20);
    AddField(fields, "WNAME", aftWideString, 20);
    AddField(fields, "ID", aftInteger);
    AddField(fields, "BIG", aftLargeint);
    AddField(fields, "PRICE", aftDouble);
    AddField(fields, "DAY", aftDate);
    AddField(fields, "AT", aftTime);
    AddField(fields, "STAMP", aftDateTime);
    AddField(fields, "FLAG", aftBoolean);
    AddField(fields, "MEMO", aftMemo);
    AddField(fields, "WMEMO", aftWideMemo);
    AddField(fields, "CODE", aftGuid);
    AddField(fields, "SMALL", aftSmallint);
    ShowEveryTableField(*this, fields);
    FRecordBufferSize = FFieldDefs->GetMemoryRecordBufferSize();
    FRecordSize = FRecordBufferSize;
    FKeyBufferSize = FRecordBufferSize;
    FCurrentRecordBuffer = AllocateRecordBuffer();
    InternalInitRecord(FCurrentRecordBuffer, false);
  }

  std::int32_t No(const std::string& Name) const { return FFieldDefs->GetDefNumberByName(Name); }
  // Stores a value (NULL when Value is NULL) into the current record.
  void Set(const std::string& Name, TQXLVariant& Value) { SetFieldValue(Value, No(Name), true); }
  void SetText(const std::string& Name, const std::string& Utf8) {
    TQXLVariant v(bftVarchar);
    v.SetAsAnsiString(Utf8);
    Set(Name, v);
  }
  void SetInt(const std::string& Name, std::int32_t Value) {
    TQXLVariant v(bftSignedInt32);
    v.SetAsInteger(Value);
    Set(Name, v);
  }
  void SetNull(const std::string& Name) {
    TQXLVariant v;
    Set(Name, v);
  }
  // BLOB content by table field number, and whether the NULL bit is clear.
  void SetBlob(const std::string& Name, const std::string& Bytes) {
    Blobs[No(Name)] = Bytes;
    qxl::SetBitInBuffer(false, No(Name), FCurrentRecordBuffer);
  }

  TQXLStream* InternalCreateBlobStream(bool, bool, std::int32_t FieldNo, TQXLBLOBOpenMode OpenMode,
                                       bool) override {
    EXPECT_EQ(OpenMode, bomRead);
    BufferSeenByBlobOpen = FCurrentRecordBuffer;
    const std::int32_t field = FVisibleFieldDefs->GetDef(FieldNo)->FieldNoReference;
    auto stream = std::make_unique<TQXLMemoryStream>();
    const std::string& bytes = Blobs[field];
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    stream->Seek(0, soBeginning);
    FBLOBStreams.push_back(std::move(stream));
    ++OpenBlobs;
    return FBLOBStreams.back().get();
  }
  void InternalCloseBLOB(std::int32_t) override {
    FBLOBStreams.clear();
    --OpenBlobs;
  }

  std::map<std::int32_t, std::string> Blobs;
  std::uint8_t* BufferSeenByBlobOpen = nullptr;
  int OpenBlobs = 0;
};

// A relational operator over named columns of one table each, whose current
// row is a list of values; hidden-column rules and inputs are not modelled.
class TestAO : public TQXLAO {
public:
  struct Column {
    std::string Table;
    std::string Name;
    TQXLAdvancedFieldType Type;
    std::int32_t Size;
  };
  explicit TestAO(std::vector<Column> Columns) : Columns(std::move(Columns)), Row(this->Columns.size()) {}

  std::int32_t FieldExists(const std::string& FieldName, const std::string& TableName, bool, TQXLIntegerArray& Numbers,
                           bool, bool) override {
    std::int32_t n = 0;
    for (std::size_t i = 0; i < Columns.size(); ++i)
      if (Columns[i].Name == FieldName && (TableName.empty() || Columns[i].Table == TableName)) {
        Numbers.Append(static_cast<std::int32_t>(i));
        ++n;
      }
    return n;
  }
  std::string GetFieldNameByColumnNo(std::int32_t ColumnNo) override { return Columns.at(ColumnNo).Name; }
  void GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool bCopy, bool) override {
    Value.Assign(Row.at(static_cast<std::size_t>(FieldNo)), bCopy);
  }
  TQXLAdvancedFieldType GetFieldType(std::int32_t FieldNo) override { return Columns.at(FieldNo).Type; }
  std::int32_t GetFieldSize(std::int32_t FieldNo) override { return Columns.at(FieldNo).Size; }
  std::int32_t GetFieldPrecision(std::int32_t) override { return 0; }
  TQXLAO* LeftChildAO() const override { return nullptr; }
  TQXLAO* RightChildAO() const override { return nullptr; }
  bool IsOuterJoin() const override { return false; }
  void SetFilterExpression(std::unique_ptr<TQXLBaseExpression> Filter) override { this->Filter = std::move(Filter); }

  std::vector<Column> Columns;
  std::vector<TQXLVariant> Row;
  std::unique_ptr<TQXLBaseExpression> Filter;
};

// A subquery child that answers every question with fixed results and
// remembers what it was asked.
class TestSubquery : public TQXLExprNode, public TQXLSubqueryTests {
public:
  TestSubquery() : TQXLExprNode(true, false) {}
  TQXLVariant* GetDataValue() override { return &Value(); }
  bool Exists() override { return Answer; }
  bool IsValueIn(const TQXLVariant& Value) override {
    Asked = Text(&Value);
    return Answer;
  }
  bool QuantifiedCompare(TQXLDataOperator Operator, TQXLQuantifier Quantifier, const TQXLVariant& Value) override {
    AskedOperator = Operator;
    AskedQuantifier = Quantifier;
    Asked = Text(&Value);
    return Answer;
  }
  bool Answer = false;
  std::string Asked;
  TQXLDataOperator AskedOperator = doUNDEFINED;
  TQXLQuantifier AskedQuantifier = qUNDEFINED;
};

}  // namespace qxl::nodetest
