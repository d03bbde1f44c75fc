// Attaching drive images to a host ROM on disk, what stops an attach, and reading the block
// of an attached ROM back.
#include "romattach/AttachDrives.h"

#include <functional>

#include <gtest/gtest.h>

#include "romattach/AttachedRom.h"
#include "romattach/RomFile.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::rom {
namespace {

using namespace kivo::test;

class Attach : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "host.nds", HostRom(4096, 100)), WriteFile(dir / "d0.kid", Filler(512, 7)), WriteFile(dir / "d1.kid", Filler(768, 9));
  }
  AttachRequest Request() const { return {dir / "host.nds", dir / "d0.kid", dir / "d1.kid", dir / "out.nds", true, false, false, false}; }
  std::string Problem(const Result<AttachReport>& report) const { return report ? "" : Relative(report.error().message, dir.path()); }
  TempDir dir;
};

// The block gets each drive's offsets in the output, ends inclusive (an empty image ends
// before it starts); a single drive takes slot 1; the drives follow the host. The first rows
// are the 4096-byte host with its marker at 100 of the format's description.
TEST_F(Attach, FillsTheBlockAndAppendsTheDrives) {
  const struct {
    std::size_t hostSize, marker;
    int size0, size1;  // -1: not given
    bool flash, pad;
    const char* block;
  } cases[] = {
      {4096, 100, 512, 768, true, false, "00100000 FF110000 00120000 FF140000 01"},
      {4096, 100, -1, 768, false, false, "00100000 FF120000 00000000 00000000 00"},
      {4096, 100, 512, -1, true, false, "00100000 FF110000 00000000 00000000 01"},
      {4096, 100, 0, 768, false, false, "00100000 FF0F0000 00100000 FF120000 00"},
      {4096, 100, 512, 0, true, false, "00100000 FF110000 00120000 FF110000 01"},
      {4096, 100, -1, 0, false, false, "00100000 FF0F0000 00000000 00000000 00"},
      {64, 36, 3, -1, true, false, "40000000 42000000 00000000 00000000 01"},
      {4096, 100, 512, 768, true, true, "00100000 FF110000 00120000 FF140000 01"},
  };
  for (const auto& c : cases) {
    const std::string drive0 = c.size0 < 0 ? "" : Filler(c.size0, 7), drive1 = c.size1 < 0 ? "" : Filler(c.size1, 9);
    WriteFile(dir / "host.nds", HostRom(c.hostSize, c.marker)), WriteFile(dir / "d0.kid", drive0), WriteFile(dir / "d1.kid", drive1);
    AttachRequest request = Request();
    if (c.size0 < 0) request.drive0.clear();
    if (c.size1 < 0) request.drive1.clear();
    request.saveFlash = c.flash, request.padPow2 = c.pad;
    auto report = AttachDrives(request);
    ASSERT_EQ(Problem(report), "") << c.block;
    std::string expected = HostRom(c.hostSize, c.marker).replace(c.marker + 11, 17, Hex(c.block)) + drive0 + drive1;
    if (c.pad) expected.resize(8192, '\xFF');
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected), -1) << c.block;
    EXPECT_EQ(std::make_pair(report->outputSize, report->blockOffset), std::make_pair(std::uint64_t{expected.size()}, c.marker + 11));
  }
  const std::pair<std::uint64_t, std::uint64_t> powers[] = {{1, 1}, {3, 4}, {4096, 4096}, {4097, 8192}, {(1u << 30) + 1, 1u << 31}};
  for (auto [size, power] : powers) EXPECT_EQ(NextPowerOfTwo(size), power);
}

// With the NDS header asked for, a host shorter than 0x8000 is padded with zeros to it (a DS
// program's card reads begin there), the used size reaches the drives' end, the capacity
// rises to hold it (and never falls) and the CRC (CRC-16, polynomial 0xA001 reflected, start
// 0xFFFF: the check value below) covers it all. Detaching gives the host its own size back.
TEST_F(Attach, NdsHeaderPadsTheHostAndSizesTheCartridge) {
  const struct {
    std::size_t hostSize;
    std::uint8_t capacity;  // the host's
    std::uint32_t drive, start, capacityAfter;
  } cases[] = {
      {4096, 0, 512, 0x8000, 0}, {0x7FFF, 0, 512, 0x8000, 0}, {0x8000, 0, 512, 0x8000, 0}, {0x9000, 0, 512, 0x9000, 0},
      {4096, 0, 0x18000, 0x8000, 0}, {4096, 0, 0x18001, 0x8000, 1}, {4096, 0, 0x38001, 0x8000, 2}, {4096, 9, 512, 0x8000, 9},
  };
  EXPECT_EQ(NdsHeaderCrc(Span("123456789")), 0x4B37);
  for (const auto& c : cases) {
    std::string host = NdsHost(c.hostSize, 0x200);
    host[0x14] = static_cast<char>(c.capacity), Put32(host, 0x80, std::uint32_t(c.hostSize));
    WriteFile(dir / "host.nds", host), WriteFile(dir / "d0.kid", Filler(c.drive, 7));
    AttachRequest request = Request();
    request.drive1.clear(), request.ndsHeader = true;
    auto report = AttachDrives(request);
    ASSERT_EQ(Problem(report), "") << c.hostSize;
    const std::uint32_t used = c.start + c.drive;
    std::string expected = host + std::string(c.start - c.hostSize, '\0') + Filler(c.drive, 7);
    Put32(expected, 0x20B, c.start), Put32(expected, 0x20F, used - 1), expected[0x21B] = 1, Put32(expected, 0x80, used);
    expected[0x14] = static_cast<char>(c.capacityAfter);
    expected.replace(0x15E, 2, std::string{char(NdsHeaderCrc(Span(expected.substr(0, 0x15E))) & 0xFF),
                                           char(NdsHeaderCrc(Span(expected.substr(0, 0x15E))) >> 8)});
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected), -1) << c.hostSize << " " << c.drive;
    EXPECT_EQ(std::vector({report->hostPadding, std::uint64_t{*report->ndsUsedSize}, std::uint64_t{report->ndsCapacity}}),
              std::vector<std::uint64_t>({c.start - c.hostSize, used, c.capacityAfter}));
    auto detached = DetachDrives({dir / "out.nds", dir / "drives", dir / "again.nds"});
    ASSERT_TRUE(detached.ok());
    std::string again = expected.substr(0, c.start);
    Put32(again, 0x20B, 0), Put32(again, 0x20F, 0), Put32(again, 0x80, c.start);
    again[0x14] = static_cast<char>(c.capacity), again[0x21B] = 0;
    again.replace(0x15E, 2, std::string{char(NdsHeaderCrc(Span(again.substr(0, 0x15E))) & 0xFF),
                                        char(NdsHeaderCrc(Span(again.substr(0, 0x15E))) >> 8)});
    EXPECT_EQ(Mismatch(ReadFile(dir / "again.nds"), again), -1) << c.hostSize << " " << c.drive;
  }
  const std::pair<std::uint64_t, std::uint8_t> capacities[] = {{1, 0}, {0x20000, 0}, {0x20001, 1}, {0x40000, 1}, {0x40001, 2},
                                                               {1u << 30, 13}, {(1u << 30) + 1, 14}};
  for (auto [size, code] : capacities) EXPECT_EQ(NdsCapacityFor(size), code) << size;
}

// The host is searched as it is copied, in chunks: a marker or block across two chunks, or
// old drives cut off after the chunks holding them went out, still give the host up to the
// old drives with its block filled, then the drive.
TEST_F(Attach, SearchesTheHostInOnePass) {
  constexpr std::size_t K = SearchChunkSize;
  const struct { std::size_t hostSize, marker, oldDrives; } cases[] = {
      {2 * K, K - 11, 0}, {2 * K, K - 5, 0}, {2 * K, K - 19, 0}, {2 * K, K, 0}, {3 * K + 40, 3 * K, 0},
      {K + 9000, K + 100, K + 1000}, {3 * K, 100, 2 * K + 7}};
  for (const auto& c : cases) {
    std::string host = HostRom(c.hostSize, c.marker);
    if (c.oldDrives != 0) Put32(host, c.marker + 11, std::uint32_t(c.oldDrives)), Put32(host, c.marker + 15, std::uint32_t(c.hostSize - 1));
    WriteFile(dir / "host.nds", host);
    AttachRequest request = Request();
    request.drive1.clear(), request.replace = c.oldDrives != 0;
    ASSERT_EQ(Problem(AttachDrives(request)), "") << c.marker;
    std::string expected = host.substr(0, c.oldDrives != 0 ? c.oldDrives : c.hostSize);
    const auto start = std::uint32_t(expected.size());
    expected.replace(c.marker + 11, 17, std::string(17, '\0')).replace(c.marker + 27, 1, "\1");
    Put32(expected, c.marker + 11, start), Put32(expected, c.marker + 15, start + 511);
    EXPECT_EQ(Mismatch(ReadFile(dir / "out.nds"), expected + Filler(512, 7)), -1) << c.marker;
  }
}

// Everything is read before the output replaces its target, so it may be one of the inputs.
TEST_F(Attach, TheOutputMayBeAnInput) {
  ASSERT_EQ(Problem(AttachDrives(Request())), "");
  const std::string expected = ReadFile(dir / "out.nds");
  for (const char* input : {"host.nds", "d0.kid", "d1.kid"}) {
    SetUp();
    AttachRequest request = Request();
    request.output = dir / input;
    ASSERT_EQ(Problem(AttachDrives(request)), "");
    EXPECT_EQ(ReadFile(dir / input), expected);
    EXPECT_EQ(Snapshot(dir.path()).size(), 4u);
  }
}

// What stops an attach, by kind and message; the old output stays and nothing is added.
TEST_F(Attach, RefusesWithoutWriting) {
  std::string filled = HostRom(4096, 100);
  Put32(filled, 111, 120);  // slot 1 "starts" inside the block itself
  WriteFile(dir / "filled.nds", filled), WriteFile(dir / "short.nds", HostRom(300, 20)), WriteFile(dir / "under.nds", HostRom(4096, 0x70));
  WriteFile(dir / "ds.nds", NdsHost(4096, 0x200));
  WriteFile(dir / "huge.kid", ""), stdfs::resize_file(dir / "huge.kid", 1u << 30);  // sparse
  WriteFile(dir / "big.kid", ""), stdfs::resize_file(dir / "big.kid", (1u << 30) - 4096);
  stdfs::create_directory(dir / "dir.nds");
  const std::string tooLarge = "the output ROM 'out.nds' would be 2147483648 bytes; it must stay below 2 GiB";
  const std::string header = "cannot update the NDS header of ";
  const std::tuple<std::function<void(AttachRequest&)>, ErrorKind, std::string> cases[] = {
      {[](AttachRequest& r) { r.output.clear(); }, ErrorKind::Invalid, "no output ROM given"},
      {[](AttachRequest& r) { r.drive0.clear(), r.drive1.clear(); }, ErrorKind::Invalid, "no drive image given"},
      {[](AttachRequest& r) { r.host.clear(); }, ErrorKind::NotFound, "no host ROM given"},
      {[&](AttachRequest& r) { r.drive0 = dir / "huge.kid", r.drive1 = dir / "big.kid"; }, ErrorKind::Capacity, tooLarge},
      {[&](AttachRequest& r) { r.drive0 = dir / "huge.kid", r.drive1.clear(), r.padPow2 = true; }, ErrorKind::Capacity, tooLarge},
      {[&](AttachRequest& r) { r.output = dir / "dir.nds"; }, ErrorKind::NotRegular, "cannot write 'dir.nds': is a directory"},
      {[&](AttachRequest& r) { r.output = dir / "no/out.nds"; }, ErrorKind::CannotOpen, "cannot write 'no/out.nds': No such file or directory"},
      {[&](AttachRequest& r) { r.host = dir / "filled.nds", r.replace = true; }, ErrorKind::Format,
       "cannot cut the old drives off 'filled.nds': slot 1 starts at 120, before the end of the parameter block (128)"},
      {[&](AttachRequest& r) { r.host = dir / "short.nds", r.ndsHeader = true; }, ErrorKind::Format,
       header + "'short.nds': the host ROM has 300 bytes; the header needs 352"},
      {[&](AttachRequest& r) { r.host = dir / "under.nds", r.ndsHeader = true; }, ErrorKind::Format,
       header + "'under.nds': the parameter block at 123 overlaps the header's capacity (0x14), used size (0x80) or CRC (0x15E)"},
      {[&](AttachRequest& r) { r.ndsHeader = true; }, ErrorKind::Format,
       header + "'host.nds': it does not start with a DS cartridge header (a unit code up to 3 at 0x12, the ARM9 and ARM7 "
                "binaries behind the header and loaded into the DS's RAM, at 0x20 to 0x3F)"},
      {[&](AttachRequest& r) { r.host = dir / "ds.nds", r.output = dir / "out.gba", r.ndsHeader = true; }, ErrorKind::Format,
       header + "'ds.nds': the output 'out.gba' is a GBA ROM, whose cartridge logo and header lie where the NDS header's fields are"},
  };
  WriteFile(dir / "out.nds", "old output");
  const auto entries = std::distance(stdfs::directory_iterator(dir.path()), {});
  for (const auto& [change, kind, message] : cases) {
    AttachRequest request = Request();
    change(request);
    auto report = AttachDrives(request);
    EXPECT_EQ(Problem(report), message);
    EXPECT_TRUE(!report && report.error().kind == kind) << message;
  }
  EXPECT_EQ(ReadFile(dir / "out.nds"), "old output");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path()), {}), entries);
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
  for (const auto& [values, slot1, slot2] : cases) {
    BlockBytes block = EncodeParamBlock(values);
    std::string rom = HostRom(4096, 100) + fs::test::Image(fs::test::WorkedExample()) + Filler(100, 3);
    WriteFile(dir / "rom.nds", rom.replace(111, 17, reinterpret_cast<const char*>(block.data()), 17));
    auto layout = InspectRom(*RomFile::Open(dir / "rom.nds"));
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    EXPECT_TRUE(layout->block == values && layout->slots[0].state == slot1 && layout->slots[1].state == slot2) << values.slot1End;
  }
}

}  // namespace
}  // namespace kivo::rom
