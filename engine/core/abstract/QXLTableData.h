#pragma once
// One open table, shared by every cursor of the process that has it open.
// Thread rule: a table data has no lock of its own; Lock enters the owning
// database data's re-entrant lock.
#include <cstdint>
#include <string>

class TQXLDatabaseData;

class TQXLTableData {
public:
  explicit TQXLTableData(TQXLDatabaseData* aDatabaseData);
  // Takes itself out of its database data's list. Raises nothing.
  virtual ~TQXLTableData();
  TQXLTableData(const TQXLTableData&) = delete;
  TQXLTableData& operator=(const TQXLTableData&) = delete;

  void Lock();
  void Unlock();

  TQXLDatabaseData* DatabaseData() const { return FDatabaseData; }
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& Value) { FTableName = Value; }

  virtual void Rollback(std::int32_t SessionID);

protected:
  TQXLDatabaseData* FDatabaseData;
  std::string FTableName;
};
