// Runs the real kivofs program's info, rename, ls, extract and verify commands.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fsimage/ImageComposer.h"

namespace {

namespace stdfs = std::filesystem;
using kivo::fs::testing::Compose;
using kivo::fs::testing::Dir;
using kivo::fs::testing::File;
using kivo::fs::testing::ReadFile;
using kivo::fs::testing::ToBytes;
using kivo::fs::testing::ToString;
using kivo::fs::testing::WriteFile;

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ReaderCommandsTest : public ::testing::Test {
 protected:
  stdfs::path Path(const std::string& name) const { return temp_ / name; }

  stdfs::path WriteImage(const std::string& name, const std::vector<std::byte>& bytes) {
    WriteFile(Path(name), bytes);
    return Path(name);
  }

  Outcome Kivofs(const std::vector<std::string>& args) {
    std::string command = ShellQuote(KIVOFS_BIN);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(Path("stdout").string()) + " 2>" +
               ShellQuote(Path("stderr").string());
    int status = std::system(command.c_str());
    Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                    ToString(ReadFile(Path("stdout"))), ToString(ReadFile(Path("stderr")))};
    return outcome;
  }

  kivo::fs::testing::TempDir dir_;
  const stdfs::path& temp_ = dir_.path();
};

std::map<std::string, std::string> DumpTree(const stdfs::path& root) {
  std::map<std::string, std::string> dump;
  for (const auto& item : stdfs::recursive_directory_iterator(root)) {
    std::string relative = stdfs::relative(item.path(), root).string();
    dump[relative] = item.is_directory() ? "/" : ToString(ReadFile(item.path()));
  }
  return dump;
}

TEST_F(ReaderCommandsTest, InfoShowsTheSummaryAndTheLayout) {
  auto image = WriteImage("a.kid", Compose(kivo::fs::testing::WorkedExampleTree()));
  Outcome info = Kivofs({"info", image.string()});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out,
            "File system version    : 1.00\n"
            "Number of root entries : 2\n"
            "Drive size             : 11776 bytes (11.5 Kbytes)\n"
            "Drive name             : Kivo Rom Drive\n"
            "Layout\n"
            "  header block         : offset 0, 512 bytes\n"
            "  allocation table     : offset 512, 512 bytes (128 entries)\n"
            "  root directory       : offset 1024, 4096 bytes\n"
            "  data area            : offset 5120, 6656 bytes\n"
            "  drive size (header)  : 11776 bytes\n");
}

TEST_F(ReaderCommandsTest, InfoAsJson) {
  auto bytes = Compose({File("a", "1")}, {.driveName = "Quote\"Back\\"});
  auto image = WriteImage("a.kid", bytes);
  Outcome info = Kivofs({"info", "--json", image.string()});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  for (const char* part : {"\"fsVersion\": \"1.00\"", "\"rootEntries\": 1", "\"sizeBytes\": 6144",
                           "\"sizeKilobytes\": \"6.0\"", "\"driveName\": \"Quote\\\"Back\\\\\"",
                           "\"fatSize\": 512", "\"rootStart\": 1024", "\"dataStart\": 5120"}) {
    EXPECT_NE(info.out.find(part), std::string::npos) << part << "\n" << info.out;
  }
}

struct BadFileCase {
  std::string contents;  // empty with `missing` for no file at all
  bool missing;
  const char* message;
};

class InfoErrorTest : public ReaderCommandsTest,
                      public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(InfoErrorTest, FailsWithAMessageNamingTheFile) {
  if (!GetParam().missing) WriteFile(Path("bad.kid"), ToBytes(GetParam().contents));
  for (const char* command : {"info", "ls", "extract", "verify"}) {
    std::vector<std::string> args = {command, Path("bad.kid").string()};
    if (std::string(command) == "extract") args.push_back(Path("out").string());
    Outcome outcome = Kivofs(args);
    EXPECT_EQ(outcome.exitCode, 1) << command;
    EXPECT_EQ(outcome.err.rfind("kivofs: error: ", 0), 0u) << command << ": " << outcome.err;
    // verify lists what it found on standard output, then fails.
    std::string said = outcome.out + outcome.err;
    EXPECT_NE(said.find(GetParam().message), std::string::npos) << command << ": " << said;
    EXPECT_NE(outcome.err.find("bad.kid"), std::string::npos) << command << ": " << outcome.err;
  }
  EXPECT_FALSE(stdfs::exists(Path("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoErrorTest,
    ::testing::Values(BadFileCase{"", true, "No such file or directory"},
                      BadFileCase{"0123456789", false, "is too short to be a drive image (10 bytes)"},
                      BadFileCase{std::string(600, 'A'), false, "lies outside"}));

TEST_F(ReaderCommandsTest, RenameChangesOnlyTheNameField) {
  auto before = Compose(kivo::fs::testing::WorkedExampleTree());
  struct Case {
    std::string name;
    std::string field;
    bool warns;
  };
  for (const Case& c : {Case{"Level Pack 2", std::string("Level Pack 2\0\0\0\0", 16), false},
                        Case{"ABCDEFGHIJKLMNO", std::string("ABCDEFGHIJKLMNO\0", 16), false},
                        Case{"ABCDEFGHIJKLMNOP", std::string("ABCDEFGHIJKLMNO\0", 16), true},
                        Case{"", std::string(16, '\0'), false}}) {
    auto image = WriteImage("a.kid", before);
    Outcome renamed = Kivofs({"rename", image.string(), c.name});
    ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_EQ(renamed.err, c.warns ? "Warning the name will be truncated.  \n"
                                     "The name may only be 15 letters long.\n"
                                   : "")
        << c.name;
    auto expected = before;
    for (std::size_t i = 0; i < 16; ++i) expected[4 + i] = static_cast<std::byte>(c.field[i]);
    EXPECT_EQ(ReadFile(image), expected) << c.name;
  }
}

TEST_F(ReaderCommandsTest, RenameRefusesAFileThatIsNoImageUnlessForced) {
  auto original = ToBytes("This is a text file, not a drive image at all, long enough for a header.\n");
  auto path = Path("notes.txt");
  WriteFile(path, original);
  Outcome refused = Kivofs({"rename", path.string(), "x"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("does not look like a drive image"), std::string::npos);
  EXPECT_EQ(ReadFile(path), original);

  Outcome forced = Kivofs({"rename", "--force", path.string(), "x"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  auto expected = original;
  for (std::size_t i = 4; i < 20; ++i) expected[i] = std::byte{0};
  expected[4] = std::byte{'x'};
  EXPECT_EQ(ReadFile(path), expected);

  WriteFile(Path("tiny"), ToBytes("0123456789"));
  Outcome tiny = Kivofs({"rename", "--force", Path("tiny").string(), "x"});
  EXPECT_EQ(tiny.exitCode, 1);
  EXPECT_NE(tiny.err.find("too short to hold a drive name"), std::string::npos);
}

TEST_F(ReaderCommandsTest, LsListsNamesSlotsAndDetails) {
  auto image = WriteImage("a.kid", Compose(kivo::fs::testing::WorkedExampleTree())).string();
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const std::string docsLine = "d       4096 2006-03-15 Wed 14:05:09         10  docs/\n";
  const std::string aLine = "-       1000 2006-03-15 Wed 14:05:09         18  a.bin\n";
  const std::string readmeLine = "-        100 2006-03-15 Wed 14:05:09         21  readme.txt\n";
  for (const Case& c : {
           Case{{}, "docs/\nreadme.txt\n"},
           Case{{"/"}, "docs/\nreadme.txt\n"},
           Case{{"DOCS"}, "a.bin\n"},
           Case{{"-R"}, "docs/\ndocs/a.bin\nreadme.txt\n"},
           Case{{"docs", "-R"}, "a.bin\n"},
           Case{{"-l"}, docsLine + readmeLine},
           Case{{"Docs/A.BIN", "-l"}, "-       1000 2006-03-15 Wed 14:05:09         18  docs/a.bin\n"},
           Case{{"docs", "-l"}, aLine},
       }) {
    std::vector<std::string> args = {"ls", image};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Outcome listed = Kivofs(args);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, c.out) << ::testing::PrintToString(c.args);
  }
}

TEST_F(ReaderCommandsTest, LsOfAMissingPathFails) {
  auto image = WriteImage("a.kid", Compose(kivo::fs::testing::WorkedExampleTree())).string();
  Outcome listed = Kivofs({"ls", image, "docs/nothing"});
  EXPECT_EQ(listed.exitCode, 1);
  EXPECT_NE(listed.err.find("no 'nothing' in 'docs'"), std::string::npos) << listed.err;
}

TEST_F(ReaderCommandsTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Kivofs({"ls"}).exitCode, 2);
  EXPECT_EQ(Kivofs({"extract", "only-one"}).exitCode, 2);
  EXPECT_EQ(Kivofs({"verify", "a", "b"}).exitCode, 2);
}

TEST_F(ReaderCommandsTest, VerifyPrintsOkOrEveryProblem) {
  auto bytes = Compose(kivo::fs::testing::WorkedExampleTree());
  auto image = WriteImage("a.kid", bytes).string();
  Outcome ok = Kivofs({"verify", image});
  EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
  EXPECT_EQ(ok.out, image + ": ok (1 directory, 2 files, 23 clusters, 11776 bytes)\n");

  kivo::fs::testing::Put32(bytes, 0, 99);                 // version
  kivo::fs::testing::Put32(bytes, 512 + 4 * 16, 0);       // a broken link in docs' chain
  WriteImage("a.kid", bytes);
  Outcome bad = Kivofs({"verify", image});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.out, image + ": header: version is 99, expected 100\n" + image +
                         ": 'docs': cluster 16 of its chain is marked free\n");
  EXPECT_EQ(bad.err, "kivofs: error: '" + image + "': 2 problems found\n");
}

TEST_F(ReaderCommandsTest, ExtractRefusesAnEscapingName) {
  auto bytes = Compose({File("ok", "1"), File("xx", "2")});
  kivo::StoreFixedString(bytes, 1024 + 35, 16, "..");
  auto image = WriteImage("a.kid", bytes).string();
  Outcome refused = Kivofs({"extract", image, Path("out").string()});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("refusing to extract '..'"), std::string::npos) << refused.err;
  EXPECT_FALSE(stdfs::exists(Path("out")));
}

TEST_F(ReaderCommandsTest, BuildVerifyExtractReproducesTheTree) {
  std::mt19937 random(7);
  stdfs::path src = Path("src");
  std::vector<std::string> files = {"readme.txt", "gfx/title.pal", "gfx/sprites/hero.bin",
                                    "levels/01.lvl", "levels/02.lvl", "music/theme.mod"};
  for (const std::string& file : files) {
    stdfs::create_directories((src / file).parent_path());
    std::string contents(random() % 5000, '\0');
    for (char& c : contents) c = static_cast<char>(random());
    WriteFile(src / file, ToBytes(contents));
  }
  stdfs::create_directories(src / "empty");
  Outcome built = Kivofs({"build", src.string(), "-o", Path("x.kid").string(), "-q"});
  ASSERT_EQ(built.exitCode, 0) << built.err;
  Outcome verified = Kivofs({"verify", Path("x.kid").string()});
  EXPECT_EQ(verified.exitCode, 0) << verified.out;
  Outcome extracted = Kivofs({"extract", Path("x.kid").string(), Path("out").string()});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
  EXPECT_EQ(extracted.out, "extracted 6 files (" + [&] {
              std::uintmax_t total = 0;
              for (const std::string& file : files) total += stdfs::file_size(src / file);
              return std::to_string(total);
            }() + " bytes) and 5 directories to '" + Path("out").string() + "'\n");
  EXPECT_EQ(DumpTree(Path("out")), DumpTree(src));
}

}  // namespace
