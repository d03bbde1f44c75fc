// kivofs mount for real: the program mounts through /dev/fuse (the tests run as root in CI),
// and what the mount shows is read with the host's own calls.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "tests/fsimage/Fixture.h"

namespace kivo::test {
namespace {

// Wednesday 15 March 2006, 14:05:09 UTC: the build dates every entry so, and a mount in UTC
// shows that time.
constexpr std::time_t Epoch = 1142431509;

bool IsMounted(const stdfs::path& dir) {
  struct stat at, parent;
  return ::stat(dir.c_str(), &at) == 0 && ::stat(dir.parent_path().c_str(), &parent) == 0 &&
         at.st_dev != parent.st_dev;
}

// The processes serving `dir`: those whose command line names it.
std::vector<std::string> Servers(const stdfs::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : stdfs::directory_iterator("/proc")) {
    std::string cmdline = ReadFile(entry.path() / "cmdline");
    if (cmdline.find("mount") != std::string::npos &&
        cmdline.find(dir.string()) != std::string::npos) {
      found.push_back(entry.path().filename().string());
    }
  }
  return found;
}

// Names in the order the directory lists them.
std::vector<std::string> Listing(const stdfs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// Waits (`tries` times 10 ms at most) for `done` to hold.
template <typename Done>
void WaitFor(Done done, int tries) {
  for (int i = 0; i < tries && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class Mount : public ::testing::Test {
 protected:
  void SetUp() override {
    // These tests mount for real: run them as root, or as a user who may open /dev/fuse.
    ASSERT_EQ(::access("/dev/fuse", R_OK | W_OK), 0) << "/dev/fuse: " << std::strerror(errno);
    stdfs::create_directories(mnt);
    MakeTree(dir / "src",
             {{"caf\xC3\xA9/cr\xC3\xA8me.txt", Pattern(777)},
              {"\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.bin", Pattern(5000)},
              {"empty.txt", ""},
              {"big.bin", Pattern(2 << 20)},
              {"a/b/c/d/e/f/g/h/deep.txt", "deep"},
              {"nothing/", ""}});
    Outcome built = Kivofs({"build", "src", "-o", "img.kid", "-q"});
    ASSERT_EQ(built.exitCode, 0) << built.err;
  }
  void TearDown() override {
    if (IsMounted(mnt)) kivo::test::Run("/usr/bin/umount", {"-l", mnt.string()});
  }

  Outcome Kivofs(const std::vector<std::string>& args) {
    RunOptions options;
    options.cwd = dir.path();
    options.env = {"SOURCE_DATE_EPOCH=" + std::to_string(Epoch), "TZ=UTC"};
    return kivo::test::Run(KIVOFS_BIN, args, options);
  }

  // Unmounts and waits (5 s at most) for the server to end.
  void Unmount() {
    Outcome unmounted = kivo::test::Run("/usr/bin/fusermount3", {"-u", mnt.string()});
    EXPECT_EQ(unmounted.exitCode, 0) << unmounted.err;
    WaitFor([&] { return Servers(mnt).empty(); }, 500);
    EXPECT_EQ(Servers(mnt), std::vector<std::string>{}) << "a server is left behind";
    EXPECT_FALSE(IsMounted(mnt));
  }

  TempDir dir;
  stdfs::path mnt = dir / "mnt";
};

// Read-only even when asked otherwise: the kernel refuses every write.
TEST_F(Mount, AnImageShowsItsTreeReadOnly) {
  Outcome mounted = Kivofs({"mount", "img.kid", mnt.string(), "-o", "rw"});
  ASSERT_EQ(mounted.exitCode, 0) << mounted.err;
  EXPECT_EQ(mounted.out + mounted.err, "");
  // It returns once the mount is ready, and one process serves it.
  ASSERT_TRUE(IsMounted(mnt));
  EXPECT_EQ(Servers(mnt).size(), 1u);
  struct statvfs info;
  ASSERT_EQ(::statvfs(mnt.c_str(), &info), 0);
  EXPECT_EQ(info.f_flag & ST_RDONLY, ST_RDONLY);
  EXPECT_EQ(info.f_namemax, 16u);

  EXPECT_EQ(Snapshot(mnt), Snapshot(dir / "src"));
  std::string listed;
  for (const std::string& name : Listing(mnt)) {
    listed += name + (stdfs::is_directory(mnt / name) ? "/\n" : "\n");
  }
  EXPECT_EQ(listed, Kivofs({"ls", "img.kid"}).out) << "slot order";
  // The entries' own time, in UTC.
  struct stat big;
  ASSERT_EQ(::stat((mnt / "big.bin").c_str(), &big), 0);
  EXPECT_EQ(big.st_mtime, Epoch);
  // No extended attributes, which the kernel is told once for all (ENOSYS), not per file.
  EXPECT_EQ(::getxattr((mnt / "big.bin").c_str(), "user.a", nullptr, 0), -1);
  EXPECT_EQ(errno, EOPNOTSUPP);

  // The image changing under the mount changes nothing the mount shows.
  WriteFile(dir / "img.kid", std::string(100, 'x'));
  EXPECT_EQ(Snapshot(mnt), Snapshot(dir / "src"));
  Unmount();
}

TEST_F(Mount, ARomShowsItsDrivesAndWhatRominfoSays) {
  WriteFile(dir / "host.nds", HostRom(4096, 100));
  WriteFile(dir / "save.kid", fs::test::Image({{"save.dat", "s"}}));
  Outcome attached = Kivofs(
      {"attach", "host.nds", "-o", "game.nds", "--drive0", "img.kid", "--drive1", "save.kid"});
  ASSERT_EQ(attached.exitCode, 0) << attached.err;
  // In the foreground it serves until unmounted, then ends with 0.
  Outcome served;
  std::thread server([&] { served = Kivofs({"mount", "game.nds", mnt.string(), "-f"}); });
  WaitFor([&] { return IsMounted(mnt); }, 1000);
  EXPECT_TRUE(IsMounted(mnt));
  EXPECT_EQ(Listing(mnt), (std::vector<std::string>{"drive1", "drive2", "rom.txt"}));
  EXPECT_EQ(ReadFile(mnt / "rom.txt"), Kivofs({"rominfo", "game.nds"}).out);
  EXPECT_EQ(Snapshot(mnt / "drive1"), Snapshot(dir / "src"));
  EXPECT_EQ(ReadFile(mnt / "drive2/save.dat"), "s");
  Unmount();
  server.join();
  EXPECT_EQ(served.exitCode, 0) << served.err;
}

TEST_F(Mount, WhatCannotBeMountedIsRefused) {
  std::string broken = fs::test::Image(fs::test::WorkedExample());
  Put32(broken, 512 + 4 * 16, 0);  // a link in the chain of docs
  WriteFile(dir / "bad.kid", broken);
  WriteFile(dir / "file", "");
  std::string firstProblem = Kivofs({"verify", "bad.kid"}).out;
  firstProblem.resize(firstProblem.find('\n') + 1);
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"mount", "bad.kid", "mnt"}, "kivofs: error: " + firstProblem},
      {{"mount", "img.kid", "nowhere"},
       "kivofs: error: cannot mount on 'nowhere': No such file or directory\n"},
      {{"mount", "img.kid", "file"}, "kivofs: error: cannot mount on 'file': not a directory\n"},
      {{"mount", "img.kid", "mnt", "-o", "bogus"},
       "fuse: unknown option(s): `-o bogus'\n"
       "kivofs: error: cannot mount 'img.kid': FUSE refused the options (see above)\n"},
  };
  for (const Case& c : cases) {
    Outcome refused = Kivofs(c.args);
    EXPECT_EQ(refused.exitCode, 1) << c.args[1];
    EXPECT_EQ(refused.err, c.err);
    EXPECT_FALSE(IsMounted(mnt)) << c.args[1];
    EXPECT_FALSE(stdfs::exists(dir / "nowhere"));
  }
}

}  // namespace
}  // namespace kivo::test
