#include "engine/core/QXLSession.h"

#include <algorithm>

#include "engine/core/containers/QXLListError.h"

namespace qxl {

void TQXLBaseSession::SetObject(std::unique_ptr<TQXLSessionNamedObject> Value) {
  if (!Value) return;
  Remove(Value->ObjectID == -1 ? GetObjectByName(Value->Name) : GetObjectByID(Value->ObjectID));
  FSessionNamedObjectList.push_back(std::move(Value));
}

TQXLSessionNamedObject* TQXLBaseSession::GetObjectByName(std::string_view ObjectName) const {
  for (auto& o : FSessionNamedObjectList)
    if (qxl::SameNameIgnoringCase(ObjectName, o->Name)) return o.get();
  return nullptr;
}

TQXLSessionNamedObject* TQXLBaseSession::GetObjectByID(std::int32_t ID) const {
  for (auto& o : FSessionNamedObjectList)
    if (o->ObjectID == ID) return o.get();
  return nullptr;
}

void TQXLBaseSession::DeleteObject(std::int32_t ID) { Remove(GetObjectByID(ID)); }

TQXLSessionNamedObject* TQXLBaseSession::NamedObject(std::int32_t Index) const {
  qxl::CheckListIndex(Index, NamedObjectCount());
  return FSessionNamedObjectList[static_cast<std::size_t>(Index)].get();
}

void TQXLBaseSession::Remove(const TQXLSessionNamedObject* Object) {
  if (!Object) return;
  std::erase_if(FSessionNamedObjectList, [Object](const auto& o) { return o.get() == Object; });
}

}  // namespace qxl
