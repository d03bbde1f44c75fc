// The source tree changing under a build, and items in it that are no plain files: every
// build must end (never block on a pipe or read a device for ever), refuse or skip with a
// message naming the item, and leave an existing image exactly as it was.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <string>

#include "fsimage/Builder.h"
#include "tests/hardening/HardeningSupport.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::hardening {
namespace {

struct SourceChange {
  const char* label;
  // Acts on the victim file between the scan and the placement (as an ordinary user, whom
  // permissions bind); returns what went wrong, or "".
  std::function<std::string(const stdfs::path& victim)> change;
  const char* problem;
};

std::string ReplaceWithFifo(const stdfs::path& victim) {
  stdfs::remove(victim);
  return ::mkfifo(victim.c_str(), 0644) == 0 ? "" : "mkfifo failed";
}

const SourceChange kSourceChanges[] = {
    {"Deleted", [](const stdfs::path& v) { stdfs::remove(v); return std::string(); },
     "No such file or directory"},
    {"TruncatedToZero", [](const stdfs::path& v) { stdfs::resize_file(v, 0); return std::string(); },
     "3000 -> 0"},
    {"Truncated", [](const stdfs::path& v) { stdfs::resize_file(v, 1000); return std::string(); },
     "3000 -> 1000"},
    {"Grown", [](const stdfs::path& v) { stdfs::resize_file(v, 5000); return std::string(); },
     "3000 -> 5000"},
    {"UnreadableThroughAFile",
     [](const stdfs::path& v) {
       // The file's directory becomes a plain file: the path now runs through a
       // non-directory, which stops even root.
       stdfs::remove_all(v.parent_path());
       Spill(v.parent_path(), "not a directory any more");
       return std::string();
     },
     "Not a directory"},
    {"Unreadable",
     [](const stdfs::path& v) {
       stdfs::permissions(v, stdfs::perms::none);
       return std::string();
     },
     "Permission denied"},
    // A pipe or a device reports no length: the size check stops it before any read.
    {"ReplacedByFifo", ReplaceWithFifo, "3000 -> 0"},
    {"ReplacedByLinkToDevice",
     [](const stdfs::path& v) {
       stdfs::remove(v);
       stdfs::create_symlink("/dev/zero", v);
       return std::string();
     },
     "3000 -> 0"},
};

class SourceChanges : public ::testing::TestWithParam<SourceChange> {};

TEST_P(SourceChanges, RefuseTheBuildAndKeepTheOldImage) {
  Scratch scratch;
  const stdfs::path src = scratch / "src";
  const stdfs::path victim = src / "sub/victim.bin";
  Spill(src / "a.txt", "first");
  Spill(victim, std::string(3000, 'v'));
  Spill(src / "z.txt", "last");
  const stdfs::path output = scratch / "out/drive.kid";
  stdfs::create_directories(output.parent_path());

  // An image from an earlier, good build must survive the failed one.
  std::ostringstream quiet;
  {
    fs::DriveBuilder first(quiet);
    first.ScanSource(src.string(), "*");
    ASSERT_EQ(first.BuildImage(output.string()), fs::BuildOk);
  }
  const auto before = Snapshot(output.parent_path());

  std::string changeFailed;
  fs::BuilderOptions options;
  options.beforePlacement = [&] { changeFailed = GetParam().change(victim); };
  fs::DriveBuilder builder(quiet, options);
  builder.SetRootPathLength(src.string().size());
  testfiles::GiveToOrdinaryUser(scratch.root());
  int result = 0;
  {
    testfiles::AsOrdinaryUser ordinaryUser;
    builder.ScanSource(src.string(), "*");
    result = builder.BuildImage(output.string());
  }
  ASSERT_EQ(changeFailed, "");

  EXPECT_EQ(result, fs::BuildSourceError);
  ASSERT_EQ(builder.problems().size(), 1u);
  const Error& problem = builder.problems().front();
  EXPECT_EQ(problem.path, victim);
  EXPECT_TRUE(Contains(problem.message, victim.string())) << problem.message;
  EXPECT_TRUE(Contains(problem.message, GetParam().problem)) << problem.message;
  EXPECT_EQ(Snapshot(output.parent_path()), before);
}

INSTANTIATE_TEST_SUITE_P(Table, SourceChanges, ::testing::ValuesIn(kSourceChanges),
                         [](const auto& test) { return std::string(test.param.label); });

struct SpecialItem {
  const char* label;
  // Makes the item at `path` (inside the source tree at `src`); returns what went wrong, or "".
  std::function<std::string(const stdfs::path& src, const stdfs::path& path)> make;
  bool refused;  // true: the build stops; false: the item is skipped with a warning
  const char* problem;
};

const SpecialItem kSpecialItems[] = {
    {"LinkToAncestor",
     [](const stdfs::path& src, const stdfs::path& p) {
       stdfs::create_directory_symlink(src, p);
       return std::string();
     },
     true, "symbolic link cycle"},
    {"LinkLoop",
     [](const stdfs::path&, const stdfs::path& p) {
       stdfs::create_symlink(p.filename().string() + "-other", p);
       stdfs::create_symlink(p.filename(), p.string() + "-other");
       return std::string();
     },
     true, "symbolic link"},
    {"DanglingLink",
     [](const stdfs::path&, const stdfs::path& p) {
       stdfs::create_symlink("does-not-exist", p);
       return std::string();
     },
     true, "dangling symbolic link"},
    {"Fifo",
     [](const stdfs::path&, const stdfs::path& p) {
       return ::mkfifo(p.c_str(), 0644) == 0 ? std::string() : std::string("mkfifo failed");
     },
     false, "a named pipe"},
    {"LinkToFifo",
     [](const stdfs::path& src, const stdfs::path& p) {
       if (::mkfifo((src.parent_path() / "outside-fifo").c_str(), 0644) != 0) return std::string("mkfifo failed");
       stdfs::create_symlink(src.parent_path() / "outside-fifo", p);
       return std::string();
     },
     false, "a named pipe"},
    {"LinkToDevZero",
     [](const stdfs::path&, const stdfs::path& p) {
       stdfs::create_symlink("/dev/zero", p);
       return std::string();
     },
     false, "a character device"},
    {"Socket",
     [](const stdfs::path&, const stdfs::path& p) {
       int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
       sockaddr_un address{};
       address.sun_family = AF_UNIX;
       if (p.string().size() >= sizeof address.sun_path) {
         ::close(fd);
         return std::string("socket path too long");
       }
       std::snprintf(address.sun_path, sizeof address.sun_path, "%s", p.c_str());
       bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
       ::close(fd);
       return bound ? std::string() : std::string("cannot bind a socket");
     },
     false, "a socket"},
};

class SpecialItems : public ::testing::TestWithParam<SpecialItem> {};

TEST_P(SpecialItems, AreRefusedOrSkippedNeverRead) {
  Scratch scratch;
  const stdfs::path src = scratch / "src";
  Spill(src / "keep.txt", "kept");
  Spill(src / "sub/also.txt", "kept too");
  const stdfs::path item = src / "sub/odd";
  ASSERT_EQ(GetParam().make(src, item), "");
  const stdfs::path output = scratch / "out/drive.kid";
  Spill(output, "old image");

  Outcome run = Kivofs({"build", src.string(), "-o", output.string(), "--quiet"}, scratch.root(),
                       {.fileSize = std::nullopt, .seconds = 30});
  SCOPED_TRACE(run.err);
  ASSERT_FALSE(run.timedOut) << "kivofs build did not finish";
  EXPECT_TRUE(Contains(run.err, item.string())) << "the message does not name the item";
  EXPECT_TRUE(Contains(run.err, GetParam().problem));
  if (GetParam().refused) {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u);
    EXPECT_EQ(Slurp(output), "old image");
    EXPECT_EQ(Snapshot(output.parent_path()).size(), 1u) << "a temporary file was left behind";
    return;
  }
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(Contains(run.err, "warning")) << "a skipped item needs a warning";
  Outcome listed = Kivofs({"ls", "-R", output.string()}, scratch.root());
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "keep.txt\nsub/\nsub/also.txt\n");
}

INSTANTIATE_TEST_SUITE_P(Table, SpecialItems, ::testing::ValuesIn(kSpecialItems),
                         [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace kivo::hardening
