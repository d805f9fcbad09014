#pragma once
// The PPM model's memory: one block carved into 12-byte units, handed out in
// runs of 38 size classes. Where it runs dry decides where the model restarts
// and so the bytes of every PPM stream: change nothing here lightly.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace qxl {

// A place in the block: a byte offset, 0 never being a unit ("nil"). Offsets
// rather than pointers keep the model's layout at 12-byte units on any machine.
using TPPMRef = std::uint32_t;

class TPPMAllocator {
public:
  static constexpr std::uint32_t UnitSize = 12;
  static constexpr int ClassCount = 38;
  static constexpr std::uint32_t ReserveBytes = 0x30000;  // 128 runs of 128 units

  static const std::array<std::uint8_t, ClassCount> ClassUnits;
  // The smallest class whose run holds n units, for n from 1 to 128.
  static int UnitsClass(int n);

  // Makes sure a block of MiB mebibytes is held; std::bad_alloc when none can be had.
  bool ReservePPMHeap(std::uint32_t MiB);
  void ReleasePPMHeap();
  // Forgets everything handed out: empty chains, the reserve held back again.
  void ResetPPMHeap();

  TPPMRef TakeContextUnit();
  TPPMRef TakeUnits(int n);                           // n from 1 to 128; 0 when none is left
  TPPMRef GrowUnits(TPPMRef Run, int n);              // n units to n + 1; 0 leaves Run as it was
  TPPMRef CutUnits(TPPMRef Run, int OldN, int NewN);  // NewN < OldN
  void ReturnUnits(TPPMRef Run, int n);

  std::uint8_t* Memory() { return FBlock.get(); }
  const std::uint8_t* Memory() const { return FBlock.get(); }
  std::uint32_t HeapSize() const { return FHeapSize; }
  // The first byte of the heap proper; offsets below it are never handed out.
  static constexpr TPPMRef HeapStart = UnitSize;
  TPPMRef LoUnit() const { return FLoUnit; }
  TPPMRef HiUnit() const { return FHiUnit; }
  bool ReserveHeld() const { return FReserve != 0; }
  bool ChainEmpty(int c) const { return FChains[c] == 0; }

private:
  std::unique_ptr<std::uint8_t[]> FBlock;
  std::uint32_t FHeapSize = 0;
  TPPMRef FLoUnit = 0;
  TPPMRef FHiUnit = 0;
  TPPMRef FReserve = 0;
  std::array<TPPMRef, ClassCount> FChains{};

  std::uint32_t Bytes(int c) const { return UnitSize * ClassUnits[c]; }
  void Push(TPPMRef Run, int c);
  TPPMRef Pop(int c);
  void Split(TPPMRef At, int Units);
  void Copy(TPPMRef To, TPPMRef From, std::uint32_t n) { std::memmove(FBlock.get() + To, FBlock.get() + From, n); }
};

}  // namespace qxl
