// Inputs that are no regular file, given to every command that reads one: each must stop at
// once with an error naming the path, never wait on a pipe nor read a device for ever, and
// write nothing.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/hardening/Refusal.h"

namespace kivo::test {
namespace {

const std::pair<const char*, void (*)(const stdfs::path&)> Kinds[] = {
    {"NamedPipe", [](auto& p) { ::mkfifo(p.c_str(), 0644); }},
    {"Directory", [](auto& p) { stdfs::create_directory(p); }},
    {"LinkToDevZero", [](auto& p) { stdfs::create_symlink("/dev/zero", p); }},
    {"Missing", [](const stdfs::path&) {}},
};

// @ stands for the odd input; out/ is where outputs would go.
const std::pair<const char*, std::vector<std::string>> Uses[] = {
    {"info", {"info", "@"}}, {"ls", {"ls", "-R", "@"}}, {"verify", {"verify", "@"}},
    {"extract", {"extract", "@", "out/tree"}}, {"rename", {"rename", "@", "Name"}},
    {"renameForce", {"rename", "--force", "@", "Name"}}, {"rominfo", {"rominfo", "@"}},
    {"detach", {"detach", "@", "-o", "out/drives"}},
    {"attachHost", {"attach", "@", "-o", "out/game.nds", "--drive0", "good.kid"}},
    {"attachDrive", {"attach", "host.nds", "-o", "out/game.nds", "--drive0", "@"}},
    {"buildSource", {"build", "@", "-o", "out/drive.kid", "--quiet"}},
};

class InputKinds : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

TEST_P(InputKinds, AreRefusedAtOnce) {
  const auto& [kind, make] = Kinds[std::get<0>(GetParam())];
  TempDir dir;
  make(dir / "odd");
  stdfs::create_directories(dir / "out");
  WriteFile(dir / "good.kid", std::string(9216, '\0'));
  WriteFile(dir / "host.nds", HostRom(300, 40));
  std::vector<std::string> args = Uses[std::get<1>(GetParam())].second;
  for (std::string& arg : args) arg = arg == "@" ? (dir / "odd").string() : arg;
  ExpectRefusal(Kivofs(args, {.cwd = dir.path()}), (dir / "odd").string());
  EXPECT_TRUE(stdfs::is_empty(dir / "out")) << "a refused command wrote an output";
}

INSTANTIATE_TEST_SUITE_P(Table, InputKinds,
                         ::testing::Combine(::testing::Range<std::size_t>(0, 4),
                                            ::testing::Range<std::size_t>(0, 11)),
                         [](const auto& test) {
                           return std::string(Kinds[std::get<0>(test.param)].first) + "_" +
                                  Uses[std::get<1>(test.param)].first;
                         });

}  // namespace
}  // namespace kivo::test
