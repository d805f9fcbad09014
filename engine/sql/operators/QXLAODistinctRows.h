#pragma once
// The rows a DISTINCT result has stored so far, to refuse a row seen before
// wherever it comes in the input: NULL equals NULL, text is compared with
// its case. While every value met is NULL or an integer, a row is kept as
// the bytes of its values widened to 64 bits in a hash set (equal integers
// of any width have equal bytes), which spares the general comparison of
// values; the first other value moves the rows seen into an ordered set,
// which compares values as the rest of the engine does.
//
// Threads: one owner (the operator filling its result table).
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/core/values/QXLVariant.h"

namespace qxl {

class TQXLAODistinctRows {
public:
  // Whether Values were not seen before; they are then kept, and may have
  // been moved from.
  bool Insert(std::vector<TQXLVariant>& Values);

private:
  struct TRowOrder {
    bool operator()(const std::vector<TQXLVariant>& A, const std::vector<TQXLVariant>& B) const;
  };

  // False, and Key unusable, when a value is neither NULL nor an integer.
  static bool MakeKey(const std::vector<TQXLVariant>& Values, std::string& Key);
  void MoveKeysToRows(std::size_t Width);

  // A copy of Key in the key blocks, which keep it as long as the set.
  std::string_view StoreKey(const std::string& Key);

  bool FHashed = true;
  std::string FKey;
  // The keys' bytes, in blocks allocated a few at a time, not one per key.
  std::vector<std::unique_ptr<char[]>> FKeyBlocks;
  std::size_t FKeyBlockFree = 0;
  char* FKeyBlockEnd = nullptr;
  std::unordered_set<std::string_view> FKeys;
  std::set<std::vector<TQXLVariant>, TRowOrder> FRows;
};

}  // namespace qxl
