#pragma once
// Field (column) definitions and their list, which gives the record layout:
// a null bitmap of one bit per field, then the fields in definition order.
#include <cstdint>
#include <limits>
#include <memory>

#include "engine/coding/QXLCompression.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/schema/QXLMetaObjectDef.h"
#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TQXLVariant;

class TQXLFieldDef : public TQXLMetaObjectDef {
public:
  TQXLFieldDef();
  ~TQXLFieldDef() override;

  void Assign(const TQXLMetaObjectDef& Source) override;
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;

  // By SQL type; a type without storage type raises 30007.
  void SetFieldDefDataType(TQXLAdvancedFieldType AdvancedFieldType, std::int32_t FieldSize);
  // By storage type; a type without SQL type raises 30008.
  void SetFieldDefDataType(TQXLBaseFieldType BaseFieldType, std::int32_t FieldSize);
  void RecalcDataSizes();
  // Parses the default into DefaultValueExpr when it is an expression.
  void CreateDefaultValueExpr();

  TQXLBaseFieldType BaseFieldType = bftUnknown;
  TQXLAdvancedFieldType AdvancedFieldType = aftUnknown;
  std::int32_t FieldSize = 0;
  std::int32_t DiskDataSize = 0;
  std::int32_t MemoryDataSize = 0;
  std::int32_t DiskOffset = 0;
  std::int32_t MemoryOffset = 0;
  // In a cursor's visible fields: the number of the table field shown.
  std::int32_t FieldNoReference = 0;
  std::unique_ptr<TQXLVariant> DefaultValue;  // never null
  std::unique_ptr<TQXLBaseExpression> DefaultValueExpr;
  TQXLCompressionAlgorithm BLOBCompressionAlgorithm = acaNone;
  std::uint8_t BLOBCompressionMode = 0;
  std::int32_t BLOBBlockSize = 102400;
  std::int64_t AutoincIncrement = 1;
  std::int64_t AutoincInitialValue = 0;
  std::int64_t AutoincMinValue = 0;
  std::int64_t AutoincMaxValue = std::numeric_limits<std::int64_t>::max();
  bool AutoincCycled = false;

private:
  void SetTypesAndSize(TQXLBaseFieldType Base, TQXLAdvancedFieldType Advanced, std::int32_t Size);
};

class TQXLFieldDefs : public TQXLMetaObjectDefs {
public:
  TQXLFieldDef* GetDef(std::int32_t Index) const { return static_cast<TQXLFieldDef*>(TQXLMetaObjectDefs::GetDef(Index)); }
  void SetDef(std::int32_t Index, std::unique_ptr<TQXLFieldDef> Value) {
    TQXLMetaObjectDefs::SetDef(Index, std::move(Value));
  }
  TQXLFieldDef* AddCreated() { return static_cast<TQXLFieldDef*>(InternalAddCreated()); }
  TQXLFieldDef* GetFieldDefByName(std::string_view Name) const {
    return static_cast<TQXLFieldDef*>(GetDefByName(Name));
  }

  // Offsets after the null bitmap, in definition order.
  virtual void RecalcFieldOffsets();
  std::int32_t GetMemoryRecordBufferSize() const;
  std::int32_t GetDiskRecordBufferSize() const;
  // Bytes of the null bitmap: one bit per field.
  std::int32_t NullBitmapSize() const { return (Count() + 7) / 8; }

protected:
  const char* ClassName() const override { return "TQXLFieldDefs"; }
  std::unique_ptr<TQXLMetaObjectDef> NewDef() const override { return std::make_unique<TQXLFieldDef>(); }
  void CheckKind(const TQXLMetaObjectDef* Def) const override;
};

}  // namespace qxl
