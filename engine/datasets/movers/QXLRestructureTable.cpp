// Restructuring a table: rename aside, make the new table, copy by object
// id, drop the old one; put the old one back on any failure.
#include "engine/datasets/movers/QXLRestructureTable.h"

#include <memory>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/movers/QXLCopyTableData.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Format.h"

namespace qxl {

namespace {

constexpr std::int32_t CreateInTransactionCode = 20182;

template <typename Step>
void Quietly(Step&& Run) {
  try {
    Run();
  } catch (...) {
    // Only tidies up; the failure that matters is already on its way.
  }
}

// The old table under its own name again: the new table of that name, when
// one was made, is dropped first.
void PutBack(TQXLTable& Table, const std::string& Name) {
  if (Table.TableName() == Name) return;
  Quietly([&Table] { Table.Close(); });
  TQXLTable made;
  made.SetSessionName(Table.SessionName());
  made.SetTemporary(Table.Temporary());
  made.SetDatabaseName(Table.DatabaseName());
  made.SetTableName(Name);
  if (made.Exists()) made.DeleteTable();
  Table.RenameTable(Name);
}

}  // namespace

bool RestructureTable(TQXLTable& Table, std::string& Log) {
  Table.CheckInactive();
  const std::string name = Table.TableName();
  Table.RenameTable(UniqueNameWithGuid("OLD_" + name + "_"));

  try {
    auto made = std::make_unique<TQXLTable>();
    made->SetSessionName(Table.SessionName());
    made->SetTemporary(Table.Temporary());
    made->SetDatabaseName(Table.DatabaseName());
    made->SetTableName(name);
    made->AdvFieldDefs().Assign(Table.RestructureFieldDefs());
    made->AdvIndexDefs().Assign(Table.RestructureIndexDefs(), false);
    try {
      made->CreateTable();
    } catch (const EQXLException& error) {
      made.reset();
      PutBack(Table, name);
      if (error.NativeError == CreateInTransactionCode)
        throw EQXLException(RestructureInTransactionCode, "Cannot perform '%s' operation on a database in transaction",
                            {std::string("RestructureTable")});
      Log += platform::Format("Error restructuring table. Cannot create table due to error: %s\r\n", error.Message);
      return false;
    } catch (const std::exception& error) {
      made.reset();
      PutBack(Table, name);
      Log += platform::Format("Error restructuring table. Cannot create table due to error: %s\r\n",
                              std::string(error.what()));
      return false;
    }

    made->Open();
    // Opening the old table reads its definitions again; the requested ones
    // are what its fields are looked up in by object id.
    TQXLAdvFieldDefs requested;
    requested.Assign(Table.RestructureFieldDefs());
    Table.Open();
    Table.RestructureFieldDefs().Assign(requested);

    Table.DoBeforeOperation(TQXLTableOperation::Restructure);
    bool copied = false;
    {
      struct TAfter {
        TQXLTable& Table;
        ~TAfter() {
          Quietly([this] { Table.DoAfterOperation(TQXLTableOperation::Restructure); });
        }
      } after{Table};
      const bool filtered = Table.Filtered();
      Table.SetFiltered(false);
      struct TFilter {
        TQXLTable& Table;
        bool Filtered;
        ~TFilter() {
          Quietly([this] { Table.SetFiltered(Filtered); });
        }
      } filter{Table, filtered};
      bool Continue = true;
      copied = CopyTableData(&Table, Table, *made, Log, Continue, false, true,
                             [&Table](TDataSet&, std::int32_t PercentDone, bool& Go) {
                               if (!Table.DoOperationProgress(TQXLTableOperation::Restructure, PercentDone))
                                 Go = false;
                             },
                             0, 99);
    }
    made->Close();
    Table.Close();

    if (!copied) {
      // Stopped: the table stays as it was.
      made->DeleteTable();
      made.reset();
      Table.RenameTable(name);
      return false;
    }
    made.reset();
    bool result = true;
    try {
      Table.DeleteTable();
    } catch (const std::exception& error) {
      Log += platform::Format("Error restructuring table. Cannot delete table due to error: %s\r\n",
                              std::string(error.what()));
      result = false;
    }
    Table.SetTableName(name);
    return result;
  } catch (...) {
    Quietly([&] { PutBack(Table, name); });
    throw;
  }
}

}  // namespace qxl
