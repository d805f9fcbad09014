// The table component's whole-table moves; the work is done in the movers
// folder.
#include "engine/datasets/movers/QXLBatchMove.h"
#include "engine/datasets/movers/QXLCopyTable.h"
#include "engine/datasets/movers/QXLImportExport.h"
#include "engine/datasets/movers/QXLRestructureTable.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

bool TQXLTable::CopyTable(const std::string& NewTableName, std::string& Log, bool& Continue,
                          const std::string& DestDatabaseFileName, const std::string& DestDatabasePassword,
                          bool IgnoreErrors, bool OverwriteExistingTable, bool CopyIndexes, std::int32_t MinProgress,
                          std::int32_t MaxProgress) {
  return qxl::CopyTable(*this, NewTableName, Log, Continue, DestDatabaseFileName, DestDatabasePassword, IgnoreErrors,
                        OverwriteExistingTable, CopyIndexes, MinProgress, MaxProgress);
}

bool TQXLTable::CopyTable(const std::string& NewTableName, const std::string& DestDatabaseFileName,
                          const std::string& DestDatabasePassword) {
  std::string log;
  bool go = true;
  return CopyTable(NewTableName, log, go, DestDatabaseFileName, DestDatabasePassword, false, false, true, 0, 100);
}

bool TQXLTable::ImportTable(TDataSet& SourceTable, std::string& Log, const TIndexDefs* aIndexDefs) {
  return qxl::ImportTable(*this, SourceTable, Log, aIndexDefs);
}

bool TQXLTable::ImportTable(TDataSet& SourceTable) {
  std::string log;
  return ImportTable(SourceTable, log, nullptr);
}

bool TQXLTable::ExportTable(TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer,
                            std::string& Log) {
  return qxl::ExportTable(*this, DestinationTable, CreateTablePointer, Log);
}

bool TQXLTable::ExportTable(TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer) {
  std::string log;
  return ExportTable(DestinationTable, CreateTablePointer, log);
}

void TQXLTable::BatchMove(TQXLDataSet& SourceTableOrQuery, TQXLBatchMoveType MoveType,
                          const std::string& DstTableIndexNameToIdentifyEqualRecords) {
  qxl::BatchMove(*this, SourceTableOrQuery, MoveType, DstTableIndexNameToIdentifyEqualRecords);
}

bool TQXLTable::RestructureTable(std::string& Log) { return qxl::RestructureTable(*this, Log); }

bool TQXLTable::RestructureTable() {
  std::string log;
  return RestructureTable(log);
}

}  // namespace qxl
