// The parameter block behind the first marker, found in memory and streamed from a file.
#include "romattach/Marker.h"

#include <gtest/gtest.h>

#include "romattach/RomFile.h"
#include "tests/support/Assert.h"
#include "tests/support/Support.h"

namespace kivo::test {
namespace {

// The first marker starting at R - 13 or lower counts; the block lies right behind it.
TEST(Marker, FindsTheBlockBehindTheFirstMarker) {
  const std::string m = "KivoFSDrive";
  constexpr std::size_t K = rom::SearchChunkSize;
  const struct {
    std::size_t romSize;
    std::vector<std::pair<std::size_t, std::string>> writes;  // text put at an offset
    std::optional<std::uint64_t> block;
  } cases[] = {
      {4096, {{0, m}}, 11}, {4096, {{100, m}}, 111}, {4096, {{4083, m}}, 4094},
      {4096, {{4084, m}}, std::nullopt}, {12, {{0, m}}, std::nullopt}, {13, {{0, m}}, 11},
      {0, {}, std::nullopt}, {4096, {}, std::nullopt}, {4096, {{900, m}, {300, m}}, 311},
      {4096, {{100, "KivoFSdrive"}, {200, "kivoFSDrive"}}, std::nullopt},
      {4096, {{100, "KIVOFSDRIVE"}, {700, m}}, 711}, {4096, {{64, m + m + "XYZ"}}, 75},
      {4096, {{10, "KivoFSDriv" + m}}, 31},
      // The file is read in chunks of SearchChunkSize bytes, the last one ending at R - 2: a
      // marker across a chunk boundary, or ending right at one, is found.
      {3 * K, {{K - 5, m}}, K + 6}, {3 * K, {{2 * K - 11, m}}, 2 * K},
      {3 * K, {{2 * K - 10, m}}, 2 * K + 1}, {2 * K + 20, {{2 * K + 7, m}}, 2 * K + 18},
      {2 * K + 20, {{2 * K + 8, m}}, std::nullopt},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.romSize << " " << c.writes.size());
    std::string rom = Filler(c.romSize);
    for (const auto& [offset, text] : c.writes) rom.replace(offset, text.size(), text);
    EXPECT_EQ(rom::FindParamBlock(Span(rom)), c.block);
    WriteFile(dir / "rom.nds", rom);
    auto streamed = rom::RomFile::Open(dir / "rom.nds")->FindParamBlock();
    ASSERT_OK(streamed);
    EXPECT_EQ(*streamed, c.block);
  }
}

}  // namespace
}  // namespace kivo::test
