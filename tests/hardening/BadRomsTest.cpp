// Broken and odd host ROMs through attach, rominfo and detach: each command finishes,
// refuses with an error naming the ROM and the problem where it cannot go on, never writes
// the block outside the host's bytes, and leaves existing outputs alone when it refuses.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/hardening/HardeningSupport.h"

namespace kivo::hardening {
namespace {

const std::string Marker = "KivoFSDrive";

// Bytes that never spell the marker.
std::string Filler(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251) % 64);
  return bytes;
}

// A prepared host: the marker, then as much of the empty 17-byte block as fits.
std::string WithMarker(std::size_t size, std::size_t at) {
  std::string bytes = Filler(size);
  bytes.replace(at, Marker.size(), Marker);
  for (std::size_t i = at + Marker.size(); i < std::min(size, at + Marker.size() + 17); ++i) {
    bytes[i] = '\0';
  }
  return bytes;
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

// A 4096-byte host with its marker at 100, then `drives` appended and the block filled.
std::string Attached(const std::vector<std::string>& drives, std::uint32_t slot1Start,
                     std::uint32_t slot1End, std::uint32_t slot2Start, std::uint32_t slot2End) {
  std::string rom = WithMarker(4096, 100);
  for (const std::string& drive : drives) rom += drive;
  Put32(rom, 111, slot1Start);
  Put32(rom, 115, slot1End);
  Put32(rom, 119, slot2Start);
  Put32(rom, 123, slot2End);
  return rom;
}

// What each command must say when it refuses ("" where it must succeed).
using Expectations = std::map<std::string, std::string>;

struct BadRom {
  const char* label;
  std::function<std::string()> make;
  Expectations expect;
};

const std::vector<BadRom>& Cases() {
  static const std::vector<BadRom> cases = {
      {"Empty", [] { return std::string(); },
       {{"attach", "none found"}, {"rominfo", "none found"}, {"detach", "none found"}}},
      {"TwelveBytes", [] { return Marker + '\0'; },
       {{"attach", "none found"}, {"rominfo", "none found"}, {"detach", "none found"}}},
      {"MarkerAtLastPossibleStart", [] { return WithMarker(300, 300 - 28); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", "no drive attached"}}},
      {"MarkerOneByteTooLate", [] { return WithMarker(300, 300 - 27); },
       {{"attach", "leaves no room"}, {"rominfo", "leaves no room"}, {"detach", "leaves no room"}}},
      {"MarkerAtTheVeryEnd", [] { return WithMarker(300, 300 - 11); },
       {{"attach", "none found"}, {"rominfo", "none found"}, {"detach", "none found"}}},
      {"MarkerInOtherCase", [] {
         std::string rom = Filler(300);
         rom.replace(10, 11, "kivofsdrive");
         return rom;
       },
       {{"attach", "none found"}, {"rominfo", "none found"}, {"detach", "none found"}}},
      {"SlotPastTheEnd", [] { return Attached({Filler(1000)}, 4096, 4096 + 5000, 0, 0); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", "points outside the file"}}},
      {"SlotEndsBeforeItStarts", [] { return Attached({Filler(1000)}, 4096, 100, 0, 0); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", "points outside the file"}}},
      {"SlotOverHugeOffsets",
       [] { return Attached({Filler(1000)}, 0xFFFFFFF0, 0xFFFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", "points outside the file"}}},
      {"SlotOverlapsTheBlock", [] { return Attached({Filler(1000)}, 50, 4096 + 999, 0, 0); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", "overlaps the host ROM's parameter block"}}},
      {"SlotsOverlapEachOther",
       [] { return Attached({Filler(1000)}, 4096, 4096 + 999, 4096 + 500, 4096 + 999); },
       {{"attach", ""}, {"rominfo", ""}, {"detach", ""}}},
  };
  return cases;
}

class BadRoms : public ::testing::TestWithParam<BadRom> {};

TEST_P(BadRoms, EveryCommandFinishesAndRefusesClearly) {
  Scratch scratch;
  const stdfs::path rom = scratch / "game.nds";
  const std::string bytes = GetParam().make();
  Spill(rom, bytes);
  const stdfs::path drive = scratch / "drive.kid";
  Spill(drive, Filler(1536));
  const stdfs::path out = scratch / "out";
  Spill(out / "new.nds", "old output");
  Spill(out / "drives/drive0.kid", "old drive");

  const std::map<std::string, std::vector<std::string>> commands = {
      {"attach", {"attach", rom.string(), "-o", (out / "new.nds").string(), "--drive0", drive.string()}},
      {"rominfo", {"rominfo", rom.string()}},
      {"detach", {"detach", rom.string(), "-o", (out / "drives").string()}},
  };
  for (const auto& [name, args] : commands) {
    SCOPED_TRACE(name);
    const auto before = Snapshot(out);
    Outcome run = Kivofs(args, scratch.root(), {.fileSize = std::nullopt, .seconds = 30});
    SCOPED_TRACE(run.err);
    ASSERT_FALSE(run.timedOut);
    const std::string& refusal = GetParam().expect.at(name);
    if (refusal.empty()) {
      EXPECT_EQ(run.exitCode, 0);
      continue;
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("kivofs: error: ", 0), 0u);
    EXPECT_TRUE(Contains(run.err, rom.string())) << "the error does not name the ROM";
    EXPECT_TRUE(Contains(run.err, refusal)) << "the error does not say: " << refusal;
    EXPECT_EQ(Snapshot(out), before) << "a refused command changed an output";
  }
  EXPECT_EQ(Slurp(rom), bytes) << "the ROM itself changed";
}

INSTANTIATE_TEST_SUITE_P(Table, BadRoms, ::testing::ValuesIn(Cases()),
                         [](const auto& test) { return std::string(test.param.label); });

class RomEdges : public ::testing::Test {
 protected:
  Outcome Attach(const std::string& host, std::vector<std::string> extra = {}) {
    Spill(scratch_ / "host.nds", host);
    Spill(scratch_ / "drive.kid", Filler(600));
    std::vector<std::string> args = {"attach", (scratch_ / "host.nds").string(), "-o",
                                     (scratch_ / "out.nds").string(), "--drive0",
                                     (scratch_ / "drive.kid").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Kivofs(args, scratch_.root());
  }
  Scratch scratch_;
};

TEST_F(RomEdges, MarkerAtTheLastPossibleStartFillsTheLastSeventeenBytes) {
  std::string host = WithMarker(300, 272);
  Outcome run = Attach(host, {"--saveflash"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string out = Slurp(scratch_ / "out.nds");
  ASSERT_EQ(out.size(), 900u);
  EXPECT_EQ(out.substr(0, 283), host.substr(0, 283));
  EXPECT_EQ(out.substr(283, 17), std::string("\x2c\x01\0\0\x83\x03\0\0\0\0\0\0\0\0\0\0\x01", 17));
  EXPECT_EQ(out.substr(300), Filler(600));
}

TEST_F(RomEdges, OnlyTheFirstOfTwoMarkersGetsTheBlock) {
  std::string host = WithMarker(400, 20);
  host.replace(200, 11, Marker);
  Outcome run = Attach(host);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string out = Slurp(scratch_ / "out.nds");
  EXPECT_EQ(out.substr(31, 4), std::string("\x90\x01\0\0", 4));
  EXPECT_EQ(out.substr(48, 400 - 48), host.substr(48)) << "the second marker's bytes changed";
}

TEST_F(RomEdges, ReattachWarnsAndKeepsTheOldDrivesUnlessReplacing) {
  ASSERT_EQ(Attach(WithMarker(300, 20)).exitCode, 0);
  std::string once = Slurp(scratch_ / "out.nds");
  ASSERT_EQ(once.size(), 900u);

  Spill(scratch_ / "once.nds", once);
  Outcome again = Kivofs({"attach", (scratch_ / "once.nds").string(), "-o",
                          (scratch_ / "twice.nds").string(), "--drive0",
                          (scratch_ / "drive.kid").string()},
                         scratch_.root());
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(Contains(again.err, "already filled")) << again.err;
  EXPECT_EQ(stdfs::file_size(scratch_ / "twice.nds"), 1500u);

  Outcome replaced = Kivofs({"attach", (scratch_ / "once.nds").string(), "-o",
                             (scratch_ / "replaced.nds").string(), "--drive0",
                             (scratch_ / "drive.kid").string(), "--replace"},
                            scratch_.root());
  ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_EQ(Slurp(scratch_ / "replaced.nds"), once) << "replacing must give the first result again";
}

}  // namespace
}  // namespace kivo::hardening
