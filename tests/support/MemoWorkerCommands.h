#pragma once
// Commands of the storage worker program on a table of memos (ID, Memo; made
// by TDiskTableUser::CreateTable(TABLE, {"ID"}, {}, {"Memo"})) of a
// database file, one process of several (DiskTableUser.h); PASSWORD is "-"
// for a plain file. Each memo's text says which record and which version it
// is and can be rebuilt from those two, so that a reader can check every
// byte of what it read. Linked into qxl_store_worker only when the tests are
// built. Gated commands wait as the table commands do (TableWorkerCommands.h).
//
//   table-memo-write FILE PASSWORD GATE TABLE ROWS ROUNDS
//       ROUNDS times, round R from 1: the memo of record R mod ROWS + 1
//       replaced by its version R, posted under RW
//   table-memo-read FILE PASSWORD GATE TABLE ROWS STOPFILE
//       reads every record and its memo, each under S, twice at least,
//       until STOPFILE exists; each pass must see ROWS records whose memos
//       are whole versions of their own; prints "seen N", the number of passes
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qxl::testsupport {

// The text of version Version of record Id's memo: from a few bytes to
// several pages, most of it compressing badly.
inline std::string MemoText(std::int32_t Id, std::int32_t Version) {
  std::string Text = std::to_string(Id) + "." + std::to_string(Version) + ":";
  const std::uint32_t Size =
      (static_cast<std::uint32_t>(Version) * 7919u + static_cast<std::uint32_t>(Id) * 3571u) % 24000u;
  std::uint32_t Seed = static_cast<std::uint32_t>(Id) * 2654435761u ^ static_cast<std::uint32_t>(Version);
  for (std::uint32_t i = 0; i < Size; ++i) {
    Seed = Seed * 1103515245u + 12345u;
    Text.push_back(static_cast<char>('!' + (Seed >> 16) % 90));
  }
  return Text;
}

// Runs Args when it names a memo command and returns its exit code;
// nothing when it names none.
std::optional<int> RunMemoWorkerCommand(const std::vector<std::string>& Args);

}  // namespace qxl::testsupport
