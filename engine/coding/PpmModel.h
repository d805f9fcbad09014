#pragma once
// The PPM model and its coding rules: contexts up to the model order with
// placeholder contexts for what is not yet built, a bit model for one-state
// contexts and adaptive escape estimation after masked contexts.
#include <cstddef>
#include <cstdint>

#include "engine/coding/PpmAllocator.h"

namespace qxl {

class TPPMRangeEncoder;
class TPPMRangeDecoder;

class TPPMModel {
public:
  explicit TPPMModel(TPPMAllocator& Heap) : H(Heap) {}

  // Codes In into Out (header included); the number of bytes written, or 0
  // when they would not fit into Capacity.
  std::size_t Encode(const std::uint8_t* In, std::size_t InSize, std::uint8_t* Out, std::size_t Capacity,
                     int Order, int MemoryMiB);
  // Decodes a whole stream into at most Capacity bytes: the number of bytes
  // decoded, or -1 when the stream is damaged or decodes to more than Capacity.
  std::int64_t Decode(const std::uint8_t* In, std::size_t InSize, std::uint8_t* Out, std::size_t Capacity);
  // How often the last call started its model afresh because memory ran out.
  int Restarts() const { return FRestarts; }

private:
  struct TEscapeEntry {
    std::uint16_t Sum;
    std::uint8_t Shift;
    std::uint8_t Countdown;
  };
  struct TState {
    std::uint8_t Symbol;
    std::uint8_t Weight;
    TPPMRef Successor;
  };
  static constexpr int EndSymbol = 256;
  static constexpr int MaxWeight = 124;
  static constexpr std::uint32_t StateSize = 6;

  TPPMAllocator& H;
  std::uint8_t* M = nullptr;
  int FRestarts = 0;
  int ModelOrder = 0;
  TPPMRef CurrentContext = 0, TopContext = 0, CodedState = 0, LastPlaceholder = 0;
  int OrderDrop = 0;
  int MaskedCount = 0;
  std::uint8_t EscapeSeed = 0;
  std::uint8_t MaskStamp = 0;
  int LastHit = 0;
  std::uint8_t SymbolMask[256] = {};
  std::uint16_t SingleTable[128][16] = {};
  TEscapeEntry EscapeStats[43][8] = {};
  TEscapeEntry ExtraEscape = {0, 7, 0};
  std::uint8_t SymbolCountClass[256] = {};
  std::uint8_t SingleCountClass[256] = {};

  // Fields of contexts and states in the block, little-endian and unaligned.
  std::uint16_t Get16(TPPMRef a) const;
  std::uint32_t Get32(TPPMRef a) const;
  void Set16(TPPMRef a, std::uint32_t v);
  void Set32(TPPMRef a, std::uint32_t v);
  std::uint32_t StateCount(TPPMRef x) const { return Get16(x); }
  void SetStateCount(TPPMRef x, std::uint32_t v) { Set16(x, v); }
  std::uint32_t WeightSum(TPPMRef x) const { return Get16(x + 2); }
  void SetWeightSum(TPPMRef x, std::uint32_t v) { Set16(x + 2, v); }
  TPPMRef States(TPPMRef x) const { return Get32(x + 4); }
  void SetStates(TPPMRef x, TPPMRef v) { Set32(x + 4, v); }
  static TPPMRef OnlyState(TPPMRef x) { return x + 2; }
  TPPMRef Suffix(TPPMRef x) const { return Get32(x + 8); }
  void SetSuffix(TPPMRef x, TPPMRef v) { Set32(x + 8, v); }
  std::uint8_t& Symbol(TPPMRef s) { return M[s]; }
  std::uint8_t& Weight(TPPMRef s) { return M[s + 1]; }
  TPPMRef Successor(TPPMRef s) const { return Get32(s + 2); }
  void SetSuccessor(TPPMRef s, TPPMRef v) { Set32(s + 2, v); }
  TState ReadState(TPPMRef s) const;
  void WriteState(TPPMRef s, const TState& v);
  void SwapStates(TPPMRef a, TPPMRef b);
  TPPMRef FindState(TPPMRef x, std::uint8_t sym);
  bool Masked(TPPMRef s) const { return SymbolMask[M[s]] == MaskStamp; }
  void ClearMask();

  void Start(int Order, int MemoryMiB);
  void ResetPPMModel();
  void Restart();
  std::uint16_t& SingleEntry(TPPMRef x);
  TEscapeEntry* EscapeEntry(TPPMRef x, int d, std::uint32_t& w);
  void FoundFirst(TPPMRef x, TPPMRef t0, std::uint32_t Total);
  void FoundLater(TPPMRef x, TPPMRef t);
  void SingleHit(TPPMRef s, std::uint16_t& e);
  void SingleEscape(TPPMRef s, std::uint16_t& e);
  void FirstEscape(TPPMRef x);
  void FoundMasked(TPPMRef x, TEscapeEntry* e, TPPMRef t);
  void MaskedEscape(TPPMRef x, int d, TEscapeEntry* e, std::uint32_t Total);
  void HalveContext(TPPMRef x);
  bool UpdatePPMModel();
  bool BuildSuccessors(int Mode, TPPMRef p);
  void AfterSymbol();
  bool EscapeToSuffix();

  void EncodeFirst(TPPMRangeEncoder& rc, TPPMRef x, int c);
  void EncodeSingle(TPPMRangeEncoder& rc, TPPMRef x, int c);
  void EncodeMasked(TPPMRangeEncoder& rc, TPPMRef x, int c);
  bool DecodeFirst(TPPMRangeDecoder& rc, TPPMRef x);
  bool DecodeSingle(TPPMRangeDecoder& rc, TPPMRef x);
  bool DecodeMasked(TPPMRangeDecoder& rc, TPPMRef x);
};

}  // namespace qxl
