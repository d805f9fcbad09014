#pragma once
// A dataset of one record whose values are held as engine values, one per
// field, for tests of field objects of any type (each field has size 40).
#include <string>
#include <vector>

#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/Field.h"

namespace qxl::tests {

class OneRecord : public TDataSet {
public:
  explicit OneRecord(std::vector<TFieldType> Types) : FTypes(std::move(Types)) {}
  ~OneRecord() override { Close(); }

protected:
  TRecordBuffer AllocRecordBuffer() override { return new std::uint8_t[2 + static_cast<std::size_t>(CalcFieldsSize())](); }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    delete[] Buffer;
    Buffer = nullptr;
  }
  std::int32_t GetRecordSize() const override { return 0; }
  void InternalOpen() override {
    FieldDefs().Clear();
    for (std::size_t i = 0; i < FTypes.size(); ++i) FieldDefs().Add("F" + std::to_string(i), FTypes[i], 40);
    FValues.clear();
    FValues.resize(FTypes.size());
    BookmarkSize = 2;
    FOpen = true;
  }
  void InternalClose() override { FOpen = false; }
  bool IsCursorOpen() const override { return FOpen; }
  void InternalFirst() override { FPos = -1; }
  void InternalLast() override { FPos = 1; }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode Mode, bool) override {
    FPos += Mode == gmNext ? 1 : Mode == gmPrior ? -1 : 0;
    if (FPos != 0) {
      FPos = FPos < 0 ? -1 : 1;
      return FPos < 0 ? grBOF : grEOF;
    }
    Buffer[0] = 1;
    Buffer[1] = bfCurrent;
    return grOK;
  }
  void InternalSetToRecord(TRecordBuffer) override { FPos = 0; }
  void InternalGotoBookmark(const TBookmark&) override { FPos = 0; }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override { return static_cast<TBookmarkFlag>(Buffer[1]); }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Flag) override { Buffer[1] = Flag; }
  TBookmark GetBookmarkData(TRecordBuffer Buffer) const override { return {Buffer[0]}; }
  void SetBookmarkData(TRecordBuffer Buffer, const TBookmark& Bookmark) override { Buffer[0] = Bookmark[0]; }
  void InternalInitRecord(TRecordBuffer) override {}
  bool GetDataFieldValue(const TField& Field, TRecordBuffer, TQXLVariant& Value) override {
    const TQXLVariant& held = FValues[static_cast<std::size_t>(Field.FieldNo() - 1)];
    if (held.IsNull()) return false;
    Value.Assign(held, true);
    return true;
  }
  void SetDataFieldValue(const TField& Field, TRecordBuffer, const TQXLVariant& Value) override {
    FValues[static_cast<std::size_t>(Field.FieldNo() - 1)].Assign(Value, true);
  }
  void InternalPost() override {}
  void InternalDelete() override {}

private:
  std::vector<TFieldType> FTypes;
  std::vector<TQXLVariant> FValues;
  std::int32_t FPos = -1;
  bool FOpen = false;
};

}  // namespace qxl::tests
