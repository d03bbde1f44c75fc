// Broken and hostile drive images through every command that reads one: each finishes,
// refuses with an error naming the image and the problem where it cannot go on, prints no
// raw control bytes, and writes nothing outside an extraction's destination (nothing at all
// when it refuses).
#include <array>
#include <functional>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"

namespace kivo::test {
namespace {

using Bytes = std::string;
using fs::test::ABin, fs::test::Docs, fs::test::DocsBlock, fs::test::Readme;

void Name(Bytes& image, std::size_t slot, std::string name) {
  name.resize(16, '\0');
  image.replace(slot, 16, name);
}
void Link(Bytes& image, std::uint32_t cluster, std::uint32_t value) {
  Put32(image, 512 + 4 * cluster, value);
}
void Directory(Bytes& image, std::size_t slot, std::uint32_t cluster) {
  Put32(image, slot + 16, 4096);
  Put32(image, slot + 20, cluster);
  Put32(image, slot + 24, 0xFFFFFFFF);
}

struct BadImage {
  const char* label;
  std::function<void(Bytes&)> damage;  // done to the worked example
  // What info, ls -R -l, verify and extract say when they refuse; nullptr where they succeed.
  std::array<const char*, 4> refusals;
  const char* extracted = "";  // a file that extraction writes, with the 100 bytes of readme.txt
};

const char* const TooShort = "too short";

const BadImage Cases[] = {
    {"Empty", [](Bytes& i) { i.clear(); }, {TooShort, TooShort, TooShort, TooShort}},
    {"NineteenBytes", [](Bytes& i) { i.resize(19); }, {TooShort, TooShort, TooShort, TooShort}},
    {"FiftyOneBytes", [](Bytes& i) { i.resize(51); }, {TooShort, TooShort, TooShort, TooShort}},
    {"CutInsideTheDataArea", [](Bytes& i) { i.resize(7000); },
     {nullptr, "outside", "driveSize", "outside"}},
    {"RegionsPastTheEnd",
     [](Bytes& i) {
       Put32(i, 20, 0x10000000);
       Put32(i, 36, 0x10000000 - 5120);
       Put32(i, 44, 0x01000000);
     },
     {"root directory", "outside", "rootStart", "outside"}},
    {"NegativeOffsets", [](Bytes& i) { Put32(i, 44, 0xFFFFFC00); Put32(i, 32, 0x80000000); },
     {"root directory", "outside", "rootStart", "outside"}},
    {"HugeFirstCluster", [](Bytes& i) { Put32(i, Readme + 20, 0x7FFFFFFF); },
     {nullptr, nullptr, "readme.txt", "outside the image"}},
    {"HugeFileSize", [](Bytes& i) { Put32(i, Readme + 16, 0xFFFFFFF0); },
     {nullptr, nullptr, "readme.txt", "outside the image"}},
    {"DirectoryBeyondTheEnd", [](Bytes& i) { Put32(i, Docs + 20, 0xFFFFFFF0); },
     {nullptr, "outside", "docs", "outside"}},
    {"ChainLoops", [](Bytes& i) { Link(i, 19, 18); }, {nullptr, nullptr, "cluster 19", nullptr}},
    {"ChainRunsOffTheTable", [](Bytes& i) { Link(i, 21, 0x00100000); },
     {nullptr, nullptr, "cluster 21", nullptr}},
    {"DirectoryHoldsItself",
     [](Bytes& i) { Name(i, DocsBlock + 105, "self"); Directory(i, DocsBlock + 105, 10); },
     {nullptr, "loops", "self", "loops"}},
    {"DirectoryIsTheRoot", [](Bytes& i) { Put32(i, Docs + 20, 2); },
     {nullptr, "loops", "docs", "loops"}},
    {"TwoDirectoriesShareABlock", [](Bytes& i) { Directory(i, Readme, 10); },
     {nullptr, "loops", "readme.txt", "loops"}},
    {"NameDotDot", [](Bytes& i) { Name(i, ABin, ".."); },
     {nullptr, nullptr, "'.' or '..'", "'.' or '..'"}},
    {"NameAbsolutePath", [](Bytes& i) { Name(i, Readme, "/etc"); },
     {nullptr, nullptr, "'/'", "'/'"}},
    {"NameWithBackslashes", [](Bytes& i) { Name(i, Readme, "..\\..\\evil"); },
     {nullptr, nullptr, "'\\'", "'\\'"}},
    {"NameWithControlBytes", [](Bytes& i) { Name(i, Readme, "a\x1b[2J\rb\x7f"); },
     {nullptr, nullptr, "control character", "control character"}},
    {"SameNameTwice", [](Bytes& i) { Name(i, Readme, "docs"); },
     {nullptr, nullptr, "equal ignoring case", "appears twice"}},
    {"UnknownKind", [](Bytes& i) { Put32(i, Readme + 24, 0xFFFFFFFD); },
     {nullptr, nullptr, "kind -3", "unknown kind -3"}},
    // No terminator: the name is the 16 bytes, not the size field behind them.
    {"NameOfSixteenBytes", [](Bytes& i) { Name(i, Readme, "sixteen_letters!"); }, {},
     "sixteen_letters!"},
};

class BadImages : public ::testing::TestWithParam<BadImage> {};

TEST_P(BadImages, EveryReaderFinishesAndRefusesClearly) {
  TempDir dir;
  Bytes bytes = fs::test::Image(fs::test::WorkedExample());
  GetParam().damage(bytes);
  const std::string image = (dir / "bad.kid").string();
  const std::string destination = (dir / "x/y/dest").string();
  WriteFile(image, bytes);
  stdfs::create_directories(dir / "x/y");
  const std::vector<std::string> commands[] = {
      {"info", image},
      {"ls", "-R", "-l", image},
      {"verify", image},
      {"extract", image, destination}};
  for (std::size_t i = 0; i < 4; ++i) {
    RunOptions options;
    options.seconds = 30;
    Outcome run = Kivofs(commands[i], options);
    SCOPED_TRACE(commands[i][0] + ": " + run.out + run.err);
    ASSERT_FALSE(run.timedOut);
    const std::string said = run.out + run.err;
    auto control = [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7F; };
    EXPECT_TRUE(std::none_of(said.begin(), said.end(), control));
    const char* refusal = GetParam().refusals[i];
    EXPECT_EQ(run.exitCode, refusal ? 1 : 0);
    if (refusal) {
      EXPECT_TRUE(run.err.starts_with("kivofs: error: "));
      EXPECT_NE(run.err.find(image), std::string::npos);
      EXPECT_NE(said.find(refusal), std::string::npos) << "not said: " << refusal;
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

INSTANTIATE_TEST_SUITE_P(Table, BadImages, ::testing::ValuesIn(Cases),
                         [](const auto& test) { return test.param.label; });

// What is in the way in the destination is refused, never followed out of it nor replaced:
// a link where an item goes, or a file where a directory goes.
TEST(ExtractDestination, WhatIsInTheWayIsRefused) {
  TempDir dir;
  WriteFile(dir / "a.kid", fs::test::Image(fs::test::WorkedExample()));
  const stdfs::path out = dir / "out", elsewhere = dir / "elsewhere";
  const struct {
    std::function<void()> arrange;
    std::string message;  // OUT stands for the destination
  } cases[] = {
      {.arrange = [&] { stdfs::create_directory_symlink(elsewhere, out / "docs"); },
       .message = "refusing to write through the symbolic link 'OUT/docs'"},
      {.arrange = [&] { stdfs::create_symlink(elsewhere / "keep", out / "readme.txt"); },
       .message = "refusing to write through the symbolic link 'OUT/readme.txt'"},
      {.arrange = [&] { WriteFile(out / "docs", "a file"); },
       .message = "cannot write 'OUT/docs': it exists and is not a directory"},
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
