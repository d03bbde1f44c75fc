#include "fsimage/Layout.h"

#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "fsimage/Format.h"

namespace kivo::fs {
namespace {

struct LayoutCase {
  std::uint64_t dataSize;
  std::uint32_t fatSize;
  std::uint32_t rootStart;
  std::uint32_t dataStart;
  std::uint32_t driveSize;
};

class LayoutBoundaries : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutBoundaries, RegionsFollowEachOther) {
  const LayoutCase& c = GetParam();
  Result<ImageHeader> layout = ComputeLayout(c.dataSize);
  ASSERT_TRUE(layout.ok());
  EXPECT_EQ(layout->fatSize, c.fatSize);
  EXPECT_EQ(layout->rootStart, c.rootStart);
  EXPECT_EQ(layout->dataStart, c.dataStart);
  EXPECT_EQ(layout->driveSize, c.driveSize);
  EXPECT_EQ(layout->bootSize, 512u);
  EXPECT_EQ(layout->fatStart, 512u);
  EXPECT_EQ(layout->rootSize, 4096u);
  EXPECT_EQ(layout->dataSize, c.dataSize);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LayoutBoundaries,
    ::testing::Values(
        LayoutCase{4096, 512, 1024, 5120, 9216},      // one empty directory
        LayoutCase{6656, 512, 1024, 5120, 11776},     // docs, a.bin, readme.txt
        LayoutCase{60416, 512, 1024, 5120, 65536},    // 128 clusters: the last one still fits
        LayoutCase{60928, 1024, 1536, 5632, 66560},   // 129 clusters: the table grows
        LayoutCase{65024, 1024, 1536, 5632, 70656},   // would leave 9 entries in the root directory
        LayoutCase{65536, 1024, 1536, 5632, 71168},
        LayoutCase{131072, 1536, 2048, 6144, 137216},
        // 118 full blocks of 65536 bytes still fit their 119 blocks of table.
        LayoutCase{118u * 65536, 119u * 512, 119u * 512 + 512, 119u * 512 + 4608,
                   119u * 512 + 118u * 65536 + 4608}));

// Every entry must lie inside the table, and the table is the smallest that holds them
// starting from one block per full 65536 bytes plus one.
TEST(Layout, TableCoversEveryClusterAndIsNoLargerThanNeeded) {
  for (std::uint64_t data = 0; data <= 4u * 1024 * 1024; data += 512) {
    LayoutSizes sizes = ComputeSizes(data);
    ASSERT_GE(sizes.fatSize / 4, sizes.driveSize / 512) << "data " << data;
    ASSERT_EQ(sizes.driveSize, sizes.fatSize + data + 4608);
    std::uint64_t base = 512 * (data / 65536 + 1);
    ASSERT_GE(sizes.fatSize, base);
    if (sizes.fatSize > base) {
      std::uint64_t smaller = sizes.fatSize - 512;
      ASSERT_LT(smaller / 4, (smaller + data + 4608) / 512) << "data " << data;
    }
  }
}

TEST(Layout, RefusesAnImageReaching2GiB) {
  std::uint64_t largest = 0;
  // Data sizes are multiples of 512; search the largest that keeps the image below 2 GiB.
  for (std::uint64_t data = 0x7C000000; data < 0x80000000; data += 512) {
    if (ComputeSizes(data).driveSize <= MaxImageSize) largest = data;
  }
  ASSERT_GT(largest, 0u);
  Result<ImageHeader> fits = ComputeLayout(largest);
  ASSERT_TRUE(fits.ok());
  EXPECT_LE(fits->driveSize, MaxImageSize);
  Result<ImageHeader> over = ComputeLayout(largest + 512);
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.error().kind, ErrorKind::Capacity);
  EXPECT_NE(over.error().message.find("2 GiB"), std::string::npos);
  EXPECT_FALSE(ComputeLayout(std::uint64_t{1} << 33).ok());
}

TEST(Layout, HeaderBlockBytes) {
  ImageHeader layout = *ComputeLayout(6656);
  layout.driveName = "Kivo Rom Drive";
  std::vector<std::byte> block(512, std::byte{0x55});
  EncodeHeader(layout, block);
  const std::array<std::uint8_t, 52> expected = {
      0x64, 0x00, 0x00, 0x00,                                                  // version 100
      'K',  'i',  'v',  'o',  ' ',  'R',  'o',  'm',  ' ',  'D', 'r', 'i', 'v', 'e', 0, 0,
      0x00, 0x2E, 0x00, 0x00,  // driveSize 11776
      0x00, 0x02, 0x00, 0x00,  // bootSize 512
      0x00, 0x02, 0x00, 0x00,  // fatSize 512
      0x00, 0x10, 0x00, 0x00,  // rootSize 4096
      0x00, 0x1A, 0x00, 0x00,  // dataSize 6656
      0x00, 0x02, 0x00, 0x00,  // fatStart 512
      0x00, 0x04, 0x00, 0x00,  // rootStart 1024
      0x00, 0x14, 0x00, 0x00,  // dataStart 5120
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(block[i]), expected[i]) << "offset " << i;
  }
  for (std::size_t i = expected.size(); i < 512; ++i) {
    ASSERT_EQ(block[i], std::byte{0}) << "offset " << i;
  }
}

TEST(Layout, DriveNameKeepsATerminatingZero) {
  ImageHeader layout = *ComputeLayout(4096);
  layout.driveName = "ABCDEFGHIJKLMNOPQ";
  std::vector<std::byte> block(512);
  EncodeHeader(layout, block);
  std::string stored;
  for (std::size_t i = 4; i < 20; ++i) stored.push_back(static_cast<char>(block[i]));
  EXPECT_EQ(stored, std::string("ABCDEFGHIJKLMNO") + '\0');
}

}  // namespace
}  // namespace kivo::fs
