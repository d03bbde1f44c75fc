// The parameter block behind the first marker, found in memory and streamed from a file.
#include "romattach/Marker.h"

#include <gtest/gtest.h>

#include "romattach/RomFile.h"
#include "tests/support/Support.h"

namespace kivo::test {
namespace {

// The first marker starting at R - 13 or lower counts; its block is usable when it lies
// wholly inside the ROM, that is when the marker starts at R - 28 or lower.
TEST(Marker, FindsTheBlockBehindTheFirstMarker) {
  const std::string m = "KivoFSDrive";
  const std::tuple<std::size_t, std::vector<std::pair<std::size_t, std::string>>, std::optional<std::uint64_t>, bool> cases[] = {
      {4096, {{0, m}}, 11, true}, {4096, {{100, m}}, 111, true}, {4096, {{4068, m}}, 4079, true}, {4096, {{4069, m}}, 4080, false},
      {4096, {{4083, m}}, 4094, false}, {4096, {{4084, m}}, std::nullopt, false}, {12, {{0, m}}, std::nullopt, false},
      {13, {{0, m}}, 11, false}, {0, {}, std::nullopt, false}, {4096, {}, std::nullopt, false},
      {4096, {{900, m}, {300, m}}, 311, true}, {4096, {{100, "KivoFSdrive"}, {200, "kivoFSDrive"}}, std::nullopt, false},
      {4096, {{100, "KIVOFSDRIVE"}, {700, m}}, 711, true}, {4096, {{64, m + m + "XYZ"}}, 75, true},
      {4096, {{10, "KivoFSDriv" + m}}, 31, true},
      // The file is read in chunks of 64 KiB, 128 KiB, ... up to 4 MiB, ending at these
      // offsets: a marker across a chunk boundary is found.
      {200000, {{65536 - 5, m}}, 65536 + 6, true}, {200000, {{196608 - 3, m}}, 196608 + 8, true},
      {500000, {{458752 - 11, m}}, 458752, true}, {8400000, {{4128768 - 10, m}}, 4128768 + 1, true},
      {(9u << 20) + 100, {{(9u << 20) + 72, m}}, (9u << 20) + 83, true},
  };
  TempDir dir;
  for (const auto& [size, writes, block, usable] : cases) {
    std::string rom = Filler(size);
    for (const auto& [offset, text] : writes) rom.replace(offset, text.size(), text);
    auto found = rom::FindParamBlock(Span(rom));
    EXPECT_EQ(found, block) << size << " " << writes.size();
    EXPECT_TRUE(!found || rom::IsUsableBlock(rom.size(), *found) == usable) << *found;
    WriteFile(dir / "rom.nds", rom);
    auto streamed = rom::RomFile::Open(dir / "rom.nds")->FindParamBlock();
    EXPECT_TRUE(streamed.ok() && *streamed == block) << size;
  }
}

}  // namespace
}  // namespace kivo::test
