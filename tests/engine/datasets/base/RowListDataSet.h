#pragma once
// A dataset over an in-memory list of rows (Id integer, Name string of 20,
// Amount float), with a cursor that stands before, on or after one row.
// Each row keeps a key of its own that serves as its bookmark. Fetches pass
// each row through the base's record filter, as an engine cursor does.
#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

struct Row {
  std::optional<std::int32_t> Id;
  std::optional<std::string> Name;
  std::optional<double> Amount;
  std::int32_t Key = 0;
};

class RowListDataSet : public qxl::TDataSet {
public:
  explicit RowListDataSet(std::vector<Row> Rows = {}) {
    for (Row& r : Rows) Add(std::move(r));
  }
  ~RowListDataSet() override { Close(); }

  void Add(Row r) {
    r.Key = ++FLastKey;
    Rows.push_back(std::move(r));
  }
  std::int64_t RecordCount() override { return static_cast<std::int64_t>(Rows.size()); }
  bool BookmarkValid(const qxl::TBookmark& Bookmark) override { return IndexOfKey(KeyOf(Bookmark)) >= 0; }
  std::int32_t CompareBookmarks(const qxl::TBookmark& a, const qxl::TBookmark& b) override {
    if (a.empty() || b.empty()) return TDataSet::CompareBookmarks(a, b);
    return IndexOfKey(KeyOf(a)) - IndexOfKey(KeyOf(b));
  }
  // The names of the rows in the ring, the active one in brackets.
  std::string Ring() {
    std::string text;
    for (std::int32_t i = 0; i < BufferedRecordCount(); ++i) {
      const Image& image = *reinterpret_cast<const Image*>(Buffer(i));
      std::string name = (image.Nulls & 2) ? "-" : image.Name;
      text += (i ? " " : "") + (i == ActiveRecord() ? "[" + name + "]" : name);
    }
    return text;
  }

  std::vector<Row> Rows;
  // Posts and deletes fail while these are above 0, counting down.
  int FailPosts = 0;
  int FailDeletes = 0;
  std::int32_t Fetches = 0;

protected:
  struct Image {
    std::int32_t Id;
    double Amount;
    char Name[21];
    std::uint8_t Nulls;  // bit i: field i+1 is NULL
  };
  static constexpr std::int32_t KeySize = 4;

  qxl::TRecordBuffer AllocRecordBuffer() override {
    return new std::uint8_t[static_cast<std::size_t>(GetRecordSize() + BookmarkSize + CalcFieldsSize())]();
  }
  void FreeRecordBuffer(qxl::TRecordBuffer& Buffer) override {
    delete[] Buffer;
    Buffer = nullptr;
  }
  std::int32_t GetRecordSize() const override { return sizeof(Image); }
  void InternalOpen() override {
    FieldDefs().Clear();
    FieldDefs().Add("Id", ftInteger, 0, true);
    FieldDefs().Add("Name", ftString, 20);
    FieldDefs().Add("Amount", ftFloat);
    BookmarkSize = KeySize + 1;
    FPos = -1;
    FOpen = true;
  }
  void InternalClose() override { FOpen = false; }
  bool IsCursorOpen() const override { return FOpen; }
  void InternalFirst() override { FPos = -1; }
  void InternalLast() override { FPos = static_cast<std::int32_t>(Rows.size()); }

  qxl::TGetResult GetRecord(qxl::TRecordBuffer Buffer, qxl::TGetMode Mode, bool) override {
    ++Fetches;
    const auto n = static_cast<std::int32_t>(Rows.size());
    if (Mode == qxl::gmCurrent) {
      if (FPos < 0 || FPos >= n) return qxl::grEOF;
      Fill(Buffer, Rows[static_cast<std::size_t>(FPos)]);
      return FilterRecord(Buffer) ? qxl::grOK : qxl::grEOF;
    }
    const int step = Mode == qxl::gmNext ? 1 : -1;
    for (;;) {
      FPos += step;
      if (FPos >= n) {
        FPos = n;
        return qxl::grEOF;
      }
      if (FPos < 0) {
        FPos = -1;
        return qxl::grBOF;
      }
      Fill(Buffer, Rows[static_cast<std::size_t>(FPos)]);
      if (FilterRecord(Buffer)) return qxl::grOK;
    }
  }
  void InternalSetToRecord(qxl::TRecordBuffer Buffer) override { InternalGotoBookmark(GetBookmarkData(Buffer)); }
  void InternalGotoBookmark(const qxl::TBookmark& Bookmark) override {
    // A record that is gone leaves the cursor after the last one.
    const std::int32_t i = IndexOfKey(KeyOf(Bookmark));
    FPos = i >= 0 ? i : static_cast<std::int32_t>(Rows.size());
  }
  qxl::TBookmarkFlag GetBookmarkFlag(qxl::TRecordBuffer Buffer) const override {
    return static_cast<qxl::TBookmarkFlag>(Buffer[GetRecordSize() + KeySize]);
  }
  void SetBookmarkFlag(qxl::TRecordBuffer Buffer, qxl::TBookmarkFlag Flag) override {
    Buffer[GetRecordSize() + KeySize] = Flag;
  }
  qxl::TBookmark GetBookmarkData(qxl::TRecordBuffer Buffer) const override {
    return qxl::TBookmark(Buffer + GetRecordSize(), Buffer + GetRecordSize() + KeySize);
  }
  void SetBookmarkData(qxl::TRecordBuffer Buffer, const qxl::TBookmark& Bookmark) override {
    std::memcpy(Buffer + GetRecordSize(), Bookmark.data(), KeySize);
  }
  void InternalInitRecord(qxl::TRecordBuffer Buffer) override {
    std::memset(Buffer, 0, sizeof(Image));
    reinterpret_cast<Image*>(Buffer)->Nulls = 7;
    std::int32_t none = 0;
    std::memcpy(Buffer + GetRecordSize(), &none, KeySize);
  }
  bool GetDataFieldValue(const qxl::TField& Field, qxl::TRecordBuffer Buffer, TQXLVariant& Value) override {
    const Image& image = *reinterpret_cast<const Image*>(Buffer);
    if (image.Nulls & (1 << (Field.FieldNo() - 1))) return false;
    switch (Field.FieldNo()) {
      case 1: Value.SetAsInteger(image.Id); break;
      case 2: Value.SetAsAnsiString(image.Name); break;
      default: Value.SetAsDouble(image.Amount); break;
    }
    return true;
  }
  void SetDataFieldValue(const qxl::TField& Field, qxl::TRecordBuffer Buffer, const TQXLVariant& Value) override {
    Image& image = *reinterpret_cast<Image*>(Buffer);
    const auto bit = static_cast<std::uint8_t>(1 << (Field.FieldNo() - 1));
    if (Value.IsNull()) {
      image.Nulls |= bit;
      return;
    }
    image.Nulls &= static_cast<std::uint8_t>(~bit);
    switch (Field.FieldNo()) {
      case 1: image.Id = Value.GetAsInteger(); break;
      case 2: std::snprintf(image.Name, sizeof image.Name, "%s", Value.GetAsAnsiString().c_str()); break;
      default: image.Amount = Value.GetAsDouble(); break;
    }
  }
  void InternalPost() override {
    if (FailPosts > 0) {
      --FailPosts;
      throw std::runtime_error("post refused");
    }
    qxl::TRecordBuffer buffer = ActiveBuffer();
    Row row = ToRow(buffer);
    if (State() == qxl::dsEdit) {
      row.Key = KeyOf(GetBookmarkData(buffer));
      Rows[static_cast<std::size_t>(IndexOfKey(row.Key))] = row;
      return;
    }
    row.Key = ++FLastKey;
    const auto n = static_cast<std::int32_t>(Rows.size());
    const bool append = GetBookmarkFlag(buffer) == qxl::bfEOF || FPos < 0 || FPos >= n;
    if (append) FPos = n;
    Rows.insert(Rows.begin() + FPos, row);
  }
  void InternalDelete() override {
    if (FailDeletes > 0) {
      --FailDeletes;
      throw std::runtime_error("delete refused");
    }
    Rows.erase(Rows.begin() + FPos);
  }

private:
  static std::int32_t KeyOf(const qxl::TBookmark& Bookmark) {
    std::int32_t key = 0;
    if (Bookmark.size() >= KeySize) std::memcpy(&key, Bookmark.data(), KeySize);
    return key;
  }
  std::int32_t IndexOfKey(std::int32_t Key) const {
    for (std::size_t i = 0; i < Rows.size(); ++i)
      if (Rows[i].Key == Key) return static_cast<std::int32_t>(i);
    return -1;
  }
  void Fill(qxl::TRecordBuffer Buffer, const Row& r) {
    Image& image = *reinterpret_cast<Image*>(Buffer);
    std::memset(&image, 0, sizeof image);
    image.Nulls = static_cast<std::uint8_t>((r.Id ? 0 : 1) | (r.Name ? 0 : 2) | (r.Amount ? 0 : 4));
    image.Id = r.Id.value_or(0);
    image.Amount = r.Amount.value_or(0);
    std::snprintf(image.Name, sizeof image.Name, "%s", r.Name.value_or("").c_str());
    std::memcpy(Buffer + GetRecordSize(), &r.Key, KeySize);
    SetBookmarkFlag(Buffer, qxl::bfCurrent);
  }
  Row ToRow(qxl::TRecordBuffer Buffer) const {
    const Image& image = *reinterpret_cast<const Image*>(Buffer);
    Row r;
    if (!(image.Nulls & 1)) r.Id = image.Id;
    if (!(image.Nulls & 2)) r.Name = image.Name;
    if (!(image.Nulls & 4)) r.Amount = image.Amount;
    return r;
  }

  std::int32_t FPos = -1;
  std::int32_t FLastKey = 0;
  bool FOpen = false;
};

}  // namespace qxl
