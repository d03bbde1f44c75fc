// Every command that writes, against every way its output can fail: each exits 1 with an
// error naming the output and the problem, leaves every existing output byte for byte as it
// was, and leaves no temporary file behind.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <sstream>

#include <gtest/gtest.h>

#include "fsimage/Summary.h"
#include "romattach/AttachDrives.h"
#include "tests/fsimage/Fixture.h"
#include "tests/hardening/Refusal.h"
#include "tests/support/Assert.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::test {
namespace {

// A tmpfs on `dir` while it lives, in the test process's own mount namespace, which nothing
// outside it sees. Mounting needs root, which the tests have in CI.
class Tmpfs {
 public:
  Tmpfs(const stdfs::path& dir, std::uint64_t bytes) : dir_(dir) {
    static const bool own = ::unshare(CLONE_NEWNS) == 0 &&
                            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    stdfs::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = own && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool ReadOnly() const {
    return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  bool mounted_ = false;

 private:
  stdfs::path dir_;
};

struct Writer {
  const char* command;  // O stands for the output directory
  Tree existing;        // outputs a failed run must leave alone; "*" stands for the image
  bool grows = true;    // false: rewrites bytes in place, which no size limit or full disk stops
  bool extracts = false;  // files finished before the failure stay, complete
};

const Writer Writers[] = {
    {.command = "build in/src -o O/drive.kid --quiet", .existing = {{"drive.kid", "old image"}}},
    {.command = "attach in/host.nds -o O/game.nds --drive0 in/image.kid",
     .existing = {{"game.nds", "old rom"}}},
    {.command = "detach in/game.nds -o O/drives --rom O/host.nds",
     .existing = {{"drives/drive0.kid", "old drive"}, {"host.nds", "old host"}}},
    {.command = "extract in/image.kid O/tree", .existing = {{"tree/big.bin", "old contents"}},
     .extracts = true},
    {.command = "rename O/drive.kid Name", .existing = {{"drive.kid", "*"}}, .grows = false},
};

enum Fault { ReadOnlyFileSystem, ReadOnlyFile, FileSizeLimit, FileSystemFull, NotADirectory };
const std::pair<const char*, const char*> Faults[] = {
    {"ReadOnlyFileSystem", "Read-only file system"}, {"ReadOnlyFile", "Permission denied"},
    {"FileSizeLimit", "File too large"}, {"FileSystemFull", "No space left on device"},
    {"NotADirectory", "Not a directory"}};

class OutputFaults : public ::testing::TestWithParam<std::tuple<std::size_t, Fault>> {};

TEST_P(OutputFaults, FailCleanlyAndKeepExistingOutputs) {
  const Writer& writer = Writers[std::get<0>(GetParam())];
  const Fault fault = std::get<1>(GetParam());
  TempDir dir;
  const Tree tree = {{"readme.txt", "A small tree.\n"}, {"big.bin", Pattern(3 * 4096)}};
  const std::string image = fs::test::Image(tree);
  MakeTree(dir / "in/src", tree);
  WriteFile(dir / "in/image.kid", image);
  WriteFile(dir / "in/host.nds", HostRom(300, 40));
  ASSERT_OK(rom::AttachDrives({.host = dir / "in/host.nds", .drive0 = dir / "in/image.kid",
                               .output = dir / "in/game.nds"}));
  const stdfs::path out = dir / "out";
  Tmpfs tmpfs(out, fault == FileSystemFull ? 256 << 10 : 1 << 20);
  ASSERT_TRUE(tmpfs.mounted_ || (fault != ReadOnlyFileSystem && fault != FileSystemFull))
      << "mounting a tmpfs needs root";
  for (const auto& [path, bytes] : writer.existing) {
    WriteFile(out / path, bytes == "*" ? image : bytes);
  }
  RunOptions options{.cwd = dir.path(), .ordinaryUser = fault == ReadOnlyFile};
  if (fault == FileSizeLimit) options.fileSize = 4096;
  ASSERT_TRUE(fault != ReadOnlyFileSystem || tmpfs.ReadOnly());
  if (fault == ReadOnlyFile) {
    // An ordinary user's own outputs, made read-only: replacing them would bypass the mode.
    testfiles::GiveToOrdinaryUser(out);
    for (const auto& entry : stdfs::recursive_directory_iterator(out)) {
      if (entry.is_regular_file()) ::chmod(entry.path().c_str(), 0444);
    }
  }
  if (fault == FileSystemFull) {
    // Fill what is left, so the first new block the command needs is refused.
    std::ofstream ballast(out / "ballast", std::ios::binary);
    for (std::string chunk(4096, 'b'); ballast.write(chunk.data(), 4096);) ballast.flush();
  }
  const std::string target = fault == NotADirectory ? "out/blocker" : "out";
  if (fault == NotADirectory) WriteFile(out / "blocker", "a file where a directory should be");
  std::vector<std::string> args;
  std::istringstream words(writer.command);
  for (std::string word; words >> word;) {
    args.push_back(word.starts_with("O/") ? target + word.substr(1) : word);
  }

  const auto before = Snapshot(out);
  ExpectRefusal(Kivofs(args, options), "'" + target + "/", Faults[fault].second);
  auto after = Snapshot(out);
  for (const auto& [path, contents] : before) EXPECT_EQ(after[path], contents) << path;
  for (const auto& [path, contents] : after) {
    if (before.count(path)) continue;
    // Only an extraction leaves new files, each complete: directories and whole sources.
    ASSERT_TRUE(writer.extracts) << path << " was left behind";
    const std::string source = ReadFile(dir / "in/src" / stdfs::path(path).filename());
    EXPECT_TRUE(contents == "/" || contents == source) << path << " was partly written";
  }
}

std::vector<std::tuple<std::size_t, Fault>> Cases() {
  std::vector<std::tuple<std::size_t, Fault>> cases;
  for (std::size_t writer = 0; writer < std::size(Writers); ++writer) {
    for (Fault fault :
         {ReadOnlyFileSystem, ReadOnlyFile, FileSizeLimit, FileSystemFull, NotADirectory}) {
      const bool stopsAGrowth = fault == FileSizeLimit || fault == FileSystemFull;
      if (Writers[writer].grows || !stopsAGrowth) cases.emplace_back(writer, fault);
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, OutputFaults, ::testing::ValuesIn(Cases()), [](const auto& test) {
  const std::string command = Writers[std::get<0>(test.param)].command;
  return command.substr(0, command.find(' ')) + "_" + Faults[std::get<1>(test.param)].first;
});

// The drive tool opens an image for reading and writing: a read-only one is summarised only
// where writing is not asked for (storing a name in it is the rename command's fault test).
TEST(ReadOnlyImage, IsReadButNeverWritten) {
  TempDir dir;
  const std::string image = fs::test::Image(fs::test::WorkedExample());
  WriteFile(dir / "ro.kid", image);
  ::chmod((dir / "ro.kid").c_str(), 0444);
  testfiles::GiveToOrdinaryUser(dir.path());
  testfiles::AsOrdinaryUser ordinaryUser;
  EXPECT_OK(fs::ReadImageSummary(dir / "ro.kid", fs::SizeUnit::Bytes, false));
  EXPECT_EQ(fs::ReadImageSummary(dir / "ro.kid", fs::SizeUnit::Bytes, true).error().kind,
            ErrorKind::CannotOpen);
  EXPECT_EQ(ReadFile(dir / "ro.kid"), image);
}

}  // namespace
}  // namespace kivo::test
