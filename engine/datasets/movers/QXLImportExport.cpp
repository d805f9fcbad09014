// Import and export of a table: the definitions handed over, the table
// made, the records copied under the table data lock.
#include "engine/datasets/movers/QXLImportExport.h"

#include <memory>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/movers/QXLCopyTableData.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Format.h"

namespace qxl {

namespace {

constexpr const char* PrimaryKeyName = "idxPrimaryKey";

// The cursor's table data held for the copy, and the after event, also on failure.
class TCopyBracket {
public:
  TCopyBracket(TQXLTable& Table, TQXLTableOperation Operation) : FTable(Table), FOperation(Operation) {
    FCursor = Table.Handle();
    if (FCursor) FCursor->LockTableData();
    try {
      Table.DoBeforeOperation(Operation);
    } catch (...) {
      Release();
      throw;
    }
  }
  ~TCopyBracket() {
    try {
      FTable.DoAfterOperation(FOperation);
    } catch (...) {
    }
    Release();
  }
  TCopyBracket(const TCopyBracket&) = delete;
  TCopyBracket& operator=(const TCopyBracket&) = delete;

private:
  void Release() {
    if (!FCursor) return;
    try {
      FCursor->UnlockTableData();
    } catch (...) {
    }
    FCursor = nullptr;
  }

  TQXLTable& FTable;
  TQXLTableOperation FOperation;
  TQXLCursor* FCursor = nullptr;
};

TQXLCopyProgressEvent ProgressOf(TQXLTable& Table, TQXLTableOperation Operation) {
  return [&Table, Operation](TDataSet&, std::int32_t PercentDone, bool& Continue) {
    if (!Table.DoOperationProgress(Operation, PercentDone)) Continue = false;
  };
}

// The dataset's index definitions with fields, in IndexDefs; those without
// fields are logged. The first one without a name is the primary key's.
void ImportIndexDefs(const TIndexDefs& Source, TIndexDefs& IndexDefs, std::string& Log) {
  for (std::int32_t i = 0; i < Source.Count(); ++i) {
    const TIndexDef& def = Source[i];
    if (def.Fields.empty()) {
      Log += platform::Format("Cannot import index '%s'. Index type is not supported, index skipped", def.Name);
      continue;
    }
    // The list names each entry; an unnamed one is named below.
    std::string placeholder(1, '\x01');
    placeholder += std::to_string(i);
    TIndexDef& copy = IndexDefs.Add(placeholder, def.Fields, def.Options);
    copy.Name = def.Name;
    copy.DescFields = def.DescFields;
  }
  for (std::int32_t i = 0; i < IndexDefs.Count(); ++i)
    if (IndexDefs[i].Name.empty()) {
      IndexDefs[i].Name = PrimaryKeyName;
      break;
    }
}

}  // namespace

bool ImportTable(TQXLTable& Table, TDataSet& SourceTable, std::string& Log, const TIndexDefs* IndexDefs) {
  const std::string before = Log;
  Table.SetFiltered(false);
  Table.CheckInactive();
  Table.IndexDefs().Clear();
  Table.AdvIndexDefs().Clear();
  Table.FieldDefs().Clear();
  Table.AdvFieldDefs().Clear();
  if (auto* engine = dynamic_cast<TQXLDataSet*>(&SourceTable)) {
    Table.AdvFieldDefs().Assign(engine->AdvFieldDefs());
    Table.AdvIndexDefs().Assign(engine->AdvIndexDefs(), true);
  } else {
    Table.FieldDefs().Assign(SourceTable.FieldDefs());
    if (IndexDefs) ImportIndexDefs(*IndexDefs, Table.IndexDefs(), Log);
  }
  try {
    Table.CreateTable();
  } catch (const std::exception& error) {
    Log += platform::Format("Error importing table. Cannot create table due to error: %s\r\n", std::string(error.what()));
    return false;
  }

  Table.Open();
  struct TClose {
    TQXLTable& Table;
    ~TClose() {
      try {
        Table.Close();
      } catch (...) {
      }
    }
  } close{Table};
  {
    TCopyBracket bracket(Table, TQXLTableOperation::Import);
    std::string errors;
    bool Continue = true;
    CopyTableData(&Table, SourceTable, Table, errors, Continue, true, false,
                  ProgressOf(Table, TQXLTableOperation::Import), 0, 100);
    if (!errors.empty())
      Log += platform::Format("Error importing table. Cannot copy data due to error: %s\r\n", errors);
  }
  return Log == before;
}

bool ExportTable(TQXLTable& Table, TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer,
                 std::string& Log) {
  const std::string before = Log;
  DestinationTable.Close();
  const bool wasActive = Table.Active();
  const TBookmark bookmark = wasActive ? Table.GetBookmark() : TBookmark();
  struct TRestore {
    TQXLTable& Table;
    bool WasActive;
    const TBookmark& Bookmark;
    ~TRestore() {
      try {
        if (!WasActive)
          Table.Close();
        else if (!Bookmark.empty() && Table.Active() && Table.BookmarkValid(Bookmark))
          Table.GotoBookmark(Bookmark);
      } catch (...) {
      }
    }
  } restore{Table, wasActive, bookmark};
  Table.Close();
  Table.Open();

  if (auto* engine = dynamic_cast<TQXLDataSet*>(&DestinationTable))
    engine->AdvFieldDefs().Assign(Table.AdvFieldDefs());
  else
    DestinationTable.FieldDefs().Assign(Table.FieldDefs());
  try {
    if (CreateTablePointer) CreateTablePointer();
  } catch (const std::exception& error) {
    Log += platform::Format("Error exporting table. Cannot create table due to error: %s\r\n", std::string(error.what()));
    return false;
  }
  try {
    DestinationTable.Open();
    for (std::int32_t i = 0; i < DestinationTable.FieldDefs().Count(); ++i)
      DestinationTable.FieldDefs()[i].Required = false;
    for (std::int32_t i = 0; i < DestinationTable.FieldCount(); ++i) DestinationTable.Fields(i).Required = false;
  } catch (const std::exception& error) {
    Log += platform::Format("Error exporting table. Cannot open destination table due to error: %s\r\n",
                            std::string(error.what()));
    return false;
  }

  {
    TCopyBracket bracket(Table, TQXLTableOperation::Export);
    std::string errors;
    bool Continue = true;
    CopyTableData(&Table, Table, DestinationTable, errors, Continue, true, false,
                  ProgressOf(Table, TQXLTableOperation::Export), 0, 100);
    if (!errors.empty())
      Log += platform::Format("Error exporting table. Cannot copy data due to error: %s\r\n", errors);
  }
  return Log == before;
}

}  // namespace qxl
