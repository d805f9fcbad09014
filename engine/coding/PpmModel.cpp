#include "engine/coding/PpmModel.h"

#include <cstring>

#include "engine/coding/PpmRangeCoder.h"

namespace qxl {

namespace {

constexpr std::uint16_t SingleStartTable[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545, 0x63D1, 0x5D9D,
                                                0x64A1, 0x5ABC, 0x6632, 0x6051, 0x68F6, 0x549B, 0x6BCA, 0x3AB0};
constexpr std::uint8_t EscapeSeedTable[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr std::uint32_t BitTotal = 1u << 14;  // the bit model's scale
constexpr int MaxStack = 64;                   // more than the deepest order (16) needs

}  // namespace

// ---- fields -----------------------------------------------------------------

std::uint16_t TPPMModel::Get16(TPPMRef a) const {
  std::uint16_t v;
  std::memcpy(&v, M + a, 2);
  return v;
}

std::uint32_t TPPMModel::Get32(TPPMRef a) const {
  std::uint32_t v;
  std::memcpy(&v, M + a, 4);
  return v;
}

void TPPMModel::Set16(TPPMRef a, std::uint32_t v) {
  const auto w = static_cast<std::uint16_t>(v);
  std::memcpy(M + a, &w, 2);
}

void TPPMModel::Set32(TPPMRef a, std::uint32_t v) { std::memcpy(M + a, &v, 4); }

TPPMModel::TState TPPMModel::ReadState(TPPMRef s) const { return {M[s], M[s + 1], Successor(s)}; }

void TPPMModel::WriteState(TPPMRef s, const TState& v) {
  M[s] = v.Symbol;
  M[s + 1] = v.Weight;
  SetSuccessor(s, v.Successor);
}

void TPPMModel::SwapStates(TPPMRef a, TPPMRef b) {
  std::uint8_t t[StateSize];
  std::memcpy(t, M + a, StateSize);
  std::memmove(M + a, M + b, StateSize);
  std::memcpy(M + b, t, StateSize);
}

// The state of sym in a context of two or more states; 0 when it has none.
TPPMRef TPPMModel::FindState(TPPMRef x, std::uint8_t sym) {
  TPPMRef s = States(x);
  for (std::uint32_t i = StateCount(x); i > 0; --i, s += StateSize)
    if (M[s] == sym) return s;
  return 0;
}

void TPPMModel::ClearMask() { std::memset(SymbolMask, 0, sizeof SymbolMask); }

// ---- start and restart --------------------------------------------------------

void TPPMModel::Start(int Order, int MemoryMiB) {
  ModelOrder = Order;
  FRestarts = 0;
  H.ReservePPMHeap(static_cast<std::uint32_t>(MemoryMiB));
  M = H.Memory();
  ResetPPMModel();
}

void TPPMModel::ResetPPMModel() {
  H.ResetPPMHeap();
  const TPPMRef r = H.TakeContextUnit();
  SetStateCount(r, 256);
  SetWeightSum(r, 257);
  SetSuffix(r, 0);
  const TPPMRef states = H.TakeUnits(128);
  SetStates(r, states);
  for (std::uint32_t i = 0; i < 256; ++i) WriteState(states + StateSize * i, {std::uint8_t(i), 1, 0});
  LastHit = 0;
  OrderDrop = 1;

  // A chain of contexts of the symbol 0 up to the model order, its top a
  // placeholder: coding starts one order below it.
  TPPMRef prev = r, s = states;
  for (int l = 1;; ++l) {
    const TPPMRef c = H.TakeContextUnit();
    SetSuccessor(s, c);
    SetStateCount(c, 1);
    SetSuffix(c, prev);
    if (l == ModelOrder) {
      SetStateCount(c, 0);
      LastPlaceholder = c;
      CurrentContext = TopContext = prev;
      break;
    }
    s = OnlyState(c);
    Symbol(s) = 0;
    Weight(s) = 1;
    prev = c;
  }

  for (int i = 0; i < 128; ++i)
    for (int k = 0; k < 16; ++k) SingleTable[i][k] = static_cast<std::uint16_t>(0x4000 - SingleStartTable[k] / (i + 2));
  for (int n = 0; n < 256; ++n) SingleCountClass[n] = static_cast<std::uint8_t>(n < 6 ? 2 * n : n < 50 ? 12 : 14);
  for (int i = 0; i < 43; ++i)
    for (int k = 0; k < 8; ++k) EscapeStats[i][k] = {static_cast<std::uint16_t>((4 * i + 10) << 3), 3, 3};
  ExtraEscape.Shift = 7;
  for (int n = 0; n < 256; ++n)
    SymbolCountClass[n] = static_cast<std::uint8_t>(n < 4    ? n
                                                    : n < 12 ? 4 + (n - 4) / 2
                                                    : n < 44 ? 8 + (n - 12) / 4
                                                             : 16 + (n - 44) / 8);
  ClearMask();
  MaskStamp = 1;
}

// The model memory is used up: start afresh with the next symbol. The stamp 0
// makes the coding loop clear the mask.
void TPPMModel::Restart() {
  ++FRestarts;
  ResetPPMModel();
  MaskStamp = 0;
}

// ---- what coding a symbol does to the model ------------------------------------

std::uint16_t& TPPMModel::SingleEntry(TPPMRef x) {
  const TPPMRef s = OnlyState(x);
  return SingleTable[Weight(s) - 1][LastHit + SingleCountClass[StateCount(Suffix(x)) - 1]];
}

void TPPMModel::SingleHit(TPPMRef s, std::uint16_t& e) {
  CodedState = s;
  if (Weight(s) < 128) ++Weight(s);
  e = static_cast<std::uint16_t>(e + 128 - ((e + 32) >> 7));
  LastHit = 1;
}

void TPPMModel::SingleEscape(TPPMRef s, std::uint16_t& e) {
  e = static_cast<std::uint16_t>(e - ((e + 32) >> 7));
  EscapeSeed = EscapeSeedTable[e >> 10];
  MaskedCount = 1;
  SymbolMask[Symbol(s)] = MaskStamp;
  LastHit = 0;
  CodedState = 0;
}

void TPPMModel::FoundFirst(TPPMRef x, TPPMRef t0, std::uint32_t Total) {
  const std::uint32_t w = Weight(t0);
  LastHit = 2 * w > Total ? 1 : 0;
  CodedState = t0;
  Weight(t0) = static_cast<std::uint8_t>(w + 4);
  SetWeightSum(x, WeightSum(x) + 4);
  if (w + 4 > MaxWeight) HalveContext(x);
}

// A state other than the first was coded: it may overtake its predecessor.
void TPPMModel::FoundLater(TPPMRef x, TPPMRef t) {
  Weight(t) += 4;
  SetWeightSum(x, WeightSum(x) + 4);
  CodedState = t;
  if (Weight(t) > Weight(t - StateSize)) {
    SwapStates(t, t - StateSize);
    CodedState = t - StateSize;
    if (Weight(CodedState) > MaxWeight) HalveContext(x);
  }
}

void TPPMModel::FirstEscape(TPPMRef x) {
  const std::uint32_t n = StateCount(x);
  TPPMRef s = States(x);
  for (std::uint32_t i = 0; i < n; ++i, s += StateSize) SymbolMask[Symbol(s)] = MaskStamp;
  MaskedCount = static_cast<int>(n);
  CodedState = 0;
}

// The escape estimate of a context reached after escapes, with d unmasked states.
TPPMModel::TEscapeEntry* TPPMModel::EscapeEntry(TPPMRef x, int d, std::uint32_t& w) {
  const int n = static_cast<int>(StateCount(x));
  if (n == 256) {
    w = 1;
    return &ExtraEscape;
  }
  const int b0 = d < static_cast<int>(StateCount(Suffix(x))) - n ? 1 : 0;
  const int b1 = static_cast<int>(WeightSum(x)) < 11 * n ? 1 : 0;
  const int b2 = d < MaskedCount ? 1 : 0;
  TEscapeEntry* e = &EscapeStats[SymbolCountClass[d - 1]][b0 + 2 * b1 + 4 * b2];
  const std::uint32_t r = e->Sum >> e->Shift;
  e->Sum = static_cast<std::uint16_t>(e->Sum - r);
  w = r & 1023;
  if (w == 0) w = 1;
  return e;
}

void TPPMModel::FoundMasked(TPPMRef x, TEscapeEntry* e, TPPMRef t) {
  if (e->Shift < 7 && --e->Countdown == 0) {
    e->Sum = static_cast<std::uint16_t>(2 * e->Sum);
    e->Countdown = static_cast<std::uint8_t>(3 << e->Shift);
    ++e->Shift;
  }
  CodedState = t;
  Weight(t) += 4;
  SetWeightSum(x, WeightSum(x) + 4);
  if (Weight(t) > MaxWeight) HalveContext(x);
  ++MaskStamp;
}

void TPPMModel::MaskedEscape(TPPMRef x, int d, TEscapeEntry* e, std::uint32_t Total) {
  e->Sum = static_cast<std::uint16_t>(e->Sum + Total);
  TPPMRef s = States(x);
  for (int seen = 0, i = 0, n = static_cast<int>(StateCount(x)); seen < d && i < n; ++i, s += StateSize) {
    if (Masked(s)) continue;
    SymbolMask[Symbol(s)] = MaskStamp;
    ++seen;
  }
  MaskedCount = static_cast<int>(StateCount(x));
  CodedState = 0;
}

void TPPMModel::HalveContext(TPPMRef x) {
  const std::uint32_t n = StateCount(x);
  const TPPMRef first = States(x);
  for (TPPMRef p = CodedState; p != first; p -= StateSize) SwapStates(p, p - StateSize);
  Weight(first) += 4;
  SetWeightSum(x, WeightSum(x) + 4);
  int escW = static_cast<int>(WeightSum(x)) - Weight(first);
  const int a = OrderDrop != 0 ? 1 : 0;
  Weight(first) = static_cast<std::uint8_t>((Weight(first) + a) >> 1);
  SetWeightSum(x, Weight(first));
  for (std::uint32_t i = 1; i < n; ++i) {
    const TPPMRef p = first + StateSize * i;
    escW -= Weight(p);
    Weight(p) = static_cast<std::uint8_t>((Weight(p) + a) >> 1);
    SetWeightSum(x, WeightSum(x) + Weight(p));
    if (Weight(p) > Weight(p - StateSize)) {
      const TState moving = ReadState(p);
      TPPMRef q = p;
      do {
        std::memmove(M + q, M + q - StateSize, StateSize);
        q -= StateSize;
      } while (q != first && moving.Weight > Weight(q - StateSize));
      WriteState(q, moving);
    }
  }

  if (Weight(first + StateSize * (n - 1)) == 0) {
    std::uint32_t z = 0;
    while (Weight(first + StateSize * (n - 1 - z)) == 0) ++z;
    escW += static_cast<int>(z);
    SetStateCount(x, n - z);
    if (n - z == 1) {
      TState only = ReadState(first);
      do {
        only.Weight = static_cast<std::uint8_t>(only.Weight - (only.Weight >> 1));
        escW >>= 1;
      } while (escW > 1);
      H.ReturnUnits(first, static_cast<int>((n + 1) / 2));
      WriteState(OnlyState(x), only);
      CodedState = OnlyState(x);
      return;
    }
  }
  escW -= escW >> 1;
  SetWeightSum(x, WeightSum(x) + static_cast<std::uint32_t>(escW));
  const int oldUnits = static_cast<int>((n + 1) / 2), newUnits = static_cast<int>((StateCount(x) + 1) / 2);
  if (oldUnits != newUnits) SetStates(x, H.CutUnits(first, oldUnits, newUnits));
  CodedState = States(x);
}

// Turns the placeholder after CodedState into real contexts, one per order
// whose state still leads to it. False when memory ran out or the model is
// not as it must be (the caller restarts).
bool TPPMModel::BuildSuccessors(int Mode, TPPMRef p) {
  const TPPMRef u = Successor(CodedState);
  const std::uint8_t sym = Symbol(CodedState);
  TPPMRef x = CurrentContext;
  TPPMRef stack[MaxStack];
  int depth = 0;
  bool walk = true;
  if (Mode == 0) {
    stack[depth++] = CodedState;
    if (!Suffix(x)) walk = false;
  } else if (Mode == 2) {
    x = Suffix(x);
  }
  if (walk) {
    bool given = p != 0;
    for (;;) {
      x = Suffix(x);
      if (!x) return false;
      if (!given) p = StateCount(x) != 1 ? FindState(x, sym) : OnlyState(x);
      given = false;
      if (!p) return false;
      if (Successor(p) != u) {
        x = Successor(p);
        if (!x) return false;
        break;
      }
      if (depth == MaxStack) return false;
      stack[depth++] = p;
      if (!Suffix(x)) break;
    }
  }

  const TPPMRef t = OnlyState(u);
  if (StateCount(x) != 1) {
    const TPPMRef q = FindState(x, Symbol(t));
    if (!q) return false;
    const std::uint32_t cf = Weight(q) - 1u;
    const std::uint32_t s0 = WeightSum(x) - StateCount(x) - cf;
    std::uint32_t add;
    if (2 * cf <= s0)
      add = 5 * cf > s0 ? 1 : 0;
    else if (s0 == 0)
      return false;
    else
      add = (2 * cf + 3 * s0 - 1) / (2 * s0);
    Weight(t) = static_cast<std::uint8_t>(1 + add);
  } else {
    Weight(t) = Weight(OnlyState(x));
  }
  const TState copy = ReadState(t);
  while (depth > 0) {
    const TPPMRef y = H.TakeContextUnit();
    if (!y) return false;
    SetStateCount(y, 1);
    SetSuffix(y, x);
    WriteState(OnlyState(y), copy);
    SetSuccessor(stack[--depth], y);
    x = y;
  }
  if (OrderDrop == 0) {
    SetStateCount(u, 1);
    SetSuffix(u, x);
  }
  return true;
}

// Records the symbol just coded in every context that escaped it and moves up
// to the next context; false when memory ran out (the caller restarts).
bool TPPMModel::UpdatePPMModel() {
  const TState fs = ReadState(CodedState);
  TPPMRef p = 0;
  const TPPMRef suffix = Suffix(CurrentContext);
  if (fs.Weight < 31 && suffix) {
    if (StateCount(suffix) != 1) {
      p = FindState(suffix, fs.Symbol);
      if (!p) return false;
      if (p != States(suffix) && Weight(p) >= Weight(p - StateSize)) {
        SwapStates(p, p - StateSize);
        p -= StateSize;
      }
      if (Weight(p) < 108) {
        Weight(p) += 2;
        SetWeightSum(suffix, WeightSum(suffix) + 2);
      }
    } else {
      p = OnlyState(suffix);
      if (Weight(p) < 32) ++Weight(p);
    }
  }

  if (OrderDrop == 0) {
    if (!BuildSuccessors(2, 0)) return false;
    CurrentContext = TopContext = fs.Successor;
    return true;
  }

  int mode = 0;
  TPPMRef n;
  if (--OrderDrop == 0) {
    n = fs.Successor;
    mode = 1;
  } else {
    n = H.TakeContextUnit();
    if (!n) return false;
    SetStateCount(n, 0);
  }
  if (StateCount(LastPlaceholder) == 0) {
    Symbol(OnlyState(LastPlaceholder)) = fs.Symbol;
    SetSuccessor(OnlyState(LastPlaceholder), n);
  }

  const std::uint32_t ns = StateCount(CurrentContext);
  // For a one-state context the weight sum reads the bytes of its only state.
  const std::uint32_t s0 = WeightSum(CurrentContext) - ns - (fs.Weight - 1u);
  for (TPPMRef pc = TopContext; pc != CurrentContext; pc = Suffix(pc)) {
    const std::uint32_t k = StateCount(pc);
    if (k != 1) {
      if (k % 2 == 0) {
        const TPPMRef grown = H.GrowUnits(States(pc), static_cast<int>(k / 2));
        if (!grown) return false;
        SetStates(pc, grown);
      }
      const std::uint32_t ws = WeightSum(pc);
      const std::uint32_t b1 = ws <= 8 * k && 4 * k <= ns ? 1 : 0;
      const std::uint32_t b2 = 2 * k < ns ? 1 : 0;
      SetWeightSum(pc, ws + 2 * b1 + b2);
    } else {
      const TPPMRef a = H.TakeUnits(1);
      if (!a) return false;
      TState only = ReadState(OnlyState(pc));
      only.Weight = static_cast<std::uint8_t>(only.Weight < 30 ? 2 * only.Weight : 120);
      WriteState(a, only);
      SetStates(pc, a);
      SetWeightSum(pc, only.Weight + EscapeSeed + (ns > 3 ? 1u : 0u));
    }
    std::uint32_t cf = 2u * fs.Weight * (WeightSum(pc) + 6);
    const std::uint32_t sf = s0 + WeightSum(pc);
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf ? 1 : 0) + (cf >= 4 * sf ? 1 : 0);
      SetWeightSum(pc, WeightSum(pc) + 3);
    } else {
      cf = 4 + (cf >= 9 * sf ? 1 : 0) + (cf >= 12 * sf ? 1 : 0) + (cf >= 15 * sf ? 1 : 0);
      SetWeightSum(pc, WeightSum(pc) + cf);
    }
    WriteState(States(pc) + StateSize * k, {fs.Symbol, static_cast<std::uint8_t>(cf), n});
    SetStateCount(pc, k + 1);
  }

  if (fs.Successor) {
    if (StateCount(fs.Successor) == 0 && !BuildSuccessors(mode, p)) return false;
    CurrentContext = Successor(CodedState);
  } else {
    SetSuccessor(CodedState, n);
    ++OrderDrop;
  }
  TopContext = CurrentContext;
  LastPlaceholder = n;
  return true;
}

// Moves on after a coded symbol: straight up when the top order already has
// the next context, otherwise through the model update.
void TPPMModel::AfterSymbol() {
  const TPPMRef next = Successor(CodedState);
  if (OrderDrop == 0 && next && StateCount(next) != 0) {
    CurrentContext = TopContext = next;
    return;
  }
  if (!UpdatePPMModel()) Restart();
  if (MaskStamp == 0) {
    MaskStamp = 1;
    ClearMask();
  }
}

// After an escape: down the suffix chain to the first context with a state
// not yet masked. False when the escapes passed the order-0 context.
bool TPPMModel::EscapeToSuffix() {
  do {
    ++OrderDrop;
    CurrentContext = Suffix(CurrentContext);
  } while (CurrentContext && StateCount(CurrentContext) == static_cast<std::uint32_t>(MaskedCount));
  return CurrentContext != 0;
}

// ---- encoder -------------------------------------------------------------------

void TPPMModel::EncodeSingle(TPPMRangeEncoder& rc, TPPMRef x, int c) {
  const TPPMRef s = OnlyState(x);
  std::uint16_t& e = SingleEntry(x);
  if (c == Symbol(s)) {
    rc.ShiftEncode(0, e);
    SingleHit(s, e);
  } else {
    rc.ShiftEncode(e, BitTotal);
    SingleEscape(s, e);
  }
}

void TPPMModel::EncodeFirst(TPPMRangeEncoder& rc, TPPMRef x, int c) {
  const std::uint32_t total = WeightSum(x), n = StateCount(x);
  const TPPMRef t0 = States(x);
  if (c == Symbol(t0)) {
    rc.Encode(0, Weight(t0), total);
    FoundFirst(x, t0, total);
    return;
  }
  LastHit = 0;
  std::uint32_t low = Weight(t0);
  TPPMRef t = t0 + StateSize;
  for (std::uint32_t i = 1; i < n; ++i, t += StateSize) {
    if (c == Symbol(t)) {
      rc.Encode(low, low + Weight(t), total);
      FoundLater(x, t);
      return;
    }
    low += Weight(t);
  }
  rc.Encode(low, total, total);
  FirstEscape(x);
}

void TPPMModel::EncodeMasked(TPPMRangeEncoder& rc, TPPMRef x, int c) {
  const int n = static_cast<int>(StateCount(x));
  const int d = n - MaskedCount;
  std::uint32_t w;
  TEscapeEntry* e = EscapeEntry(x, d, w);
  std::uint32_t sum = 0, low = 0;
  TPPMRef found = 0, s = States(x);
  for (int seen = 0, i = 0; seen < d && i < n; ++i, s += StateSize) {
    if (Masked(s)) continue;
    ++seen;
    sum += Weight(s);
    if (c == Symbol(s)) {
      found = s;
      low = sum - Weight(s);
    }
  }
  const std::uint32_t total = w + sum;
  if (found) {
    rc.Encode(low, low + Weight(found), total);
    FoundMasked(x, e, found);
  } else {
    rc.Encode(sum, total, total);
    MaskedEscape(x, d, e, total);
  }
}

std::size_t TPPMModel::Encode(const std::uint8_t* In, std::size_t InSize, std::uint8_t* Out, std::size_t Capacity,
                              int Order, int MemoryMiB) {
  TPPMRangeEncoder rc(Out, Capacity);
  const std::uint32_t header = std::uint32_t(Order - 1) | std::uint32_t(MemoryMiB - 1) << 4 | 6u << 12;
  for (int i = 0; i < 4; ++i) rc.Put(static_cast<std::uint8_t>(header >> (8 * i)));
  Start(Order, MemoryMiB);
  bool complete = false;
  for (std::size_t i = 0; i <= InSize && !rc.Overflow(); ++i) {
    const int c = i < InSize ? In[i] : EndSymbol;
    if (StateCount(CurrentContext) != 1)
      EncodeFirst(rc, CurrentContext, c);
    else
      EncodeSingle(rc, CurrentContext, c);
    while (!CodedState) {
      rc.Normalise();
      if (!EscapeToSuffix()) break;
      EncodeMasked(rc, CurrentContext, c);
    }
    if (!CurrentContext) {
      // Only the end symbol escapes past the order-0 context, which keeps
      // every byte; anything else would lose data.
      complete = c == EndSymbol;
      break;
    }
    AfterSymbol();
    rc.Normalise();
  }
  rc.Flush();
  H.ReleasePPMHeap();
  M = nullptr;
  return complete && !rc.Overflow() ? rc.Written() : 0;
}

// ---- decoder -------------------------------------------------------------------

bool TPPMModel::DecodeSingle(TPPMRangeDecoder& rc, TPPMRef x) {
  const TPPMRef s = OnlyState(x);
  std::uint16_t& e = SingleEntry(x);
  std::uint32_t count;
  if (!rc.GetShiftCount(count)) return false;
  if (count < e) {
    rc.Remove(0, e);
    SingleHit(s, e);
  } else {
    rc.Remove(e, BitTotal);
    SingleEscape(s, e);
  }
  return true;
}

bool TPPMModel::DecodeFirst(TPPMRangeDecoder& rc, TPPMRef x) {
  const std::uint32_t total = WeightSum(x), n = StateCount(x);
  const TPPMRef t0 = States(x);
  std::uint32_t count;
  if (!rc.GetCount(total, count)) return false;
  std::uint32_t high = Weight(t0);
  if (count < high) {
    rc.Remove(0, high);
    FoundFirst(x, t0, total);
    return true;
  }
  LastHit = 0;
  TPPMRef t = t0 + StateSize;
  for (std::uint32_t i = 1; i < n; ++i, t += StateSize) {
    const std::uint32_t low = high;
    high += Weight(t);
    if (count < high) {
      rc.Remove(low, high);
      FoundLater(x, t);
      return true;
    }
  }
  rc.Remove(high, total);
  FirstEscape(x);
  return true;
}

bool TPPMModel::DecodeMasked(TPPMRangeDecoder& rc, TPPMRef x) {
  const int n = static_cast<int>(StateCount(x));
  const int d = n - MaskedCount;
  std::uint32_t w;
  TEscapeEntry* e = EscapeEntry(x, d, w);
  TPPMRef unmasked[256];
  int seen = 0;
  std::uint32_t sum = 0;
  TPPMRef s = States(x);
  for (int i = 0; seen < d && i < n; ++i, s += StateSize) {
    if (Masked(s)) continue;
    unmasked[seen++] = s;
    sum += Weight(s);
  }
  const std::uint32_t total = w + sum;
  std::uint32_t count;
  if (!rc.GetCount(total, count)) return false;
  if (count >= sum) {
    rc.Remove(sum, total);
    MaskedEscape(x, d, e, total);
    return true;
  }
  std::uint32_t high = 0;
  for (int i = 0;; ++i) {
    high += Weight(unmasked[i]);
    if (count < high) {
      rc.Remove(high - Weight(unmasked[i]), high);
      FoundMasked(x, e, unmasked[i]);
      return true;
    }
  }
}

std::int64_t TPPMModel::Decode(const std::uint8_t* In, std::size_t InSize, std::uint8_t* Out, std::size_t Capacity) {
  if (InSize < 4) return -1;
  const std::uint32_t header = In[0] | In[1] << 8 | In[2] << 16 | std::uint32_t(In[3]) << 24;
  const int order = static_cast<int>(header & 0xF) + 1;
  const int memory = static_cast<int>((header >> 4) & 0xFF) + 1;
  // The encoder writes orders 2 to 16; the model needs at least two.
  if ((header >> 12) + 65 != 'G' || order < 2) return -1;
  TPPMRangeDecoder rc(In + 4, InSize - 4);
  Start(order, memory);
  std::int64_t written = 0;
  bool ok = true;
  for (;;) {
    ok = StateCount(CurrentContext) != 1 ? DecodeFirst(rc, CurrentContext) : DecodeSingle(rc, CurrentContext);
    while (ok && !CodedState) {
      rc.Normalise();
      if (!EscapeToSuffix()) break;
      ok = DecodeMasked(rc, CurrentContext);
    }
    if (!ok || !CurrentContext) break;
    if (static_cast<std::size_t>(written) == Capacity) {
      ok = false;
      break;
    }
    Out[written++] = Symbol(CodedState);
    AfterSymbol();
    rc.Normalise();
  }
  H.ReleasePPMHeap();
  M = nullptr;
  return ok ? written : -1;
}

}  // namespace qxl
