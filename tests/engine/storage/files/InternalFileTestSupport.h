#pragma once
// A small database file for the internal-file tests: 256-byte pages, so that
// chains of several pages stay short, handles opened shared as separate
// processes would, and raw patches of stored page bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalFileLayout.h"
#include "tests/engine/storage/StorageTestUtil.h"

namespace qxl {

class InternalFileTest : public ::testing::Test {
protected:
  static constexpr std::uint16_t PageSize = 256;
  static constexpr std::int32_t D = PageSize - 40;
  static constexpr std::int32_t System = -2;

  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, PageSize, 8);
  }
  // A handle of its own on the file, shared between processes.
  std::unique_ptr<TQXLDiskPageManager> Open() {
    auto M = std::make_unique<TQXLDiskPageManager>();
    bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
    M->OpenDatabase(Name, {}, ReadOnly, RepairNeeded, false, MultiUser);
    return M;
  }
  // Overwrites stored bytes of a page, as damage would.
  void Patch(std::int32_t PageNo, std::uint16_t Offset, const void* Bytes, std::uint16_t Count) {
    auto M = Open();
    M->WritePageRegion(Bytes, PageNo, Offset, Count);
  }
  void PatchNext(std::int32_t PageNo, std::int32_t Next) { Patch(PageNo, 10, &Next, 4); }
  void PatchType(std::int32_t PageNo, std::uint16_t Type) { Patch(PageNo, 8, &Type, 2); }
  std::vector<std::uint8_t> Content(std::int32_t Size, std::uint8_t Seed = 1) {
    std::vector<std::uint8_t> V(static_cast<std::size_t>(Size));
    for (std::int32_t i = 0; i < Size; ++i) V[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Seed + i * 7 + i / 251);
    return V;
  }
  // The page numbers of a chain as stored.
  std::vector<std::int32_t> StoredChain(std::int32_t StartPageNo) {
    auto M = Open();
    std::vector<std::int32_t> Chain;
    for (std::int32_t No = StartPageNo; No != -1 && Chain.size() < 100;) {
      Chain.push_back(No);
      M->ReadPageRegion(&No, No, 10, 4);
    }
    return Chain;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("files.qxl");
};

}  // namespace qxl
