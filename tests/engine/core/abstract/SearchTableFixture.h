#pragma once
// A fake-engine table of three integer fields A, B and C whose indexes
// order keys by the 32-bit values of their columns (NULL first), walk their
// entries and key ranges as the B-tree does, answer range sizes from a
// script, and whose page manager has a page size of the test's choosing, so
// that the search's plans and walks can be checked without a B-tree.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "tests/engine/core/QXLTestExpression.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FakePageManager.h"

namespace qxl {

// Range sizes by index name, the range walks each index was asked for, and
// how the indexes place records: "" truly, "lose" not at all, "misplace" one
// entry further on.
struct RangeCountScript {
  std::map<std::string, std::int64_t> Counts;
  std::map<std::string, std::int32_t> Walks;
  std::string Placing;
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
  // By the kind of bound alone, as the B-tree answers: a lower bound -1, an
  // upper one 1, an equality 0.
  std::int32_t CompareConditions(TQXLScanSearchCondition* C1, TQXLScanSearchCondition*) override {
    if (C1->Condition == scGreater || C1->Condition == scGreaterEqual) return -1;
    return C1->Condition == scLower || C1->Condition == scLowerEqual ? 1 : 0;
  }
  std::int64_t GetApproxRangeRecordCount(std::int32_t, std::int64_t, TQXLScanSearchCondition*,
                                         TQXLScanSearchCondition*) override {
    return FScript.Counts[IndexDef()->Name];
  }

  // Entries are the table's records in key order, equal keys by record
  // number; a position is an entry's ordinal.
  std::unique_ptr<TQXLIndexPosition> CreateIndexPosition() override { return std::make_unique<FakeIndexPosition>(-1); }
  // Found only by the record's own values, as a B-tree descends by key.
  bool GetIndexPosition(std::int32_t, const TQXLPageItemID& RecordID, const std::uint8_t* RecordBuffer,
                        TQXLIndexPosition& Pos) override {
    const std::int64_t no = FScript.Placing == "lose" ? -1 : PositionOf(RecordID, RecordBuffer);
    const std::int64_t n = static_cast<std::int64_t>(Entries().size());
    static_cast<FakeIndexPosition&>(Pos).No = no != -1 && FScript.Placing == "misplace" ? (no + 1) % n : no;
    return no != -1;
  }
  std::int32_t CompareRecordPositionsInIndex(const TQXLIndexPosition& P1, const TQXLIndexPosition& P2) override {
    const std::int64_t a = static_cast<const FakeIndexPosition&>(P1).No;
    const std::int64_t b = static_cast<const FakeIndexPosition&>(P2).No;
    return a < b ? -1 : a > b ? 1 : 0;
  }
  void GetRecordIDByIndexPosition(std::int32_t, const TQXLIndexPosition& Pos, TQXLPageItemID& RecordID) override {
    RecordID = Entries().at(static_cast<std::size_t>(static_cast<const FakeIndexPosition&>(Pos).No)).first;
  }
  std::int64_t GetRecNoByRecordID(std::int32_t, const TQXLPageItemID& RecordID,
                                  const std::uint8_t* RecordBuffer) override {
    const std::int64_t no = PositionOf(RecordID, RecordBuffer);
    return no == -1 ? -1 : no + 1;
  }
  TQXLPageItemID GetRecordIDByRecNo(std::int32_t, std::int64_t RecNo) override {
    return Entries().at(static_cast<std::size_t>(RecNo - 1)).first;
  }
  // One step in key order, with the record manager's rules for the ends.
  void GetRecordBuffer(std::int32_t, TQXLNavigationInfo& Nav, TQXLIndexPositionCache*, std::int32_t) override {
    const auto entries = Entries();
    const std::int64_t n = static_cast<std::int64_t>(entries.size());
    const bool forward = Nav.GetRecordMode == grmNext;
    std::int64_t at = -1;
    if (Nav.FirstPosition)
      at = forward ? 0 : -1;
    else if (Nav.LastPosition)
      at = forward ? n : n - 1;
    else {
      for (std::int64_t i = 0; i < n; ++i)
        if (entries[static_cast<std::size_t>(i)].first == Nav.RecordID) at = i + (forward ? 1 : -1);
    }
    if (at < 0 || at >= n) {
      Nav.GetRecordResult = forward ? grrEOF : grrBOF;
      return;
    }
    const auto& [id, record] = entries[static_cast<std::size_t>(at)];
    Nav.RecordID = id;
    std::memcpy(Nav.RecordBuffer, record->data(), record->size());
    Nav.FirstPosition = Nav.LastPosition = false;
    Nav.GetRecordResult = grrOK;
  }
  // Of each run of shown entries equal on the first columns, the first stays.
  void ApplyDistinctToRecordBitmap(std::int32_t, TQXLRecordBitmap& Bitmap, std::int32_t DistinctFieldCount) override {
    const auto entries = Entries();
    const std::vector<std::uint8_t>* kept = nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const FakeIndexPosition pos(static_cast<std::int64_t>(i));
      if (!Bitmap.IsRecordVisible(IndexDef()->ObjectID, pos)) continue;
      if (kept && CompareRecordBuffersByIndex(entries[i].second->data(), kept->data(), DistinctFieldCount) == 0)
        Bitmap.HideRecord(IndexDef()->ObjectID, pos);
      else
        kept = entries[i].second;
    }
  }

  // The range walk: entered at the first entry meeting the start bound in
  // the walk's direction, ended at the last meeting the end bound (the start
  // bound when there is none); only the end is checked on each step.
  struct SearchState {
    bool Started = false;
    std::int64_t Position = -1;
    std::int64_t End = -1;
    bool HasEnd = false;
  };
  void* CreateSearchInfo() override { return new SearchState; }
  void FreeSearchInfo(void* Info) override { delete static_cast<SearchState*>(Info); }
  bool FindRecord(std::int32_t, bool Restart, bool GoForward, TQXLScanSearchCondition* Start,
                  TQXLScanSearchCondition* End, std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID,
                  void* Info) override {
    SearchState& state = *static_cast<SearchState*>(Info);
    if (!state.Started) ++FScript.Walks[IndexDef()->Name];
    const auto entries = Entries();
    const std::int64_t n = static_cast<std::int64_t>(entries.size());
    bool result = true;
    if (Restart || !state.Started) result = ScanStart(Restart, GoForward, Start, RecordBuffer, RecordID, state);
    if (!state.Started && result && Start) {
      state.HasEnd = true;
      state.End = FirstMeeting(!GoForward, End ? *End : *Start);
      result = state.End != -1;
    }
    if (result && !Restart) state.Position += GoForward ? 1 : -1;
    result = result && state.Position >= 0 && state.Position < n;
    if (result && state.HasEnd) result = GoForward ? state.Position <= state.End : state.Position >= state.End;
    if (!result) return false;
    RecordID = entries[static_cast<std::size_t>(state.Position)].first;
    state.Started = true;
    return true;
  }

private:
  using Entry = std::pair<TQXLPageItemID, const std::vector<std::uint8_t>*>;
  std::vector<Entry> Entries() {
    auto* records = static_cast<FakeRecordManager*>(IndexManager()->TableData()->RecordManager());
    std::vector<Entry> entries;
    for (const auto& [no, record] : records->Records) entries.push_back({TQXLPageItemID{no, 0}, &record});
    std::stable_sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
      return CompareRecordBuffersByIndex(a.second->data(), b.second->data(), IndexDef()->ColumnCount()) < 0;
    });
    return entries;
  }
  std::int64_t PositionOf(const TQXLPageItemID& RecordID, const std::uint8_t* RecordBuffer) {
    const auto entries = Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].first == RecordID &&
          CompareRecordBuffersByIndex(entries[i].second->data(), RecordBuffer, IndexDef()->ColumnCount()) == 0)
        return static_cast<std::int64_t>(i);
    return -1;
  }
  bool Meets(const std::vector<std::uint8_t>& Record, const TQXLScanSearchCondition& C) {
    const std::int32_t cmp = CompareRecordBuffersByIndex(Record.data(), C.KeyRecordBuffer, C.KeyFieldCount);
    switch (C.Condition) {
      case scEqual: return cmp == 0;
      case scLower: return cmp < 0;
      case scGreater: return cmp > 0;
      case scLowerEqual: return cmp <= 0;
      case scGreaterEqual: return cmp >= 0;
      default: return false;
    }
  }
  // The first (or last) entry meeting the bound; -1 when none does.
  std::int64_t FirstMeeting(bool First, const TQXLScanSearchCondition& C) {
    const auto entries = Entries();
    const std::int64_t n = static_cast<std::int64_t>(entries.size());
    for (std::int64_t k = 0; k < n; ++k) {
      const std::int64_t i = First ? k : n - 1 - k;
      if (Meets(*entries[static_cast<std::size_t>(i)].second, C)) return i;
    }
    return -1;
  }
  bool ScanStart(bool Restart, bool GoForward, TQXLScanSearchCondition* Start, const std::uint8_t* RecordBuffer,
                 const TQXLPageItemID& RecordID, SearchState& State) {
    const std::int64_t n = static_cast<std::int64_t>(Entries().size());
    if (!Start) {
      State.Position = Restart ? (GoForward ? 0 : n - 1) : PositionOf(RecordID, RecordBuffer);
      return State.Position != -1;
    }
    State.Position = FirstMeeting(GoForward, *Start);
    if (State.Position == -1 || Restart) return State.Position != -1;
    const std::int64_t current = PositionOf(RecordID, RecordBuffer);
    if (current == -1) return false;
    // A current record short of the range: the first step lands on its start.
    if (GoForward ? current < State.Position : current > State.Position)
      State.Position += GoForward ? -1 : 1;
    else
      State.Position = current;
    return true;
  }

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

}  // namespace qxl
