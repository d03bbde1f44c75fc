// Replacing an output: what the user may not write is refused, links are written through,
// and the replaced file keeps what made it the user's.
#include "base/File.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "tests/fsimage/TestFiles.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo {
namespace {

namespace stdfs = std::filesystem;
using testfiles::TempDir;

void Spill(const stdfs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Slurp(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Status Replace(const stdfs::path& target, const std::string& text) {
  Result<OutputFile> output = OutputFile::Create(target);
  if (!output) return output.error();
  if (Status written = output->WriteAt(0, std::as_bytes(std::span(text.data(), text.size()))); !written) return written;
  return output->Commit();
}

struct Refusal {
  const char* name;
  void (*arrange)(const stdfs::path& target);
  const char* problem;
};

class RefusedOutputTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedOutputTest, WritesNothing) {
  TempDir dir;
  const stdfs::path target = dir / "out.kid";
  GetParam().arrange(target);
  testfiles::GiveToOrdinaryUser(dir.path());
  const std::vector<std::string> before = dir.Names();
  Status replaced;
  {
    testfiles::AsOrdinaryUser ordinaryUser;
    replaced = Replace(target, "new");
  }
  ASSERT_FALSE(replaced.ok());
  EXPECT_EQ(replaced.error().message,
            "cannot write '" + target.string() + "': " + GetParam().problem);
  EXPECT_EQ(dir.Names(), before) << "a temporary file was left";
  std::error_code ec;
  if (stdfs::is_regular_file(target, ec)) {
    EXPECT_EQ(Slurp(target), "old");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RefusedOutputTest,
    ::testing::Values(
        Refusal{"ReadOnlyFile",
                [](const stdfs::path& path) {
                  Spill(path, "old");
                  ::chmod(path.c_str(), 0444);
                },
                "Permission denied"},
        Refusal{"Directory", [](const stdfs::path& path) { stdfs::create_directory(path); },
                "is a directory"},
        Refusal{"Pipe", [](const stdfs::path& path) { ::mkfifo(path.c_str(), 0666); },
                "not a regular file"},
        Refusal{"LinkLoop", [](const stdfs::path& path) { stdfs::create_symlink(path.filename(), path); },
                "Too many levels of symbolic links"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(OutputFileTest, AnOrdinaryUserReplacesTheirOwnWritableFile) {
  TempDir dir;
  Spill(dir / "out.kid", "old");
  testfiles::GiveToOrdinaryUser(dir.path());
  testfiles::AsOrdinaryUser ordinaryUser;
  ASSERT_TRUE(Replace(dir / "out.kid", "new").ok());
  EXPECT_EQ(Slurp(dir / "out.kid"), "new");
}

TEST(OutputFileTest, WritesThroughAChainOfLinks) {
  TempDir dir;
  stdfs::create_directories(dir / "shared");
  stdfs::create_directories(dir / "links");
  Spill(dir / "shared/assets.kid", "old");
  stdfs::create_symlink("../shared/assets.kid", dir / "links/link2");  // relative to its folder
  stdfs::create_symlink(dir / "links/link2", dir / "assets.kid");
  stdfs::create_symlink("gone.kid", dir / "dangling.kid");
  ASSERT_TRUE(Replace(dir / "assets.kid", "new").ok());
  ASSERT_TRUE(Replace(dir / "dangling.kid", "made").ok());
  EXPECT_TRUE(stdfs::is_symlink(dir / "assets.kid"));
  EXPECT_TRUE(stdfs::is_symlink(dir / "links/link2"));
  EXPECT_EQ(Slurp(dir / "shared/assets.kid"), "new");
  EXPECT_TRUE(stdfs::is_symlink(dir / "dangling.kid"));
  EXPECT_EQ(Slurp(dir / "gone.kid"), "made");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"assets.kid", "dangling.kid", "gone.kid",
                                                   "links", "shared"}));
}

TEST(OutputFileTest, KeepsModeAndOwnerAndBreaksAHardLink) {
  TempDir dir;
  Spill(dir / "out.kid", "old");
  stdfs::create_hard_link(dir / "out.kid", dir / "other-name.kid");
  ASSERT_EQ(::chmod((dir / "out.kid").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown((dir / "out.kid").c_str(), 1234, 4321), 0);
  }
  ASSERT_TRUE(Replace(dir / "out.kid", "new").ok());
  struct stat info {};
  ASSERT_EQ(::stat((dir / "out.kid").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(std::make_pair(info.st_uid, info.st_gid), std::make_pair(1234u, 4321u));
  }
  EXPECT_EQ(info.st_nlink, 1u);
  EXPECT_EQ(Slurp(dir / "out.kid"), "new");
  EXPECT_EQ(Slurp(dir / "other-name.kid"), "old");
}

}  // namespace
}  // namespace kivo
