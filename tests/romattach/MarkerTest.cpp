// The parameter block behind the first marker, found in memory and streamed from a file.
#include "romattach/Marker.h"

#include <gtest/gtest.h>

#include "romattach/RomFile.h"
#include "tests/support/Support.h"

namespace kivo::test {
namespace {

TEST(Marker, FindsTheBlockBehindTheFirstMarkerStartingByRMinus13) {
  const struct {
    std::size_t size;
    std::vector<std::pair<std::size_t, std::string>> writes;
    std::optional<std::uint64_t> block;
    bool usable;  // the 17 bytes lie inside: the marker starts at R - 28 or lower
  } cases[] = {
      {4096, {{0, "KivoFSDrive"}}, 11, true},
      {4096, {{100, "KivoFSDrive"}}, 111, true},
      {4096, {{4096 - 28, "KivoFSDrive"}}, 4096 - 17, true},
      {4096, {{4096 - 27, "KivoFSDrive"}}, 4096 - 16, false},
      {4096, {{4096 - 13, "KivoFSDrive"}}, 4096 - 2, false},
      {4096, {{4096 - 12, "KivoFSDrive"}}, std::nullopt, false},
      {12, {{0, "KivoFSDrive"}}, std::nullopt, false},
      {13, {{0, "KivoFSDrive"}}, 11, false},
      {0, {}, std::nullopt, false},
      {4096, {}, std::nullopt, false},
      {4096, {{900, "KivoFSDrive"}, {300, "KivoFSDrive"}}, 311, true},
      {4096, {{100, "KivoFSdrive"}, {200, "kivoFSDrive"}}, std::nullopt, false},
      {4096, {{100, "KIVOFSDRIVE"}, {700, "KivoFSDrive"}}, 711, true},
      {4096, {{64, "KivoFSDriveKivoFSDriveXYZ"}}, 75, true},
      {4096, {{10, "KivoFSDrivKivoFSDrive"}}, 31, true},
      // The file is read in chunks of 64 KiB, 128 KiB, ... up to 4 MiB, ending at these
      // offsets: a marker across a chunk boundary is found.
      {200000, {{65536 - 5, "KivoFSDrive"}}, 65536 + 6, true},
      {200000, {{196608 - 3, "KivoFSDrive"}}, 196608 + 8, true},
      {500000, {{458752 - 11, "KivoFSDrive"}}, 458752, true},
      {8400000, {{4128768 - 10, "KivoFSDrive"}}, 4128768 + 1, true},
      {(9u << 20) + 100, {{(9u << 20) + 72, "KivoFSDrive"}}, (9u << 20) + 83, true},
  };
  TempDir dir;
  for (const auto& c : cases) {
    std::string rom = Filler(c.size);
    for (const auto& [offset, text] : c.writes) rom.replace(offset, text.size(), text);
    auto found = rom::FindParamBlock(Span(rom));
    EXPECT_EQ(found, c.block) << c.size << " " << c.writes.size();
    if (found) {
      EXPECT_EQ(rom::IsUsableBlock(rom.size(), *found), c.usable);
    }
    WriteFile(dir / "rom.nds", rom);
    auto streamed = rom::RomFile::Open(dir / "rom.nds")->FindParamBlock();
    ASSERT_TRUE(streamed.ok()) << streamed.error().message;
    EXPECT_EQ(*streamed, c.block);
  }
}

}  // namespace
}  // namespace kivo::test
