#pragma once
// What the expression tests evaluate over: a cursor of one in-memory record
// with a column of each kind (texts, integers, a float, date and time values,
// a Boolean), any of them NULL, and the helpers that run a filter text over it.
//
// Threads: one test thread.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/core/QXLException.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "tests/support/CursorFields.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/TestFieldDefs.h"

namespace qxl::exprtest {

class TExpressionTestCursor : public FakeCursor {
public:
  TExpressionTestCursor() : FakeCursor("T") {
    TQXLFieldDefs Fields;
    AddField(Fields, "NAME", aftString, 20);
    AddField(Fields, "WNAME", aftWideString, 20);
    AddField(Fields, "NOTE", aftString, 20);
    AddField(Fields, "ID", aftInteger);
    AddField(Fields, "QTY", aftInteger);
    AddField(Fields, "BIG", aftLargeint);
    AddField(Fields, "PRICE", aftDouble);
    AddField(Fields, "DUE", aftDate);
    AddField(Fields, "ATIME", aftTime);
    AddField(Fields, "STAMP", aftDateTime);
    AddField(Fields, "FLAG", aftBoolean);
    ShowEveryTableField(*this, Fields);
    FRecordBufferSize = FFieldDefs->GetMemoryRecordBufferSize();
    FRecordSize = FRecordBufferSize;
    FKeyBufferSize = FRecordBufferSize;
    FCurrentRecordBuffer = AllocateRecordBuffer();
    Clear();
  }

  // Every column NULL.
  void Clear() { InternalInitRecord(FCurrentRecordBuffer, false); }
  std::int32_t No(const std::string& Name) const { return FFieldDefs->GetDefNumberByName(Name); }
  void Set(const std::string& Name, TQXLVariant& Value) { SetFieldValue(Value, No(Name), true); }
  void SetText(const std::string& Name, const std::string& Utf8) {
    TQXLVariant V(bftVarchar);
    V.SetAsAnsiString(Utf8);
    Set(Name, V);
  }
  void SetWide(const std::string& Name, const std::u16string& Text) {
    TQXLVariant V(bftWideVarchar);
    V.SetAsWideString(Text);
    Set(Name, V);
  }
  void SetInt(const std::string& Name, std::int32_t Value) {
    TQXLVariant V(bftSignedInt32);
    V.SetAsInteger(Value);
    Set(Name, V);
  }
  void SetDouble(const std::string& Name, double Value) {
    TQXLVariant V(bftDouble);
    V.SetAsDouble(Value);
    Set(Name, V);
  }
  void SetDate(const std::string& Name, int Y, int M, int D) {
    TQXLVariant V(bftDate);
    V.SetAsTDate(platform::EncodeDate(Y, M, D));
    Set(Name, V);
  }
  void SetBool(const std::string& Name, bool Value) {
    TQXLVariant V(bftLogical);
    V.SetAsBoolean(Value);
    Set(Name, V);
  }
  // The record every case starts from: NAME 'Smith', WNAME 'Jones', ID 7,
  // NOTE NULL, QTY NULL, BIG 5000000000, PRICE 2.5, DUE 2020-01-31, ATIME NULL, STAMP NULL,
  // FLAG true.
  void Standard() {
    Clear();
    SetText("NAME", "Smith");
    SetWide("WNAME", u"Jones");
    SetInt("ID", 7);
    TQXLVariant Big(bftSignedInt64);
    Big.SetAsInt64(5000000000LL);
    Set("BIG", Big);
    SetDouble("PRICE", 2.5);
    SetDate("DUE", 2020, 1, 31);
    SetBool("FLAG", true);
  }
};

// A value as the tests compare it: "NULL", or its text.
inline std::string Text(const TQXLVariant* V) {
  if (!V) return "nil";
  if (V->IsNull()) return "NULL";
  return V->IsWideStringDataType() ? platform::WideToUtf8(V->GetAsWideString()) : V->GetAsAnsiString();
}

// "code: message" of the engine error Fn raises, "" when none.
inline std::string ErrorOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const EQXLException& E) {
    return std::to_string(E.NativeError) + ": " + E.what();
  }
  return "";
}

}  // namespace qxl::exprtest
