// Broken and odd ROMs through attach, rominfo and detach: each command finishes, refuses
// with an error naming the ROM and the problem where it cannot go on, never writes the
// block outside the host's bytes, and leaves existing outputs alone when it refuses.
#include <array>
#include <functional>

#include <gtest/gtest.h>

#include "romattach/RomAttach.h"

#include "tests/support/Support.h"

namespace kivo::test {
namespace {

// The 4096-byte host with its marker at 100, then a 1000-byte drive, and the block set so.
std::string Attached(const rom::ParamBlock& values) {
  const rom::BlockBytes block = rom::EncodeParamBlock(values);
  std::string rom = HostRom(4096, 100) + Filler(1000, 2);
  return rom.replace(111, 17, reinterpret_cast<const char*>(block.data()), block.size());
}

const char* const None = "none found";
const char* const NoRoom = "leaves no room";
const char* const Outside = "points outside the file";
const char* const OverBlock = "overlaps the host ROM's parameter block";

struct BadRom {
  const char* label;
  std::function<std::string()> make;
  std::array<const char*, 3> refusals;  // attach, rominfo, detach; nullptr where they succeed
};

const BadRom Cases[] = {
    {"Empty", [] { return std::string(); }, {None, None, None}},
    {"TwelveBytes", [] { return "KivoFSDrive" + std::string(1, '\0'); }, {None, None, None}},
    {"MarkerAtTheLastPossibleStart", [] { return HostRom(300, 300 - 28); },
     {nullptr, nullptr, "no drive attached"}},
    {"MarkerOneByteTooLate", [] { return HostRom(300, 300 - 27); }, {NoRoom, NoRoom, NoRoom}},
    {"MarkerAtTheVeryEnd", [] { return HostRom(300, 300 - 11); }, {None, None, None}},
    {"MarkerInOtherCase", [] { return Filler(300).replace(10, 11, "kivofsdrive"); },
     {None, None, None}},
    {"SlotPastTheEnd", [] { return Attached({4096, 4096 + 5000}); }, {nullptr, nullptr, Outside}},
    {"SlotsOverHugeOffsets",
     [] { return Attached({0xFFFFFFF0, 0xFFFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF}); },
     {nullptr, nullptr, Outside}},
    {"SecondSlotOutside", [] { return Attached({4096, 4100, 5000, 90000}); },
     {nullptr, nullptr, "slot 2 (5000 to 90000)"}},
    {"SlotOverlapsTheBlock", [] { return Attached({50, 5095}); }, {nullptr, nullptr, OverBlock}},
    // The block ends at 128: a slot may start there, not a byte before.
    {"SlotStartsInTheBlocksLastByte", [] { return Attached({127, 5095}); },
     {nullptr, nullptr, OverBlock}},
    {"SlotStartsRightAfterTheBlock", [] { return Attached({128, 5095}); },
     {nullptr, nullptr, nullptr}},
    {"SlotsOverlapEachOther", [] { return Attached({4096, 5095, 4596, 5095}); },
     {nullptr, nullptr, nullptr}},
};

class BadRoms : public ::testing::TestWithParam<BadRom> {};

TEST_P(BadRoms, EveryCommandFinishesAndRefusesClearly) {
  TempDir dir;
  const std::string rom = (dir / "game.nds").string();
  const std::string bytes = GetParam().make();
  WriteFile(rom, bytes);
  WriteFile(dir / "drive.kid", Filler(1536));
  WriteFile(dir / "out/new.nds", "old output");
  WriteFile(dir / "out/drives/drive0.kid", "old drive");
  const std::vector<std::string> commands[] = {
      {"attach", rom, "-o", (dir / "out/new.nds").string(), "--drive0",
       (dir / "drive.kid").string()},
      {"rominfo", rom},
      {"detach", rom, "-o", (dir / "out/drives").string()}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto before = Snapshot(dir / "out");
    RunOptions options;
    options.seconds = 30;
    Outcome run = Kivofs(commands[i], options);
    SCOPED_TRACE(commands[i][0] + ": " + run.err);
    ASSERT_FALSE(run.timedOut);
    const char* refusal = GetParam().refusals[i];
    EXPECT_EQ(run.exitCode, refusal ? 1 : 0);
    if (!refusal) continue;
    EXPECT_TRUE(run.err.starts_with("kivofs: error: "));
    EXPECT_NE(run.err.find(rom), std::string::npos) << "the ROM is not named";
    EXPECT_NE(run.err.find(refusal), std::string::npos) << "not said: " << refusal;
    EXPECT_EQ(Snapshot(dir / "out"), before) << "a refused command changed an output";
  }
  EXPECT_EQ(ReadFile(rom), bytes) << "the ROM itself changed";
}

INSTANTIATE_TEST_SUITE_P(Table, BadRoms, ::testing::ValuesIn(Cases),
                         [](const auto& test) { return test.param.label; });

}  // namespace
}  // namespace kivo::test
