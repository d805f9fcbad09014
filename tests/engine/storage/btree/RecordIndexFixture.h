#pragma once
// A table of the in-memory database with real record indexes: an integer
// "ID", a 300-character "Name" whose index keys keep only a short prefix, and
// an integer "Grp" that may be NULL. Records are stored through the table
// data, so every index of the table follows them; helpers reach one index
// directly and walk its leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "tests/engine/storage/memory/MemoryTableFixture.h"

namespace qxl::test {

struct TRow {
  std::int32_t Id = 0;
  std::string Name;
  std::optional<std::int32_t> Grp;
};

class RecordIndexFixture : public MemoryTableBase {
protected:
  RecordIndexFixture() : MemoryTableBase("Tasks") {}

  static constexpr std::int32_t IdField = 0;
  static constexpr std::int32_t NameField = 1;
  static constexpr std::int32_t GrpField = 2;
  static constexpr std::int32_t NameSize = 300;

  void SetUp() override {
    TQXLFieldDefs Fields;
    AddField(Fields, "ID", aftInteger, 0);
    AddField(Fields, "Name", aftString, NameSize);
    AddField(Fields, "Grp", aftInteger, 0);
    CreateAndOpen(Fields);
  }

  // Builds an index over Columns ("DESC" in Directions makes a column
  // descending); text columns keep KeptChars characters in the tree.
  std::int32_t AddIndex(const std::string& Name, const std::vector<std::string>& Columns, bool Unique = false,
                        std::int32_t KeptChars = 12, std::vector<std::string> Directions = {}) {
    TQXLIndexDef Def;
    Def.Name = Name;
    Directions.resize(Columns.size(), "ASC");
    Def.AssignByNames(Columns, Directions, std::vector<std::string>(Columns.size(), "CASE"));
    for (std::int32_t i = 0; i < Def.ColumnCount(); ++i) Def.GetIndexColumn(i).MaxIndexedSize = KeptChars;
    Def.Unique = Unique;
    Table->AddIndex(Def, &Cursor);
    return Table->IndexManager()->IndexDefs().GetIndexDefByName(Name)->ObjectID;
  }
  TQXLBTreeRecordIndex& Index(std::int32_t IndexID) {
    return dynamic_cast<TQXLBTreeRecordIndex&>(*Table->IndexManager()->OpenIndex(IndexID));
  }
  TQXLPageManager& Pages() { return dynamic_cast<TQXLPageManager&>(*Table->PageManager()); }

  std::vector<std::uint8_t> Buffer(const TRow& Row) {
    std::vector<std::uint8_t> B(static_cast<std::size_t>(Cursor.FRecordBufferSize), 0);
    Cursor.InternalInitRecord(B.data(), true);
    Cursor.SetFieldData(IdField, &Row.Id, B.data());
    std::vector<char> Text(NameSize + 1, 0);
    std::memcpy(Text.data(), Row.Name.data(), std::min<std::size_t>(Row.Name.size(), NameSize));
    Cursor.SetFieldData(NameField, Text.data(), B.data());
    if (Row.Grp) Cursor.SetFieldData(GrpField, &*Row.Grp, B.data());
    return B;
  }
  TRow RowOf(const std::uint8_t* B) const {
    TRow Row;
    Cursor.GetFieldData(IdField, &Row.Id, B);
    std::vector<char> Text(NameSize + 1, 0);
    Cursor.GetFieldData(NameField, Text.data(), B);
    Row.Name = Text.data();
    std::int32_t Grp = 0;
    if (Cursor.GetFieldData(GrpField, &Grp, B)) Row.Grp = Grp;
    return Row;
  }

  TQXLPageItemID Insert(const TRow& Row) {
    const std::vector<std::uint8_t> B = Buffer(Row);
    std::memcpy(Cursor.FCurrentRecordBuffer, B.data(), B.size());
    TQXLCursor* C = &Cursor;
    EXPECT_TRUE(Table->InsertRecord(C));
    return Cursor.CurrentRecordID;
  }
  // Reads the stored record into the cursor, as a cursor moving onto it does.
  void Fetch(const TQXLPageItemID& RecordID) {
    TQXLNavigationInfo Nav;
    Nav.RecordID = RecordID;
    Nav.RecordBuffer = Cursor.FCurrentRecordBuffer;
    Table->RecordManager()->GetRecordBuffer(0, Nav);
    ASSERT_EQ(Nav.GetRecordResult, grrOK);
    Cursor.CurrentRecordID = RecordID;
  }
  void Delete(const TQXLPageItemID& RecordID) {
    Fetch(RecordID);
    ASSERT_TRUE(Table->DeleteRecord(&Cursor));
  }
  // Stores Row as the new values of the record, with the former values as
  // the edit buffer, as a dataset posting an edit does.
  void Update(const TQXLPageItemID& RecordID, const TRow& Row) {
    Fetch(RecordID);
    std::vector<std::uint8_t> Former(Cursor.FCurrentRecordBuffer,
                                     Cursor.FCurrentRecordBuffer + Cursor.FRecordBufferSize);
    const std::vector<std::uint8_t> B = Buffer(Row);
    std::memcpy(Cursor.FCurrentRecordBuffer, B.data(), B.size());
    Cursor.FEditRecordBuffer = Former.data();
    const bool Done = Table->UpdateRecord(&Cursor);
    Cursor.FEditRecordBuffer = nullptr;
    ASSERT_TRUE(Done);
  }

  // The record identities of the index's leaves, left to right.
  std::vector<TQXLPageItemID> Leaves(std::int32_t IndexID) {
    std::vector<TQXLPageItemID> IDs;
    TQXLBTreeRecordIndex& I = Index(IndexID);
    TQXLKeyPath Path;
    if (!I.GotoFirst(0, Path)) return IDs;
    do IDs.push_back(I.GetReferenceAtPosition(0, Path));
    while (I.GotoNext(0, Path));
    return IDs;
  }
  void CheckTree(std::int32_t IndexID) {
    TQXLBTreeRecordIndex& I = Index(IndexID);
    TQXLKeyPath Path;
    TQXLBTreePage::Fetch(&Pages(), I.KeyRef(), 0, I.IndexDef()->RootPageNo).CheckIntegrity(0, Path);
  }
  std::int32_t Depth(std::int32_t IndexID) {
    TQXLKeyPath Path;
    Index(IndexID).GotoFirst(0, Path);
    return Path.Count();
  }
  TRow Stored(const TQXLPageItemID& RecordID) {
    std::vector<std::uint8_t> B(static_cast<std::size_t>(Cursor.FRecordBufferSize), 0);
    TQXLNavigationInfo Nav;
    Nav.RecordID = RecordID;
    Nav.RecordBuffer = B.data();
    Table->RecordManager()->GetRecordBuffer(0, Nav);
    EXPECT_EQ(Nav.GetRecordResult, grrOK);
    return RowOf(B.data());
  }
  // The IDs of the cursor's view from one end to the other, at most 1000.
  std::vector<std::int32_t> Walk(TQXLGetRecordMode Mode) {
    std::vector<std::int32_t> Ids;
    Cursor.FirstPosition = Mode == grmNext;
    Cursor.LastPosition = Mode == grmPrior;
    while (Table->GetRecordBuffer(&Cursor, Mode) == grrOK && Ids.size() < 1000)
      Ids.push_back(RowOf(Cursor.FCurrentRecordBuffer).Id);
    return Ids;
  }
  // From, From ± 1, ..., To.
  static std::vector<std::int32_t> Range(std::int32_t From, std::int32_t To) {
    std::vector<std::int32_t> Ids;
    for (std::int32_t i = From; From <= To ? i <= To : i >= To; i += From <= To ? 1 : -1) Ids.push_back(i);
    return Ids;
  }
  std::vector<std::int32_t> IdsOf(const std::vector<TQXLPageItemID>& IDs) {
    std::vector<std::int32_t> Result;
    for (const TQXLPageItemID& ID : IDs) Result.push_back(Stored(ID).Id);
    return Result;
  }
};

// Names that share a prefix longer than any index keeps.
inline std::string LongName(const std::string& Tail) { return std::string(40, 'p') + Tail; }

}  // namespace qxl::test
