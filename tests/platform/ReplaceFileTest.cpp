// A file put in the place of another in one step, refused while either is in
// use, and the free space of the file system that holds a file's folder.
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "FileTestSupport.h"

using namespace platform;
using platform::test::RunInChild;
using platform::test::ScratchPath;

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(ReplaceFile, RefusedWhileEitherFileIsInUse) {
  ScratchPath fresh, existing;
  Write(fresh, "new");
  Write(existing, "old");
  for (const std::string* held : {&fresh.str(), &existing.str()}) {
    SCOPED_TRACE(*held == fresh.str() ? "new file open" : "old file open");
    File f;
    f.Open(*held, AccessMode::ReadOnly, ShareMode::DenyNone);
    EXPECT_FALSE(ReplaceFile(fresh, existing));
    EXPECT_EQ(RunInChild([&] { return ReplaceFile(fresh, existing) ? 1 : 0; }), 0);
    EXPECT_EQ(Contents(fresh), "new");
    EXPECT_EQ(Contents(existing), "old");
  }
}

TEST(ReplaceFile, PutsTheFileInThePlaceOfTheOther) {
  ScratchPath fresh, existing;
  Write(fresh, "new");
  Write(existing, "old");
  ASSERT_TRUE(ReplaceFile(fresh, existing));
  EXPECT_FALSE(FileExists(fresh));
  EXPECT_EQ(Contents(existing), "new");
}

TEST(ReplaceFile, AMissingFileIsAnErrorAndChangesNothing) {
  ScratchPath fresh, existing;
  Write(existing, "old");
  ::unlink(fresh.str().c_str());
  for (auto [from, to] : {std::pair{fresh.str(), existing.str()}, std::pair{existing.str(), fresh.str()}}) {
    try {
      ReplaceFile(from, to);
      ADD_FAILURE() << "replaced with a missing file";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, ENOENT);
    }
  }
  EXPECT_EQ(Contents(existing), "old");
}

TEST(FreeSpaceForFile, TheFolderOfTheFileCounts) {
  ScratchPath path;
  ::unlink(path.str().c_str());
  // The file need not exist, only its folder.
  EXPECT_GT(FreeSpaceForFile(path), 0);
  EXPECT_GT(FreeSpaceForFile("relative-name-in-the-working-folder"), 0);
  try {
    FreeSpaceForFile(path.str() + ".missing-folder/file");
    ADD_FAILURE() << "a missing folder has no free space";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
}
