#pragma once
// A fake-engine table of three integer fields A, B and C whose indexes
// order keys by the 32-bit values of their columns (NULL first), answer range
// sizes from a script, and whose page manager has a page size of the test's
// choosing, so that the search's plans can be checked without a B-tree.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/core/QXLTestExpression.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FakePageManager.h"

// Range sizes by index name.
struct RangeCountScript {
  std::map<std::string, std::int64_t> Counts;
};

class OrderedFakeIndex : public FakeIndex {
public:
  OrderedFakeIndex(TQXLBaseIndexManager* Manager, FakeIndexLog& Log, RangeCountScript& Script)
      : FakeIndex(Manager, Log), FScript(Script) {}

  std::int32_t CompareRecordBuffersByIndex(const std::uint8_t* Buffer1, const std::uint8_t* Buffer2,
                                           std::int32_t IndexFieldCount) override {
    const TQXLFieldDefs& fields = IndexManager()->TableData()->FieldManager()->FieldDefs();
    for (std::int32_t i = 0; i < IndexFieldCount && i < IndexDef()->ColumnCount(); ++i) {
      std::int32_t no = 0;
      while (fields.GetDef(no)->Name != IndexDef()->GetIndexColumn(i).FieldName) ++no;
      const bool null1 = (Buffer1[no / 8] >> (no % 8)) & 1;
      const bool null2 = (Buffer2[no / 8] >> (no % 8)) & 1;
      if (null1 || null2) {
        if (null1 != null2) return null1 ? -1 : 1;
        continue;
      }
      std::int32_t v1 = 0;
      std::int32_t v2 = 0;
      std::memcpy(&v1, Buffer1 + fields.GetDef(no)->MemoryOffset, 4);
      std::memcpy(&v2, Buffer2 + fields.GetDef(no)->MemoryOffset, 4);
      if (v1 != v2) return v1 < v2 ? -1 : 1;
    }
    return 0;
  }
  // Lower bounds (greater, greater-or-equal) come before upper ones on equal keys.
  std::int32_t CompareConditions(TQXLScanSearchCondition* C1, TQXLScanSearchCondition* C2) override {
    const std::int32_t cmp = CompareRecordBuffersByIndex(C1->KeyRecordBuffer, C2->KeyRecordBuffer,
                                                         std::min(C1->KeyFieldCount, C2->KeyFieldCount));
    if (cmp != 0) return cmp;
    return C1->Condition == scGreater || C1->Condition == scGreaterEqual ? -1 : 1;
  }
  std::int64_t GetApproxRangeRecordCount(std::int32_t, std::int64_t, TQXLScanSearchCondition*,
                                         TQXLScanSearchCondition*) override {
    return FScript.Counts[IndexDef()->Name];
  }

private:
  RangeCountScript& FScript;
};

class SearchTableFixture : public AbstractTableFixture {
protected:
  RangeCountScript Script;
  FakePageManager Pages;

  // Fields A, B, C; indexes ByA, ByB, ByAB, unique UA on A; Count records 0..Count-1 in A.
  void CreateTable(std::int32_t Count) {
    AddField("A", aftInteger);
    AddField("B", aftInteger);
    AddField("C", aftInteger);
    AddIndex("ByA", {"A"});
    AddIndex("ByB", {"B"});
    AddIndex("ByAB", {"A", "B"});
    AddIndex("UA", {"A"}, true);
    Create();
    Table->Indexes.Make = [this](TQXLBaseIndexManager* Manager) {
      return std::make_unique<OrderedFakeIndex>(Manager, Table->Indexes.Log, Script);
    };
    Table->SetPageManager(&Pages);
    for (std::int32_t i = 0; i < Count; ++i) Insert({&i, &i, &i});
  }
  std::int32_t IndexID(const std::string& Name) {
    return Table->IndexManager()->IndexDefs().GetIndexDefByName(Name)->ObjectID;
  }
  std::string IndexName(std::int32_t ID) {
    return Table->IndexManager()->IndexDefs().GetIndexDefByObjectId(ID)->Name;
  }
  // A record buffer with Values in the index's columns, in column order.
  std::uint8_t* Key(const std::string& IndexName, const std::vector<std::int32_t>& Values) {
    std::uint8_t* buffer = Cursor.AllocateRecordBuffer();
    Keys.emplace_back(buffer);
    Cursor.InternalInitRecord(buffer, false);
    const TQXLIndexDef* def = Table->IndexManager()->IndexDefs().GetIndexDefByName(IndexName);
    for (std::size_t i = 0; i < Values.size(); ++i) {
      const std::string& field = def->GetIndexColumn(static_cast<std::int32_t>(i)).FieldName;
      std::int32_t no = 0;
      while (Cursor.FFieldDefs->GetDef(no)->Name != field) ++no;
      Cursor.SetFieldData(no, &Values[i], buffer);
    }
    return buffer;
  }
  // Appends a bound on the index over Values.
  void AddBound(TQXLScanSearchConditionArray& List, const std::string& IndexName, TQXLSearchCondition Condition,
                const std::vector<std::int32_t>& Values) {
    TQXLScanSearchCondition c(true);
    c.IndexID = IndexID(IndexName);
    c.Condition = Condition;
    c.KeyRecordBuffer = Key(IndexName, Values);
    c.KeyRecordBufferSize = Cursor.FRecordBufferSize;
    c.KeyFieldCount = static_cast<std::int32_t>(Values.size());
    List.AddCondition(c);
  }
  // The first key field's value of a condition.
  std::int32_t FirstKey(const TQXLScanSearchCondition& C) {
    const TQXLIndexDef* def = Table->IndexManager()->IndexDefs().GetIndexDefByObjectId(C.IndexID);
    std::int32_t no = 0;
    while (Cursor.FFieldDefs->GetDef(no)->Name != def->GetIndexColumn(0).FieldName) ++no;
    std::int32_t v = 0;
    std::memcpy(&v, C.KeyRecordBuffer + Cursor.FFieldDefs->GetDef(no)->MemoryOffset, 4);
    return v;
  }

private:
  struct KeyFree {
    void operator()(std::uint8_t* p) const { QXLMemoryManager().FreeMem(p); }
  };
  std::vector<std::unique_ptr<std::uint8_t, KeyFree>> Keys;
};
