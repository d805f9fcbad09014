#pragma once
// The process-wide list of open databases: "MEMORY", "TEMP" and one object
// per database file and session name. The list owns its objects. Thread
// rule: every operation takes the list's own lock; objects are freed outside it.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qxl {

class TQXLDatabaseData;

class TQXLDatabaseDataList {
public:
  TQXLDatabaseDataList() = default;
  ~TQXLDatabaseDataList();
  TQXLDatabaseDataList(const TQXLDatabaseDataList&) = delete;
  TQXLDatabaseDataList& operator=(const TQXLDatabaseDataList&) = delete;

  // Appends Data, which from now on belongs to the list; returns it.
  TQXLDatabaseData* Add(std::unique_ptr<TQXLDatabaseData> Data);
  // Takes Data out of the list and hands it back; nullptr when not listed.
  std::unique_ptr<TQXLDatabaseData> Extract(TQXLDatabaseData* Data);
  // Takes Data out and frees it.
  void Free(TQXLDatabaseData* Data);
  // The first object that Match accepts, or nullptr.
  TQXLDatabaseData* Find(const std::function<bool(const TQXLDatabaseData&)>& Match);
  std::size_t Count();
  // The lock of the list, for callers that must find and add as one step.
  std::recursive_mutex& CriticalSection() { return FLock; }

private:
  std::recursive_mutex FLock;
  std::vector<std::unique_ptr<TQXLDatabaseData>> FItems;
};


// The one list of the process, created on first use and freed at exit.
TQXLDatabaseDataList& DatabaseDataList();

}  // namespace qxl
