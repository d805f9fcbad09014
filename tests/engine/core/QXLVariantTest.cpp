#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLVariant.h"
#include "platform/FormatSettings.h"
#include "QXLValueFixtures.h"

using namespace qxl;

using namespace valuetest;

namespace {

// The native code a call raises, 0 when it does not.
template <typename F>
int CodeOf(F&& f) {
  try {
    f();
    return 0;
  } catch (const EQXLException& e) {
    return e.NativeError;
  }
}

template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
    return "";
  } catch (const EQXLException& e) {
    return e.Message;
  }
}

std::string DataOf(const TQXLVariant& v) {
  return std::string(static_cast<const char*>(v.pData()), static_cast<std::size_t>(v.DataSize()));
}

TQXLVariant Integer(std::int32_t x) {
  TQXLVariant v;
  v.SetAsInteger(x);
  return v;
}

TQXLVariant Text(std::string_view s) {
  TQXLVariant v;
  v.SetAsAnsiString(s);
  return v;
}

TQXLVariant Of(const TypedBytes& b) {
  TQXLVariant v;
  v.SetData(b.Data(), b.Size(), b.Type, true);
  return v;
}

TEST(QXLVariant, SettersGiveAnUntypedValueTheirTypeAndConvertIntoAnyOther) {
  TQXLVariant v;
  v.SetAsInteger(7);
  EXPECT_EQ(v.DataType(), bftSignedInt32);
  EXPECT_EQ(v.DataSize(), 4);
  EXPECT_FALSE(v.IsNull());
  EXPECT_FALSE(v.IsDataLinked());
  EXPECT_EQ(v.GetAsInteger(), 7);

  // Overwritten in place while the type and the size stay.
  void* block = v.pData();
  v.SetAsInteger(8);
  EXPECT_EQ(v.pData(), block);
  EXPECT_EQ(v.GetAsInteger(), 8);

  TQXLVariant d(bftDouble);
  d.SetAsInteger(5);
  EXPECT_EQ(d.DataType(), bftDouble);
  EXPECT_EQ(DataOf(d), Dbl(5).Bytes);

  TQXLVariant s(bftVarchar);
  s.SetAsInteger(5);
  EXPECT_EQ(s.DataType(), bftVarchar);
  EXPECT_EQ(DataOf(s), std::string("5\0", 2));

  TQXLVariant i(bftSignedInt32);
  i.SetAsInteger(1);
  EXPECT_EQ(MessageOf([&] { i.SetAsAnsiString("abc"); }),
            "Cannot cast from 'STRING' to 'INTEGER' - Native error: 30051");
  EXPECT_TRUE(i.IsNull());  // the old data is gone
  EXPECT_EQ(i.DataType(), bftSignedInt32);

  TQXLVariant e;
  e.SetAsExtended(1.25L);
  EXPECT_EQ(e.DataSize(), 10);
  EXPECT_EQ(e.GetAsExtended(), 1.25L);
  EXPECT_EQ(e.GetAsAnsiString(), "1.25");

  TQXLVariant b;
  b.SetAsBoolean(true);
  EXPECT_EQ(DataOf(b), "\xFF\xFF");
  EXPECT_EQ(b.GetAsAnsiString(), "True");
  EXPECT_EQ(b.GetAsInteger(), 1);
}

TEST(QXLVariant, EmptyTextIsNull) {
  TQXLVariant v(bftVarchar);
  v.SetAsAnsiString("abc");
  ASSERT_FALSE(v.IsNull());
  v.SetAsAnsiString("");
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftVarchar);

  TQXLVariant fresh;
  fresh.SetAsAnsiString("");
  EXPECT_TRUE(fresh.IsNull());
  EXPECT_EQ(fresh.DataType(), bftVarchar);

  TQXLVariant wide;
  wide.SetAsWideString(u"");
  EXPECT_TRUE(wide.IsNull());
  EXPECT_EQ(wide.DataType(), bftWideVarchar);

  // Also for a date column: '' is NULL, not a conversion error.
  TQXLVariant date(bftDate);
  date.SetAsAnsiString("");
  EXPECT_TRUE(date.IsNull());
  EXPECT_EQ(date.DataType(), bftDate);
}

TEST(QXLVariant, GettersOfNullAndConvertingGetters) {
  TQXLVariant n(bftSignedInt32);
  EXPECT_EQ(MessageOf([&] { n.GetAsInteger(); }), "Value is Null - Native error: 30016");
  EXPECT_EQ(CodeOf([&] { n.GetAsTDateTime(); }), 30016);
  EXPECT_EQ(CodeOf([&] { n.GetAsBoolean(); }), 30016);
  EXPECT_EQ(n.GetAsAnsiString(), "");
  EXPECT_EQ(n.GetAsWideString(), u"");

  EXPECT_EQ(Text("12").GetAsInteger(), 12);
  EXPECT_EQ(Text("300").GetAsByte(), 44);
  EXPECT_EQ(Text("true").GetAsBoolean(), true);
  EXPECT_EQ(Integer(-1).GetAsCardinal(), 0xFFFFFFFFu);
  EXPECT_EQ(Integer(65).GetAsWideString(), u"65");

  TQXLVariant date;
  date.SetAsQXLDate(Day_2019_04_04);
  EXPECT_EQ(date.GetAsTDate(), 43559.0);
  EXPECT_EQ(date.GetAsAnsiString(), "04.04.2019");

  TQXLVariant dt;
  dt.SetAsTDateTime(43559.5);
  EXPECT_EQ(dt.DataType(), bftDateTime);
  EXPECT_EQ(DataOf(dt), DT(Day_2019_04_04, 43200000).Bytes);
  EXPECT_EQ(dt.GetAsTDateTime(), 43559.5);
  EXPECT_EQ(dt.GetAsQXLTime(), 43200000);

  TQXLVariant t;
  t.SetAsTTime(0.25);
  EXPECT_EQ(t.DataType(), bftTime);
  EXPECT_EQ(t.GetAsQXLTime(), 21600000);
}

TEST(QXLVariant, AnsiTextIsWindows1252InsideAndUtf8Outside) {
  TQXLVariant v;
  v.SetAsAnsiString("\u20AC5");
  EXPECT_EQ(DataOf(v), std::string("\x80" "5\0", 3));
  EXPECT_EQ(v.StrLen(), 2);
  EXPECT_EQ(v.GetAsAnsiString(), "\u20AC5");
  EXPECT_EQ(v.GetAsWideString(), u"\u20AC5");
  v.SetAsAnsiString("\u0416");  // not in the code page
  EXPECT_EQ(v.GetAsAnsiString(), "?");

  TQXLVariant w;
  w.SetAsWideString(u"\u0416x");
  EXPECT_EQ(DataOf(w), WideRaw(u"\u0416x"));
  EXPECT_EQ(w.StrLen(), 2);
  EXPECT_EQ(w.GetAsAnsiString(), "?x");
}

TEST(QXLVariant, ClearSetNullAssignAndSetData) {
  TQXLVariant v = Integer(5);
  void* data = v.pData();
  v.SetNull(bftVarchar);  // only the flag: type and data stay
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftSignedInt32);
  EXPECT_EQ(v.pData(), data);
  v.SetAsInteger(6);  // the kept block is reused
  EXPECT_FALSE(v.IsNull());
  EXPECT_EQ(v.pData(), data);

  v.Clear(bftDate);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftDate);
  EXPECT_EQ(v.pData(), nullptr);
  EXPECT_EQ(v.DataSize(), 0);

  const TQXLVariant source = Text("abc");
  TQXLVariant copy, link;
  copy.Assign(source, true);
  link.Assign(source, false);
  EXPECT_NE(copy.pData(), source.pData());
  EXPECT_FALSE(copy.IsDataLinked());
  EXPECT_EQ(link.pData(), source.pData());
  EXPECT_TRUE(link.IsDataLinked());
  for (const TQXLVariant* x : {&copy, &link}) {
    EXPECT_EQ(x->DataType(), bftVarchar);
    EXPECT_EQ(x->DataSize(), 4);
    EXPECT_EQ(x->GetAsAnsiString(), "abc");
  }
  TQXLVariant fromNull;
  fromNull.Assign(TQXLVariant(bftTime), true);
  EXPECT_TRUE(fromNull.IsNull());
  EXPECT_EQ(fromNull.DataType(), bftTime);

  std::int32_t external = 42;
  TQXLVariant linked;
  linked.SetData(&external, 4, bftSignedInt32, false);
  EXPECT_TRUE(linked.IsDataLinked());
  EXPECT_EQ(linked.pData(), &external);
  linked.SetAsInteger(43);  // a linked buffer is never written
  EXPECT_EQ(external, 42);
  EXPECT_FALSE(linked.IsDataLinked());
  EXPECT_EQ(linked.GetAsInteger(), 43);

  TQXLVariant owned;
  owned.SetData(&external, 4, bftSignedInt32, true);
  void* block = owned.pData();
  std::int32_t other = 7;
  owned.SetData(&other, 4, bftDate, true);  // same size: the block is reused
  EXPECT_EQ(owned.pData(), block);
  EXPECT_EQ(owned.DataType(), bftDate);
  EXPECT_EQ(owned.GetAsQXLDate(), 7);
}

TEST(QXLVariant, CopyDataToAddressAndStrLen) {
  char buffer[8] = {};
  EXPECT_FALSE(TQXLVariant(bftSignedInt32).CopyDataToAddress(buffer, -1));
  const TQXLVariant abc = Text("abc");
  EXPECT_EQ(MessageOf([&] { abc.CopyDataToAddress(buffer, 3); }), "Buffer size exceeded - Native error: 20056");
  EXPECT_TRUE(abc.CopyDataToAddress(buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_TRUE(Integer(9).CopyDataToAddress(buffer, -1));
  EXPECT_EQ(std::string(buffer, 4), I32(9).Bytes);
  // A string of only its terminator copies nothing.
  TQXLVariant empty;
  empty.SetData("", 1, bftVarchar, true);
  EXPECT_FALSE(empty.CopyDataToAddress(buffer, -1));
  EXPECT_EQ(empty.StrLen(), 0);

  EXPECT_EQ(abc.StrLen(), 3);
  EXPECT_EQ(Integer(1).StrLen(), -1);
  EXPECT_EQ(TQXLVariant(bftVarchar).StrLen(), -1);
}

TEST(QXLVariant, DataTypeSetterAndCast) {
  TQXLVariant v(bftVarchar);
  v.SetDataType(bftDate);  // NULL without data: only the type
  EXPECT_EQ(v.DataType(), bftDate);

  TQXLVariant kept = Integer(5);
  kept.SetNull();
  kept.SetDataType(bftVarchar);  // NULL with data: cleared
  EXPECT_EQ(kept.DataType(), bftVarchar);
  EXPECT_EQ(kept.pData(), nullptr);

  TQXLVariant i = Integer(12);
  i.SetDataType(bftVarchar);
  EXPECT_EQ(DataOf(i), std::string("12\0", 3));

  TQXLVariant bad = Text("abc");
  bad.SetDataType(bftSignedInt32);  // the failure is swallowed
  EXPECT_TRUE(bad.IsNull());
  EXPECT_EQ(bad.DataType(), bftSignedInt32);

  TQXLVariant kept2 = Text("abc");
  EXPECT_EQ(CodeOf([&] { kept2.Cast(bftSignedInt32); }), 30051);
  EXPECT_EQ(kept2.DataType(), bftVarchar);  // a failed cast changes nothing
  EXPECT_EQ(kept2.GetAsAnsiString(), "abc");

  TQXLVariant n(bftSignedInt32);
  n.Cast(bftDouble);
  EXPECT_TRUE(n.IsNull());
  EXPECT_EQ(n.DataType(), bftDouble);

  TQXLVariant d = Integer(3);
  d.Cast(bftDouble);
  EXPECT_EQ(DataOf(d), Dbl(3).Bytes);
  EXPECT_FALSE(d.IsNull());
}

TEST(QXLVariant, ClobToVarcharGrowsByATerminatorWithoutTouchingLinkedData) {
  TQXLVariant owned;
  owned.SetData("abc", 3, bftClob, true);
  owned.Cast(bftVarchar);
  EXPECT_EQ(owned.DataType(), bftVarchar);
  EXPECT_EQ(DataOf(owned), std::string("abc\0", 4));
  EXPECT_EQ(owned.GetAsAnsiString(), "abc");

  // The linked text sits in someone else's buffer, followed by other data.
  char record[6] = {'x', 'y', 'z', 'Q', 'R', 'S'};
  TQXLVariant linked;
  linked.SetData(record, 3, bftClob, false);
  linked.Cast(bftVarchar);
  EXPECT_EQ(std::string(record, 6), "xyzQRS");
  EXPECT_FALSE(linked.IsDataLinked());
  EXPECT_NE(linked.pData(), static_cast<void*>(record));
  EXPECT_EQ(linked.GetAsAnsiString(), "xyz");
  EXPECT_EQ(linked.StrLen(), 3);
}

TEST(QXLVariant, InvertValue) {
  struct Case {
    TypedBytes Value, Expected;
  } cases[] = {
      {I8(-128), I8(-128)},  {I16(5), I16(-5)},
      {I32(-7), I32(7)},     {I64(1), I64(-1)},
      {U8(1), U8(255)},      {U16(0), U16(0)},
      {U16(1), U16(65535)},  {U32(1), U32(0xFFFFFFFF)},
      {Dbl(2.5), Dbl(-2.5)}, {Sgl(1), Sgl(-1)},
      {Ext(3), Ext(-3)},     {Cur(1.25), Cur(-1.25)},
      {Dat(5), Dat(-5)},     {Logical(0xFFFF), Logical(0)},
      {Logical(0), Logical(0xFFFF)},
  };
  for (const Case& c : cases) {
    TQXLVariant v = Of(c.Value);
    v.InvertValue();
    EXPECT_EQ(v.DataType(), c.Expected.Type);  // unsigned types stay unsigned
    EXPECT_EQ(DataOf(v), c.Expected.Bytes) << int(c.Value.Type);
  }
  TQXLVariant n(bftVarchar);
  n.InvertValue();
  EXPECT_TRUE(n.IsNull());
  EXPECT_EQ(MessageOf([] { Text("a").InvertValue(); }),
            "Cannot invert value with not numeric type 'STRING' - Native error: 30123");
  EXPECT_EQ(CodeOf([] { Of(Tim(5)).InvertValue(); }), 30123);
  EXPECT_EQ(CodeOf([] { Of(DT(1, 1)).InvertValue(); }), 30123);

  std::int32_t external = 4;
  TQXLVariant linked;
  linked.SetData(&external, 4, bftSignedInt32, false);
  linked.InvertValue();
  EXPECT_EQ(external, 4);
  EXPECT_EQ(linked.GetAsInteger(), -4);
}

TEST(QXLVariant, ArithmeticNullRules) {
  TQXLVariant nullText(bftVarchar);
  nullText.Add(Integer(5));
  EXPECT_EQ(nullText.DataType(), bftSignedInt32);
  EXPECT_EQ(nullText.GetAsInteger(), 5);

  TQXLVariant ab = Text("ab");
  ab.Add(TQXLVariant(bftSignedInt32));
  EXPECT_EQ(ab.GetAsAnsiString(), "ab");

  TQXLVariant five = Integer(5);
  five.Add(TQXLVariant());
  EXPECT_TRUE(five.IsNull());

  TQXLVariant nullInt(bftSignedInt32);
  nullInt.Add(Integer(1));
  EXPECT_TRUE(nullInt.IsNull());

  for (auto op : {&TQXLVariant::Sub, &TQXLVariant::Mul, &TQXLVariant::Division}) {
    TQXLVariant x = Integer(5);
    (x.*op)(TQXLVariant(bftSignedInt32));
    EXPECT_TRUE(x.IsNull());
    TQXLVariant y(bftSignedInt32);
    (y.*op)(Integer(2));
    EXPECT_TRUE(y.IsNull());
  }
}

TEST(QXLVariant, ArithmeticInTheCommonType) {
  enum Op { Add, Sub, Mul, Div };
  struct Case {
    TypedBytes Left;
    Op Operator;
    TypedBytes Right, Expected;
  } cases[] = {
      {I32(2), Add, I32(3), I32(5)},
      {I8(127), Add, I8(1), I8(-128)},           // wraps in the width
      {U8(5), Sub, I8(10), I16(-5)},             // Byte with Shortint is Smallint
      {I32(7), Div, I32(2), I32(3)},
      {I32(-7), Div, I32(2), I32(-3)},           // toward zero
      {I64(INT64_MIN), Div, I64(-1), I64(INT64_MIN)},
      {U32(0xFFFFFFFF), Mul, U32(2), U32(0xFFFFFFFE)},
      {I32(3), Mul, Dbl(0.5), Dbl(1.5)},
      {Dbl(1), Div, Dbl(4), Dbl(0.25)},
      {Cur(1.5), Add, I32(2), Cur(3.5)},
      {Sgl(1.5f), Sub, Cur(0.5), Cur(1)},        // Single with Currency is Currency,
      {Cur(1.5), Sub, Sgl(0.5f), Sgl(1)},        // Currency with Single is Single
      {Dat(10), Add, I32(5), Dat(15)},
      {Dat(10), Div, Dat(3), Dat(3)},
      {Tim(1000), Sub, Tim(3000), Tim(-2000)},
      {DT(10, 50000000), Add, DT(1, 40000000), DT(12, 3600000)},
      {DT(10, 0), Sub, DT(1, 1), DT(9, -1)},     // a negative time is not carried
      {DT(2, 3), Mul, DT(4, 5), DT(8, 15)},
      {DT(9, 10), Div, DT(2, 3), DT(4, 3)},
      {Logical(0xFFFF), Mul, Logical(0), Logical(0xFFFF)},  // every operator is "or"
      {Logical(0), Sub, Logical(0), Logical(0)},
      {Logical(0xFFFF), Add, I32(4), I32(5)},
      {Ansi("ab"), Add, Ansi("cd"), Ansi("abcd")},
      {I32(5), Add, Ansi("abc"), Ansi("5abc")},
      {Ansi("ab"), Add, Wide(u"\u0416"), Wide(u"ab\u0416")},
  };
  for (const Case& c : cases) {
    TQXLVariant l = Of(c.Left);
    const TQXLVariant r = Of(c.Right);
    switch (c.Operator) {
      case Add: l.Add(r); break;
      case Sub: l.Sub(r); break;
      case Mul: l.Mul(r); break;
      case Div: l.Division(r); break;
    }
    EXPECT_EQ(l.DataType(), c.Expected.Type) << "case " << (&c - cases);
    EXPECT_EQ(DataOf(l), c.Expected.Bytes) << "case " << (&c - cases);
  }
}

TEST(QXLVariant, ArithmeticFailures) {
  EXPECT_EQ(MessageOf([] { Text("a").Sub(Text("b")); }),
            "Not numeric argument in numeric operator '-' - Native error: 30125");
  EXPECT_EQ(MessageOf([] { Text("a").Mul(Integer(1)); }),
            "Not numeric argument in numeric operator '*' - Native error: 30126");
  EXPECT_EQ(CodeOf([] { Text("a").Division(Integer(1)); }), 30127);
  TQXLVariant blob;
  blob.SetData("ab", 2, bftBlob, true);
  EXPECT_EQ(MessageOf([&] { blob.Add(Integer(1)); }), "Cannot cast from 'BLOB' to 'Unknown' - Native error: 30052");
  EXPECT_EQ(CodeOf([&] { blob.Division(Integer(1)); }), 30052);  // engine errors pass unchanged
  TQXLVariant unknown;
  unknown.SetData("ab", 2, bftUnknown, true);
  EXPECT_EQ(CodeOf([&] { unknown.Add(Integer(1)); }), 30124);

  EXPECT_EQ(MessageOf([] { Integer(1).Division(Integer(0)); }),
            "Division error: Division by zero - Native error: 30128");
  EXPECT_EQ(CodeOf([] { Of(Dbl(1)).Division(Of(Dbl(0))); }), 30128);
  EXPECT_EQ(CodeOf([] { Of(Dbl(0)).Division(Of(Dbl(0))); }), 30128);
  EXPECT_EQ(CodeOf([] { Of(Dbl(1e300)).Division(Of(Dbl(1e-300))); }), 30128);
  EXPECT_EQ(CodeOf([] { Of(DT(1, 0)).Division(Of(DT(1, 0))); }), 30128);  // the times divide by zero
  EXPECT_EQ(CodeOf([] { Text("x").Division(Of(Dat(1))); }), 30127);
}

TEST(QXLVariant, Compare) {
  const TQXLVariant null(bftSignedInt32);
  const TQXLVariant one = Integer(1);
  EXPECT_EQ(null.Compare(one, true, false, false), cmprLeftNull);
  EXPECT_EQ(null.Compare(one, false, false, false), cmprLower);
  EXPECT_EQ(one.Compare(null, true, false, false), cmprRightNull);
  EXPECT_EQ(one.Compare(null, false, false, false), cmprGreater);
  EXPECT_EQ(null.Compare(TQXLVariant(), true, false, false), cmprBothNull);
  EXPECT_EQ(null.Compare(TQXLVariant(), false, false, false), cmprEqual);

  EXPECT_EQ(Text("abcdef").Compare(Text("ABC"), false, true, true), cmprEqual);
  EXPECT_EQ(Text("abcdef").Compare(Text("ABC"), false, true, false), cmprGreater);
  EXPECT_EQ(Text("abcdef").Compare(Text("ABC"), false, false, true), cmprLower);
  EXPECT_EQ(Integer(10).Compare(Text("9"), false, false, false), cmprLower);
  EXPECT_EQ(Integer(10).Compare(Of(Dbl(9)), false, false, false), cmprGreater);

  // A large text object has no terminator: its size bounds the comparison.
  char record[6] = {'a', 'b', 'c', 'z', 'z', 'z'};
  TQXLVariant clob;
  clob.SetData(record, 3, bftClob, false);
  EXPECT_EQ(clob.Compare(Text("abc"), false, false, false), cmprEqual);
}

TEST(QXLVariant, TryToReduceWideStringToAnsiString) {
  TQXLVariant w;
  w.SetAsWideString(u"\u20ACab");
  w.TryToReduceWideStringToAnsiString();
  EXPECT_EQ(w.DataType(), bftVarchar);
  EXPECT_EQ(DataOf(w), std::string("\x80" "ab\0", 4));

  TQXLVariant keep;
  keep.SetAsWideString(u"a\u0416");
  keep.TryToReduceWideStringToAnsiString();
  EXPECT_EQ(keep.DataType(), bftWideVarchar);
  EXPECT_EQ(keep.GetAsWideString(), u"a\u0416");

  TQXLVariant number = Integer(5);
  number.TryToReduceWideStringToAnsiString();
  EXPECT_EQ(number.DataType(), bftSignedInt32);
}

TEST(QXLVariant, ReadAsVariant) {
  struct Case {
    TypedBytes Value;
    Variant Expected;
  } cases[] = {
      {Ansi("ab", bftChar), Variant("ab")},
      {Wide(u"ab"), Variant(u"ab")},
      {I8(-1), Variant(std::int8_t(-1))},
      {I16(-2), Variant(std::int16_t(-2))},
      {I32(-3), Variant(std::int32_t(-3))},
      {I64(-4), Variant(std::int64_t(-4))},
      {U8(1), Variant(std::uint8_t(1))},
      {U16(2), Variant(std::uint16_t(2))},
      {U32(3), Variant(std::uint32_t(3))},
      {Sgl(0.5f), Variant(0.5)},
      {Ext(1.5L), Variant(1.5)},
      {Cur(2.5), Variant(2.5)},
      {Dat(Day_2019_04_04), Variant::Date(43559)},
      {Tim(43200000), Variant::Date(0.5)},
      {DT(Day_2019_04_04, 43200000), Variant::Date(43559.5)},
      {Logical(0xFFFF), Variant(true)},
  };
  for (const Case& c : cases) EXPECT_TRUE(Of(c.Value).GetAsVariant() == c.Expected) << int(c.Value.Type);
  EXPECT_TRUE(TQXLVariant(bftClob).GetAsVariant().IsNull());

  TQXLVariant blob;
  blob.SetData("ab", 2, bftBlob, true);
  EXPECT_EQ(CodeOf([&] { blob.GetAsVariant(); }), 30052);  // BLOBs have no text conversion
  EXPECT_EQ(MessageOf([] { Of(Clob("ab")).GetAsVariant(); }), "Unsupported Variant Type MEMO - Native error: 30114");
}

TEST(QXLVariant, WriteAsVariant) {
  struct Case {
    Variant Value;
    TypedBytes Expected;
  } cases[] = {
      {Variant(std::int16_t(-2)), I16(-2)},
      {Variant(std::int32_t(-3)), I32(-3)},
      {Variant(0.5f), Sgl(0.5f)},
      {Variant(0.25), Dbl(0.25)},
      {Variant(std::int8_t(-1)), I8(-1)},
      {Variant(std::uint8_t(1)), U8(1)},
      {Variant(std::uint16_t(2)), U16(2)},
      {Variant(std::int64_t(-4)), I64(-4)},
      {Variant(std::uint32_t(3)), U32(3)},
      {Variant::Currency(1.5), Cur(1.5)},
      {Variant::Date(43559.5), DT(Day_2019_04_04, 43200000)},
      {Variant(u"ab"), Wide(u"ab")},
      {Variant(varUString, std::u16string(u"cd")), Wide(u"cd")},
      {Variant(true), Logical(0xFFFF)},
      {Variant("\u20AC"), Ansi("\x80")},
      {Variant(TVarType(257), std::string("x")), Ansi("x")},
  };
  for (const Case& c : cases) {
    TQXLVariant v;
    v.SetAsVariant(c.Value);
    EXPECT_EQ(v.DataType(), c.Expected.Type) << c.Value.VType();
    EXPECT_EQ(DataOf(v), c.Expected.Bytes) << c.Value.VType();
  }
  // A typed value keeps its type.
  TQXLVariant typed(bftVarchar);
  typed.SetAsVariant(Variant(std::int32_t(42)));
  EXPECT_EQ(typed.GetAsAnsiString(), "42");
  // Null and empty set only the null flag.
  TQXLVariant kept = Integer(5);
  kept.SetAsVariant(Variant::Null());
  EXPECT_TRUE(kept.IsNull());
  EXPECT_EQ(kept.DataType(), bftSignedInt32);
  EXPECT_NE(kept.pData(), nullptr);
  TQXLVariant empty = Integer(5);
  empty.SetAsVariant(Variant());
  EXPECT_TRUE(empty.IsNull());

  EXPECT_EQ(MessageOf([] { TQXLVariant().SetAsVariant(Variant(varError, std::int32_t(0))); }),
            "Unsupported Variant Type 10 - Native error: 30113");
  EXPECT_EQ(CodeOf([] { TQXLVariant().SetAsVariant(Variant(TVarType(288), std::string("x"))); }), 30113);
}

TEST(QXLVariant, MoveTakesTheData) {
  TQXLVariant a = Text("abc");
  void* data = a.pData();
  TQXLVariant b(std::move(a));
  EXPECT_EQ(b.pData(), data);
  EXPECT_EQ(b.GetAsAnsiString(), "abc");
  TQXLVariant c;
  c = std::move(b);
  EXPECT_EQ(c.pData(), data);
  EXPECT_EQ(c.DataType(), bftVarchar);
}

TEST(QXLVariant, DataShorterThanItsTypeReadsAsIfPaddedWithZeros) {
  // Raw data of one byte for an 8-byte type: no read may pass its end.
  TQXLVariant shortValue;
  shortValue.SetData("\x05", 1, bftSignedInt64, true);
  EXPECT_EQ(shortValue.GetAsInt64(), 5);
  EXPECT_EQ(shortValue.GetAsAnsiString(), "5");                               // converted
  EXPECT_EQ(shortValue.Compare(Of(I64(5)), false, false, false), cmprEqual);   // same type
  EXPECT_EQ(shortValue.Compare(Of(Dbl(4.5)), false, false, false), cmprGreater);  // converted first
  shortValue.Add(Of(I64(1)));
  EXPECT_EQ(DataOf(shortValue), I64(6).Bytes);

  TQXLVariant shortDate;
  shortDate.SetData("\x01\x02", 2, bftDateTime, true);
  shortDate.Sub(Of(DT(1, 0)));
  EXPECT_EQ(DataOf(shortDate), DT(0x0201 - 1, 0).Bytes);
}

TEST(QXLVariant, SetDataWithoutBytesGivesNull) {
  char buffer[8] = {'x'};
  const struct {
    const void* Buffer;
    std::int32_t Size;
    bool Copy;
  } cases[] = {{buffer, 0, false}, {buffer, -5, false}, {nullptr, 4, false},
               {buffer, 0, true},  {buffer, -5, true},  {nullptr, 4, true}};
  for (const auto& c : cases) {
    TQXLVariant v = Integer(1);
    v.SetData(c.Buffer, c.Size, bftVarBytes, c.Copy);
    EXPECT_TRUE(v.IsNull()) << c.Size << c.Copy;
    EXPECT_EQ(v.DataType(), bftVarBytes);
    EXPECT_EQ(v.pData(), nullptr);
    EXPECT_EQ(v.DataSize(), 0);
    // Nothing may trust a size that is not there.
    EXPECT_FALSE(v.CopyDataToAddress(buffer, -1));
    TQXLVariant copy;
    copy.Assign(v, true);
    EXPECT_TRUE(copy.IsNull());
  }
}

}  // namespace

// Text becomes a number with "." whatever the process's decimal separator, and
// the conversion leaves that separator alone while other threads convert too.
TEST(Variant, TextToFloatLeavesTheSharedSeparatorAloneAcrossThreads) {
  platform::TFormatSettings& global = platform::FormatSettings();
  const char before = global.DecimalSeparator;
  global.DecimalSeparator = ',';
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&wrong] {
      for (int i = 0; i < 2000; ++i) {
        TQXLVariant v;
        v.SetAsAnsiString("1.5");
        try {
          if (v.GetAsDouble() != 1.5) ++wrong;
        } catch (const EQXLException&) {
          ++wrong;
        }
      }
    });
  for (auto& t : threads) t.join();
  const char after = global.DecimalSeparator;
  global.DecimalSeparator = before;
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(after, ',');
}
