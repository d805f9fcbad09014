#pragma once
// A table of the fake engine, opened by one cursor: fields, indexes and
// constraints are defined through the table data's own slots, and the
// cursor's buffers are laid out as the local cursor lays them out.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/containers/QXLMemoryManager.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeDatabaseData.h"
#include "tests/support/FakeSession.h"
#include "tests/support/CursorFields.h"

namespace qxl {

class AbstractTableFixture : public ::testing::Test {
protected:
  FakeDatabaseData Database;
  FakeSession Session;
  FakeCursor Cursor{"Tasks"};
  TQXLFieldDefs Fields;
  TQXLIndexDefs Indexes;
  TQXLConstraintDefs Constraints;
  FakeTableData* Table = nullptr;

  TQXLFieldDef& AddField(const char* Name, TQXLAdvancedFieldType Type, std::int32_t Size = 0) {
    TQXLFieldDef* f = Fields.AddCreated();
    f->Name = Name;
    f->SetFieldDefDataType(Type, Size);
    return *f;
  }
  TQXLIndexDef& AddIndex(const char* Name, std::vector<std::string> Columns, bool Unique = false,
                         bool Primary = false) {
    TQXLIndexDef* d = Indexes.AddCreated();
    d->Name = Name;
    d->AssignByNames(Columns, std::vector<std::string>(Columns.size(), "ASC"),
                     std::vector<std::string>(Columns.size(), "CASE"));
    d->Unique = Unique;
    d->Primary = Primary;
    return *d;
  }
  // Creates the table and opens the cursor on it.
  void Create() {
    Cursor.FSession = &Session;
    Session.FSessionID = 0;
    Table = static_cast<FakeTableData*>(Database.FindOrCreateTableData(&Cursor));
    Table->CreateTable(&Cursor, Fields, Indexes, Constraints);
    Table->OpenTable(&Cursor);
    ShowEveryTableField(Cursor, Table->FieldManager()->FieldDefs());
    Cursor.FIndexDefs = std::make_unique<TQXLIndexDefs>();
    Cursor.FIndexDefs->Assign(Table->IndexManager()->IndexDefs());
    Table->InitCursorRecordSize(&Cursor);
    Cursor.FRecordBufferSize = Cursor.FRecordSize;
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  }
  // Fills the current record with these 32-bit values (NULL for none) and inserts it.
  TQXLPageItemID Insert(std::vector<const std::int32_t*> Values) {
    Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, false);
    for (std::size_t i = 0; i < Values.size(); ++i)
      Cursor.SetFieldData(static_cast<std::int32_t>(i), Values[i], Cursor.FCurrentRecordBuffer);
    TQXLCursor* c = &Cursor;
    EXPECT_TRUE(Table->InsertRecord(c));
    return Cursor.CurrentRecordID;
  }
};

}  // namespace qxl
