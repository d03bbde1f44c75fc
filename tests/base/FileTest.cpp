// Replacing an output: what the user may not write is refused, links are written through,
// and the replaced file keeps what made it the user's. POSIX only: modes, owners, pipes; and
// the glob matcher, which Windows builds use as well, checked against the C library's.
#include "base/File.h"
#include "base/Glob.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/OrdinaryUser.h"
#include "tests/support/Support.h"

namespace kivo::test {
namespace {

Status Replace(const stdfs::path& target, const std::string& text) {
  Result<OutputFile> output = OutputFile::Create(target);
  if (!output) return output.error();
  if (Status written = output->WriteAt(0, Span(text)); !written) return written;
  return output->Commit();
}

// As an ordinary user, whom permissions bind: what the user may not replace is refused,
// nothing is written and no temporary file stays; the user's own writable file is replaced.
TEST(OutputFile, ReplacesOnlyWhatTheUserMayWrite) {
  const std::pair<void (*)(const stdfs::path&), const char*> cases[] = {
      {[](const stdfs::path& p) { WriteFile(p, "old"); }, ""},
      {[](const stdfs::path& p) { WriteFile(p, "old"), ::chmod(p.c_str(), 0444); }, "Permission denied"},
      {[](const stdfs::path& p) { stdfs::create_directory(p); }, "is a directory"},
      {[](const stdfs::path& p) { ::mkfifo(p.c_str(), 0666); }, "not a regular file"},
      {[](const stdfs::path& p) { stdfs::create_symlink(p.filename(), p); }, "Too many levels of symbolic links"},
  };
  for (const auto& [arrange, problem] : cases) {
    TempDir dir;
    arrange(dir / "out.kid");
    testfiles::GiveToOrdinaryUser(dir.path());
    const auto before = Snapshot(dir.path());
    Status replaced;
    {
      testfiles::AsOrdinaryUser ordinaryUser;
      replaced = Replace(dir / "out.kid", "new");
    }
    if (!*problem) {
      EXPECT_TRUE(replaced.ok() && ReadFile(dir / "out.kid") == "new");
      continue;
    }
    ASSERT_FALSE(replaced.ok()) << problem;
    EXPECT_EQ(replaced.error().message, "cannot write '" + (dir / "out.kid").string() + "': " + problem);
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

// The file at the end of the links is replaced and the links stay; a dangling link makes
// its target.
TEST(OutputFile, WritesThroughLinks) {
  TempDir dir;
  WriteFile(dir / "shared/assets.kid", "old");
  stdfs::create_directories(dir / "links");
  stdfs::create_symlink("../shared/assets.kid", dir / "links/link2");  // relative to its folder
  stdfs::create_symlink(dir / "links/link2", dir / "assets.kid");
  stdfs::create_symlink("gone.kid", dir / "dangling.kid");
  ASSERT_TRUE(Replace(dir / "assets.kid", "new").ok());
  ASSERT_TRUE(Replace(dir / "dangling.kid", "made").ok());
  EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{
                                      {"assets.kid", "->" + (dir / "links/link2").string()},
                                      {"dangling.kid", "->gone.kid"}, {"gone.kid", "made"}, {"links", "/"},
                                      {"links/link2", "->../shared/assets.kid"}, {"shared", "/"},
                                      {"shared/assets.kid", "new"}}));
}

// The replaced file keeps its mode and owner; a hard link is broken, its other name keeps
// the old bytes.
TEST(OutputFile, KeepsModeAndOwnerAndBreaksAHardLink) {
  TempDir dir;
  WriteFile(dir / "out.kid", "old");
  stdfs::create_hard_link(dir / "out.kid", dir / "other.kid");
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
  EXPECT_EQ(ReadFile(dir / "out.kid") + ReadFile(dir / "other.kid"), "newold");
}

// A target that already holds the new bytes keeps its file, bytes and time; any difference,
// in size or in one byte, replaces it.
TEST(OutputFile, LeavesAnIdenticalTargetUntouched) {
  const struct {
    const char* written;
    bool kept;
  } cases[] = {
      {.written = "same bytes", .kept = true},
      {.written = "same bytez", .kept = false},
      {.written = "same bytes!", .kept = false},
      {.written = "", .kept = false},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteFile(dir / "out.kid", "same bytes");
    const struct timespec past[2] = {{.tv_sec = 1000000000, .tv_nsec = 0}, {.tv_sec = 1000000000, .tv_nsec = 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "out.kid").c_str(), past, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat((dir / "out.kid").c_str(), &before), 0);
    ASSERT_TRUE(Replace(dir / "out.kid", c.written).ok()) << c.written;
    struct stat after {};
    ASSERT_EQ(::stat((dir / "out.kid").c_str(), &after), 0);
    EXPECT_EQ(ReadFile(dir / "out.kid"), c.written);
    EXPECT_EQ(after.st_ino == before.st_ino, c.kept) << c.written;
    EXPECT_EQ(after.st_mtim.tv_sec == past[0].tv_sec, c.kept) << c.written;
    EXPECT_EQ(Snapshot(dir.path()).size(), 1u) << "a temporary stayed beside " << c.written;
  }
}

// A temporary of ours that no program holds is removed by the next output to its target; a
// locked one (a run in progress) and every other dot-file stay.
TEST(OutputFile, RemovesOnlyUnlockedTemporariesOfItsTarget) {
  TempDir dir;
  const char* stale = ".out.kid.123456.tmp";
  const char* kept[] = {".out.kid.abc.tmp", ".other.kid.42.tmp", ".out.kid.42.tmp.bak", ".out.kid.1234567890.tmp"};
  WriteFile(dir / stale, "left by a killed run");
  for (const char* name : kept) WriteFile(dir / name, "not ours");
  WriteFile(dir / ".out.kid.77.tmp", "being written");
  Descriptor running(::open((dir / ".out.kid.77.tmp").c_str(), O_RDONLY));
  ASSERT_EQ(::flock(running.get(), LOCK_EX), 0);
  ASSERT_TRUE(Replace(dir / "out.kid", "new").ok());
  auto after = Snapshot(dir.path());
  EXPECT_EQ(after.count(stale), 0u);
  for (const char* name : kept) EXPECT_EQ(after.count(name), 1u) << name;
  EXPECT_EQ(after.count(".out.kid.77.tmp"), 1u) << "a locked temporary was removed";
  EXPECT_EQ(after.size(), 6u) << "the new output's own temporary stayed";
}

// With syncing on, the file reaches the disk before the rename and the folder after it; off,
// nothing is synced.
TEST(OutputFile, SyncsTheFileThenItsFolderOnlyWhenAsked) {
  for (bool sync : {false, true}) {
    TempDir dir;
    std::vector<std::string> events;
    SetSyncOutputs(sync);
    SetSyncObserver([&](const stdfs::path& output, bool folder) {
      events.push_back((folder ? "folder " : "file ") + output.filename().string() +
                       (stdfs::exists(dir / "out.kid") ? " renamed" : " not renamed"));
    });
    ASSERT_TRUE(Replace(dir / "out.kid", "new").ok());
    SetSyncObserver(nullptr);
    SetSyncOutputs(false);
    const std::vector<std::string> expected = {"file out.kid not renamed", "folder out.kid renamed"};
    EXPECT_EQ(events, sync ? expected : std::vector<std::string>());
  }
}

// Held back, outputs replace nothing until committed, and dropped they leave nothing.
TEST(OutputFile, HeldCommitsReplaceOnlyWhenCommitted) {
  TempDir dir;
  WriteFile(dir / "out.kid", "old");
  {
    HeldCommits held;
    ASSERT_TRUE(Replace(dir / "out.kid", "dropped").ok());
    EXPECT_EQ(ReadFile(held.PathOf(dir / "out.kid")), "dropped");
    EXPECT_EQ(ReadFile(dir / "out.kid"), "old");
  }
  EXPECT_EQ(Snapshot(dir.path()).size(), 1u);
  HeldCommits held;
  ASSERT_TRUE(Replace(dir / "out.kid", "new").ok());
  ASSERT_TRUE(held.CommitAll().ok());
  EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"out.kid", "new"}}));
}

// A program interrupted while it writes an output removes the temporary and ends by the
// signal; the old target stays. The child waits in pause() once its temporary exists, and
// the test sends the signal only when it has seen the temporary appear.
TEST(OutputFile, AnInterruptedProgramRemovesItsTemporaryAndEndsByTheSignal) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    TempDir dir;
    WriteFile(dir / "out.kid", "old");
    pid_t child = ::fork();
    if (child == 0) {
      CleanUpOnInterrupt();
      Result<OutputFile> output = OutputFile::Create(dir / "out.kid");
      if (!output || !output->WriteAt(0, Span(std::string("half"))).ok()) ::_exit(3);
      for (;;) ::pause();
    }
    bool appeared = false;
    for (int i = 0; i < 20000 && !appeared; ++i) {
      appeared = Snapshot(dir.path()).size() == 2;
      if (!appeared) ::usleep(500);
    }
    ASSERT_TRUE(appeared) << "no temporary appeared";
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "signal " << signal;
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"out.kid", "old"}}));
  }
}

TEST(Glob, MatchesAsFnmatchDoes) {
  const char* globs[] = {"*", "*.bin", "a?c", "[abc]*", "[!a]*", "[^a]*", "[a-c]x", "[]]", "[!]]", "a\\*b", "*a*b*",
                         "[", "a[", "[z-a]x", "**", "?", "", "*.[ch]", "x[\\]]", "[a-]x", "*?*?",
                         "[[:alpha:]]*", "*[![:lower:]]", "[[:digit:]x]", "[[:nope:]]"};
  const char* names[] = {"", "a", "abc", "a.bin", "b.BIN", "]", "a*b", "aXb", "[", "a[", "bx", "dx", "-x",
                         "x]", "file.c", "ab", "\xC3\xA9.bin", "7", "Ab"};
  for (const char* glob : globs) {
    for (const char* name : names) EXPECT_EQ(MatchesGlob(glob, name), ::fnmatch(glob, name, 0) == 0) << glob << " " << name;
  }
}

}  // namespace
}  // namespace kivo::test
