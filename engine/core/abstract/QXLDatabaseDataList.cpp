#include "engine/core/abstract/QXLDatabaseDataList.h"

#include <algorithm>

#include "engine/core/abstract/QXLDatabaseData.h"

namespace qxl {

TQXLDatabaseDataList::~TQXLDatabaseDataList() {
  // Last in, first out, so that objects made later (and possibly depending on
  // earlier ones) go first.
  while (!FItems.empty()) {
    std::unique_ptr<TQXLDatabaseData> last = std::move(FItems.back());
    FItems.pop_back();
  }
}

TQXLDatabaseData* TQXLDatabaseDataList::Add(std::unique_ptr<TQXLDatabaseData> Data) {
  std::lock_guard guard(FLock);
  Data->FOwnerList = this;
  FItems.push_back(std::move(Data));
  return FItems.back().get();
}

std::unique_ptr<TQXLDatabaseData> TQXLDatabaseDataList::Extract(TQXLDatabaseData* Data) {
  std::lock_guard guard(FLock);
  auto it = std::find_if(FItems.begin(), FItems.end(), [Data](const auto& p) { return p.get() == Data; });
  if (it == FItems.end()) return nullptr;
  std::unique_ptr<TQXLDatabaseData> taken = std::move(*it);
  FItems.erase(it);
  taken->FOwnerList = nullptr;
  return taken;
}

void TQXLDatabaseDataList::Free(TQXLDatabaseData* Data) {
  std::unique_ptr<TQXLDatabaseData> taken = Extract(Data);
}

TQXLDatabaseData* TQXLDatabaseDataList::Find(const std::function<bool(const TQXLDatabaseData&)>& Match) {
  std::lock_guard guard(FLock);
  for (auto& p : FItems)
    if (Match(*p)) return p.get();
  return nullptr;
}

std::size_t TQXLDatabaseDataList::Count() {
  std::lock_guard guard(FLock);
  return FItems.size();
}


TQXLDatabaseDataList& DatabaseDataList() {
  static TQXLDatabaseDataList list;
  return list;
}

}  // namespace qxl
