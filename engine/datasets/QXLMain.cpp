#include "engine/datasets/QXLMain.h"

#include "engine/core/QXLShortString.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLFormEditorMode.h"

namespace qxl {}
using namespace qxl;

TQXLLocalSession* TQXLSessionList::Add(std::unique_ptr<TQXLLocalSession> Session) {
  std::lock_guard guard(FLock);
  FItems.push_back(std::move(Session));
  return FItems.back().get();
}

TQXLLocalSession* TQXLSessionList::Find(const std::string& SessionName) {
  std::lock_guard guard(FLock);
  for (auto& s : FItems)
    if (SameNameIgnoringCase(s->FSessionName, SessionName)) return s.get();
  return nullptr;
}

std::size_t TQXLSessionList::Count() {
  std::lock_guard guard(FLock);
  return FItems.size();
}

namespace qxl {

void InitializeQXLMain(TQXLDatabaseDataList& Databases, std::unique_ptr<TQXLDatabaseData> Memory,
                       std::unique_ptr<TQXLDatabaseData> Temp, TQXLSessionList& Sessions,
                       TQXLDatabaseDataCreator DiskDatabaseCreator) {
  if (Memory) Databases.Add(std::move(Memory));
  if (Temp) Databases.Add(std::move(Temp));
  FormEditorMode = false;
  if (!DiskDatabaseCreator) DiskDatabaseCreator = qxl::DiskDatabaseCreator();
  auto session = std::make_unique<TQXLLocalSession>(Databases, std::move(DiskDatabaseCreator));
  session->FSessionName = "Default";
  Sessions.Add(std::move(session));
}

}  // namespace qxl
