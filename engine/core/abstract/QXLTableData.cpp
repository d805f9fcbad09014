#include "engine/core/abstract/QXLTableData.h"

#include "engine/core/abstract/QXLDatabaseData.h"

TQXLTableData::TQXLTableData(TQXLDatabaseData* aDatabaseData) : FDatabaseData(aDatabaseData) {}

TQXLTableData::~TQXLTableData() {
  if (FDatabaseData) FDatabaseData->DetachTableData(this);
}

void TQXLTableData::Lock() { FDatabaseData->Lock(); }

void TQXLTableData::Unlock() { FDatabaseData->Unlock(); }

void TQXLTableData::Rollback(std::int32_t) {}
