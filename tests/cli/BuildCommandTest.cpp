// Runs the real kivofs program's build command.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace stdfs = std::filesystem;

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

std::string Slurp(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class BuildCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (stdfs::temp_directory_path() / "kivofs-cli-build-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    src_ = dir_ / "assets";
    Write("gfx/title.pal", std::string(512, 'p'));
    Write("gfx/sprites.bin", std::string(3000, 's'));
    Write("levels/one.lvl", "level one");
    Write("readme.txt", "A tiny game.\n");
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(dir_, ignored);
  }
  void Write(const std::string& relative, const std::string& contents) {
    stdfs::create_directories((src_ / relative).parent_path());
    std::ofstream(src_ / relative, std::ios::binary) << contents;
  }
  Outcome Kivofs(const std::vector<std::string>& args, const std::string& env = "") {
    std::string command = env.empty() ? "" : "env " + env + " ";
    command += Quote(KIVOFS_BIN);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote((dir_ / "stdout").string()) + " 2>" + Quote((dir_ / "stderr").string());
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {code, Slurp(dir_ / "stdout"), Slurp(dir_ / "stderr")};
  }

  stdfs::path dir_;
  stdfs::path src_;
};

TEST_F(BuildCommandTest, SameTreeTwiceGivesTheSameBytes) {
  const std::string epoch = "SOURCE_DATE_EPOCH=1142431509";  // Wed 15 Mar 2006 14:05:09 UTC
  Outcome first = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string()}, epoch + " TZ=Asia/Tokyo");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  Outcome second = Kivofs({"build", src_.string() + "/", "-o", (dir_ / "b.kid").string()}, epoch);
  ASSERT_EQ(second.exitCode, 0) << second.err;
  std::string image = Slurp(dir_ / "a.kid");
  EXPECT_EQ(image, Slurp(dir_ / "b.kid"));
  EXPECT_EQ(first.out, second.out);
  // The first root entry is gfx, stamped with the fixed instant in UTC.
  ASSERT_GT(image.size(), 1024u + 35);
  EXPECT_EQ(image.substr(1024, 4), std::string("gfx\0", 4));
  EXPECT_EQ(image.substr(1024 + 28, 7), "\x6F\x27\xD6\x0E\x05\x09\x20");
  EXPECT_EQ(first.out.substr(0, 15), "num of files = ");
  EXPECT_EQ(first.out.substr(first.out.size() - 3), "ee\n");
  EXPECT_EQ(first.out.find("root dir"), std::string::npos) << "case lines only with --trace";
}

TEST_F(BuildCommandTest, TraceAddsTheCaseLines) {
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "--trace"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("data start = 5120\nroot dir\nfile\nfile\nroot dir\nfile\nroot file\nee\n"),
            std::string::npos)
      << run.out;
}

TEST_F(BuildCommandTest, DryRunWritesNothing) {
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "--dry-run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("rom drive size = "), std::string::npos);
  EXPECT_FALSE(stdfs::exists(dir_ / "a.kid"));
  std::vector<std::string> names;
  for (const auto& item : stdfs::directory_iterator(dir_)) names.push_back(item.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"assets", "stderr", "stdout"}));
}

TEST_F(BuildCommandTest, QuietPrintsNothing) {
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "-q"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(stdfs::exists(dir_ / "a.kid"));
}

TEST_F(BuildCommandTest, RefusalExitsOneAndKeepsTheOldOutput) {
  Write("gfx/TITLE.PAL", "clash");
  std::ofstream(dir_ / "a.kid") << "old";
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("'TITLE.PAL' and 'title.pal'"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Slurp(dir_ / "a.kid"), "old");
}

TEST_F(BuildCommandTest, EmptySourceIsAnError) {
  stdfs::create_directory(dir_ / "empty");
  Outcome run = Kivofs({"build", (dir_ / "empty").string(), "-o", (dir_ / "a.kid").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("kivofs: error: "), std::string::npos);
  EXPECT_NE(run.err.find("directory empty or not found"), std::string::npos) << run.err;
  EXPECT_FALSE(stdfs::exists(dir_ / "a.kid"));
}

TEST_F(BuildCommandTest, BadUsageExitsTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"build", src_.string()},                                    // no output
      {"build", "-o", (dir_ / "a.kid").string()},                  // no source
      {"build", src_.string(), "-o", "x.kid", "--no-such-option"},
  };
  for (const auto& args : cases) {
    Outcome run = Kivofs(args);
    EXPECT_EQ(run.exitCode, 2) << args.back() << ": " << run.err;
    EXPECT_NE(run.err.find("kivofs: error:"), std::string::npos);
  }
}

TEST_F(BuildCommandTest, LongNameIsTruncatedWithTheWarning) {
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "--name",
                    "A Very Long Drive Name"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "Warning the name will be truncated.  \nThe name may only be 15 letters long.\n");
  EXPECT_EQ(Slurp(dir_ / "a.kid").substr(4, 16), std::string("A Very Long Dri\0", 16));
}

TEST_F(BuildCommandTest, ExcludeLeavesItemsOut) {
  Write("levels/one.lvl.bak", "backup");
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "--exclude", "*.bak",
                    "--exclude", "gfx"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("num of files = 2\nnum of dir's = 1\n"), std::string::npos) << run.out;
}

TEST_F(BuildCommandTest, SkippedSpecialFilesAreReportedOnStandardError) {
  ASSERT_EQ(::mkfifo((src_ / "pipe").c_str(), 0600), 0);
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string(), "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "warning: skipping '" + (src_ / "pipe").string() + "': a named pipe\n");
}

TEST_F(BuildCommandTest, BadSourceDateEpochIsAnError) {
  Outcome run = Kivofs({"build", src_.string(), "-o", (dir_ / "a.kid").string()},
                   "SOURCE_DATE_EPOCH=yesterday");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("SOURCE_DATE_EPOCH"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(dir_ / "a.kid"));
}

TEST_F(BuildCommandTest, DepFileListsWhatTheBuildReadOnlyAfterSuccess) {
  const std::string src = src_.string(), out = (dir_ / "a.kid").string();
  const std::string dep = (dir_ / "a.d").string();
  ASSERT_EQ(Kivofs({"build", src, "-o", out, "--depfile", dep}).exitCode, 0);
  std::string rule = out + ":", phony;
  for (const char* item : {"", "/gfx", "/gfx/sprites.bin", "/gfx/title.pal", "/levels",
                           "/levels/one.lvl", "/readme.txt"}) {
    rule += " \\\n " + src + item;
    phony += src + item + ":\n";
  }
  EXPECT_EQ(Slurp(dep), rule + "\n" + phony);

  Write("gfx/TITLE.PAL", "clash");
  stdfs::remove(dep);
  EXPECT_EQ(Kivofs({"build", src, "-o", out, "--depfile", dep}).exitCode, 1);
  EXPECT_FALSE(stdfs::exists(dep));
}

}  // namespace
