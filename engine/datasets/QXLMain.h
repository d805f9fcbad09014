#pragma once
// The engine's start-up and shut-down: the process-wide state of the
// components (the open databases "MEMORY" and "TEMP", the session list with
// its session "Default") set up once before any component is made, and
// released in reverse order, which closes every database file still open.
// Thread rule: start-up and shut-down run while no other engine work runs.
#include <memory>

namespace qxl {

class TQXLDatabaseData;
class TQXLDatabaseDataList;


// Adds Memory and then Temp to Databases, clears FormEditorMode, and makes
// the session list with its inactive session "Default".
void InitializeQXLMain(TQXLDatabaseDataList& Databases, std::unique_ptr<TQXLDatabaseData> Memory,
                       std::unique_ptr<TQXLDatabaseData> Temp);
// Frees the session list (every session closes its databases first), then
// every object of Databases, which closes its file.
void FinalizeQXLMain(TQXLDatabaseDataList& Databases);

// The one entry point a program calls first: sets the engine up on the
// process's list of databases. Counted: only the first call does the work,
// and only the ShutdownEngine that balances it undoes it.
void StartEngine();
void ShutdownEngine();

// Starts the engine for its scope.
class TQXLEngineScope {
public:
  TQXLEngineScope() { StartEngine(); }
  ~TQXLEngineScope() { ShutdownEngine(); }
  TQXLEngineScope(const TQXLEngineScope&) = delete;
  TQXLEngineScope& operator=(const TQXLEngineScope&) = delete;
};

}  // namespace qxl
