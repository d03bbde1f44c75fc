#include "romattach/Marker.h"

#include <optional>

#include <gtest/gtest.h>

#include "romattach/RomFile.h"
#include "tests/romattach/RomTestFiles.h"

namespace kivo::rom {
namespace {

using test::Bytes;

// The reference: every start 0 .. R - 13 in turn, exact comparison.
std::optional<std::uint64_t> PlainScan(const Bytes& rom) {
  if (rom.size() <= 12) return std::nullopt;
  for (std::size_t i = 0; i + 13 <= rom.size(); ++i) {
    bool match = true;
    for (std::size_t k = 0; k < MarkerSize && match; ++k) {
      match = rom[i + k] == static_cast<std::byte>(MarkerText[k]);
    }
    if (match) return i + MarkerSize;
  }
  return std::nullopt;
}

struct SearchCase {
  const char* name;
  std::size_t romSize;
  std::vector<std::pair<std::size_t, std::string>> writes;  // offset, text
  std::optional<std::uint64_t> blockOffset;
  bool usable;
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class FindParamBlockTest : public testing::TestWithParam<SearchCase> {};

TEST_P(FindParamBlockTest, FindsTheFirstQualifyingMarker) {
  const SearchCase& c = GetParam();
  Bytes rom = test::Filler(c.romSize, 3);
  for (const auto& [offset, text] : c.writes) test::Put(rom, offset, text);

  auto found = FindParamBlock(rom);
  EXPECT_EQ(found, c.blockOffset);
  EXPECT_EQ(found, PlainScan(rom));
  if (found) {
    EXPECT_EQ(IsUsableBlock(rom.size(), *found), c.usable);
  }

  // The file search reads in chunks and must agree.
  test::TempDir dir;
  test::WriteFile(dir / "rom.nds", rom);
  auto file = RomFile::Open(dir / "rom.nds");
  ASSERT_TRUE(file) << file.error().message;
  auto fromFile = file->FindParamBlock();
  ASSERT_TRUE(fromFile) << fromFile.error().message;
  EXPECT_EQ(*fromFile, c.blockOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindParamBlockTest,
    testing::Values(
        SearchCase{"AtOffsetZero", 4096, {{0, "KivoFSDrive"}}, 11, true},
        SearchCase{"At100", 4096, {{100, "KivoFSDrive"}}, 111, true},
        SearchCase{"AtRMinus28IsUsable", 4096, {{4096 - 28, "KivoFSDrive"}}, 4096 - 17, true},
        SearchCase{"AtRMinus27IsFoundButUnusable", 4096, {{4096 - 27, "KivoFSDrive"}}, 4096 - 16,
                   false},
        SearchCase{"AtRMinus13IsTheLastCandidate", 4096, {{4096 - 13, "KivoFSDrive"}}, 4096 - 2,
                   false},
        SearchCase{"AtRMinus12IsNotACandidate", 4096, {{4096 - 12, "KivoFSDrive"}}, std::nullopt,
                   false},
        SearchCase{"RomOf12BytesHasNoCandidate", 12, {{0, "KivoFSDrive"}}, std::nullopt, false},
        SearchCase{"RomOf13BytesHasOne", 13, {{0, "KivoFSDrive"}}, 11, false},
        SearchCase{"EmptyRom", 0, {}, std::nullopt, false},
        SearchCase{"NoMarker", 4096, {}, std::nullopt, false},
        SearchCase{"TwoMarkersTakeTheLower", 4096, {{900, "KivoFSDrive"}, {300, "KivoFSDrive"}},
                   311, true},
        SearchCase{"CaseDifferentIsNotFound", 4096, {{100, "KivoFSdrive"}, {200, "kivoFSDrive"}},
                   std::nullopt, false},
        SearchCase{"CaseDifferentBeforeRealOne", 4096,
                   {{100, "KIVOFSDRIVE"}, {700, "KivoFSDrive"}}, 711, true},
        SearchCase{"FollowedByNonZeroBytes", 4096, {{64, "KivoFSDriveKivoFSDriveXYZ"}}, 75, true},
        SearchCase{"PartialMarkerThenWhole", 4096, {{10, "KivoFSDrivKivoFSDrive"}}, 31, true},
        // The file search reads chunks of 64 KiB, 128 KiB, ... up to 4 MiB, ending at these
        // offsets: a marker across a chunk boundary must be found.
        SearchCase{"AcrossTheFirstChunk", 200000, {{65536 - 5, "KivoFSDrive"}}, 65536 + 6, true},
        SearchCase{"AcrossTheSecondChunk", 200000, {{196608 - 3, "KivoFSDrive"}}, 196608 + 8,
                   true},
        SearchCase{"AcrossTheFirst4MiBChunk", 8400000, {{4128768 - 10, "KivoFSDrive"}},
                   4128768 + 1, true},
        SearchCase{"JustBeforeAChunkEnd", 500000, {{458752 - 11, "KivoFSDrive"}}, 458752, true},
        SearchCase{"NearTheEndOfALargeRom", (std::size_t{9} << 20) + 100,
                   {{(std::size_t{9} << 20) + 100 - 28, "KivoFSDrive"}},
                   (std::size_t{9} << 20) + 100 - 17, true}),
    [](const testing::TestParamInfo<SearchCase>& caseInfo) { return caseInfo.param.name; });

// Random ROMs sprinkled with markers and near-misses: the fast search equals the plain scan.
TEST(FindParamBlock, AgreesWithThePlainScanOnRandomRoms) {
  std::mt19937 random(20240);
  const std::string pieces[] = {"KivoFSDrive", "KivoFSDriv", "ivoFSDrive", "KivoFSDrivE"};
  for (int round = 0; round < 300; ++round) {
    std::size_t size = random() % 200;
    Bytes rom(size);
    for (auto& b : rom) b = static_cast<std::byte>("KivoFSDrive"[random() % 11]);
    for (int k = 0, n = static_cast<int>(random() % 3); k < n && size > 11; ++k) {
      const std::string& piece = pieces[random() % 4];
      if (piece.size() <= size) test::Put(rom, random() % (size - piece.size() + 1), piece);
    }
    ASSERT_EQ(FindParamBlock(rom), PlainScan(rom)) << "round " << round;
  }
}

}  // namespace
}  // namespace kivo::rom
