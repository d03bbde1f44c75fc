// Every command that writes, against every way its output can fail: each exits 1 with an
// error naming the output and the problem, leaves every existing output byte for byte as it
// was, and leaves no temporary file behind.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <functional>

#include <gtest/gtest.h>

#include "fsimage/NameStore.h"
#include "fsimage/Summary.h"
#include "romattach/AttachDrives.h"
#include "tests/fsimage/Fixture.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::test {
namespace {

// A tmpfs on `dir` while it lives, in the test process's own mount namespace, which nothing
// outside it sees. Mounting needs root, which the tests have in CI.
class Tmpfs {
 public:
  Tmpfs(const stdfs::path& dir, std::uint64_t bytes) : dir_(dir) {
    static const bool own = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    stdfs::create_directories(dir);
    mounted_ = own && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes) + ",mode=0755").c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool ReadOnly() const { return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  bool mounted_ = false;

 private:
  stdfs::path dir_;
};

struct Writer {
  const char* label;
  std::function<void(const stdfs::path& out)> existing;  // outputs a failed run must leave alone
  std::function<std::vector<std::string>(const std::string& target)> args;  // writing below target
  bool grows = true;       // false: rewrites bytes in place, which no size limit or full disk stops
  bool extracts = false;   // files finished before the failure stay, complete
};

const Writer Writers[] = {
    {"build", [](const stdfs::path& out) { WriteFile(out / "drive.kid", "old image"); },
     [](const std::string& t) { return std::vector<std::string>{"build", "in/src", "-o", t + "/drive.kid", "--quiet"}; }},
    {"attach", [](const stdfs::path& out) { WriteFile(out / "game.nds", "old rom"); },
     [](const std::string& t) { return std::vector<std::string>{"attach", "in/host.nds", "-o", t + "/game.nds", "--drive0", "in/image.kid"}; }},
    {"detach", [](const stdfs::path& out) { WriteFile(out / "drives/drive0.kid", "old drive"), WriteFile(out / "host.nds", "old host"); },
     [](const std::string& t) { return std::vector<std::string>{"detach", "in/game.nds", "-o", t + "/drives", "--rom", t + "/host.nds"}; }},
    {"extract", [](const stdfs::path& out) { WriteFile(out / "tree/big.bin", "old contents"); },
     [](const std::string& t) { return std::vector<std::string>{"extract", "in/image.kid", t + "/tree"}; }, true, true},
    {"rename", [](const stdfs::path& out) { stdfs::copy_file(out / "../in/image.kid", out / "drive.kid"); },
     [](const std::string& t) { return std::vector<std::string>{"rename", t + "/drive.kid", "New Name"}; }, false},
};

enum Fault { ReadOnlyFileSystem, ReadOnlyFile, FileSizeLimit, FileSystemFull, NotADirectory };
const char* const FaultNames[] = {"ReadOnlyFileSystem", "ReadOnlyFile", "FileSizeLimit", "FileSystemFull", "NotADirectory"};
const char* const Problems[] = {"Read-only file system", "Permission denied", "File too large", "No space left on device",
                                "Not a directory"};

class OutputFaults : public ::testing::TestWithParam<std::tuple<std::size_t, Fault>> {};

TEST_P(OutputFaults, FailCleanlyAndKeepExistingOutputs) {
  const Writer& writer = Writers[std::get<0>(GetParam())];
  const Fault fault = std::get<1>(GetParam());
  TempDir dir;
  const fs::test::Tree tree = {{"readme.txt", "A small tree.\n"}, {"big.bin", Pattern(3 * 4096)}};
  MakeTree(dir / "in/src", tree);
  WriteFile(dir / "in/image.kid", fs::test::Image(tree));
  WriteFile(dir / "in/host.nds", HostRom(300, 40));
  ASSERT_TRUE(rom::AttachDrives({dir / "in/host.nds", dir / "in/image.kid", {}, dir / "in/game.nds", false, false, false, false}).ok());

  const stdfs::path out = dir / "out";
  stdfs::create_directories(out);
  Tmpfs tmpfs(out, fault == FileSystemFull ? 256 << 10 : 1 << 20);
  if (fault == ReadOnlyFileSystem || fault == FileSystemFull) {
    ASSERT_TRUE(tmpfs.mounted_) << "mounting a tmpfs needs root";
  }
  writer.existing(out);
  RunOptions options;
  options.cwd = dir.path();
  std::string target = "out";
  if (fault == ReadOnlyFileSystem) {
    ASSERT_TRUE(tmpfs.ReadOnly());
  }
  if (fault == ReadOnlyFile) {
    // An ordinary user's own outputs, made read-only: replacing them would bypass the mode.
    testfiles::GiveToOrdinaryUser(out);
    for (const auto& entry : stdfs::recursive_directory_iterator(out)) {
      if (entry.is_regular_file()) ::chmod(entry.path().c_str(), 0444);
    }
    options.ordinaryUser = true;
  }
  if (fault == FileSizeLimit) options.fileSize = 4096;
  if (fault == FileSystemFull) {
    // Fill what is left, so the first new block the command needs is refused.
    std::ofstream ballast(out / "ballast", std::ios::binary);
    for (std::string chunk(4096, 'b'); ballast.write(chunk.data(), 4096);) ballast.flush();
  }
  if (fault == NotADirectory) WriteFile(out / "blocker", "a plain file where a directory should be"), target = "out/blocker";

  const auto before = Snapshot(out);
  Outcome run = Kivofs(writer.args(target), options);
  SCOPED_TRACE(run.err);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.starts_with("kivofs: error: ") && run.err.find("'" + target + "/") != std::string::npos)
      << "the error does not name the output";
  EXPECT_NE(run.err.find(Problems[fault]), std::string::npos) << "not said: " << Problems[fault];
  auto after = Snapshot(out);
  for (const auto& [path, contents] : before) EXPECT_EQ(after[path], contents) << path << " changed";
  for (const auto& [path, contents] : after) {
    if (before.count(path) == 0) {
      EXPECT_TRUE(writer.extracts && (contents == "/" || contents == ReadFile(dir / "in/src" / stdfs::path(path).filename())))
          << path << " was left behind or partly written";
    }
  }
}

std::vector<std::tuple<std::size_t, Fault>> Cases() {
  std::vector<std::tuple<std::size_t, Fault>> cases;
  for (std::size_t writer = 0; writer < std::size(Writers); ++writer) {
    for (Fault fault : {ReadOnlyFileSystem, ReadOnlyFile, FileSizeLimit, FileSystemFull, NotADirectory}) {
      if (Writers[writer].grows || fault == ReadOnlyFileSystem || fault == ReadOnlyFile || fault == NotADirectory) {
        cases.emplace_back(writer, fault);
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, OutputFaults, ::testing::ValuesIn(Cases()), [](const auto& test) {
  return std::string(Writers[std::get<0>(test.param)].label) + "_" + FaultNames[std::get<1>(test.param)];
});

// The drive tool opens an image for reading and writing: a read-only one is summarised only
// where writing is not asked for, and its name is never stored.
TEST(ReadOnlyImage, IsReadButNeverWritten) {
  TempDir dir;
  const std::string image = fs::test::Image(fs::test::WorkedExample());
  WriteFile(dir / "ro.kid", image);
  ::chmod((dir / "ro.kid").c_str(), 0444);
  testfiles::GiveToOrdinaryUser(dir.path());
  testfiles::AsOrdinaryUser ordinaryUser;
  EXPECT_TRUE(fs::ReadImageSummary(dir / "ro.kid", fs::SizeUnit::Bytes, false).ok());
  EXPECT_EQ(fs::ReadImageSummary(dir / "ro.kid", fs::SizeUnit::Bytes, true).error().kind, ErrorKind::CannotOpen);
  EXPECT_EQ(fs::StoreDriveName(dir / "ro.kid", "name", Access::ReadWrite).error().kind, ErrorKind::CannotOpen);
  EXPECT_EQ(ReadFile(dir / "ro.kid"), image);
}

}  // namespace
}  // namespace kivo::test
