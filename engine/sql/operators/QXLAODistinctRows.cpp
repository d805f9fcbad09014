#include "engine/sql/operators/QXLAODistinctRows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

namespace {

template <class T>
std::int64_t Read(const TQXLVariant& V) {
  if (V.DataSize() < static_cast<std::int32_t>(sizeof(T))) return V.GetAsInt64();
  T N;
  std::memcpy(&N, V.pData(), sizeof N);
  return static_cast<std::int64_t>(N);
}

// The integer in V's own width, read without the general conversion.
std::int64_t IntegerOf(const TQXLVariant& V) {
  switch (V.DataType()) {
    case bftSignedInt8: return Read<std::int8_t>(V);
    case bftSignedInt16: return Read<std::int16_t>(V);
    case bftSignedInt32: return Read<std::int32_t>(V);
    case bftSignedInt64: return Read<std::int64_t>(V);
    case bftUnsignedInt8: return Read<std::uint8_t>(V);
    case bftUnsignedInt16: return Read<std::uint16_t>(V);
    case bftUnsignedInt32: return Read<std::uint32_t>(V);
    default: return V.GetAsInt64();
  }
}

constexpr char NullTag = '\0';
constexpr char IntegerTag = '\1';

}  // namespace

bool TQXLAODistinctRows::TRowOrder::operator()(const std::vector<TQXLVariant>& A,
                                                 const std::vector<TQXLVariant>& B) const {
  for (std::size_t k = 0; k < A.size(); ++k) {
    const TQXLCompareResult R = A[k].Compare(B[k], false, false, false);
    if (R == cmprLower) return true;
    if (R == cmprGreater) return false;
  }
  return false;
}

bool TQXLAODistinctRows::Insert(std::vector<TQXLVariant>& Values) {
  if (FHashed) {
    if (MakeKey(Values, FKey)) {
      if (FKeys.find(FKey) != FKeys.end()) return false;
      FKeys.insert(StoreKey(FKey));
      return true;
    }
    MoveKeysToRows(Values.size());
  }
  return FRows.insert(std::move(Values)).second;
}

std::string_view TQXLAODistinctRows::StoreKey(const std::string& Key) {
  constexpr std::size_t BlockSize = 64 * 1024;
  if (Key.size() > FKeyBlockFree) {
    const std::size_t Size = std::max(BlockSize, Key.size());
    FKeyBlocks.push_back(std::make_unique<char[]>(Size));
    FKeyBlockEnd = FKeyBlocks.back().get();
    FKeyBlockFree = Size;
  }
  char* At = FKeyBlockEnd;
  std::memcpy(At, Key.data(), Key.size());
  FKeyBlockEnd += Key.size();
  FKeyBlockFree -= Key.size();
  return {At, Key.size()};
}

bool TQXLAODistinctRows::MakeKey(const std::vector<TQXLVariant>& Values, std::string& Key) {
  Key.clear();
  for (const TQXLVariant& V : Values) {
    if (V.IsNull()) {
      Key += NullTag;
      continue;
    }
    if (!IsIntegerType(V.DataType())) return false;
    const std::int64_t N = IntegerOf(V);
    char Bytes[sizeof N];
    std::memcpy(Bytes, &N, sizeof N);
    Key += IntegerTag;
    Key.append(Bytes, sizeof N);
  }
  return true;
}

void TQXLAODistinctRows::MoveKeysToRows(std::size_t Width) {
  FHashed = false;
  for (const std::string_view Key : FKeys) {
    std::vector<TQXLVariant> Row(Width);
    std::size_t At = 0;
    for (TQXLVariant& V : Row) {
      if (Key[At++] == NullTag) {
        V.SetNull();
        continue;
      }
      std::int64_t N = 0;
      std::memcpy(&N, Key.data() + At, sizeof N);
      At += sizeof N;
      V.SetAsInt64(N);
    }
    FRows.insert(std::move(Row));
  }
  FKeys.clear();
  FKeyBlocks.clear();
  FKeyBlockFree = 0;
  FKeyBlockEnd = nullptr;
}

}  // namespace qxl
