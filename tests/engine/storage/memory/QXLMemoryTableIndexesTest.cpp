// Memory tables keep their indexes in step with every record change, through
// the index objects of the factory the database was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"
#include "engine/storage/memory/QXLMemoryTableData.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FakeSession.h"

using namespace qxl;

namespace qxl {
namespace {

// The calls of the log other than opening the index, which the index manager does as it sees fit.
std::vector<std::string> Changes(const std::vector<std::string>& Log) {
  std::vector<std::string> changes;
  for (const std::string& call : Log)
    if (call.rfind("Open ", 0) != 0) changes.push_back(call);
  return changes;
}

TEST(MemoryTableIndexes, EveryRecordChangeReachesEveryIndex) {
  FakeIndexFactory factory;
  std::vector<std::string>& log = factory.Log.Calls;
  {
    TQXLMemoryDatabaseData db(&factory);
    FakeSession session;
    db.ConnectSession(&session);
    FakeCursor cursor("Keys");
    cursor.FSession = &session;
    TQXLFieldDefs fields;
    TQXLFieldDef* id = fields.AddCreated();
    id->Name = "ID";
    id->SetFieldDefDataType(aftInteger, 0);
    TQXLIndexDefs indexes;
    TQXLIndexDef* ix = indexes.AddCreated();
    ix->Name = "IX";
    ix->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
    TQXLConstraintDefs constraints;
    auto* table = static_cast<TQXLMemoryTableData*>(db.FindOrCreateTableData(&cursor));
    table->CreateTable(&cursor, fields, indexes, constraints);
    EXPECT_EQ(log, std::vector<std::string>{"Create IX"});
    table->OpenTable(&cursor);
    cursor.FRecordBufferSize = cursor.FRecordSize;
    cursor.FCurrentRecordBuffer = cursor.AllocateRecordBuffer();
    cursor.FFieldDefs = std::make_unique<TQXLFieldDefs>();
    cursor.FFieldDefs->Assign(fields);
    cursor.InternalInitRecord(cursor.FCurrentRecordBuffer, true);

    log.clear();
    TQXLCursor* c = &cursor;
    ASSERT_TRUE(table->InsertRecord(c));
    ASSERT_TRUE(table->UpdateRecord(&cursor));
    ASSERT_TRUE(table->DeleteRecord(&cursor));
    // An update of the deleted record asks the index before and after, then fails.
    EXPECT_FALSE(table->UpdateRecord(&cursor));
    table->EmptyTable(&cursor);
    EXPECT_EQ(Changes(log), (std::vector<std::string>{"Insert IX", "UpdateBefore IX", "UpdateAfter IX", "Delete IX",
                                             "UpdateBefore IX", "UpdateAfter IX", "Empty IX"}));
    log.clear();
    table->DeleteIndex(table->IndexManager()->IndexDefs().GetDef(0)->ObjectID, &cursor);
    EXPECT_EQ(Changes(log), std::vector<std::string>{"Drop IX"});
    EXPECT_EQ(table->IndexManager()->IndexDefs().Count(), 0);
    table->CloseTable(&cursor);
    QXLMemoryManager().FreeAndNillMem(cursor.FCurrentRecordBuffer);
    db.DisconnectSession(&session);
  }
}

}  // namespace
}  // namespace qxl
