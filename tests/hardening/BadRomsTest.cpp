// Broken and odd ROMs through attach, rominfo and detach: each command finishes, refuses
// with an error naming the ROM and the problem where it cannot go on, never writes the
// block outside the host's bytes, and leaves existing outputs alone when it refuses.
#include <array>
#include <string>

#include <gtest/gtest.h>

#include "romattach/RomAttach.h"

#include "tests/hardening/Refusal.h"

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
  std::string bytes;
  std::array<const char*, 3> refusals;  // attach, rominfo, detach; nullptr where they succeed
};

// Where markers are found is the marker search's own test; here, what each command makes of
// a marker too late for its block and of slots that point anywhere.
const BadRom Cases[] = {
    {"Empty", "", {None, None, None}},
    {"MarkerAtTheLastPossibleStart", HostRom(300, 272), {nullptr, nullptr, "no drive attached"}},
    {"MarkerOneByteTooLate", HostRom(300, 273), {NoRoom, NoRoom, NoRoom}},
    {"SlotPastTheEnd", Attached({4096, 4096 + 5000}), {nullptr, nullptr, Outside}},
    {"SlotsOverHugeOffsets", Attached({0xFFFFFFF0, 0xFFFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF}),
     {nullptr, nullptr, Outside}},
    {"SecondSlotOutside", Attached({4096, 4100, 5000, 90000}),
     {nullptr, nullptr, "slot 2 (5000 to 90000)"}},
    {"SlotOverlapsTheBlock", Attached({50, 5095}), {nullptr, nullptr, OverBlock}},
    // The block ends at 128: a slot may start there, not a byte before.
    {"SlotStartsInTheBlocksLastByte", Attached({127, 5095}), {nullptr, nullptr, OverBlock}},
    {"SlotStartsRightAfterTheBlock", Attached({128, 5095}), {nullptr, nullptr, nullptr}},
    {"SlotsOverlapEachOther", Attached({4096, 5095, 4596, 5095}), {nullptr, nullptr, nullptr}},
};

class BadRoms : public ::testing::TestWithParam<BadRom> {};

TEST_P(BadRoms, EveryCommandFinishesAndRefusesClearly) {
  TempDir dir;
  const std::string rom = (dir / "game.nds").string();
  const std::string& bytes = GetParam().bytes;
  WriteFile(rom, bytes);
  WriteFile(dir / "drive.kid", Filler(1536));
  WriteFile(dir / "out/new.nds", "old output");
  WriteFile(dir / "out/drives/drive0.kid", "old drive");
  const std::string output = (dir / "out/new.nds").string(), drives = (dir / "out/drives").string();
  const std::vector<std::string> commands[] = {
      {"attach", rom, "-o", output, "--drive0", (dir / "drive.kid").string()},
      {"rominfo", rom},
      {"detach", rom, "-o", drives}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto before = Snapshot(dir / "out");
    Outcome run = Kivofs(commands[i]);
    SCOPED_TRACE(commands[i][0] + ": " + run.err);
    if (const char* refusal = GetParam().refusals[i]) {
      ExpectRefusal(run, rom, refusal);
      EXPECT_EQ(Snapshot(dir / "out"), before) << "a refused command changed an output";
    } else {
      EXPECT_EQ(run.exitCode, 0);
    }
  }
  EXPECT_EQ(ReadFile(rom), bytes) << "the ROM itself changed";
}

INSTANTIATE_TEST_SUITE_P(Table, BadRoms, ::testing::ValuesIn(Cases), ByLabel);

}  // namespace
}  // namespace kivo::test
