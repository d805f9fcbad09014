// The table component's whole-table moves; the work is done in the movers
// folder.
#include "engine/datasets/movers/QXLCopyTable.h"
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

}  // namespace qxl
