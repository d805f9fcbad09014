#pragma once
// The local engine's start-up: the databases every process has ("MEMORY"
// and "TEMP", made by their engines and handed in here), the process-wide
// list of sessions and its "Default" session. Thread rule: the session list
// takes its own lock.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/datasets/QXLLocalSession.h"

class TQXLDatabaseData;
class TQXLDatabaseDataList;

class TQXLSessionList {
public:
  TQXLSessionList() = default;
  TQXLSessionList(const TQXLSessionList&) = delete;
  TQXLSessionList& operator=(const TQXLSessionList&) = delete;

  // Appends Session, which from now on belongs to the list; returns it.
  TQXLLocalSession* Add(std::unique_ptr<TQXLLocalSession> Session);
  // The session of that name (ignoring case), or nullptr.
  TQXLLocalSession* Find(const std::string& SessionName);
  std::size_t Count();

private:
  std::mutex FLock;
  std::vector<std::unique_ptr<TQXLLocalSession>> FItems;
};

namespace qxl {

// Adds Memory and then Temp (when given) to Databases, clears
// FormEditorMode, and adds the session "Default" to Sessions, which opens
// database files through DiskDatabaseCreator (the disk engine when none).
void InitializeQXLMain(TQXLDatabaseDataList& Databases, std::unique_ptr<TQXLDatabaseData> Memory,
                       std::unique_ptr<TQXLDatabaseData> Temp, TQXLSessionList& Sessions,
                       TQXLDatabaseDataCreator DiskDatabaseCreator = nullptr);

}  // namespace qxl
