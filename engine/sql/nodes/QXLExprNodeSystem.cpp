#include "engine/sql/nodes/QXLExprNodeSystem.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

namespace {
constexpr std::int32_t FieldNotFoundCode = 30337;
constexpr std::int32_t UnknownOperatorCode = 30338;
}  // namespace

TQXLExprNodeSystem::TQXLExprNodeSystem(TQXLDataOperator Operator, const std::string& SessionName,
                                       const std::string& DatabaseName, const std::string& TableName,
                                       const std::string& ColumnName, bool InMemory)
    : TQXLExprNode(Operator, true, false), FTableName(TableName), FColumnName(ColumnName), FInMemory(InMemory) {
  if (Operator != doLASTAUTOINC) return;
  auto Table = std::make_unique<TQXLTable>();
  Table->SetSessionName(SessionName);
  Table->SetDatabaseName(DatabaseName);
  Table->SetTableName(TableName);
  if (InMemory) Table->SetInMemory(true);
  Table->SetReadOnly(true);
  Table->Open();
  const TQXLAdvFieldDef* Column = Table->AdvFieldDefs().Find(ColumnName);
  if (!Column) throw EQXLException(FieldNotFoundCode, "Field '%s' not found", {ColumnName});
  FFieldType = Column->DataType;
  FFieldIndex = Table->FieldByName(ColumnName).FieldNo() - 1;
  FTable = std::move(Table);
}

TQXLExprNodeSystem::~TQXLExprNodeSystem() {
  if (!FTable) return;
  try {
    FTable->Close();
  } catch (...) {
    // A table that fails to close is freed all the same.
  }
}

TQXLVariant* TQXLExprNodeSystem::GetDataValue() {
  TQXLVariant& Result = Value();
  switch (Operator()) {
    case doLASTAUTOINC: {
      const TQXLBaseFieldType Type = AdvancedToBaseFieldType(FFieldType);
      Result.Clear(bftSignedInt64);
      Result.SetAsInt64(FTable->LastAutoincValue(FFieldIndex));
      Result.Cast(Type);
      break;
    }
    case doROWNUM:
      Result.Clear(bftSignedInt32);
      Result.SetAsInteger(++FRowNumValue);
      break;
    default:
      RaiseUnknownOperator(UnknownOperatorCode);
  }
  return &Result;
}

TQXLAdvancedFieldType TQXLExprNodeSystem::GetDataType() {
  switch (Operator()) {
    case doLASTAUTOINC: return FFieldType;
    case doROWNUM: return aftInteger;
    default: return aftUnknown;
  }
}

}  // namespace qxl
