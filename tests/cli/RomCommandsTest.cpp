// Runs the real kivofs for attach, rominfo and detach.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "romattach/RomAttach.h"
#include "tests/romattach/RomTestFiles.h"

namespace kivo::rom {
namespace {

using test::Bytes;

struct CommandRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class RomCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = test::HostWithMarker(4096, 100);
    std::fill_n(host_.begin() + 111, 17, std::byte{0});  // a freshly prepared host
    drive0_ = test::DriveImage(3, 7);
    drive1_ = test::DriveImage(1, 9);
    test::WriteFile(dir_ / "host.nds", host_);
    test::WriteFile(dir_ / "a.kid", drive0_);
    test::WriteFile(dir_ / "b.kid", drive1_);
    test::WriteFile(dir_ / "plain.nds", test::Filler(4096, 2));
    test::WriteFile(dir_ / "short.nds", test::HostWithMarker(300, 20));
    test::WriteFile(dir_ / "overlap.nds", test::HostWithMarker(4096, 0x70));
  }

  CommandRun Kivofs(const std::vector<std::string>& args) {
    std::string command = "cd ";
    command += ShellQuote(dir_.path().string());
    command += " && ";
    command += ShellQuote(KIVOFS_BIN);
    for (const std::string& arg : args) {
      command += ' ';
      command += ShellQuote(arg);
    }
    command += " >";
    command += ShellQuote((dir_ / ".stdout").string());
    command += " 2>";
    command += ShellQuote((dir_ / ".stderr").string());
    command += " </dev/null";
    int status = std::system(command.c_str());
    CommandRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Slurp(dir_ / ".stdout");
    run.err = Slurp(dir_ / ".stderr");
    std::filesystem::remove(dir_ / ".stdout");
    std::filesystem::remove(dir_ / ".stderr");
    return run;
  }

  test::TempDir dir_;
  Bytes host_, drive0_, drive1_;
};

TEST_F(RomCommandsTest, AttachRomInfoDetachRoundTrip) {
  CommandRun attach = Kivofs({"attach", "host.nds", "-o", "game_fs.nds", "--drive0", "a.kid",
                       "--drive1", "b.kid", "--saveflash"});
  ASSERT_EQ(attach.exitCode, 0) << attach.err;
  EXPECT_EQ(attach.err, "");
  const std::size_t size0 = drive0_.size(), size1 = drive1_.size();
  EXPECT_NE(attach.out.find("slot 1: 4096 to " + std::to_string(4096 + size0 - 1)),
            std::string::npos)
      << attach.out;
  EXPECT_EQ(std::filesystem::file_size(dir_ / "game_fs.nds"), 4096 + size0 + size1);

  CommandRun info = Kivofs({"rominfo", "game_fs.nds"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  const std::string expectedLines[] = {
      "marker:       100\n",
      "block:        111\n",
      "slot 1 start: 4096\n",
      "slot 1 end:   " + std::to_string(4096 + size0 - 1) + "\n",
      "slot 2 start: " + std::to_string(4096 + size0) + "\n",
      "slot 2 end:   " + std::to_string(4096 + size0 + size1 - 1) + "\n",
      "saveflash:    1\n",
      "  name:         Test Drive 7\n",
      "  name:         Test Drive 9\n",
      "  size:         " + std::to_string(size0) + " bytes\n",
      "  version:      1.00\n",
  };
  for (const std::string& line : expectedLines) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << "in:\n" << info.out;
  }

  CommandRun detach = Kivofs({"detach", "game_fs.nds", "-o", "drives", "--rom", "again.nds"});
  ASSERT_EQ(detach.exitCode, 0) << detach.err;
  EXPECT_EQ(test::ReadFile(dir_ / "drives" / "drive0.kid"), drive0_);
  EXPECT_EQ(test::ReadFile(dir_ / "drives" / "drive1.kid"), drive1_);
  EXPECT_EQ(test::ReadFile(dir_ / "again.nds"), host_);
}

TEST_F(RomCommandsTest, WarnsOnAFilledHostAndReplaceDropsTheOldDrives) {
  ASSERT_EQ(Kivofs({"attach", "host.nds", "-o", "one.nds", "--drive0", "a.kid"}).exitCode, 0);
  ASSERT_EQ(Kivofs({"attach", "host.nds", "-o", "fresh.nds", "--drive0", "b.kid"}).exitCode, 0);

  CommandRun carried = Kivofs({"attach", "one.nds", "-o", "two.nds", "--drive0", "b.kid"});
  ASSERT_EQ(carried.exitCode, 0) << carried.err;
  EXPECT_NE(carried.err.find("kivofs: warning: "), std::string::npos);
  EXPECT_NE(carried.err.find("'one.nds'"), std::string::npos) << carried.err;
  EXPECT_EQ(std::filesystem::file_size(dir_ / "two.nds"), 4096 + drive0_.size() + drive1_.size());

  CommandRun replaced = Kivofs({"attach", "one.nds", "-o", "one.nds", "--drive0", "b.kid", "--replace"});
  ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
  EXPECT_EQ(replaced.err, "");
  EXPECT_EQ(test::ReadFile(dir_ / "one.nds"), test::ReadFile(dir_ / "fresh.nds"));
}

TEST_F(RomCommandsTest, PadPow2) {
  CommandRun run = Kivofs({"attach", "host.nds", "-o", "padded.nds", "--drive1", "a.kid", "--pad-pow2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Bytes out = test::ReadFile(dir_ / "padded.nds");
  ASSERT_EQ(out.size(), 16384u);
  EXPECT_EQ(test::Slice(out, 4096, drive0_.size()), drive0_);
  EXPECT_EQ(out.back(), std::byte{0xFF});
}

// The NDS header CRC, bit by bit.
std::uint16_t Crc16(const Bytes& bytes, std::size_t length) {
  unsigned crc = 0xFFFF;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= std::to_integer<unsigned>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

TEST_F(RomCommandsTest, NdsHeaderKeepsTheDrivesFromATrimmer) {
  StoreLE32(host_, 0x80, 4096);  // the used size names the host's end
  test::WriteFile(dir_ / "game.nds", host_);
  ASSERT_EQ(Kivofs({"attach", "game.nds", "-o", "cut.nds", "--drive0", "a.kid", "--depfile",
                    "cut.d"}).exitCode, 0);
  EXPECT_EQ(Slurp(dir_ / "cut.d"), "cut.nds: \\\n game.nds \\\n a.kid\ngame.nds:\na.kid:\n");
  std::string end = std::to_string(4096 + drive0_.size());
  EXPECT_NE(Kivofs({"rominfo", "cut.nds"}).err.find("is 4096 bytes, but the drives end at " + end +
                                                    ": a ROM trimmer would cut them off"),
            std::string::npos);

  CommandRun kept = Kivofs({"attach", "game.nds", "-o", "kept.nds", "--drive0", "a.kid", "--nds-header"});
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  Bytes expected = test::ReadFile(dir_ / "cut.nds");
  StoreLE32(expected, 0x80, static_cast<std::uint32_t>(expected.size()));
  StoreLE16(expected, 0x15E, Crc16(expected, 0x15E));
  EXPECT_EQ(test::ReadFile(dir_ / "kept.nds"), expected);
  CommandRun after = Kivofs({"rominfo", "kept.nds"});
  EXPECT_EQ(after.err, "");
  EXPECT_NE(after.out.find("NDS used size: " + end), std::string::npos);
}

// Sparse ROMs: only the host's bytes are written.
TEST_F(RomCommandsTest, GbaWindowEndsAtThirtyTwoMiB) {
  for (auto last : {std::uint32_t{GbaWindowSize - 1}, std::uint32_t{GbaWindowSize}}) {
    BlockBytes block = EncodeParamBlock({last - 1000, last, 0, 0, 0});
    std::copy(block.begin(), block.end(), host_.begin() + 111);
    test::WriteFile(dir_ / "edge.gba", host_);
    std::filesystem::resize_file(dir_ / "edge.gba", last + 1);
    std::string err = Kivofs({"rominfo", "edge.gba"}).err;
    EXPECT_EQ(err.find("slot 1 (bytes " + std::to_string(last - 1000) + " to " +
                       std::to_string(last) + ") passes the 32 MiB") != std::string::npos,
              last == GbaWindowSize)
        << err;
  }
  test::WriteFile(dir_ / "big.gba", test::HostWithMarker(4096, 100));
  std::filesystem::resize_file(dir_ / "big.gba", GbaWindowSize + 1 - drive0_.size());
  CommandRun attach = Kivofs({"attach", "big.gba", "-o", "out.GBA", "--drive0", "a.kid"});
  EXPECT_EQ(attach.exitCode, 0);
  EXPECT_NE(attach.err.find("drive 0 ('a.kid', slot 1, bytes "), std::string::npos) << attach.err;
  EXPECT_NE(attach.err.find(" to 33554432) passes the 32 MiB"), std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(dir_ / "out.GBA"), GbaWindowSize + 1);
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* stderrPart;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class RomCommandsErrors : public RomCommandsTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(RomCommandsErrors, ExitCodeAndMessage) {
  const ErrorCase& c = GetParam();
  CommandRun run = Kivofs(c.args);
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  EXPECT_NE(run.err.find(c.stderrPart), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.nds"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RomCommandsErrors,
    testing::Values(
        ErrorCase{"AttachWithoutDrive", {"attach", "host.nds", "-o", "out.nds"}, 2,
                  "kivofs: error: give --drive0, --drive1 or both"},
        ErrorCase{"AttachWithoutOutput", {"attach", "host.nds", "--drive0", "a.kid"}, 2,
                  "kivofs: error: "},
        ErrorCase{"AttachUnknownOption",
                  {"attach", "host.nds", "-o", "out.nds", "--drive0", "a.kid", "--bogus"}, 2,
                  "kivofs: error: "},
        ErrorCase{"AttachMissingHost", {"attach", "nope.nds", "-o", "out.nds", "--drive0", "a.kid"},
                  1, "kivofs: error: 'nope.nds'"},
        ErrorCase{"AttachMissingDrive",
                  {"attach", "host.nds", "-o", "out.nds", "--drive1", "nope.kid"}, 1, "nope.kid"},
        ErrorCase{"AttachHostWithoutMarker",
                  {"attach", "plain.nds", "-o", "out.nds", "--drive0", "a.kid"}, 1,
                  "kivofs: error: no usable KivoFSDrive marker in 'plain.nds'"},
        ErrorCase{"RomInfoWithoutMarker", {"rominfo", "plain.nds"}, 1,
                  "no usable KivoFSDrive marker in 'plain.nds'"},
        ErrorCase{"RomInfoMissing", {"rominfo", "nope.nds"}, 1, "cannot open 'nope.nds'"},
        ErrorCase{"RomInfoWithoutArgument", {"rominfo"}, 2, "kivofs: error: "},
        ErrorCase{"DetachFreshHost", {"detach", "host.nds", "-o", "drives"}, 1,
                  "no drive attached in 'host.nds'"},
        ErrorCase{"DetachWithoutDirectory", {"detach", "host.nds"}, 2, "kivofs: error: "},
        ErrorCase{"NdsHeaderShortHost",
                  {"attach", "short.nds", "-o", "out.nds", "--drive0", "a.kid", "--nds-header"}, 1,
                  "cannot update the NDS header of 'short.nds': the host ROM has 300 bytes"},
        ErrorCase{"NdsHeaderUnderTheBlock",
                  {"attach", "overlap.nds", "-o", "out.nds", "--drive0", "a.kid", "--nds-header"},
                  1, "the parameter block at 123 overlaps the header's used size"},
        ErrorCase{"DepFileUnreadableName",
                  {"attach", "host.nds", "-o", "out.nds", "--drive0", "k=v.kid", "--depfile", "d"},
                  1, "cannot write the dependency file 'd': make cannot read the name 'k=v.kid'"}),
    [](const testing::TestParamInfo<ErrorCase>& caseInfo) { return caseInfo.param.name; });

}  // namespace
}  // namespace kivo::rom
