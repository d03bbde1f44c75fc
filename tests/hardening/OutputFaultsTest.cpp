// Every command that writes, against every way the output can fail: each must exit 1 with
// an error naming the output and the problem, and leave every existing output file byte
// for byte as it was, with no temporary file left behind.
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/hardening/HardeningSupport.h"

namespace kivo::hardening {
namespace {

// Inputs made once per test with the real program: a source tree with a file larger than
// the file-size limit below, its image, a host ROM and that ROM with the image attached.
struct Inputs {
  stdfs::path src, image, host, rom;
};

struct Writer {
  const char* label;
  // Existing outputs in `out` that a failed run must leave alone.
  std::function<void(const stdfs::path& out, const Inputs&)> existing;
  // The command line writing into `target` (the output directory, or a path through a
  // non-directory).
  std::function<std::vector<std::string>(const stdfs::path& target, const Inputs&)> args;
  bool growsFiles = true;  // false: rewrites bytes in place (a limit on size cannot stop it)
  // Extraction writes file by file, each to a temporary name renamed into place: files
  // finished before the failure stay, complete, but none is ever partly written.
  bool keepsFinishedFiles = false;
};

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"build",
       [](const stdfs::path& out, const Inputs&) { Spill(out / "drive.kid", "old image"); },
       [](const stdfs::path& t, const Inputs& in) {
         return std::vector<std::string>{"build", in.src.string(), "-o", (t / "drive.kid").string(),
                                         "--quiet"};
       }},
      {"attach",
       [](const stdfs::path& out, const Inputs&) { Spill(out / "game.nds", "old rom"); },
       [](const stdfs::path& t, const Inputs& in) {
         return std::vector<std::string>{"attach", in.host.string(), "-o",
                                         (t / "game.nds").string(), "--drive0", in.image.string()};
       }},
      {"detach",
       [](const stdfs::path& out, const Inputs&) {
         Spill(out / "drives/drive0.kid", "old drive");
         Spill(out / "host.nds", "old host");
       },
       [](const stdfs::path& t, const Inputs& in) {
         return std::vector<std::string>{"detach", in.rom.string(), "-o", (t / "drives").string(),
                                         "--rom", (t / "host.nds").string()};
       }},
      {"extract",
       [](const stdfs::path& out, const Inputs&) { Spill(out / "tree/big.bin", "old contents"); },
       [](const stdfs::path& t, const Inputs& in) {
         return std::vector<std::string>{"extract", in.image.string(), (t / "tree").string()};
       },
       true, true},
      {"rename",
       [](const stdfs::path& out, const Inputs& in) { stdfs::copy_file(in.image, out / "drive.kid"); },
       [](const stdfs::path& t, const Inputs&) {
         return std::vector<std::string>{"rename", (t / "drive.kid").string(), "New Name"};
       },
       false},
  };
  return writers;
}

enum class Fault { ReadOnlyFileSystem, ReadOnlyFile, FileSizeLimit, FileSystemFull, NotADirectory };

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::ReadOnlyFileSystem: return "ReadOnlyFileSystem";
    case Fault::ReadOnlyFile: return "ReadOnlyFile";
    case Fault::FileSizeLimit: return "FileSizeLimit";
    case Fault::FileSystemFull: return "FileSystemFull";
    case Fault::NotADirectory: return "NotADirectory";
  }
  return "?";
}

constexpr std::uint64_t SizeLimit = 4096;

using Case = std::tuple<std::size_t, Fault>;

class OutputFaults : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    inputs_.src = scratch_ / "in/src";
    Spill(inputs_.src / "readme.txt", "A small tree.\n");
    std::string big(3 * SizeLimit, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    Spill(inputs_.src / "big.bin", big);
    inputs_.image = scratch_ / "in/image.kid";
    inputs_.host = scratch_ / "in/host.nds";
    inputs_.rom = scratch_ / "in/game.nds";
    std::string host(300, 'h');
    host.replace(40, 11, "KivoFSDrive");
    Spill(inputs_.host, host);
    Outcome built = Kivofs({"build", inputs_.src.string(), "-o", inputs_.image.string(), "--quiet"},
                           scratch_.root());
    ASSERT_EQ(built.exitCode, 0) << built.err;
    Outcome attached = Kivofs({"attach", inputs_.host.string(), "-o", inputs_.rom.string(),
                               "--drive0", inputs_.image.string()},
                              scratch_.root());
    ASSERT_EQ(attached.exitCode, 0) << attached.err;
  }

  Scratch scratch_;
  Inputs inputs_;
};

TEST_P(OutputFaults, FailCleanlyAndKeepExistingOutputs) {
  const Writer& writer = Writers()[std::get<0>(GetParam())];
  const Fault fault = std::get<1>(GetParam());
  const stdfs::path out = scratch_ / "out";
  stdfs::path target = out;
  RunLimits limits;
  std::string problem;

  switch (fault) {
    case Fault::ReadOnlyFileSystem:
      ASSERT_TRUE(scratch_.MountTmpfs(out, 1 << 20)) << "mounting a tmpfs needs root";
      writer.existing(out, inputs_);
      ASSERT_TRUE(Scratch::RemountReadOnly(out));
      problem = "Read-only file system";
      break;
    case Fault::ReadOnlyFile:
      // An ordinary user's own outputs, made read-only: replacing them would bypass the mode.
      stdfs::create_directories(out);
      writer.existing(out, inputs_);
      testfiles::GiveToOrdinaryUser(out);
      for (const auto& entry : stdfs::recursive_directory_iterator(out)) {
        if (entry.is_regular_file()) {
          stdfs::permissions(entry.path(), stdfs::perms::owner_read | stdfs::perms::group_read |
                                               stdfs::perms::others_read);
        }
      }
      limits.ordinaryUser = true;
      problem = "Permission denied";
      break;
    case Fault::FileSizeLimit:
      stdfs::create_directories(out);
      writer.existing(out, inputs_);
      limits.fileSize = SizeLimit;
      problem = "File too large";
      break;
    case Fault::FileSystemFull: {
      ASSERT_TRUE(scratch_.MountTmpfs(out, 256 << 10)) << "mounting a tmpfs needs root";
      writer.existing(out, inputs_);
      // Fill what is left, so the first new block the command needs is refused.
      std::ofstream ballast(out / "ballast", std::ios::binary);
      std::string chunk(4096, 'b');
      while (ballast.write(chunk.data(), static_cast<std::streamsize>(chunk.size()))) ballast.flush();
      problem = "No space left on device";
      break;
    }
    case Fault::NotADirectory:
      stdfs::create_directories(out);
      writer.existing(out, inputs_);
      Spill(out / "blocker", "a plain file where a directory should be");
      target = out / "blocker";
      problem = "Not a directory";
      break;
  }

  const auto before = Snapshot(out);
  Outcome run = Kivofs(writer.args(target, inputs_), scratch_.root(), limits);
  SCOPED_TRACE(run.err);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u);
  EXPECT_TRUE(Contains(run.err, target.string())) << "the error does not name the output";
  EXPECT_TRUE(Contains(run.err, problem)) << "the error does not say: " << problem;
  const auto after = Snapshot(out);
  if (!writer.keepsFinishedFiles) {
    EXPECT_EQ(after, before) << "an existing output changed or a file was left behind";
    return;
  }
  for (const auto& [path, contents] : before) {
    auto now = after.find(path);
    EXPECT_TRUE(now != after.end() && now->second == contents) << path << " changed";
  }
  for (const auto& [path, contents] : after) {
    if (before.count(path)) continue;
    EXPECT_EQ(path.find(".tmp"), std::string::npos) << "a temporary file was left: " << path;
    if (contents != "/") {
      auto extracted = Slurp(inputs_.src / stdfs::path(path).filename());
      EXPECT_EQ(contents, extracted) << path << " was left partly written";
    }
  }
}

// Every writer against every fault, except that a command rewriting bytes in place (rename)
// needs no new space, so neither a size limit nor a full disk can stop it.
std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (std::size_t writer = 0; writer < Writers().size(); ++writer) {
    for (Fault fault : {Fault::ReadOnlyFileSystem, Fault::ReadOnlyFile, Fault::FileSizeLimit,
                        Fault::FileSystemFull, Fault::NotADirectory}) {
      bool needsSpace = fault == Fault::FileSizeLimit || fault == Fault::FileSystemFull;
      if (needsSpace && !Writers()[writer].growsFiles) continue;
      cases.emplace_back(writer, fault);
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, OutputFaults, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& test) {
                           return std::string(Writers()[std::get<0>(test.param)].label) + "_" +
                                  FaultName(std::get<1>(test.param));
                         });

}  // namespace
}  // namespace kivo::hardening
