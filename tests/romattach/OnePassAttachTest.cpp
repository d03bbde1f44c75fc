// The host is searched and copied in one pass, chunk by chunk: a marker or a block that
// straddles two chunks, and old drives cut off after they went out, still give the host's
// bytes with the block filled, then the drive.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "romattach/AttachDrives.h"
#include "romattach/RomFile.h"

namespace kivo::rom {
namespace {

namespace stdfs = std::filesystem;
using Bytes = std::vector<std::byte>;
constexpr std::size_t K = SearchChunkSize;

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  // Values below 'A' never spell the marker.
  for (std::size_t i = 0; i < size; ++i) bytes[i] = std::byte((i * 7 + seed + i / 509) % 64);
  return bytes;
}

void Save(const stdfs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes Load(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Bytes(reinterpret_cast<const std::byte*>(chars.data()),
               reinterpret_cast<const std::byte*>(chars.data() + chars.size()));
}

struct OnePassCase {
  const char* name;
  std::size_t hostSize;
  std::size_t markerAt;
  std::size_t oldDrivesAt;  // 0: a fresh host; else its block points at old drives from here
};

void PrintTo(const OnePassCase& c, std::ostream* os) { *os << c.name; }

class OnePassAttach : public testing::TestWithParam<OnePassCase> {
 protected:
  void TearDown() override { stdfs::remove_all(dir_); }
  stdfs::path dir_ = stdfs::temp_directory_path() /
                     ("kivofs-onepass-" + std::to_string(::getpid()) + "-" + GetParam().name);
};

TEST_P(OnePassAttach, WritesTheHostWithItsBlockThenTheDrive) {
  const OnePassCase& c = GetParam();
  stdfs::create_directories(dir_);
  Bytes host = Pattern(c.hostSize, 1);
  for (std::size_t i = 0; i < MarkerSize; ++i) host[c.markerAt + i] = std::byte(MarkerText[i]);
  const std::size_t at = c.markerAt + MarkerSize;
  if (c.oldDrivesAt != 0) {
    StoreLE32(host, at + block::Slot1Start, static_cast<std::uint32_t>(c.oldDrivesAt));
    StoreLE32(host, at + block::Slot1End, static_cast<std::uint32_t>(c.hostSize - 1));
  }
  const Bytes drive = Pattern(5000, 2);
  Save(dir_ / "host.nds", host);
  Save(dir_ / "d0.kid", drive);

  AttachRequest request{dir_ / "host.nds", dir_ / "d0.kid", {}, dir_ / "out.nds"};
  request.saveFlash = true;
  request.replace = c.oldDrivesAt != 0;
  auto report = AttachDrives(request);
  ASSERT_TRUE(report) << report.error().message;

  // The host up to the old drives, its block filled (slot 1 the new drive, slot 2 empty,
  // saveflash set), then the drive.
  Bytes expected(host.begin(), host.begin() + static_cast<std::ptrdiff_t>(
                                                  c.oldDrivesAt != 0 ? c.oldDrivesAt : c.hostSize));
  const auto start = static_cast<std::uint32_t>(expected.size());
  StoreLE32(expected, at + block::Slot1Start, start);
  StoreLE32(expected, at + block::Slot1End, start + 4999);
  StoreLE32(expected, at + block::Slot2Start, 0);
  StoreLE32(expected, at + block::Slot2End, 0);
  expected[at + block::SaveFlash] = std::byte{1};
  expected.insert(expected.end(), drive.begin(), drive.end());
  EXPECT_EQ(report->blockOffset, at);
  EXPECT_TRUE(Load(dir_ / "out.nds") == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnePassAttach,
    testing::Values(OnePassCase{"MarkerEndsTheFirstChunk", 2 * K, K - MarkerSize, 0},
                    OnePassCase{"MarkerSplitByTheChunks", 2 * K, K - 5, 0},
                    OnePassCase{"BlockSplitByTheChunks", 2 * K, K - MarkerSize - 8, 0},
                    OnePassCase{"MarkerStartsTheSecondChunk", 2 * K, K, 0},
                    OnePassCase{"MarkerInTheLastChunk", 3 * K + 40, 3 * K, 0},
                    OnePassCase{"OldDrivesCutAfterTheyWentOut", K + 9000, K + 100, K + 1000},
                    OnePassCase{"OldDrivesCutBeyondTheSearch", 3 * K, 100, 2 * K + 7}));

}  // namespace
}  // namespace kivo::rom
