#include "engine/coding/PpmAllocator.h"

namespace qxl {

namespace {

constexpr std::array<std::uint8_t, TPPMAllocator::ClassCount> MakeClassUnits() {
  std::array<std::uint8_t, TPPMAllocator::ClassCount> u{};
  const std::uint8_t first[12] = {1, 2, 3, 4, 6, 8, 10, 12, 15, 18, 21, 24};
  for (int i = 0; i < 12; ++i) u[i] = first[i];
  for (int i = 12; i < TPPMAllocator::ClassCount; ++i) u[i] = static_cast<std::uint8_t>(28 + 4 * (i - 12));
  return u;
}

constexpr std::array<std::uint8_t, 128> MakeUnitsClass(const std::array<std::uint8_t, TPPMAllocator::ClassCount>& u) {
  std::array<std::uint8_t, 128> c{};
  int k = 0;
  for (int n = 1; n <= 128; ++n) {
    if (u[k] < n) ++k;
    c[n - 1] = static_cast<std::uint8_t>(k);
  }
  return c;
}

constexpr auto ClassUnitsTable = MakeClassUnits();
constexpr auto UnitsClassTable = MakeUnitsClass(ClassUnitsTable);

}  // namespace

const std::array<std::uint8_t, TPPMAllocator::ClassCount> TPPMAllocator::ClassUnits = ClassUnitsTable;

int TPPMAllocator::UnitsClass(int n) { return UnitsClassTable[n - 1]; }

bool TPPMAllocator::ReservePPMHeap(std::uint32_t MiB) {
  const std::uint32_t size = MiB << 20;
  if (FBlock && FHeapSize == size) return true;
  ReleasePPMHeap();
  // Not cleared: the model writes every byte before it reads it.
  FBlock = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t(size) + HeapStart);
  FHeapSize = size;
  return true;
}

void TPPMAllocator::ReleasePPMHeap() {
  FBlock.reset();
  FHeapSize = 0;
}

void TPPMAllocator::ResetPPMHeap() {
  FChains.fill(0);
  FReserve = HeapStart;
  FLoUnit = HeapStart + ReserveBytes;
  FHiUnit = HeapStart + UnitSize * (FHeapSize / UnitSize);
}

void TPPMAllocator::Push(TPPMRef Run, int c) {
  std::memcpy(FBlock.get() + Run, &FChains[c], sizeof(TPPMRef));
  FChains[c] = Run;
}

TPPMRef TPPMAllocator::Pop(int c) {
  const TPPMRef run = FChains[c];
  std::memcpy(&FChains[c], FBlock.get() + run, sizeof(TPPMRef));
  return run;
}

// Gives back Units units at At: at most two runs, each of an exact class.
void TPPMAllocator::Split(TPPMRef At, int Units) {
  int j = UnitsClass(Units);
  if (ClassUnits[j] != Units) {
    --j;
    Push(At, j);
    At += Bytes(j);
    Units -= ClassUnits[j];
  }
  Push(At, UnitsClass(Units));
}

TPPMRef TPPMAllocator::TakeContextUnit() {
  if (FHiUnit != FLoUnit) return FHiUnit -= UnitSize;
  return TakeUnits(1);
}

TPPMRef TPPMAllocator::TakeUnits(int n) {
  const int c = UnitsClass(n);
  if (FChains[c]) return Pop(c);
  if (FLoUnit + Bytes(c) <= FHiUnit) {
    const TPPMRef run = FLoUnit;
    FLoUnit += Bytes(c);
    return run;
  }
  if (FReserve) {
    for (int i = 0; i < 128; ++i) Push(FReserve + i * Bytes(ClassCount - 1), ClassCount - 1);
    FReserve = 0;
  }
  for (int k = c + 1; k < ClassCount; ++k) {
    if (!FChains[k]) continue;
    const TPPMRef run = Pop(k);
    Split(run + Bytes(c), ClassUnits[k] - ClassUnits[c]);
    return run;
  }
  return 0;
}

TPPMRef TPPMAllocator::GrowUnits(TPPMRef Run, int n) {
  if (n >= 128) return 0;  // no run is larger
  const int c = UnitsClass(n);
  if (c == UnitsClass(n + 1)) return Run;
  const TPPMRef grown = TakeUnits(n + 1);
  if (!grown) return 0;
  Copy(grown, Run, Bytes(c));
  Push(Run, c);
  return grown;
}

TPPMRef TPPMAllocator::CutUnits(TPPMRef Run, int OldN, int NewN) {
  const int oldC = UnitsClass(OldN), newC = UnitsClass(NewN);
  if (oldC == newC) return Run;
  if (FChains[newC]) {
    const TPPMRef moved = Pop(newC);
    Copy(moved, Run, Bytes(newC));
    Push(Run, oldC);
    return moved;
  }
  Split(Run + Bytes(newC), ClassUnits[oldC] - ClassUnits[newC]);
  return Run;
}

void TPPMAllocator::ReturnUnits(TPPMRef Run, int n) { Push(Run, UnitsClass(n)); }

}  // namespace qxl
