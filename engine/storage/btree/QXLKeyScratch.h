#pragma once
// Room for one key and one reference taken out of a page for a comparison,
// on the stack for the usual key sizes, so that comparing costs no allocation.
// Thread rule: a local of one call.
#include <array>
#include <cstdint>
#include <vector>

namespace qxl {

class TQXLKeyScratch {
public:
  TQXLKeyScratch(std::int32_t KeySize, std::int32_t ReferenceSize) {
    const auto Size = static_cast<std::size_t>(KeySize + ReferenceSize);
    if (Size > FInline.size()) FHeap.resize(Size);
    FKey = Size > FInline.size() ? FHeap.data() : FInline.data();
    FReference = FKey + KeySize;
  }
  TQXLKeyScratch(const TQXLKeyScratch&) = delete;
  TQXLKeyScratch& operator=(const TQXLKeyScratch&) = delete;

  std::uint8_t* Key() { return FKey; }
  std::uint8_t* Reference() { return FReference; }

private:
  std::array<std::uint8_t, 512> FInline{};
  std::vector<std::uint8_t> FHeap;
  std::uint8_t* FKey;
  std::uint8_t* FReference;
};

}  // namespace qxl
