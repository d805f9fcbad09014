#include "engine/core/schema/QXLConstraintDef.h"

#include "engine/core/streams/QXLDefStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLVariant.h"

namespace qxl {

namespace {

// TableSchemaObjectID, TableObjectID, ColumnObjectID, then prefix and bytes
// of TableSchemaName, TableName and ColumnName.
constexpr std::int32_t kNotNullWrite[9] = {10240, 10241, 10242, 10243, 10244, 10245, 10246, 10247, 10248};
constexpr std::int32_t kNotNullRead[9] = {10249, 10250, 10251, 10252, 10253, 10254, 10255, 10256, 10257};
constexpr std::int32_t kCheckWrite[9] = {10227, 10228, 10229, 10221, 10222, 10223, 10224, 10225, 10226};
constexpr std::int32_t kCheckRead[9] = {10230, 10231, 10232, 10233, 10234, 10235, 10236, 10237, 10238};

}  // namespace

void TQXLConstraintDef::Assign(const TQXLMetaObjectDef& Source) {
  auto& src = qxl::CheckedCast<const TQXLConstraintDef>(Source);
  TQXLMetaObjectDef::Assign(src);
  ConstraintType = src.ConstraintType;
}

void TQXLTableConstraintDef::AssignTable(const TQXLTableConstraintDef& Source) {
  TableSchemaName = Source.TableSchemaName;
  TableSchemaObjectID = Source.TableSchemaObjectID;
  TableName = Source.TableName;
  TableObjectID = Source.TableObjectID;
}

const std::int32_t* TQXLColumnConstraintDef::WriteCodes() const {
  return ConstraintType == ctCheck ? kCheckWrite : kNotNullWrite;
}

const std::int32_t* TQXLColumnConstraintDef::ReadCodes() const {
  return ConstraintType == ctCheck ? kCheckRead : kNotNullRead;
}

void TQXLColumnConstraintDef::Assign(const TQXLMetaObjectDef& Source) {
  TQXLConstraintDef::Assign(Source);
  if (auto* src = dynamic_cast<const TQXLColumnConstraintDef*>(&Source)) {
    AssignTable(*src);
    ColumnName = src->ColumnName;
    ColumnObjectID = src->ColumnObjectID;
  }
}

void TQXLColumnConstraintDef::SetNames(const std::string& ColumnName_, const std::string& TableName_,
                                       const std::string& SchemaName_) {
  ColumnName = qxl::CutToAnsiLength(ColumnName_, MaxNameLength);
  TableName = qxl::CutToAnsiLength(TableName_, MaxNameLength);
  SchemaName = qxl::CutToAnsiLength(SchemaName_, kMaxShortStringLength);
}

void TQXLColumnConstraintDef::SaveToStream(TQXLStream& Stream) const {
  const std::int32_t* code = WriteCodes();
  TQXLConstraintDef::SaveToStream(Stream);
  qxl::WriteDefValue<std::int32_t>(Stream, TableSchemaObjectID, code[0]);
  qxl::WriteDefValue<std::int32_t>(Stream, TableObjectID, code[1]);
  qxl::WriteDefValue<std::int32_t>(Stream, ColumnObjectID, code[2]);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Byte, TableSchemaName, code[3], code[4]);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Byte, TableName, code[5], code[6]);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Byte, ColumnName, code[7], code[8]);
}

void TQXLColumnConstraintDef::LoadFromStream(TQXLStream& Stream) {
  const std::int32_t* code = ReadCodes();
  TQXLConstraintDef::LoadFromStream(Stream);
  TableSchemaObjectID = qxl::ReadDefValue<std::int32_t>(Stream, code[0]);
  TableObjectID = qxl::ReadDefValue<std::int32_t>(Stream, code[1]);
  ColumnObjectID = qxl::ReadDefValue<std::int32_t>(Stream, code[2]);
  TableSchemaName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Byte, code[3], code[4]);
  TableName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Byte, code[5], code[6]);
  ColumnName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Byte, code[7], code[8]);
}

TQXLConstraintDefCheck::TQXLConstraintDefCheck()
    : TQXLColumnConstraintDef(ctCheck),
      MinValue(std::make_unique<TQXLVariant>(bftUnknown)),
      MaxValue(std::make_unique<TQXLVariant>(bftUnknown)) {}

TQXLConstraintDefCheck::~TQXLConstraintDefCheck() = default;

void TQXLConstraintDefCheck::Assign(const TQXLMetaObjectDef& Source) {
  if (&Source == this) return;
  TQXLColumnConstraintDef::Assign(Source);
  if (auto* src = dynamic_cast<const TQXLConstraintDefCheck*>(&Source)) {
    MinValue->Assign(*src->MinValue, true);
    MaxValue->Assign(*src->MaxValue, true);
  }
}

void TQXLConstraintDefCheck::SaveToStream(TQXLStream& Stream) const {
  TQXLColumnConstraintDef::SaveToStream(Stream);
  MinValue->SaveToStream(Stream);
  MaxValue->SaveToStream(Stream);
}

void TQXLConstraintDefCheck::LoadFromStream(TQXLStream& Stream) {
  TQXLColumnConstraintDef::LoadFromStream(Stream);
  MinValue->LoadFromStream(Stream);
  MaxValue->LoadFromStream(Stream);
}

void TQXLConstraintDefUnique::Assign(const TQXLMetaObjectDef& Source) {
  TQXLConstraintDef::Assign(Source);
  if (auto* src = dynamic_cast<const TQXLConstraintDefUnique*>(&Source)) {
    AssignTable(*src);
    IndexName = src->IndexName;
    IndexObjectID = src->IndexObjectID;
    Columns = src->Columns;
  }
}

void TQXLConstraintDefUnique::SaveToStream(TQXLStream& Stream) const {
  TQXLConstraintDef::SaveToStream(Stream);
  qxl::WriteDefValue<std::int32_t>(Stream, TableSchemaObjectID, 30313);
  qxl::WriteDefValue<std::int32_t>(Stream, TableObjectID, 30314);
  qxl::WriteDefValue<std::int32_t>(Stream, IndexObjectID, 30318);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Int32, TableSchemaName, 30315, 30316);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Int32, TableName, 30317, 30318);
  qxl::WriteCountedName(Stream, TQXLNamePrefix::Int32, IndexName, 30323, 30324);
  qxl::WriteDefValue<std::int32_t>(Stream, static_cast<std::int32_t>(Columns.size()), 30319);
  for (auto& c : Columns) {
    qxl::WriteDefValue<std::int32_t>(Stream, c.ColumnObjectID, 30320);
    qxl::WriteCountedName(Stream, TQXLNamePrefix::Int32, c.ColumnName, 30321, 30322);
  }
}

void TQXLConstraintDefUnique::LoadFromStream(TQXLStream& Stream) {
  TQXLConstraintDef::LoadFromStream(Stream);
  TableSchemaObjectID = qxl::ReadDefValue<std::int32_t>(Stream, 30303);
  TableObjectID = qxl::ReadDefValue<std::int32_t>(Stream, 30304);
  IndexObjectID = qxl::ReadDefValue<std::int32_t>(Stream, 30317);
  TableSchemaName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Int32, 30305, 30306);
  TableName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Int32, 30307, 30308);
  IndexName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Int32, 30321, 30322);
  auto count = qxl::ReadDefValue<std::int32_t>(Stream, 30309);
  if (count < 0) throw EQXLException(30309, "Invalid constraint column count = %d", {count});
  // One by one, so that a damaged count claims no memory the stream lacks.
  Columns.clear();
  for (std::int32_t i = 0; i < count; ++i) {
    TQXLConstraintColumn c;
    c.ColumnObjectID = qxl::ReadDefValue<std::int32_t>(Stream, 30310);
    c.ColumnName = qxl::ReadCountedName(Stream, TQXLNamePrefix::Int32, 30311, 30312);
    Columns.push_back(std::move(c));
  }
}

void TQXLConstraintDefs::CheckKind(const TQXLMetaObjectDef* Def) const {
  if (!dynamic_cast<const TQXLConstraintDef*>(Def)) throw EQXLInvalidCast();
}

std::unique_ptr<TQXLConstraintDef> TQXLConstraintDefs::NewOfKind(std::uint8_t Kind) {
  switch (Kind) {
    case ctPK:
      return std::make_unique<TQXLConstraintDefPrimary>();
    case ctUnique:
      return std::make_unique<TQXLConstraintDefUnique>();
    case ctNotNull:
      return std::make_unique<TQXLConstraintDefNotNull>();
    case ctCheck:
      return std::make_unique<TQXLConstraintDefCheck>();
    default:
      return nullptr;
  }
}

void TQXLConstraintDefs::LoadFromStream(TQXLStream& Stream) {
  Clear();
  FLoadedItemCount = qxl::ReadDefValue<std::int32_t>(Stream, 10159);
  for (std::int32_t i = 0; i < FLoadedItemCount; ++i) {
    auto kind = qxl::ReadDefValue<std::uint8_t>(Stream, 10220);
    auto def = NewOfKind(kind);
    if (!def) throw EQXLException(30316, "Unknown Constraint Type: '%d'", {kind});
    TQXLConstraintDef* p = def.get();
    AddDef(std::move(def));
    p->LoadFromStream(Stream);
  }
}

void TQXLConstraintDefs::SaveToStream(TQXLStream& Stream) const {
  qxl::WriteDefValue<std::int32_t>(Stream, Count(), 10158);
  for (std::int32_t i = 0; i < Count(); ++i) {
    qxl::WriteDefValue<std::uint8_t>(Stream, GetDef(i)->ConstraintType, 10219);
    GetDef(i)->SaveToStream(Stream);
  }
}

void TQXLConstraintDefs::Assign(const TQXLMetaObjectDefs& Source) {
  if (&Source == this) return;
  Clear();
  for (std::int32_t i = 0; i < Source.Count(); ++i) {
    auto& src = qxl::CheckedCast<const TQXLConstraintDef>(*Source.GetDef(i));
    auto def = NewOfKind(src.ConstraintType);
    if (!def) throw EQXLException(30035, "Not implemented yet");
    def->Assign(src);
    AddDef(std::move(def));
  }
}

}  // namespace qxl
