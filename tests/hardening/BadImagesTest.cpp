// Broken and hostile drive images through every command that reads one: each finishes,
// refuses with an error naming the image and the problem where it cannot go on, prints no
// raw control bytes, and writes nothing outside an extraction's destination (nothing at all
// when it refuses).
#include <array>
#include <functional>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"
#include "tests/hardening/Refusal.h"

namespace kivo::test {
namespace {

using fs::test::ABin, fs::test::Docs, fs::test::DocsBlock, fs::test::Readme;
using fs::test::All, fs::test::At, fs::test::Cut, fs::test::Damage, fs::test::Link, fs::test::Name;

// A directory entry: its size, first cluster and kind.
Damage Directory(std::size_t slot, std::uint32_t cluster) {
  return All({At(slot + 16, 4096), At(slot + 20, cluster), At(slot + 24, 0xFFFFFFFF)});
}

struct BadImage {
  const char* label;
  Damage damage;  // done to the worked example
  // What info, ls -R -l, verify and extract say when they refuse; nullptr where they succeed.
  std::array<const char*, 4> refusals;
  const char* extracted = "";  // a file that extraction writes, with the 100 bytes of readme.txt
};

const char* const Short = "too short";
const char* const Outside = "outside";
const char* const Loops = "loops";

const BadImage Cases[] = {
    {"Empty", Cut(0), {Short, Short, Short, Short}},
    {"NineteenBytes", Cut(19), {Short, Short, Short, Short}},
    {"FiftyOneBytes", Cut(51), {Short, Short, Short, Short}},
    {"CutInsideTheDataArea", Cut(7000), {nullptr, Outside, "driveSize", Outside}},
    {"RegionsPastTheEnd", All({At(20, 0x10000000), At(36, 0x10000000 - 5120), At(44, 0x01000000)}),
     {"root directory", Outside, "rootStart", Outside}},
    {"NegativeOffsets", All({At(44, 0xFFFFFC00), At(32, 0x80000000)}),
     {"root directory", Outside, "rootStart", Outside}},
    {"HugeFirstCluster", At(Readme + 20, 0x7FFFFFFF),
     {nullptr, nullptr, "readme.txt", "outside the image"}},
    {"HugeFileSize", At(Readme + 16, 0xFFFFFFF0),
     {nullptr, nullptr, "readme.txt", "outside the image"}},
    {"DirectoryBeyondTheEnd", At(Docs + 20, 0xFFFFFFF0), {nullptr, Outside, "docs", Outside}},
    {"ChainLoops", Link(19, 18), {nullptr, nullptr, "cluster 19", nullptr}},
    {"ChainRunsOffTheTable", Link(21, 0x00100000), {nullptr, nullptr, "cluster 21", nullptr}},
    {"DirectoryHoldsItself", All({Name(DocsBlock + 105, "self"), Directory(DocsBlock + 105, 10)}),
     {nullptr, Loops, "self", Loops}},
    {"DirectoryIsTheRoot", At(Docs + 20, 2), {nullptr, Loops, "docs", Loops}},
    {"TwoDirectoriesShareABlock", Directory(Readme, 10), {nullptr, Loops, "readme.txt", Loops}},
    {"NameDotDot", Name(ABin, ".."), {nullptr, nullptr, "'.' or '..'", "'.' or '..'"}},
    {"NameAbsolutePath", Name(Readme, "/etc"), {nullptr, nullptr, "'/'", "'/'"}},
    {"NameWithBackslashes", Name(Readme, "..\\..\\evil"), {nullptr, nullptr, "'\\'", "'\\'"}},
    {"NameWithControlBytes", Name(Readme, "a\x1b[2J\rb\x7f"),
     {nullptr, nullptr, "control character", "control character"}},
    {"SameNameTwice", Name(Readme, "docs"),
     {nullptr, nullptr, "equal ignoring case", "appears twice"}},
    {"UnknownKind", At(Readme + 24, 0xFFFFFFFD), {nullptr, nullptr, "kind -3", "unknown kind -3"}},
    // No terminator: the name is the 16 bytes, not the size field behind them.
    {"NameOfSixteenBytes", Name(Readme, "sixteen_letters!"), {}, "sixteen_letters!"},
};

class BadImages : public ::testing::TestWithParam<BadImage> {};

TEST_P(BadImages, EveryReaderFinishesAndRefusesClearly) {
  TempDir dir;
  std::string bytes = fs::test::Image(fs::test::WorkedExample());
  GetParam().damage(bytes);
  const std::string image = (dir / "bad.kid").string(), destination = (dir / "x/y/dest").string();
  WriteFile(image, bytes);
  stdfs::create_directories(dir / "x/y");
  const std::vector<std::string> commands[] = {
      {"info", image}, {"ls", "-R", "-l", image}, {"verify", image},
      {"extract", image, destination}};
  for (std::size_t i = 0; i < 4; ++i) {
    Outcome run = Kivofs(commands[i]);
    SCOPED_TRACE(commands[i][0] + ": " + run.out + run.err);
    const std::string said = run.out + run.err;
    auto control = [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7F; };
    EXPECT_TRUE(std::none_of(said.begin(), said.end(), control));
    if (const char* refusal = GetParam().refusals[i]) {
      ExpectRefusal(run, image, refusal);
    } else {
      EXPECT_EQ(run.exitCode, 0);
    }
  }
  EXPECT_EQ(ReadFile(image), bytes);
  for (const auto& [path, contents] : Snapshot(dir / "x")) {
    EXPECT_TRUE(path == "y" || path.starts_with("y/dest")) << "written outside: " << path;
    EXPECT_FALSE(contents.starts_with("->")) << "made a link: " << path;
  }
  if (GetParam().refusals[3]) {
    EXPECT_TRUE(Snapshot(destination).empty()) << "a refused extraction wrote something";
  }
  if (*GetParam().extracted) {
    EXPECT_EQ(ReadFile(destination + "/" + GetParam().extracted), std::string(100, 'r'));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BadImages, ::testing::ValuesIn(Cases), ByLabel);

// What is in the way in the destination is refused, never followed out of it nor replaced:
// a link where an item goes, or a file where a directory goes.
TEST(ExtractDestination, WhatIsInTheWayIsRefused) {
  TempDir dir;
  WriteFile(dir / "a.kid", fs::test::Image(fs::test::WorkedExample()));
  const stdfs::path out = dir / "out", elsewhere = dir / "elsewhere";
  const std::pair<std::function<void()>, std::string> cases[] = {  // OUT: the destination
      {[&] { stdfs::create_directory_symlink(elsewhere, out / "docs"); },
       "refusing to write through the symbolic link 'OUT/docs'"},
      {[&] { stdfs::create_symlink(elsewhere / "keep", out / "readme.txt"); },
       "refusing to write through the symbolic link 'OUT/readme.txt'"},
      {[&] { WriteFile(out / "docs", "a file"); },
       "cannot write 'OUT/docs': it exists and is not a directory"},
  };
  for (const auto& [arrange, message] : cases) {
    stdfs::remove_all(out);
    stdfs::create_directories(out);
    WriteFile(elsewhere / "keep", "kept");
    arrange();
    Outcome run = Kivofs({"extract", (dir / "a.kid").string(), out.string()});
    EXPECT_EQ(run.exitCode, 1);
    std::string expected = "kivofs: error: " + message + "\n";
    EXPECT_EQ(run.err, expected.replace(expected.find("OUT"), 3, out.string()));
    EXPECT_EQ(Snapshot(elsewhere), (std::map<std::string, std::string>{{"keep", "kept"}}));
  }
}

}  // namespace
}  // namespace kivo::test
