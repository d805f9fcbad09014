#include "engine/core/abstract/QXLDatabaseData.h"

#include <algorithm>

#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLBasePageManager.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

TQXLDatabaseData::TQXLDatabaseData() = default;

TQXLDatabaseData::~TQXLDatabaseData() {
  while (!FTableDataList.empty()) {
    std::unique_ptr<TQXLTableData> last = std::move(FTableDataList.back());
    FTableDataList.pop_back();
  }
}

bool TQXLDatabaseData::TableExists(const std::string& TableName) {
  std::lock_guard guard(FCSect);
  std::vector<std::string> names;
  GetTablesList(names);
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return qxl::SameNameIgnoringCase(n, TableName); });
}

void TQXLDatabaseData::ConnectSession(TQXLBaseSession* Session) {
  std::lock_guard guard(FCSect);
  FSessionList.push_back(Session);
  Session->FSessionID = 0;
}

void TQXLDatabaseData::DisconnectSession(TQXLBaseSession* Session) {
  std::lock_guard guard(FCSect);
  auto it = std::find(FSessionList.begin(), FSessionList.end(), Session);
  if (it != FSessionList.end()) FSessionList.erase(it);
}

void TQXLDatabaseData::FreeIfNoSessionsConnected() {
  if (FSessionList.empty() && FOwnerList) FOwnerList->Free(this);
}

void TQXLDatabaseData::GetTablesList(std::vector<std::string>& List) {
  std::lock_guard guard(FCSect);
  for (auto& t : FTableDataList) List.push_back(t->TableName());
}

TQXLTableData* TQXLDatabaseData::FindTableData(TQXLCursor* Cursor) {
  std::lock_guard guard(FCSect);
  for (auto& t : FTableDataList)
    if (qxl::SameNameIgnoringCase(t->TableName(), Cursor->FTableName)) return t.get();
  return nullptr;
}

TQXLTableData* TQXLDatabaseData::FindOrCreateTableData(TQXLCursor* Cursor) {
  std::lock_guard guard(FCSect);
  TQXLTableData* found = FindTableData(Cursor);
  return found ? found : CreateTableData(Cursor);
}

void TQXLDatabaseData::Commit(std::int32_t SessionID, bool) {
  std::lock_guard guard(FCSect);
  if (FPageManager) FPageManager->ApplyChanges(SessionID);
}

void TQXLDatabaseData::Rollback(std::int32_t SessionID) {
  std::lock_guard guard(FCSect);
  if (FPageManager) FPageManager->CancelChanges(SessionID);
  for (auto& t : FTableDataList) t->Rollback(SessionID);
}

void TQXLDatabaseData::FreeTableData(TQXLTableData* TableData) {
  std::unique_ptr<TQXLTableData> taken;
  {
    std::lock_guard guard(FCSect);
    auto it = std::find_if(FTableDataList.begin(), FTableDataList.end(),
                           [TableData](const auto& p) { return p.get() == TableData; });
    if (it == FTableDataList.end()) return;
    taken = std::move(*it);
    FTableDataList.erase(it);
  }
}

void TQXLDatabaseData::DetachTableData(TQXLTableData* TableData) {
  std::lock_guard guard(FCSect);
  auto it = std::find_if(FTableDataList.begin(), FTableDataList.end(),
                         [TableData](const auto& p) { return p.get() == TableData; });
  if (it != FTableDataList.end()) {
    static_cast<void>(it->release());
    FTableDataList.erase(it);
  }
}

TQXLTableData* TQXLDatabaseData::RegisterTableData(std::unique_ptr<TQXLTableData> TableData) {
  std::lock_guard guard(FCSect);
  FTableDataList.push_back(std::move(TableData));
  return FTableDataList.back().get();
}

}  // namespace qxl
