// The DS media: the card-bus medium against a simulated card (its registers behave as a DS
// cartridge's: reads below 0x8000 come from 0x8000 + (offset & 0x1FF), a block wraps inside
// its 4 KiB page), and kfs_mount_ds choosing it or the ROM's file on ROMs that `attach` made,
// reading both slots at their offsets.
#include <cstring>

#include <gtest/gtest.h>

#include "reader/ds/kfs_ds.h"
#include "romattach/AttachDrives.h"
#include "tests/fsimage/Fixture.h"
#include "tests/reader/ReaderWalk.h"
#include "tests/support/Assert.h"

namespace kivo::test {
namespace {

using namespace readertest;

// A DS cartridge behind its registers. Each command must read (0xB7) a block of 0x200 to
// 0x1000 bytes that starts aligned to its size, so inside a 4 KiB page, with the ARM9 owning
// the bus, the slot on, and ROMCTRL holding start, reset released and the header's value
// (0x00586000 in these tests).
struct SimulatedCard;
SimulatedCard* card = nullptr;

struct SimulatedCard {
  SimulatedCard() { card = this; }
  ~SimulatedCard() { card = nullptr; }
  std::string rom;
  std::uint16_t exmemcnt = 0x0800;  // the ARM7 owns the bus until the ARM9 takes it
  std::uint8_t auxHigh = 0;
  std::uint8_t command[8] = {};
  std::uint32_t romctrl = 0;
  std::vector<std::uint32_t> words;
  std::size_t next = 0;
  std::size_t commands = 0;

  std::uint8_t Byte(std::uint32_t offset) const {
    return offset < rom.size() ? std::uint8_t(rom[offset]) : 0xFF;
  }
  void Start(std::uint32_t value) {
    std::uint32_t offset =
        std::uint32_t{command[1]} << 24 | command[2] << 16 | command[3] << 8 | command[4];
    const std::uint32_t code = value >> 24 & 7, size = 0x100u << code;
    ++commands;
    EXPECT_EQ(command[0], 0xB7);
    EXPECT_EQ(exmemcnt & 0x0800, 0) << "the ARM7 owns the bus";
    EXPECT_EQ(auxHigh & 0x80, 0x80) << "the slot is off";
    EXPECT_EQ(value & ~0x07000000u, 0xA0586000u);
    ASSERT_GE(code, 1u);
    ASSERT_LE(code, 4u);
    EXPECT_EQ(offset % size, 0u) << offset << "+" << size;
    if (offset < 0x8000) offset = 0x8000 + (offset & 0x1FF);
    words.assign(size / 4, 0);
    next = 0;
    for (std::uint32_t i = 0; i < size; ++i) {
      std::uint32_t at = (offset & ~0xFFFu) | ((offset + i) & 0xFFFu);
      words[i / 4] |= std::uint32_t{Byte(at)} << 8 * (i % 4);
    }
    romctrl = (value & 0x7F7FFFFF) | 0x80800000u;
  }
};

}  // namespace
}  // namespace kivo::test

extern "C" std::uint32_t kfs_card_sim_load(std::uint32_t address, unsigned) {
  auto& c = *kivo::test::card;
  switch (address) {
    case 0x04000204: return c.exmemcnt;
    case 0x040001A4: return c.romctrl;
    case 0x04100010: {
      std::uint32_t word = c.next < c.words.size() ? c.words[c.next++] : 0xFFFFFFFF;
      if (c.next == c.words.size()) c.romctrl &= ~0x80800000u;
      return word;
    }
    default: ADD_FAILURE() << "read of " << std::hex << address; return 0;
  }
}

extern "C" void kfs_card_sim_store(std::uint32_t address, std::uint32_t value, unsigned) {
  auto& c = *kivo::test::card;
  const std::uint32_t commandByte = address - 0x040001A8;  // wraps around below the command
  if (address == 0x04000204) c.exmemcnt = std::uint16_t(value);
  else if (address == 0x040001A1) c.auxHigh = std::uint8_t(value);
  else if (commandByte < 8) c.command[commandByte] = std::uint8_t(value);
  else if (address == 0x040001A4 && (value & 0x80000000u)) c.Start(value);
  else ADD_FAILURE() << "write of " << std::hex << address;
}

namespace kivo::test {
namespace {

class CardMedium : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.rom = Pattern(0x20000);
    // The block size bits from the header are replaced.
    kfs_card_init(&medium, 0x00586000 | 0x07000000);
  }
  SimulatedCard sim;
  kfs_card medium;
};

// Any offset and size from 0x8000 on reads the ROM's bytes, in as few commands as it can.
TEST_F(CardMedium, ReadsAnyRangeInAlignedCommandsInsideAPage) {
  const struct {
    std::uint32_t offset, size, commands;
  } cases[] = {
      {0x8000, 0x1000, 1}, {0x8000, 0x2000, 2}, {0x8200, 0x1000, 4}, {0x8001, 3, 1},
      {0x8FFF, 2, 2},      {0x9E00, 0x400, 2},  {0x8100, 0x2C00, 8}, {0x8000, 0, 0},
      {0x1FFFF, 1, 1},
  };
  for (const auto& c : cases) {
    sim.commands = 0;
    kfs_card_init(&medium, 0x00586000);
    // Word-aligned, as a program's buffer usually is.
    std::vector<std::uint32_t> words(c.size / 4 + 2);
    ASSERT_EQ(kfs_card_read(&medium, c.offset, words.data(), c.size), 0) << c.offset;
    EXPECT_EQ(std::memcmp(words.data(), sim.rom.data() + c.offset, c.size), 0) << c.offset;
    EXPECT_EQ(sim.commands, c.commands) << c.offset;
  }
}

// An unaligned buffer and small reads go through the block buffer, which keeps its block.
// Below 0x8000 the card would answer with other bytes: the medium refuses without asking it.
TEST_F(CardMedium, SmallReadsShareTheBufferedBlockAndBadRequestsAreRefused) {
  char bytes[40];
  ASSERT_EQ(kfs_card_read(&medium, 0x8101, bytes + 1, 35), 0);
  ASSERT_EQ(kfs_card_read(&medium, 0x8124, bytes + 1, 35), 0);
  EXPECT_EQ(std::string(bytes + 1, 35), sim.rom.substr(0x8124, 35));
  std::uint32_t words[256];
  EXPECT_EQ(kfs_card_read(&medium, 0x7FFF, words, 2), -1);
  EXPECT_EQ(kfs_card_read(&medium, 0, words, 4), -1);
  EXPECT_EQ(kfs_card_read(&medium, 0xFFFFFFF0u, words, 0x20), -1);
  EXPECT_EQ(kfs_card_read_blocks(&medium, 0x7E00, words, 1), -1);
  EXPECT_EQ(kfs_card_read_blocks(&medium, 0x8100, words, 1), -1);
  EXPECT_EQ(kfs_card_read_blocks(&medium, 0x8000, reinterpret_cast<char*>(words) + 2, 1), -1);
  EXPECT_EQ(sim.commands, 1u) << "one for the small reads, none for the refused";
}

const fs::test::Tree Levels = {{"levels/level1.map", Pattern(70000)},
                               {"levels/deep/end.bin", Pattern(512)},
                               {"README.txt", Pattern(100)},
                               {"empty/", ""}};

// ROMs made by `attach` from a DS host of 0x2000 bytes, mounted by kfs_mount_ds from the
// file that argv[0] names or through the (simulated) card.
class MountDs : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "host.nds", NdsHost(0x2000, 0x400));
    WriteFile(dir / "a.kid", fs::test::Image(Levels));
    WriteFile(dir / "b.kid", fs::test::Image(small));
    for (bool nds : {true, false}) {
      ASSERT_OK(rom::AttachDrives({.host = dir / "host.nds", .drive0 = dir / "a.kid",
                                   .drive1 = dir / "b.kid",
                                   .output = dir / (nds ? "game.nds" : "plain.nds"),
                                   .ndsHeader = nds}));
    }
  }
  // Mounts with the block (as KFS_DEFINE_BLOCK holds it once attach filled it) and the header
  // of `rom`, the card holding `card_rom` (the same ROM when empty).
  int Mount(const std::string& rom, const char* argv0, bool header = true,
            const std::string& card_rom = "") {
    sim.rom = card_rom.empty() ? rom : card_rom;
    const std::string block = rom.substr(0x400, 28);
    return kfs_mount_ds(&ds, Bytes(block), argv0, header ? Bytes(rom) : nullptr, drives);
  }
  static const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
  }
  Listing Walk(int slot) {
    Listing listing;
    EXPECT_EQ(readertest::Walk(drives[slot], listing), KFS_OK);
    return listing;
  }
  TempDir dir;
  const fs::test::Tree small = {{"save.dat", Pattern(1000)}};
  SimulatedCard sim;
  kfs_ds ds;
  kfs_drive drives[2];
};

TEST_F(MountDs, ReadsBothDrivesThroughTheCardOrTheFile) {
  const std::string game = ReadFile(dir / "game.nds"), path = (dir / "game.nds").string();
  const std::string upper = (dir / "GAME.NDS").string(), other = (dir / "game.bin").string();
  WriteFile(dir / "GAME.NDS", game);
  WriteFile(dir / "game.bin", "not a ROM");
  const struct {
    const char* argv0;
    int medium;
  } cases[] = {
      {nullptr, KFS_DS_CARD},      {"", KFS_DS_CARD},           {path.c_str(), KFS_DS_FILE},
      {upper.c_str(), KFS_DS_FILE}, {other.c_str(), KFS_DS_CARD}, {"missing.nds", KFS_DS_CARD},
  };
  for (const auto& c : cases) {
    sim.commands = 0;
    ASSERT_EQ(Mount(game, c.argv0), KFS_OK) << (c.argv0 ? c.argv0 : "null");
    EXPECT_EQ(ds.medium, c.medium);
    EXPECT_EQ(Walk(0), ListingOf(Levels));
    EXPECT_EQ(Walk(1), ListingOf(small));
    EXPECT_EQ(sim.commands == 0, c.medium == KFS_DS_FILE);
    kfs_ds_close(&ds);
  }
}

// Without --nds-header the drives lie below 0x8000: the card cannot reach them, the file can;
// a file cut short cannot be read. A card that answers with other bytes (a flashcart's own)
// mounts nothing.
TEST_F(MountDs, RefusesWhatTheCardCannotReadOrDoesNotHold) {
  const std::string plain = ReadFile(dir / "plain.nds"), game = ReadFile(dir / "game.nds");
  EXPECT_EQ(Mount(plain, nullptr), KFS_ERR_IO);
  EXPECT_EQ(sim.commands, 0u);
  EXPECT_EQ(Mount(plain, (dir / "plain.nds").string().c_str()), KFS_OK);
  EXPECT_EQ(Walk(1), ListingOf(small));
  kfs_ds_close(&ds);
  // A ROM file cut short inside the first drive's header.
  WriteFile(dir / "cut.nds", game.substr(0, 0x8000 + 20));
  EXPECT_EQ(Mount(game, (dir / "cut.nds").string().c_str()), KFS_ERR_IO);
  EXPECT_EQ(ds.medium, KFS_DS_FILE);
  kfs_ds_close(&ds);
  std::string flashcart = game;
  flashcart.replace(0x8000, game.size() - 0x8000, Pattern(game.size() - 0x8000));
  EXPECT_EQ(Mount(game, nullptr, true, flashcart), KFS_ERR_FORMAT);
  EXPECT_EQ(Mount(game, nullptr, false), KFS_ERR_IO);
  char name[KFS_NAME_MAX + 1];
  kfs_drive_name(&drives[0], name);
  EXPECT_STREQ(name, "");
  const std::string empty_block(28, '\0');
  EXPECT_EQ(kfs_mount_ds(&ds, Bytes(empty_block), nullptr, nullptr, drives), KFS_ERR_NO_DRIVE);
}

}  // namespace
}  // namespace kivo::test
