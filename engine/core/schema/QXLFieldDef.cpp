#include "engine/core/schema/QXLFieldDef.h"

#include "engine/core/streams/QXLDefStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/values/QXLVariant.h"

namespace qxl {

TQXLFieldDef::TQXLFieldDef() : DefaultValue(std::make_unique<TQXLVariant>(bftUnknown)) {}

TQXLFieldDef::~TQXLFieldDef() = default;

void TQXLFieldDef::SetFieldDefDataType(TQXLAdvancedFieldType AdvancedFieldType_, std::int32_t FieldSize_) {
  TQXLBaseFieldType base = qxl::AdvancedToBaseFieldType(AdvancedFieldType_);
  if (base == bftUnknown)
    throw EQXLException(30007, "Unsupported data type '%s'", {qxl::AdvancedFieldTypeName(AdvancedFieldType_)});
  SetTypesAndSize(base, AdvancedFieldType_, FieldSize_);
}

void TQXLFieldDef::SetFieldDefDataType(TQXLBaseFieldType BaseFieldType_, std::int32_t FieldSize_) {
  TQXLAdvancedFieldType advanced = qxl::BaseToAdvancedFieldType(BaseFieldType_);
  if (advanced == aftUnknown)
    throw EQXLException(30008, "Unsupported data type '%s'", {qxl::BaseFieldTypeName(BaseFieldType_)});
  SetTypesAndSize(BaseFieldType_, advanced, FieldSize_);
}

void TQXLFieldDef::SetTypesAndSize(TQXLBaseFieldType Base, TQXLAdvancedFieldType Advanced, std::int32_t Size) {
  BaseFieldType = Base;
  AdvancedFieldType = Advanced;
  FieldSize = Size;
  RecalcDataSizes();
}

void TQXLFieldDef::RecalcDataSizes() {
  std::int64_t size = qxl::GetDataTypeSize(BaseFieldType, FieldSize);
  // A negative or huge declared size (damaged metadata) must not become a
  // record layout that overruns its buffers.
  if (size < 1 || size > std::numeric_limits<std::int32_t>::max())
    throw EQXLException(30050, "Invalid size = %d of data type '%s'", {FieldSize, qxl::BaseFieldTypeName(BaseFieldType)});
  MemoryDataSize = static_cast<std::int32_t>(size);
  // A stored record keeps only the 6-byte reference of a BLOB.
  DiskDataSize = qxl::IsBlobBaseFieldType(BaseFieldType) ? 6 : MemoryDataSize;
}

void TQXLFieldDef::CreateDefaultValueExpr() {
  DefaultValueExpr.reset();
  if (!qxl::IsDefaultValueExpression(*DefaultValue)) return;
  DefaultValueExpr = qxl::CreateExpression();
  if (DefaultValueExpr) DefaultValueExpr->ParseForDefaultValueExpression(DefaultValue->GetAsAnsiString());
}

void TQXLFieldDef::Assign(const TQXLMetaObjectDef& Source) {
  auto& src = qxl::CheckedCast<const TQXLFieldDef>(Source);
  if (&src == this) return;
  TQXLMetaObjectDef::Assign(src);
  BaseFieldType = src.BaseFieldType;
  AdvancedFieldType = src.AdvancedFieldType;
  FieldSize = src.FieldSize;
  DiskDataSize = src.DiskDataSize;
  MemoryDataSize = src.MemoryDataSize;
  DiskOffset = src.DiskOffset;
  MemoryOffset = src.MemoryOffset;
  DefaultValue->Assign(*src.DefaultValue, true);
  BLOBCompressionAlgorithm = src.BLOBCompressionAlgorithm;
  BLOBCompressionMode = src.BLOBCompressionMode;
  BLOBBlockSize = src.BLOBBlockSize;
  AutoincIncrement = src.AutoincIncrement;
  AutoincInitialValue = src.AutoincInitialValue;
  AutoincMinValue = src.AutoincMinValue;
  AutoincMaxValue = src.AutoincMaxValue;
  AutoincCycled = src.AutoincCycled;
  CreateDefaultValueExpr();
}

void TQXLFieldDef::SaveToStream(TQXLStream& Stream) const {
  TQXLMetaObjectDef::SaveToStream(Stream);
  qxl::WriteDefValue<std::uint8_t>(Stream, BaseFieldType, 10170);
  qxl::WriteDefValue<std::uint8_t>(Stream, AdvancedFieldType, 10171);
  qxl::WriteDefValue<std::int32_t>(Stream, FieldSize, 10172);
  if (qxl::IsBlobBaseFieldType(BaseFieldType)) {
    qxl::WriteDefValue<std::uint8_t>(Stream, BLOBCompressionAlgorithm, 10175);
    qxl::WriteDefValue<std::uint8_t>(Stream, BLOBCompressionMode, 10176);
    qxl::WriteDefValue<std::int32_t>(Stream, BLOBBlockSize, 10177);
  }
  qxl::WriteDefValue<std::int64_t>(Stream, AutoincIncrement, 30412);
  qxl::WriteDefValue<std::int64_t>(Stream, AutoincInitialValue, 30413);
  qxl::WriteDefValue<std::int64_t>(Stream, AutoincMinValue, 30414);
  qxl::WriteDefValue<std::int64_t>(Stream, AutoincMaxValue, 30415);
  qxl::WriteDefBool(Stream, AutoincCycled, 30416);
  DefaultValue->SaveToStream(Stream);
}

void TQXLFieldDef::LoadFromStream(TQXLStream& Stream) {
  TQXLMetaObjectDef::LoadFromStream(Stream);
  BaseFieldType = static_cast<TQXLBaseFieldType>(qxl::ReadDefValue<std::uint8_t>(Stream, 10187));
  AdvancedFieldType = static_cast<TQXLAdvancedFieldType>(qxl::ReadDefValue<std::uint8_t>(Stream, 10188));
  FieldSize = qxl::ReadDefValue<std::int32_t>(Stream, 10189);
  DefaultValue->Clear(BaseFieldType);
  if (qxl::IsBlobBaseFieldType(BaseFieldType)) {
    BLOBCompressionAlgorithm = static_cast<TQXLCompressionAlgorithm>(qxl::ReadDefValue<std::uint8_t>(Stream, 10192));
    BLOBCompressionMode = qxl::ReadDefValue<std::uint8_t>(Stream, 10193);
    BLOBBlockSize = qxl::ReadDefValue<std::int32_t>(Stream, 10194);
  }
  AutoincIncrement = qxl::ReadDefValue<std::int64_t>(Stream, 30407);
  AutoincInitialValue = qxl::ReadDefValue<std::int64_t>(Stream, 30408);
  AutoincMinValue = qxl::ReadDefValue<std::int64_t>(Stream, 30409);
  AutoincMaxValue = qxl::ReadDefValue<std::int64_t>(Stream, 30410);
  AutoincCycled = qxl::ReadDefBool(Stream, 30411);
  DefaultValue->LoadFromStream(Stream);
  CreateDefaultValueExpr();
  RecalcDataSizes();
}

void TQXLFieldDefs::CheckKind(const TQXLMetaObjectDef* Def) const {
  if (!dynamic_cast<const TQXLFieldDef*>(Def)) throw EQXLInvalidCast();
}

void TQXLFieldDefs::RecalcFieldOffsets() {
  std::int32_t memory = NullBitmapSize(), disk = NullBitmapSize();
  for (std::int32_t i = 0; i < Count(); ++i) {
    auto& f = *GetDef(i);
    f.MemoryOffset = memory;
    f.DiskOffset = disk;
    memory += f.MemoryDataSize;
    disk += f.DiskDataSize;
  }
}

std::int32_t TQXLFieldDefs::GetMemoryRecordBufferSize() const {
  std::int32_t size = NullBitmapSize();
  for (std::int32_t i = 0; i < Count(); ++i) size += GetDef(i)->MemoryDataSize;
  return size;
}

std::int32_t TQXLFieldDefs::GetDiskRecordBufferSize() const {
  std::int32_t size = NullBitmapSize();
  for (std::int32_t i = 0; i < Count(); ++i) size += GetDef(i)->DiskDataSize;
  return size;
}

}  // namespace qxl
