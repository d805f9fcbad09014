#pragma once
// A growable array of 32-bit integers (page numbers, field numbers, positions).
#include <cstdint>
#include <vector>

#include "engine/core/containers/QXLArrayGrowth.h"

namespace qxl {

class TQXLIntegerArray {
public:
  explicit TQXLIntegerArray(std::int32_t Size = 0, std::int32_t DefaultAllocBy = 10,
                            std::int32_t MaximumAllocBy = 1000);

  void SetSize(std::int32_t NewSize);
  void Append(std::int32_t Value);
  // Moves the following items down; keeps the storage.
  void Delete(std::int32_t ItemNo);
  bool IsValueExists(std::int32_t Value) const { return IndexOf(Value) >= 0; }
  // At the end when ItemNo is at or past the last position.
  void Insert(std::int32_t ItemNo, std::int32_t Value);
  // First position of Value, or -1.
  std::int32_t IndexOf(std::int32_t Value) const;
  void Assign(const TQXLIntegerArray& Source);
  // The item moves to NewItemNo; those between shift by one.
  void MoveTo(std::int32_t ItemNo, std::int32_t NewItemNo);
  // Copies Count items from ItemNo into Dest, which is resized to Count.
  void CopyTo(std::vector<std::int32_t>& Dest, std::int32_t ItemNo, std::int32_t Count) const;

  std::int32_t operator[](std::int32_t ItemNo) const { return FItems[Checked(ItemNo)]; }
  std::int32_t& operator[](std::int32_t ItemNo) { return FItems[Checked(ItemNo)]; }
  const std::int32_t* Items() const { return FItems.data(); }
  std::int32_t* Items() { return FItems.data(); }

  std::int32_t ItemCount() const { return FItemCount; }
  std::int32_t AllocItemCount() const { return static_cast<std::int32_t>(FItems.size()); }
  std::int32_t AllocBy() const { return static_cast<std::int32_t>(FGrowth.AllocBy); }
  std::int32_t DeAllocBy() const { return static_cast<std::int32_t>(FGrowth.DeAllocBy); }
  std::int32_t MaxAllocBy() const { return static_cast<std::int32_t>(FGrowth.MaxAllocBy); }

private:
  std::size_t Checked(std::int32_t ItemNo) const {
    qxl::CheckListIndex(ItemNo, FItemCount);
    return static_cast<std::size_t>(ItemNo);
  }

  std::vector<std::int32_t> FItems;  // its size is the allocation
  std::int32_t FItemCount = 0;
  TQXLArrayGrowth FGrowth;
};

}  // namespace qxl
