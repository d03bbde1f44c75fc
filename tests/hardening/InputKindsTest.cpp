// Inputs that are not regular files (a named pipe nobody writes to, a directory, a link to
// a device, a missing path) given to every command that reads one: each must finish at
// once with an error naming the path, never wait on the pipe or read the device for ever.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/hardening/HardeningSupport.h"

namespace kivo::hardening {
namespace {

struct InputKind {
  const char* label;
  std::function<void(const stdfs::path&)> make;
};

const InputKind kKinds[] = {
    {"NamedPipe", [](const stdfs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
    {"Directory", [](const stdfs::path& p) { stdfs::create_directory(p); }},
    {"LinkToDevZero", [](const stdfs::path& p) { stdfs::create_symlink("/dev/zero", p); }},
    {"Missing", [](const stdfs::path&) {}},
};

// {command line with @ for the odd input, where the odd input stands}
struct Use {
  const char* label;
  std::vector<std::string> args;
};

const std::vector<Use>& Uses() {
  static const std::vector<Use> uses = {
      {"info", {"info", "@"}},
      {"ls", {"ls", "-R", "@"}},
      {"verify", {"verify", "@"}},
      {"extract", {"extract", "@", "OUT/tree"}},
      {"rename", {"rename", "@", "Name"}},
      {"renameForce", {"rename", "--force", "@", "Name"}},
      {"rominfo", {"rominfo", "@"}},
      {"detach", {"detach", "@", "-o", "OUT/drives"}},
      {"attachHost", {"attach", "@", "-o", "OUT/game.nds", "--drive0", "GOOD"}},
      {"attachDrive", {"attach", "HOST", "-o", "OUT/game.nds", "--drive0", "@"}},
      {"buildSource", {"build", "@", "-o", "OUT/drive.kid", "--quiet"}},
  };
  return uses;
}

using Case = std::tuple<InputKind, std::size_t>;

class InputKinds : public ::testing::TestWithParam<Case> {};

TEST_P(InputKinds, AreRefusedAtOnce) {
  const InputKind& kind = std::get<0>(GetParam());
  const Use& use = Uses()[std::get<1>(GetParam())];
  Scratch scratch;
  const stdfs::path odd = scratch / "odd";
  kind.make(odd);
  const stdfs::path out = scratch / "out";
  stdfs::create_directories(out);
  Spill(scratch / "good.kid", std::string(9216, '\0'));
  std::string host(300, 'h');
  host.replace(40, 11, "KivoFSDrive");
  Spill(scratch / "host.nds", host);

  std::vector<std::string> args;
  for (const std::string& arg : use.args) {
    if (arg == "@") {
      args.push_back(odd.string());
    } else if (arg.rfind("OUT/", 0) == 0) {
      args.push_back((out / arg.substr(4)).string());
    } else if (arg == "GOOD") {
      args.push_back((scratch / "good.kid").string());
    } else if (arg == "HOST") {
      args.push_back((scratch / "host.nds").string());
    } else {
      args.push_back(arg);
    }
  }
  Outcome run = Kivofs(args, scratch.root(), {.fileSize = std::nullopt, .seconds = 20});
  SCOPED_TRACE(run.err);
  ASSERT_FALSE(run.timedOut) << "the command waited on its input";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u);
  EXPECT_TRUE(Contains(run.err, odd.string())) << "the error does not name the input";
  EXPECT_TRUE(stdfs::is_empty(out)) << "a refused command wrote an output";
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputKinds,
    ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::Range<std::size_t>(0, 11)),
    [](const ::testing::TestParamInfo<Case>& test) {
      return std::string(std::get<0>(test.param).label) + "_" +
             Uses()[std::get<1>(test.param)].label;
    });

}  // namespace
}  // namespace kivo::hardening
