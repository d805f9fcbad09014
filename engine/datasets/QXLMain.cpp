#include "engine/datasets/QXLMain.h"

#include <mutex>

#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "engine/storage/temporary/QXLTemporaryDatabaseData.h"

namespace qxl {

namespace {

std::mutex StartLock;
int StartCount = 0;

}  // namespace

void InitializeQXLMain(TQXLDatabaseDataList& Databases, std::unique_ptr<TQXLDatabaseData> Memory,
                       std::unique_ptr<TQXLDatabaseData> Temp) {
  Memory->SetDatabaseName("MEMORY");
  Databases.Add(std::move(Memory));
  Temp->SetDatabaseName("TEMP");
  Databases.Add(std::move(Temp));
  FormEditorMode = false;
  CreateSessionList();
}

void FinalizeQXLMain(TQXLDatabaseDataList& Databases) {
  FreeSessionList();
  std::lock_guard Guard(Databases.CriticalSection());
  while (TQXLDatabaseData* First = Databases.Find([](const TQXLDatabaseData&) { return true; })) Databases.Free(First);
}

void StartEngine() {
  std::lock_guard Guard(StartLock);
  if (StartCount++ > 0) return;
  // The memory manager comes before every object that allocates through it.
  QXLMemoryManager();
  InitializeQXLMain(DatabaseDataList(), std::make_unique<TQXLMemoryDatabaseData>(),
                    std::make_unique<TQXLTemporaryDatabaseData>());
}

void ShutdownEngine() {
  std::lock_guard Guard(StartLock);
  if (StartCount == 0 || --StartCount > 0) return;
  FinalizeQXLMain(DatabaseDataList());
}

}  // namespace qxl
