// Replacing an output: what the user may not write is refused, links are written through,
// and the replaced file keeps what made it the user's; reads, writes and copies that the host
// cuts short or fails. POSIX only: modes, owners, pipes; and the glob matcher, which Windows
// builds use as well, checked against the C library's.
#include <fcntl.h>
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/File.h"
#include "base/Glob.h"
#include "base/Host.h"
#include "tests/support/Assert.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/Support.h"

namespace kivo::test {
namespace {

Status Replace(const stdfs::path& target, const std::string& text) {
  Result<OutputFile> output = OutputFile::Create(target);
  if (!output) return output.error();
  KIVO_TRY(output->WriteAt(0, Span(text)));
  return output->Commit();
}

// As an ordinary user, whom permissions bind: what the user may not replace is refused,
// nothing is written and no temporary file stays; the user's own writable file is replaced.
// (A read-only file is every writing command's fault test.)
TEST(OutputFile, ReplacesOnlyWhatTheUserMayWrite) {
  // How the target is made, and the problem (none when it is replaced).
  const std::pair<void (*)(const stdfs::path&), const char*> cases[] = {
      {[](auto& p) { WriteFile(p, "old"); }, ""},
      {[](auto& p) { stdfs::create_directory(p); }, "is a directory"},
      {[](auto& p) { ::mkfifo(p.c_str(), 0666); }, "not a regular file"},
      {[](auto& p) { stdfs::create_symlink(p.filename(), p); },
       "Too many levels of symbolic links"},
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
      EXPECT_OK(replaced);
      EXPECT_EQ(ReadFile(dir / "out.kid"), "new");
      continue;
    }
    ASSERT_FALSE(replaced.ok()) << problem;
    EXPECT_EQ(replaced.error().message,
              "cannot write '" + (dir / "out.kid").string() + "': " + problem);
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
  ASSERT_OK(Replace(dir / "assets.kid", "new"));
  ASSERT_OK(Replace(dir / "dangling.kid", "made"));
  EXPECT_EQ(Snapshot(dir.path()),
            (std::map<std::string, std::string>{
                {"assets.kid", "->" + (dir / "links/link2").string()}, {"gone.kid", "made"},
                {"dangling.kid", "->gone.kid"}, {"links", "/"}, {"shared/assets.kid", "new"},
                {"links/link2", "->../shared/assets.kid"}, {"shared", "/"}}));
}

// The replaced file keeps its mode and owner; a hard link is broken, its other name keeps
// the old bytes.
TEST(OutputFile, KeepsModeAndOwnerAndBreaksAHardLink) {
  TempDir dir;
  WriteFile(dir / "out.kid", "old");
  stdfs::create_hard_link(dir / "out.kid", dir / "other.kid");
  ASSERT_EQ(::chmod((dir / "out.kid").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || ::chown((dir / "out.kid").c_str(), 1234, 4321) == 0);
  ASSERT_OK(Replace(dir / "out.kid", "new"));
  struct stat info {};
  ASSERT_EQ(::stat((dir / "out.kid").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 4321u);
  }
  EXPECT_EQ(info.st_nlink, 1u);
  EXPECT_EQ(ReadFile(dir / "out.kid"), "new");
  EXPECT_EQ(ReadFile(dir / "other.kid"), "old");
}

// A target that already holds the new bytes keeps its file, bytes and time; any difference,
// in size or in one byte, replaces it.
TEST(OutputFile, LeavesAnIdenticalTargetUntouched) {
  // What is written, and whether the target's file stays.
  const std::pair<const char*, bool> cases[] = {
      {"same bytes", true}, {"same bytez", false}, {"same bytes!", false}, {"", false}};
  for (const auto& [written, kept] : cases) {
    TempDir dir;
    WriteFile(dir / "out.kid", "same bytes");
    const timespec past{.tv_sec = 1000000000, .tv_nsec = 0}, times[2] = {past, past};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "out.kid").c_str(), times, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat((dir / "out.kid").c_str(), &before), 0);
    ASSERT_OK(Replace(dir / "out.kid", written));
    struct stat after {};
    ASSERT_EQ(::stat((dir / "out.kid").c_str(), &after), 0);
    EXPECT_EQ(ReadFile(dir / "out.kid"), written);
    EXPECT_EQ(after.st_ino == before.st_ino, kept) << written;
    EXPECT_EQ(after.st_mtim.tv_sec == past.tv_sec, kept) << written;
    EXPECT_EQ(Snapshot(dir.path()).size(), 1u) << "a temporary stayed beside " << written;
  }
}

// A temporary of ours that no program holds is removed by the next output to its target; a
// locked one (a run in progress) and every other dot-file stay.
TEST(OutputFile, RemovesOnlyUnlockedTemporariesOfItsTarget) {
  TempDir dir;
  const char* stale = ".out.kid.123456.tmp";
  const char* kept[] = {".out.kid.abc.tmp", ".other.kid.42.tmp", ".out.kid.42.tmp.bak",
                        ".out.kid.1234567890.tmp"};
  WriteFile(dir / stale, "left by a killed run");
  for (const char* name : kept) WriteFile(dir / name, "not ours");
  WriteFile(dir / ".out.kid.77.tmp", "being written");
  Descriptor running(::open((dir / ".out.kid.77.tmp").c_str(), O_RDONLY));
  ASSERT_EQ(::flock(running.get(), LOCK_EX), 0);
  ASSERT_OK(Replace(dir / "out.kid", "new"));
  auto after = Snapshot(dir.path());
  EXPECT_EQ(after.count(stale), 0u);
  for (const char* name : kept) EXPECT_EQ(after.count(name), 1u) << name;
  EXPECT_EQ(after.count(".out.kid.77.tmp"), 1u) << "a locked temporary was removed";
  EXPECT_EQ(after.size(), 6u) << "the new output's own temporary stayed";
}

// With syncing on, the file reaches the disk before the rename and the folder after it, also
// when an identical target is kept (the run that wrote it may have ended before its bytes
// did); off, nothing is synced.
TEST(OutputFile, SyncsTheFileThenItsFolderOnlyWhenAsked) {
  for (bool sync : {false, true}) {
    for (bool identical : {false, true}) {
      TempDir dir;
      if (identical) WriteFile(dir / "out.kid", "new");
      std::vector<std::string> events;
      SetSyncOutputs(sync);
      SetSyncObserver([&](const stdfs::path& output, bool folder) {
        events.push_back((folder ? "folder " : "file ") + output.filename().string() +
                         (ReadFile(dir / "out.kid") == "new" ? " in place" : " not in place"));
      });
      ASSERT_OK(Replace(dir / "out.kid", "new"));
      SetSyncObserver(nullptr);
      SetSyncOutputs(false);
      const std::vector<std::string> synced = {
          identical ? "file out.kid in place" : "file out.kid not in place",
          "folder out.kid in place"};
      EXPECT_EQ(events, sync ? synced : std::vector<std::string>()) << identical;
    }
  }
}

// Held back, outputs replace nothing until committed, and dropped they leave nothing.
TEST(OutputFile, HeldCommitsReplaceOnlyWhenCommitted) {
  TempDir dir;
  WriteFile(dir / "out.kid", "old");
  {
    HeldCommits held;
    ASSERT_OK(Replace(dir / "out.kid", "dropped"));
    EXPECT_EQ(ReadFile(held.PathOf(dir / "out.kid")), "dropped");
    EXPECT_EQ(ReadFile(dir / "out.kid"), "old");
  }
  EXPECT_EQ(Snapshot(dir.path()).size(), 1u);
  HeldCommits held;
  ASSERT_OK(Replace(dir / "out.kid", "new"));
  ASSERT_OK(held.CommitAll());
  EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"out.kid", "new"}}));
}

// A separator goes between a folder and a name only where the folder has none at its end.
TEST(Path, JoinPutsOneSeparatorBetween) {
  EXPECT_EQ(JoinPath("dir", "a.kid"), "dir/a.kid");
  EXPECT_EQ(JoinPath("dir/", "a.kid"), "dir/a.kid");
  EXPECT_EQ(JoinPath("/", "a.kid"), "/a.kid");
  EXPECT_EQ(JoinPath("", "a.kid"), "a.kid");
}

TEST(Glob, MatchesAsFnmatchDoes) {
  const char* globs[] = {"*", "*.bin", "a?c", "[abc]*", "[!a]*", "[^a]*", "[a-c]x", "[]]", "[!]]",
                         "a\\*b", "*a*b*", "[", "a[", "[z-a]x", "**", "?", "", "*.[ch]", "x[\\]]",
                         "[a-]x", "*?*?", "[[:alpha:]]*", "*[![:lower:]]", "[[:digit:]x]",
                         "[[:nope:]]", "[a\\", "[a-\\c]", "a\\b"};
  const char* names[] = {"", "a", "abc", "a.bin", "b.BIN", "]", "a*b", "aXb", "[", "a[", "bx", "dx",
                         "-x", "x]", "file.c", "ab", "ab\\", "\\", "\xC3\xA9.bin", "7", "Ab"};
  for (const char* glob : globs) {
    for (const char* name : names) {
      EXPECT_EQ(MatchesGlob(glob, name), ::fnmatch(glob, name, 0) == 0) << glob << " " << name;
    }
  }
}

// A glob that ends in a backslash, which quotes nothing, takes it as itself (fnmatch matches
// nothing then).
TEST(Glob, ATrailingBackslashStandsForItself) {
  EXPECT_TRUE(MatchesGlob("ab\\", "ab\\"));
  EXPECT_TRUE(MatchesGlob("*\\", "ab\\"));
  EXPECT_FALSE(MatchesGlob("ab\\", "ab"));
  EXPECT_FALSE(MatchesGlob("\\", "a"));
}

// A local time as seconds since 1970: every field at its limits is taken (a leap second too),
// one past them is not.
TEST(Host, SecondsOfLocalTimeTakesOnlyFieldsInTheirRanges) {
  // Year, month (from 0), day, hour, minute and second; and whether they are taken.
  const std::pair<std::vector<int>, bool> cases[] = {
      {{1970, 0, 1, 0, 0, 0}, true},     {{2037, 11, 31, 23, 59, 59}, true},
      {{2006, 2, 15, 12, 0, 60}, true},  {{1969, 11, 31, 12, 0, 0}, false},
      {{2006, -1, 15, 12, 0, 0}, false}, {{2006, 12, 15, 12, 0, 0}, false},
      {{2006, 2, 0, 12, 0, 0}, false},   {{2006, 2, 32, 12, 0, 0}, false},
      {{2006, 2, 15, -1, 0, 0}, false},  {{2006, 2, 15, 24, 0, 0}, false},
      {{2006, 2, 15, 12, -1, 0}, false}, {{2006, 2, 15, 12, 60, 0}, false},
      {{2006, 2, 15, 12, 0, -1}, false}, {{2006, 2, 15, 12, 0, 61}, false},
  };
  for (const auto& [fields, taken] : cases) {
    std::tm local{};
    local.tm_year = fields[0] - 1900;
    local.tm_mon = fields[1];
    local.tm_mday = fields[2];
    local.tm_hour = fields[3];
    local.tm_min = fields[4];
    local.tm_sec = fields[5];
    std::optional<std::time_t> seconds = SecondsOfLocalTime(local);
    ASSERT_EQ(seconds.has_value(), taken) << ::testing::PrintToString(fields);
    if (!seconds || fields[5] == 60) continue;
    const std::tm back = *host::BrokenDown(*seconds, true);
    EXPECT_EQ(std::vector({back.tm_year + 1900, back.tm_mon, back.tm_mday, back.tm_hour,
                           back.tm_min, back.tm_sec}),
              fields);
  }
}

// A source file of `bytes` and an empty target in a fresh directory; the host's transfers go
// as `filter` says while it lives.
struct Transfers {
  Transfers(const std::string& bytes, TransferFilter filter)
      : in(File::Open(Made(dir / "source", bytes), Access::Read, "read")),
        out(File::Open(Made(dir / "target", ""), Access::ReadWrite, "write")) {
    SetTransferFilter(std::move(filter));
  }
  ~Transfers() { SetTransferFilter(nullptr); }
  static stdfs::path Made(const stdfs::path& path, const std::string& bytes) {
    WriteFile(path, bytes);
    return path;
  }
  TempDir dir;
  Result<File> in;
  Result<File> out;
};

// Reads, writes and copies that each move only a few bytes at a time (or that the kernel
// cannot copy at all) still move every byte to its place.
TEST(File, ShortTransfersMoveEveryByte) {
  const struct {
    std::int64_t kernelCopy;      // the most one copy by the kernel moves; -errno: it cannot
    std::int64_t most = 1 << 20;  // the most bytes one read or write moves
  } cases[] = {
      {.kernelCopy = -ENOSYS, .most = 7}, {.kernelCopy = 7}, {.kernelCopy = -EXDEV},
      {.kernelCopy = -EOPNOTSUPP}, {.kernelCopy = -EINVAL}, {.kernelCopy = -EBADF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.most) + " " + std::to_string(c.kernelCopy));
    const std::string source = Pattern(1000), written = Filler(1000);
    Transfers files(source, [&](HostTransfer call, std::size_t asked) {
      return std::min<std::int64_t>(call == HostTransfer::Copy ? c.kernelCopy : c.most,
                                    static_cast<std::int64_t>(asked));
    });
    ASSERT_OK(files.in);
    ASSERT_OK(files.out);
    std::string read(990, '\0');
    ASSERT_OK(files.in->ReadAt(3, std::as_writable_bytes(std::span(read))));
    EXPECT_EQ(read, source.substr(3, 990));
    ASSERT_OK(files.out->WriteAt(0, Span(written)));
    ASSERT_OK(files.out->CopyFrom(*files.in, 100, 800, 1000));
    Result<bool> whole = files.out->CopyWhole(*files.in, 1000, 1800);
    ASSERT_OK(whole);
    EXPECT_TRUE(*whole);
    EXPECT_EQ(ReadFile(files.dir / "target"), written + source.substr(100, 800) + source);
  }
}

// A host call that fails, or moves nothing, stops the transfer with an error that names the
// file it concerns ('S' the source, 'T' the target) and the reason.
TEST(File, FailedTransfersNameTheFileAndTheReason) {
  enum Operation { ReadAt, WriteAt, CopyFrom, CopyWhole };
  using enum HostTransfer;
  static constexpr const char* BadRead = "cannot read 'S': Input/output error";
  const char* const Full = "cannot write 'T': No space left on device";
  const struct {
    Operation op;
    HostTransfer call;  // fails, and falls back on a buffer where it is no copy by the kernel
    std::int64_t result = -EIO;  // of that call: -errno, or 0 bytes moved
    const char* message = BadRead;
  } cases[] = {
      {.op = ReadAt, .call = Read},
      {.op = ReadAt, .call = Read, .result = 0,
       .message = "cannot read 'S': file shrank while it was read (ends before 110 bytes)"},
      {.op = WriteAt, .call = Write, .result = -EFBIG,
       .message = "cannot write 'T': File too large"},
      {.op = WriteAt, .call = Write, .result = 0, .message = Full},
      {.op = CopyFrom, .call = Copy},
      {.op = CopyFrom, .call = Copy, .result = -EISDIR,
       .message = "cannot read 'S': Is a directory"},
      {.op = CopyFrom, .call = Copy, .result = -ENOSPC, .message = Full},
      {.op = CopyFrom, .call = Read},
      {.op = CopyFrom, .call = Write, .result = -ENOSPC, .message = Full},
      {.op = CopyWhole, .call = Copy},
      {.op = CopyWhole, .call = Read},
      {.op = CopyWhole, .call = Write, .result = 0, .message = Full},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Transfers files(Pattern(100), [&](HostTransfer call, std::size_t asked) -> std::int64_t {
      if (call == c.call) return c.result;
      return call == Copy && c.call != Copy ? -ENOSYS : static_cast<std::int64_t>(asked);
    });
    ASSERT_OK(files.in);
    ASSERT_OK(files.out);
    std::string bytes(10, 'x');
    Status done;
    if (c.op == ReadAt) done = files.in->ReadAt(100, std::as_writable_bytes(std::span(bytes)));
    if (c.op == WriteAt) done = files.out->WriteAt(0, Span(bytes));
    if (c.op == CopyFrom) done = files.out->CopyFrom(*files.in, 0, 100, 0);
    if (Result<bool> whole = true; c.op == CopyWhole) {
      whole = files.out->CopyWhole(*files.in, 100, 0);
      if (!whole) done = whole.error();
    }
    ASSERT_FALSE(done.ok());
    std::string expected = c.message;
    const std::size_t at = expected.find('\'') + 1;
    expected.replace(at, 1, (files.dir / (expected[at] == 'S' ? "source" : "target")).string());
    EXPECT_EQ(done.error().message, expected);
  }
}

}  // namespace
}  // namespace kivo::test
