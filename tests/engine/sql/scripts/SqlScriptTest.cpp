// Runs every SQL script of this folder (*.sqlt), each against a database of
// its own; the format is described in SqlScript.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/sql/scripts/SqlScript.h"

namespace {

const std::filesystem::path Folder = std::filesystem::path(QXL_SOURCE_ROOT) / "tests/engine/sql/scripts";

std::vector<std::string> ScriptFiles() {
  std::vector<std::string> Files;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder))
    if (Entry.path().extension() == ".sqlt") Files.push_back(Entry.path().filename().string());
  std::sort(Files.begin(), Files.end());
  return Files;
}

class SqlScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlScript, Runs) {
  EXPECT_GT(qxl::testsupport::RunSqlScript((Folder / GetParam()).string()), 0) << "the script holds no record";
}

std::string NameOf(const ::testing::TestParamInfo<std::string>& Info) {
  std::string Name = Info.param.substr(0, Info.param.rfind('.'));
  for (char& C : Name)
    if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
  return Name;
}

INSTANTIATE_TEST_SUITE_P(Files, SqlScript, ::testing::ValuesIn(ScriptFiles()), NameOf);

}  // namespace
