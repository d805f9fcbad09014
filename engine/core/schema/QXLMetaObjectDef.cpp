#include "engine/core/schema/QXLMetaObjectDef.h"

#include <algorithm>

#include "engine/core/streams/QXLDefStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/containers/QXLListError.h"
#include "engine/core/values/QXLShortString.h"

namespace qxl {

void TQXLMetaObjectDef::Assign(const TQXLMetaObjectDef& Source) {
  Name = Source.Name;
  ObjectID = Source.ObjectID;
  SchemaName = Source.SchemaName;
  SchemaID = Source.SchemaID;
}

void TQXLMetaObjectDef::LoadFromStream(TQXLStream& Stream) {
  Name = qxl::ReadShortString(Stream, 10166, 10167);
  ObjectID = qxl::ReadDefValue<std::int32_t>(Stream, 10169);
}

void TQXLMetaObjectDef::SaveToStream(TQXLStream& Stream) const {
  qxl::WriteShortString(Stream, Name, 10164, 10165);
  qxl::WriteDefValue<std::int32_t>(Stream, ObjectID, 10168);
}

std::int32_t TQXLMetaObjectDefs::AddDef(std::unique_ptr<TQXLMetaObjectDef> Def) {
  CheckKind(Def.get());
  FItems.push_back(std::move(Def));
  return Count() - 1;
}

std::unique_ptr<TQXLMetaObjectDef> TQXLMetaObjectDefs::CreatedDef() const {
  auto def = NewDef();
  if (!def)
    throw EQXLException(30339, "The method '%s' not overrided in class '%s'", {"InternalAddCreated", ClassName()});
  return def;
}

TQXLMetaObjectDef* TQXLMetaObjectDefs::InternalAddCreated() { return GetDef(AddDef(CreatedDef())); }

void TQXLMetaObjectDefs::LoadFromStream(TQXLStream& Stream) {
  Clear();
  FLoadedItemCount = qxl::ReadDefValue<std::int32_t>(Stream, 10159);
  for (std::int32_t i = 0; i < FLoadedItemCount; ++i) {
    auto def = CreatedDef();
    def->LoadFromStream(Stream);
    AddDef(std::move(def));
  }
}

void TQXLMetaObjectDefs::SaveCount(TQXLStream& Stream) const { WriteDefValue<std::int32_t>(Stream, Count(), 10158); }

void TQXLMetaObjectDefs::SaveToStream(TQXLStream& Stream) const {
  SaveCount(Stream);
  for (auto& def : FItems)
    if (IsStored(*def)) def->SaveToStream(Stream);
}

void TQXLMetaObjectDefs::Assign(const TQXLMetaObjectDefs& Source) {
  if (&Source == this) return;
  Clear();
  for (auto& def : Source.FItems) {
    if (GetDefNumberByName(def->Name) != -1) throw EQXLException(10424, "Duplicate field name %s", {def->Name});
    InternalAddCreated()->Assign(*def);
  }
}

void TQXLMetaObjectDefs::Delete(std::int32_t Index) {
  qxl::CheckListIndex(Index, Count());
  FItems.erase(FItems.begin() + Index);
}

void TQXLMetaObjectDefs::Insert(std::int32_t Index, std::unique_ptr<TQXLMetaObjectDef> Def) {
  qxl::CheckListIndex(Index, Count() + 1);
  CheckKind(Def.get());
  FItems.insert(FItems.begin() + Index, std::move(Def));
}

void TQXLMetaObjectDefs::Move(std::int32_t CurIndex, std::int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  qxl::CheckListIndex(CurIndex, Count());
  qxl::CheckListIndex(NewIndex, Count());
  auto def = std::move(FItems[static_cast<std::size_t>(CurIndex)]);
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, std::move(def));
}

TQXLMetaObjectDef* TQXLMetaObjectDefs::GetDef(std::int32_t Index) const {
  qxl::CheckListIndex(Index, Count());
  return FItems[static_cast<std::size_t>(Index)].get();
}

void TQXLMetaObjectDefs::SetDef(std::int32_t Index, std::unique_ptr<TQXLMetaObjectDef> Value) {
  qxl::CheckListIndex(Index, Count());
  CheckKind(Value.get());
  FItems[static_cast<std::size_t>(Index)] = std::move(Value);
}

std::int32_t TQXLMetaObjectDefs::GetDefNumberByName(std::string_view Name) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (qxl::SameNameIgnoringCase(Name, FItems[i]->Name)) return static_cast<std::int32_t>(i);
  return -1;
}

TQXLMetaObjectDef* TQXLMetaObjectDefs::GetDefByName(std::string_view Name) const {
  std::int32_t i = GetDefNumberByName(Name);
  return i < 0 ? nullptr : FItems[static_cast<std::size_t>(i)].get();
}

std::int32_t TQXLMetaObjectDefs::GetDefNumberByObjectId(std::int32_t ID) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->ObjectID == ID) return static_cast<std::int32_t>(i);
  return -1;
}

TQXLMetaObjectDef* TQXLMetaObjectDefs::GetDefByObjectId(std::int32_t ID) const {
  std::int32_t i = GetDefNumberByObjectId(ID);
  return i < 0 ? nullptr : FItems[static_cast<std::size_t>(i)].get();
}

void TQXLMetaObjectDefs::CheckKind(const TQXLMetaObjectDef* Def) const {
  if (!Def) throw EQXLInvalidCast();
}

}  // namespace qxl
