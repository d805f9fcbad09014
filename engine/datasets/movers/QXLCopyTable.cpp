// Copying a table: the destination database, the new table made from the
// table's structure, and the records through the copier.
#include "engine/datasets/movers/QXLCopyTable.h"

#include <memory>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/movers/QXLCopyTableData.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Format.h"

namespace qxl {

namespace {

// What the end of a copy puts back, whatever happened: the after event,
// the table's position (or its closed state), the database made for it.
class TCopyScope {
public:
  explicit TCopyScope(TQXLTable& Table) : FTable(Table), FWasActive(Table.Active()) {
    if (FWasActive) FBookmark = Table.GetBookmark();
  }
  ~TCopyScope() {
    try {
      FTable.DoAfterOperation(TQXLTableOperation::Copy);
    } catch (...) {
      // The end of the operation's window cannot fail the copy.
    }
    try {
      if (!FWasActive)
        FTable.Close();
      else if (!FBookmark.empty() && FTable.Active() && FTable.BookmarkValid(FBookmark))
        FTable.GotoBookmark(FBookmark);
    } catch (...) {
      // Only the table's position is lost.
    }
    if (FTarget) {
      try {
        FTarget->Close();
      } catch (...) {
      }
    }
  }
  TCopyScope(const TCopyScope&) = delete;
  TCopyScope& operator=(const TCopyScope&) = delete;

  std::unique_ptr<TQXLDatabase> FTarget;

private:
  TQXLTable& FTable;
  bool FWasActive;
  TBookmark FBookmark;
};

}  // namespace

bool CopyTable(TQXLTable& Table, const std::string& NewTableName, std::string& Log, bool& Continue,
               const std::string& DestDatabaseFileName, const std::string& DestDatabasePassword, bool IgnoreErrors,
               bool OverwriteExistingTable, bool CopyIndexes, std::int32_t MinProgress, std::int32_t MaxProgress) {
  TCopyScope scope(Table);
  Table.Close();
  Table.Open();

  const bool ownDatabase = DestDatabaseFileName.empty();
  const bool toMemory = !ownDatabase && SameNameIgnoringCase(DestDatabaseFileName, "MEMORY");
  std::string targetName = DestDatabaseFileName;
  if (!ownDatabase && !toMemory) {
    auto target = std::make_unique<TQXLDatabase>(nullptr, Table.DBSession());
    target->SetDatabaseName(UniqueNameWithGuid("TempDb"));
    target->SetDatabaseFileName(DestDatabaseFileName);
    target->Password = DestDatabasePassword;
    if (TQXLDatabase* own = Table.Database()) target->SetFileSystem(own->FileSystem());
    try {
      target->Open();
      targetName = target->DatabaseName();
      scope.FTarget = std::move(target);
    } catch (...) {
      if (!IgnoreErrors) throw;
    }
  } else if (ownDatabase) {
    targetName = Table.Database() ? Table.Database()->DatabaseName() : Table.DatabaseName();
  }

  for (std::int32_t i = 0; i < Table.FieldDefs().Count(); ++i)
    if (!Table.FindField(Table.FieldDefs()[i].Name))
      throw EQXLException(CopyNoFieldObjectCode, "Cannot copy table \"%s\". Field object for field \"%s\" is not created.",
                          {Table.TableName(), Table.FieldDefs()[i].Name});

  Table.DoBeforeOperation(TQXLTableOperation::Copy);
  auto target = std::make_unique<TQXLTable>();
  target->SetTableName(NewTableName);
  target->SetSessionName(Table.SessionName());
  if (ownDatabase) {
    target->SetTemporary(Table.Temporary());
    target->SetInMemory(Table.InMemory());
  }
  target->SetDatabaseName(targetName);
  target->AdvFieldDefs().Assign(Table.RestructureFieldDefs());
  if (CopyIndexes) target->AdvIndexDefs().Assign(Table.RestructureIndexDefs(), true);

  // Messages name the target database by its file, or as "MEMORY".
  const bool memoryTarget = toMemory || (ownDatabase && Table.InMemory());
  std::string place = DestDatabaseFileName;
  if (memoryTarget)
    place = "MEMORY";
  else if (ownDatabase && Table.Database())
    place = Table.Database()->DatabaseFileName();

  if (target->Exists()) {
    if (OverwriteExistingTable) {
      target->DeleteTable();
    } else {
      const char* text = "Table '%s.%s' already exists";
      if (!IgnoreErrors)
        throw EQXLException(memoryTarget ? CopyMemoryTargetExistsCode : CopyTargetExistsCode, text,
                            {place, Table.TableName()});
      Log += platform::Format(text, place, Table.TableName()) + "\r\n";
      return false;
    }
  }
  try {
    target->CreateTable();
  } catch (const std::exception& failure) {
    const char* text = "Create table '%s.%s' error: '%s'";
    const std::string reason = failure.what();
    if (!IgnoreErrors) throw EQXLException(CopyCreateCode, text, {place, Table.TableName(), reason});
    Log += platform::Format(text, place, Table.TableName(), reason) + "\r\n";
    return false;
  }

  target->Open();
  struct TCloseTarget {
    TQXLTable& Target;
    ~TCloseTarget() {
      try {
        Target.Close();
      } catch (...) {
      }
    }
  } closeTarget{*target};
  CopyTableData(&Table, Table, *target, Log, Continue, IgnoreErrors, false,
                [&Table](TDataSet&, std::int32_t PercentDone, bool& Go) {
                  if (!Table.DoOperationProgress(TQXLTableOperation::Copy, PercentDone)) Go = false;
                },
                MinProgress, MaxProgress);
  // Failed records are in the log; a copy the user stopped is not a copy.
  return Continue;
}

}  // namespace qxl
