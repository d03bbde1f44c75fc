// The source tree changing under a build, and items in it that are no plain file (pipes,
// devices, links that lead nowhere or back up the tree): every build ends (never blocks on a
// pipe or reads a device for ever), refuses or skips with a message naming the item, and
// leaves an existing image exactly as it was.
#include <sys/stat.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"
#include "tests/hardening/Refusal.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::test {
namespace {

struct SourceChange {
  const char* label;
  void (*change)(const stdfs::path& victim);  // between the scan and the placement
  const char* problem;
};

const SourceChange Changes[] = {
    {"Deleted", [](auto& v) { stdfs::remove(v); }, "No such file or directory"},
    {"TruncatedToZero", [](auto& v) { stdfs::resize_file(v, 0); }, "3000 -> 0"},
    {"Truncated", [](auto& v) { stdfs::resize_file(v, 1000); }, "3000 -> 1000"},
    {"Grown", [](auto& v) { stdfs::resize_file(v, 5000); }, "3000 -> 5000"},
    // Its directory becomes a plain file: the path runs through a non-directory.
    {"PathThroughAFile",
     [](auto& v) { stdfs::remove_all(v.parent_path()); WriteFile(v.parent_path(), "x"); },
     "Not a directory"},
    {"Unreadable", [](auto& v) { stdfs::permissions(v, stdfs::perms::none); }, "Permission denied"},
    // A pipe or a device reports no length: the size check stops it before any read.
    {"ReplacedByFifo", [](auto& v) { stdfs::remove(v); ::mkfifo(v.c_str(), 0644); }, "3000 -> 0"},
    {"ReplacedByLinkToDevice",
     [](auto& v) { stdfs::remove(v); stdfs::create_symlink("/dev/zero", v); }, "3000 -> 0"},
};

class SourceChanges : public ::testing::TestWithParam<SourceChange> {};

// As an ordinary user, whom permissions bind.
TEST_P(SourceChanges, FailTheBuildAndKeepTheOldImage) {
  testfiles::AsOrdinaryUser ordinaryUser;
  stdfs::path victim;
  fs::BuilderOptions options = fs::test::FixedClock();
  options.beforePlacement = [&] { GetParam().change(victim); };
  fs::test::Build built({{"a.txt", "first"}, {"sub/victim.bin", std::string(3000, 'v')},
                         {"z.txt", "last"}},
                        options, [&](const stdfs::path& src) { victim = src / "sub/victim.bin"; });
  EXPECT_EQ(built.result, fs::BuildOutcome::SourceError);
  // The victim's line comes where it is placed, once; the build goes on to the end.
  EXPECT_TRUE(built.lines.ends_with(
      "data start = 5120\nroot file\nroot dir\nfile\nfile error\nroot file\nee\n"))
      << built.lines;
  EXPECT_EQ(std::count(built.problems.begin(), built.problems.end(), '\n'), 1) << built.problems;
  EXPECT_NE(built.problems.find("'src/sub/victim.bin'"), std::string::npos) << built.problems;
  EXPECT_NE(built.problems.find(GetParam().problem), std::string::npos) << built.problems;
  EXPECT_EQ(built.image, "old image");
  EXPECT_EQ(built.leftovers, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, SourceChanges, ::testing::ValuesIn(Changes), ByLabel);

struct SpecialItem {
  const char* label;
  void (*make)(const stdfs::path& item);  // in src/sub
  bool refused;                            // or skipped with a warning
  const char* problem;
};

const SpecialItem Items[] = {
    {"LinkToAncestor", [](auto& p) { stdfs::create_directory_symlink("..", p); }, true,
     "is a symbolic link cycle"},
    {"LinkLoop", [](auto& p) { stdfs::create_symlink("odd", p); }, true, "symbolic link"},
    {"DanglingLink", [](auto& p) { stdfs::create_symlink("gone", p); }, true,
     "is a dangling symbolic link"},
    {"Fifo", [](auto& p) { ::mkfifo(p.c_str(), 0644); }, false, "a named pipe"},
    {"LinkToFifo",
     [](auto& p) {
       ::mkfifo((p / "../../../fifo").lexically_normal().c_str(), 0644);
       stdfs::create_symlink("../../fifo", p);
     },
     false, "a named pipe"},
    {"LinkToDevZero", [](auto& p) { stdfs::create_symlink("/dev/zero", p); }, false,
     "a character device"},
};

class SpecialItems : public ::testing::TestWithParam<SpecialItem> {};

TEST_P(SpecialItems, AreRefusedOrSkippedNeverRead) {
  TempDir dir;
  MakeTree(dir / "src", {{"keep.txt", "kept"}, {"sub/also.txt", "kept too"}});
  GetParam().make(dir / "src/sub/odd");
  WriteFile(dir / "out/drive.kid", "old image");
  Outcome run = Kivofs({"build", "src", "-o", "out/drive.kid", "--quiet"}, {.cwd = dir.path()});
  if (GetParam().refused) {
    ExpectRefusal(run, "'src/sub/odd", GetParam().problem);
    EXPECT_EQ(Snapshot(dir / "out"),
              (std::map<std::string, std::string>{{"drive.kid", "old image"}}));
  } else {
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.starts_with("kivofs: warning: skipping 'src/sub/odd")) << run.err;
    EXPECT_NE(run.err.find(GetParam().problem), std::string::npos) << run.err;
    EXPECT_EQ(Kivofs({"ls", "-R", (dir / "out/drive.kid").string()}).out,
              "keep.txt\nsub/\nsub/also.txt\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SpecialItems, ::testing::ValuesIn(Items), ByLabel);

// Links to files and directories inside or outside the tree are followed: their targets are
// built in under the links' names.
TEST(SourceLinks, AreFollowed) {
  auto links = [](const stdfs::path& src) {
    stdfs::create_symlink(src / "data/level.bin", src / "alias.bin");
    stdfs::create_directory_symlink("data", src / "more");
  };
  fs::test::Build built({{"data/level.bin", Pattern(700)}}, fs::test::FixedClock(), links);
  std::string records;
  for (const auto& r : built.records) {
    records += (r.isDirectory ? "d " : "f ") + r.parentPath + r.name + " ";
    records += std::to_string(r.size) + "\n";
  }
  EXPECT_EQ(records,
            "f \\alias.bin 700\nd \\data 0\nf \\data\\level.bin 700\nd \\more 0\n"
            "f \\more\\level.bin 700\n");
  EXPECT_EQ(built.result, fs::BuildOutcome::Built);
}

}  // namespace
}  // namespace kivo::test
