#include "engine/sql/nodes/QXLExprNodeField.h"

#include <algorithm>
#include <memory>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "engine/sql/nodes/QXLSemicolonList.h"

namespace qxl {

namespace {

std::int32_t FindDef(const std::unique_ptr<TQXLFieldDefs>& Defs, const std::string& Name, bool Reference) {
  if (!Defs || Name.empty()) return -1;
  const std::int32_t i = Defs->GetDefNumberByName(Name);
  if (i < 0) return -1;
  return Reference ? Defs->GetDef(i)->FieldNoReference : i;
}

// Lends the cursor another current record buffer for as long as it lives.
class TCurrentBufferSwap {
public:
  TCurrentBufferSwap(TQXLCursor& Cursor, std::uint8_t* Buffer)
      : FCursor(Cursor), FSaved(Cursor.FCurrentRecordBuffer) {
    Cursor.FCurrentRecordBuffer = Buffer;
  }
  ~TCurrentBufferSwap() { FCursor.FCurrentRecordBuffer = FSaved; }
  TCurrentBufferSwap(const TCurrentBufferSwap&) = delete;
  TCurrentBufferSwap& operator=(const TCurrentBufferSwap&) = delete;

private:
  TQXLCursor& FCursor;
  std::uint8_t* FSaved;
};

// Closes the BLOB stream of a visible field, also when reading it failed.
class TBlobClose {
public:
  TBlobClose(TQXLCursor& Cursor, std::int32_t VisibleFieldNo) : FCursor(Cursor), FFieldNo(VisibleFieldNo) {}
  ~TBlobClose() {
    try {
      FCursor.InternalCloseBLOB(FFieldNo);
    } catch (...) {
      // A read-only stream has nothing to store; the reading error, if any, is the one to report.
    }
  }
  TBlobClose(const TBlobClose&) = delete;
  TBlobClose& operator=(const TBlobClose&) = delete;

private:
  TQXLCursor& FCursor;
  std::int32_t FFieldNo;
};

}  // namespace

TQXLExprNodeField::TQXLExprNodeField(TQXLCursor* Cursor, std::string FieldName, std::string TableName)
    : TQXLExprNode(true, false), FTableName(std::move(TableName)), FFieldName(std::move(FieldName)) {
  if (Cursor) AssignCursor(Cursor, nullptr, nullptr);
}

bool TQXLExprNodeField::FindFieldInCursor(TQXLCursor* Cursor, std::int32_t& FieldNo) const {
  if (!Cursor) return false;
  for (const std::string* name : {&FFieldName, &FFieldNameInAO}) {
    std::int32_t i = FindDef(Cursor->FFieldDefs, *name, false);
    if (i < 0) i = FindDef(Cursor->FVisibleFieldDefs, *name, true);
    if (i >= 0) {
      FieldNo = i;
      return true;
    }
  }
  return false;
}

bool TQXLExprNodeField::CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                      bool ForHavingClause) {
  FGetFromParent = false;
  bool result = false;
  if (AO) {
    TQXLIntegerArray numbers;
    result = AO->FieldExists(FFieldName, FTableName, false, numbers, ForHavingClause, false) == 1;
  }
  // Not the operator's own column: perhaps one of the enclosing query.
  if (!result && ParentQueryAO) {
    TQXLIntegerArray numbers;
    result = ParentQueryAO->FieldExists(FFieldName, FTableName, false, numbers, ForHavingClause, false) == 1;
    FGetFromParent = result;
  }
  if (!result && ParentCursor) {
    std::int32_t no = -1;
    result = FindFieldInCursor(ParentCursor, no);
    FGetFromParent = result;
  }
  if (result) FScanOnlyVisibleFieldsInAO = ForHavingClause;
  return result;
}

bool TQXLExprNodeField::TryAssignAO(TQXLAO* AOToAssign) {
  if (!AOToAssign) return false;
  TQXLIntegerArray numbers;
  if (AOToAssign->FieldExists(FFieldName, FTableName, !FScanOnlyVisibleFieldsInAO, numbers, true,
                              FScanOnlyVisibleFieldsInAO) < 1 ||
      numbers.ItemCount() < 1)
    return false;
  FFieldNo = numbers[0];
  FFieldNameInAO = AOToAssign->GetFieldNameByColumnNo(FFieldNo);
  FFieldOffsetInBuffer = 0;
  FFieldType = AOToAssign->GetFieldType(FFieldNo);
  FBaseFieldType = AdvancedToBaseFieldType(FFieldType);
  FFieldSize = AOToAssign->GetFieldSize(FFieldNo);
  FFieldPrecision = AOToAssign->GetFieldPrecision(FFieldNo);
  return true;
}

void TQXLExprNodeField::AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  LCursor = nullptr;
  LRecordBuffer = nullptr;
  if (TryAssignAO(AO))
    LAO = AO;
  else if (TryAssignAO(ParentQueryAO))
    LAO = ParentQueryAO;
  else if (FGetFromParent)
    AssignCursor(ParentCursor, ParentQueryAO, ParentCursor);
  else if (!LAO && !LCursor)
    throw EQXLException(30197, "Field '%s' not found", {FTableName + "." + FFieldName});
}

void TQXLExprNodeField::AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (!Cursor) throw EQXLException(30202, "Value is Null");
  if (ParentQueryAO) LAO = nullptr;
  if (ParentCursor) LCursor = nullptr;
  std::int32_t no = -1;
  if (FGetFromParent) {
    if (FindFieldInCursor(ParentCursor, no))
      LCursor = ParentCursor;
    else if (TryAssignAO(ParentQueryAO)) {
      LAO = ParentQueryAO;
      return;
    } else
      return;
  } else {
    LAO = nullptr;
    LCursor = nullptr;
    if (FindFieldInCursor(Cursor, no))
      LCursor = Cursor;
    else if (FindFieldInCursor(ParentCursor, no))
      LCursor = ParentCursor;
  }
  if (!LAO && !LCursor) throw EQXLException(30115, "Field '%s' not found", {FFieldName});
  if (!LCursor) return;
  const TQXLFieldDef& def = *LCursor->FFieldDefs->GetDef(no);
  FFieldNo = no;
  FFieldOffsetInBuffer = def.MemoryOffset;
  FFieldType = def.AdvancedFieldType;
  FFieldSize = def.MemoryDataSize;
  FBaseFieldType = def.BaseFieldType;
  AssignCursorBuffer(LCursor->FCurrentRecordBuffer, FGetFromParent);
}

void TQXLExprNodeField::AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) {
  if (ApplyToParentQueryFields == FGetFromParent) LRecordBuffer = Buffer;
}

TQXLVariant* TQXLExprNodeField::GetDataValue() {
  TQXLVariant& value = Value();
  value.Clear(bftUnknown);
  // A buffer handed to a reference that no cursor bound has no layout to be
  // read by: such a reference reads its operator, or fails.
  if (!LRecordBuffer || !LCursor || FFieldNo < 0) {
    if (!LAO || FFieldNo == -1) throw EQXLException(30196, "Dataset and AO not assigned");
    LAO->GetFieldValue(value, FFieldNo, true, true);
    return &value;
  }
  if (GetBitInBuffer(FFieldNo, LRecordBuffer)) return &value;
  if (FBaseFieldType == bftClob || FBaseFieldType == bftWideClob)
    ReadBlob();
  else
    value.SetData(LRecordBuffer + FFieldOffsetInBuffer, FFieldSize, FBaseFieldType, false);
  return &value;
}

void TQXLExprNodeField::ReadBlob() {
  if (!LCursor) throw EQXLException(30196, "Dataset and AO not assigned");
  TQXLCursor& cursor = *LCursor;
  std::int32_t visible = -1;
  for (std::int32_t i = 0; cursor.FVisibleFieldDefs && i < cursor.FVisibleFieldDefs->Count(); ++i)
    if (cursor.FVisibleFieldDefs->GetDef(i)->FieldNoReference == FFieldNo) {
      visible = i;
      break;
    }
  if (visible < 0) throw EQXLException(30115, "Field '%s' not found", {FFieldName});
  std::string bytes;
  {
    TCurrentBufferSwap swap(cursor, LRecordBuffer);
    TQXLStream* stream = cursor.InternalCreateBlobStream(false, false, visible, bomRead, false);
    if (!stream) return;
    TBlobClose close(cursor, visible);
    const std::int64_t size = stream->Size();
    bytes.resize(static_cast<std::size_t>(size));
    stream->Seek(0, soBeginning);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const auto want = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      const std::int32_t got = stream->Read(bytes.data() + done, want);
      if (got <= 0) throw EQXLException(30199, "Cannot read BLOB field '%s'", {FFieldName});
      done += static_cast<std::size_t>(got);
    }
  }
  if (FBaseFieldType == bftWideClob)
    SetWideText(Value(), std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2),
                bftWideClob);
  else
    SetAnsiText(Value(), bytes, bftClob);
}

TQXLAdvancedFieldType TQXLExprNodeField::GetDataType() {
  TQXLAdvancedFieldType type = aftUnknown;
  if (LCursor && LCursor->FFieldDefs && FFieldNo >= 0 && FFieldNo < LCursor->FFieldDefs->Count())
    type = LCursor->FFieldDefs->GetDef(FFieldNo)->AdvancedFieldType;
  else if (LAO && FFieldNo >= 0)
    type = LAO->GetFieldType(FFieldNo);
  if (type == aftUnknown) throw EQXLException(30284, "Cannot determine expression type");
  return type;
}

std::int32_t TQXLExprNodeField::GetDataSize() { return FFieldSize; }

void TQXLExprNodeField::ReplacePseudonyms(std::span<TQXLSelectListItem> SelectList) {
  for (const TQXLSelectListItem& item : SelectList) {
    if (item.IsExpression) continue;
    if (UpperCaseName(FFieldName) != UpperCaseName(item.Pseudonym)) continue;
    if (!FTableName.empty() && UpperCaseName(FTableName) != UpperCaseName(item.TableName)) continue;
    FFieldName = item.FieldName;
    FTableName = item.TableName;
  }
}

bool TQXLExprNodeField::CanBeUsedInGroupBy(const std::string& GroupByFields) {
  std::vector<std::string> items;
  SplitSemicolonList(items, GroupByFields);
  const std::string name = UpperCaseName(FFieldName);
  for (const std::string& item : items)
    if (item == name) return true;
  return false;
}

void TQXLExprNodeField::FillItem(TQXLSelectListItem& Item) const {
  Item.TableName = FTableName;
  Item.FieldName = FFieldName;
}

}  // namespace qxl
