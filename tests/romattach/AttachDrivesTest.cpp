// Attaching drive images to a host ROM on disk, what stops an attach, and reading the block
// of an attached ROM back.
#include "romattach/AttachDrives.h"

#include <gtest/gtest.h>

#include "romattach/AttachedRom.h"
#include "romattach/RomFile.h"
#include "tests/fsimage/Fixture.h"
#include "tests/support/Assert.h"

namespace kivo::rom {
namespace {

using namespace kivo::test;

class Attach : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "host.nds", HostRom(4096, 100));
    WriteFile(dir / "d0.kid", Filler(512, 7));
    WriteFile(dir / "d1.kid", Filler(768, 9));
  }
  AttachRequest Request() const {
    return {.host = dir / "host.nds", .drive0 = dir / "d0.kid", .drive1 = dir / "d1.kid",
            .output = dir / "out.nds", .saveFlash = true};
  }
  TempDir dir;
};

// A DS header's used size and capacity code, and its CRC (over bytes 0 to 0x15D, at 0x15E)
// made again as a DS checks it.
void PutNdsFields(std::string& rom, std::uint32_t usedSize, std::uint8_t capacity) {
  Put32(rom, 0x80, usedSize);
  rom[0x14] = static_cast<char>(capacity);
  const std::uint16_t crc = NdsHeaderCrc(Span(rom.substr(0, 0x15E)));
  rom[0x15E] = static_cast<char>(crc & 0xFF);
  rom[0x15F] = static_cast<char>(crc >> 8);
}

// The block gets each drive's offsets in the output, ends inclusive (an empty image ends
// before it starts); a single drive takes slot 1; the drives follow the host. Most rows are
// the 4096-byte host with its marker at 100 of the format's description.
TEST_F(Attach, FillsTheBlockAndAppendsTheDrives) {
  const struct {
    const char* block;
    std::optional<std::size_t> drive0{}, drive1{};  // not given when empty
    bool flash = true, pad = false;
    std::size_t hostSize = 4096, marker = 100;
  } cases[] = {
      {.block = "00100000 FF110000 00120000 FF140000 01", .drive0 = 512, .drive1 = 768},
      {.block = "00100000 FF120000 00000000 00000000 00", .drive1 = 768, .flash = false},
      {.block = "00100000 FF110000 00000000 00000000 01", .drive0 = 512},
      {.block = "00100000 FF0F0000 00100000 FF120000 00", .drive0 = 0, .drive1 = 768,
       .flash = false},
      {.block = "00100000 FF110000 00120000 FF110000 01", .drive0 = 512, .drive1 = 0},
      {.block = "40000000 42000000 00000000 00000000 01", .drive0 = 3, .hostSize = 64,
       .marker = 36},
      {.block = "00100000 FF110000 00120000 FF140000 01", .drive0 = 512, .drive1 = 768,
       .pad = true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.block);
    const std::string drive0 = c.drive0 ? Filler(*c.drive0, 7) : "";
    const std::string drive1 = c.drive1 ? Filler(*c.drive1, 9) : "";
    WriteFile(dir / "host.nds", HostRom(c.hostSize, c.marker));
    WriteFile(dir / "d0.kid", drive0);
    WriteFile(dir / "d1.kid", drive1);
    AttachRequest request = Request();
    if (!c.drive0) request.drive0.clear();
    if (!c.drive1) request.drive1.clear();
    request.saveFlash = c.flash;
    request.padPow2 = c.pad;
    auto report = AttachDrives(request);
    ASSERT_OK(report);
    std::string expected = HostRom(c.hostSize, c.marker).replace(c.marker + 11, 17, Hex(c.block));
    expected += drive0 + drive1;
    if (c.pad) expected.resize(8192, '\xFF');
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected), -1);
    EXPECT_EQ(report->outputSize, expected.size());
    EXPECT_EQ(report->blockOffset, c.marker + 11);
  }
  const std::pair<std::uint64_t, std::uint64_t> powers[] = {
      {1, 1}, {3, 4}, {4096, 4096}, {4097, 8192}, {(1u << 30) + 1, 1u << 31}};
  for (auto [size, power] : powers) EXPECT_EQ(NextPowerOfTwo(size), power) << size;
}

// With the NDS header asked for, a host shorter than 0x8000 is padded with zeros to it (a DS
// program's card reads begin there), the used size reaches the drives' end, the capacity
// rises to hold it (and never falls) and the CRC (CRC-16, polynomial 0xA001 reflected, start
// 0xFFFF: the check value below) covers it all. Detaching gives the host its own size back.
TEST_F(Attach, NdsHeaderPadsTheHostAndSizesTheCartridge) {
  const struct {
    std::size_t hostSize;
    std::uint8_t capacity = 0;  // the host's
    std::uint32_t drive = 512, start = 0x8000;
    std::uint8_t capacityAfter = 0;
  } cases[] = {
      {.hostSize = 4096}, {.hostSize = 0x7FFF}, {.hostSize = 0x8000},
      {.hostSize = 0x9000, .start = 0x9000}, {.hostSize = 4096, .drive = 0x18000},
      {.hostSize = 4096, .drive = 0x18001, .capacityAfter = 1},
      {.hostSize = 4096, .drive = 0x38001, .capacityAfter = 2},
      {.hostSize = 4096, .capacity = 9, .capacityAfter = 9},
  };
  EXPECT_EQ(NdsHeaderCrc(Span("123456789")), 0x4B37);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.hostSize << " " << c.drive);
    std::string host = NdsHost(c.hostSize, 0x200);
    PutNdsFields(host, std::uint32_t(c.hostSize), c.capacity);
    WriteFile(dir / "host.nds", host);
    WriteFile(dir / "d0.kid", Filler(c.drive, 7));
    AttachRequest request = Request();
    request.drive1.clear();
    request.ndsHeader = true;
    auto report = AttachDrives(request);
    ASSERT_OK(report);
    const std::uint32_t used = c.start + c.drive;
    std::string expected = host + std::string(c.start - c.hostSize, '\0') + Filler(c.drive, 7);
    Put32(expected, 0x20B, c.start);
    Put32(expected, 0x20F, used - 1);
    expected[0x21B] = 1;
    PutNdsFields(expected, used, c.capacityAfter);
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected), -1);
    EXPECT_EQ(report->hostPadding, c.start - c.hostSize);
    EXPECT_EQ(report->ndsUsedSize, used);
    EXPECT_EQ(report->ndsCapacity, c.capacityAfter);

    ASSERT_OK(DetachDrives({dir / "out.nds", dir / "drives", dir / "again.nds"}));
    std::string again = expected.substr(0, c.start).replace(0x20B, 17, std::string(17, '\0'));
    PutNdsFields(again, c.start, c.capacity);
    EXPECT_EQ(Mismatch(ReadFile(dir / "again.nds"), again), -1);
  }
}

// The host is searched as it is copied, in chunks (that it is read only once is the
// benchmark's to show): a block across two chunks, or old drives cut off after the chunks
// holding them went out, still give the host up to the old drives with its block filled,
// then the drive. Where markers are found is the marker search's own test.
TEST_F(Attach, SearchesTheHostAsItCopiesIt) {
  constexpr std::size_t K = SearchChunkSize;
  const struct {
    std::size_t hostSize, marker;
    std::size_t oldDrives = 0;  // where the drives that --replace cuts off start
  } cases[] = {
      {2 * K, K - 11}, {2 * K, K - 19}, {K + 9000, K + 100, K + 1000}, {3 * K, 100, 2 * K + 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.marker);
    std::string host = HostRom(c.hostSize, c.marker);
    if (c.oldDrives != 0) {
      Put32(host, c.marker + 11, std::uint32_t(c.oldDrives));
      Put32(host, c.marker + 15, std::uint32_t(c.hostSize - 1));
    }
    WriteFile(dir / "host.nds", host);
    AttachRequest request = Request();
    request.drive1.clear();
    request.replace = c.oldDrives != 0;
    ASSERT_OK(AttachDrives(request));
    std::string expected = host.substr(0, c.oldDrives != 0 ? c.oldDrives : c.hostSize);
    const auto start = std::uint32_t(expected.size());
    expected.replace(c.marker + 11, 17, std::string(17, '\0'));
    Put32(expected, c.marker + 11, start);
    Put32(expected, c.marker + 15, start + 511);
    expected[c.marker + 27] = 1;
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected + Filler(512, 7)), -1);
  }
}

// Everything is read before the output replaces its target, so it may be one of the inputs.
TEST_F(Attach, TheOutputMayBeAnInput) {
  ASSERT_OK(AttachDrives(Request()));
  const std::string expected = ReadFile(dir / "out.nds");
  for (const char* input : {"host.nds", "d0.kid", "d1.kid"}) {
    SetUp();
    AttachRequest request = Request();
    request.output = dir / input;
    ASSERT_OK(AttachDrives(request));
    EXPECT_EQ(ReadFile(dir / input), expected);
    EXPECT_EQ(Snapshot(dir.path()).size(), 4u);
  }
}

// What stops an attach, by kind and message; the old output stays and nothing is added.
TEST_F(Attach, RefusesWithoutWriting) {
  std::string filled = HostRom(4096, 100);
  Put32(filled, 111, 120);  // slot 1 "starts" inside the block itself
  WriteFile(dir / "filled.nds", filled);
  WriteFile(dir / "short.nds", HostRom(300, 20));
  WriteFile(dir / "under.nds", HostRom(4096, 0x70));
  WriteFile(dir / "ds.nds", NdsHost(4096, 0x200));
  WriteFile(dir / "huge.kid", "");
  stdfs::resize_file(dir / "huge.kid", 1u << 30);  // sparse
  WriteFile(dir / "big.kid", "");
  stdfs::resize_file(dir / "big.kid", (1u << 30) - 4096);
  const std::string tooLarge =
      "the output ROM 'out.nds' would be 2147483648 bytes; it must stay below 2 GiB";
  const std::string header = "cannot update the NDS header of ";
  const struct {  // a path "" is not given
    std::string host = "host.nds", drive0 = "d0.kid", drive1 = "d1.kid", output = "out.nds";
    bool replace = false, padPow2 = false, ndsHeader = false;
    ErrorKind kind = ErrorKind::Format;
    std::string message;
  } cases[] = {
      {.output = "", .kind = ErrorKind::Invalid, .message = "no output ROM given"},
      {.drive0 = "", .drive1 = "", .kind = ErrorKind::Invalid, .message = "no drive image given"},
      {.host = "", .kind = ErrorKind::NotFound, .message = "no host ROM given"},
      {.drive0 = "huge.kid", .drive1 = "big.kid", .kind = ErrorKind::Capacity, .message = tooLarge},
      {.drive0 = "huge.kid", .drive1 = "", .padPow2 = true, .kind = ErrorKind::Capacity,
       .message = tooLarge},
      {.host = "filled.nds", .replace = true,
       .message = "cannot cut the old drives off 'filled.nds': slot 1 starts at 120, before the "
                  "end of the parameter block (128)"},
      {.host = "short.nds", .ndsHeader = true,
       .message = header + "'short.nds': the host ROM has 300 bytes; the header needs 352"},
      {.host = "under.nds", .ndsHeader = true,
       .message = header + "'under.nds': the parameter block at 123 overlaps the header's "
                           "capacity (0x14), used size (0x80) or CRC (0x15E)"},
      {.ndsHeader = true,
       .message = header + "'host.nds': it does not start with a DS cartridge header (a unit "
                           "code up to 3 at 0x12, the ARM9 and ARM7 binaries behind the header "
                           "and loaded into the DS's RAM, at 0x20 to 0x3F)"},
      {.host = "ds.nds", .output = "out.gba", .ndsHeader = true,
       .message = header + "'ds.nds': the output 'out.gba' is a GBA ROM, whose cartridge logo "
                           "and header lie where the NDS header's fields are"},
  };
  WriteFile(dir / "out.nds", "old output");
  const auto entries = std::distance(stdfs::directory_iterator(dir.path()), {});
  auto path = [&](const std::string& name) { return name.empty() ? stdfs::path() : dir / name; };
  for (const auto& c : cases) {
    auto report = AttachDrives({.host = path(c.host), .drive0 = path(c.drive0),
                                .drive1 = path(c.drive1), .output = path(c.output),
                                .replace = c.replace, .padPow2 = c.padPow2,
                                .ndsHeader = c.ndsHeader});
    ASSERT_FALSE(report.ok()) << c.message;
    EXPECT_EQ(std::pair(report.error().kind, Relative(report.error().message, dir.path())),
              std::pair(c.kind, c.message));
  }
  EXPECT_EQ(ReadFile(dir / "out.nds"), "old output");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path()), {}), entries);

  // A host of the largest size a ROM may have is read (here every read fails at once); one
  // byte more is refused before anything is read.
  SetTransferFilter([](HostTransfer, std::size_t) -> std::int64_t { return -EIO; });
  for (std::uint64_t size : {MaxRomSize, MaxRomSize + 1}) {
    stdfs::resize_file(dir / "host.nds", size);  // sparse
    auto report = AttachDrives(Request());
    ASSERT_FALSE(report.ok());
    EXPECT_EQ(Relative(report.error().message, dir.path()),
              size == MaxRomSize ? "cannot read 'host.nds': Input/output error"
                                 : "'host.nds' is 2147483648 bytes; a ROM must stay below 2 GiB");
  }
  SetTransferFilter(nullptr);
}

// Each slot of an attached ROM is empty, outside the file, or inside it holding a drive
// image (a header that fits its length) or not. The ROM: the host, the worked example
// (11776 bytes, 4096 to 15871) and 100 bytes of filler.
TEST_F(Attach, InspectClassifiesEachSlot) {
  using S = SlotState;
  const std::tuple<ParamBlock, SlotState, SlotState> cases[] = {
      {{0, 0, 0, 0, 0}, S::Empty, S::Empty},
      {{4096, 15871, 15872, 15971, 1}, S::DriveImage, S::NotDriveImage},
      {{4096, 15972, 0, 0, 0}, S::OutsideFile, S::Empty},
      {{20000, 20100, 0, 0, 0}, S::OutsideFile, S::Empty},
      {{4096, 4000, 0, 0, 0}, S::OutsideFile, S::Empty},
      {{4096, 15872, 0, 0, 0}, S::NotDriveImage, S::Empty},
      {{4096, 15871, 15972, 15971, 0}, S::DriveImage, S::NotDriveImage},  // an empty one at the end
      {{0xFFFFFFFF, 0xFFFFFFFF, 0x30303030, 0, 0}, S::OutsideFile, S::OutsideFile},
  };
  const std::string rom =
      HostRom(4096, 100) + fs::test::Image(fs::test::WorkedExample()) + Filler(100, 3);
  for (const auto& [values, slot1, slot2] : cases) {
    SCOPED_TRACE(values.slot1End);
    const BlockBytes block = EncodeParamBlock(values);
    WriteFile(dir / "rom.nds",
              std::string(rom).replace(111, 17, reinterpret_cast<const char*>(block.data()), 17));
    auto layout = InspectRom(*RomFile::Open(dir / "rom.nds"));
    ASSERT_OK(layout);
    EXPECT_EQ(layout->block, values);
    EXPECT_EQ(layout->slots[0].state, slot1);
    EXPECT_EQ(layout->slots[1].state, slot2);
  }
}

}  // namespace
}  // namespace kivo::rom
