#include "tests/romattach/Assembly.h"

#include <gtest/gtest.h>

#include "romattach/Marker.h"
#include "tests/romattach/RomTestFiles.h"

namespace kivo::rom {
namespace {

using test::Bytes;
using test::Hex;
using test::Slice;

struct AssemblyCase {
  const char* name;
  std::optional<std::size_t> drive0Size;
  std::optional<std::size_t> drive1Size;
  bool saveFlash;
  std::size_t outputSize;
  Bytes blockBytes;  // bytes 111 to 127 of the output
};

void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

class AssembleRomTest : public testing::TestWithParam<AssemblyCase> {};

// A 4096-byte host with its marker at offset 100.
TEST_P(AssembleRomTest, FillsTheBlockAndAppendsTheDrives) {
  const AssemblyCase& c = GetParam();
  const Bytes host = test::HostWithMarker(4096, 100);
  const Bytes drive0 = test::Filler(c.drive0Size.value_or(0), 7);
  const Bytes drive1 = test::Filler(c.drive1Size.value_or(0), 9);
  const Bytes hostBefore = host;
  ASSERT_EQ(FindParamBlock(host), 111u);

  auto out = AssembleRom(host, c.drive0Size ? std::optional<ByteSpan>(drive0) : std::nullopt,
                         c.drive1Size ? std::optional<ByteSpan>(drive1) : std::nullopt,
                         c.saveFlash, 111);
  ASSERT_TRUE(out) << out.error().message;
  ASSERT_EQ(out->size(), c.outputSize);
  EXPECT_EQ(Slice(*out, 111, 17), c.blockBytes);
  EXPECT_EQ(Slice(*out, 0, 111), Slice(host, 0, 111));
  EXPECT_EQ(Slice(*out, 128, 4096 - 128), Slice(host, 128, 4096 - 128));
  std::size_t at = 4096;
  if (c.drive0Size) {
    EXPECT_EQ(Slice(*out, at, drive0.size()), drive0);
    at += drive0.size();
  }
  if (c.drive1Size) {
    EXPECT_EQ(Slice(*out, at, drive1.size()), drive1);
  }
  EXPECT_EQ(host, hostBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssembleRomTest,
    testing::Values(
        AssemblyCase{"BothDrivesSaveflash", 512, 768, true, 5376,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x11, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00,
                          0xFF, 0x14, 0x00, 0x00, 0x01})},
        AssemblyCase{"Drive1OnlyTakesSlot1", std::nullopt, 768, false, 4864,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x12, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                          0x00})},
        AssemblyCase{"Drive0OnlySaveflash", 512, std::nullopt, true, 4608,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x11, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                          0x01})},
        // An empty image ends one before its start.
        AssemblyCase{"EmptyDrive0", 0, 768, false, 4864,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x0F, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00,
                          0xFF, 0x12, 0x00, 0x00, 0x00})},
        AssemblyCase{"EmptyDrive1", 512, 0, true, 4608,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x11, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00,
                          0xFF, 0x11, 0x00, 0x00, 0x01})},
        AssemblyCase{"OnlyAnEmptyDrive", std::nullopt, 0, false, 4096,
                     Hex({0x00, 0x10, 0x00, 0x00, 0xFF, 0x0F, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                          0x00})}),
    [](const testing::TestParamInfo<AssemblyCase>& caseInfo) { return caseInfo.param.name; });

TEST(AssembleRom, BlockAtTheVeryEndOfTheHost) {
  Bytes host = test::HostWithMarker(64, 64 - 28);
  Bytes drive = test::Filler(3, 5);
  auto out = AssembleRom(host, drive, std::nullopt, true, 64 - 17);
  ASSERT_TRUE(out) << out.error().message;
  EXPECT_EQ(Slice(*out, 47, 17),
            Hex({64, 0, 0, 0, 66, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

struct RefusalCase {
  const char* name;
  std::size_t blockOffset;
  bool withDrive;
  ErrorKind kind;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class AssembleRomRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(AssembleRomRefusal, RefusesWithoutWritingPastTheHost) {
  const RefusalCase& c = GetParam();
  Bytes host = test::HostWithMarker(64, 10);
  Bytes drive = test::Filler(16, 5);
  auto out = AssembleRom(host, c.withDrive ? std::optional<ByteSpan>(drive) : std::nullopt,
                         std::nullopt, false, c.blockOffset);
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind, c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssembleRomRefusal,
    testing::Values(RefusalCase{"NoDrive", 21, false, ErrorKind::Invalid},
                    RefusalCase{"BlockOneBytePastTheEnd", 48, true, ErrorKind::Invalid},
                    RefusalCase{"BlockFarOutside", 1000, true, ErrorKind::Invalid}),
    [](const testing::TestParamInfo<RefusalCase>& caseInfo) { return caseInfo.param.name; });

TEST(ComputeSlots, OffsetsStayThirtyTwoBitNearTheLimit) {
  ParamBlock values = ComputeSlots(0x40000000u, 0x20000000u, 0x1FFFFFFFu, false);
  EXPECT_EQ(values.slot1Start, 0x40000000u);
  EXPECT_EQ(values.slot1End, 0x5FFFFFFFu);
  EXPECT_EQ(values.slot2Start, 0x60000000u);
  EXPECT_EQ(values.slot2End, 0x7FFFFFFEu);
}

TEST(ParamBlock, DecodeReadsWhatEncodeWrote) {
  ParamBlock values{0x01020304u, 0xA0B0C0D0u, 7, 0xFFFFFFFFu, 1};
  BlockBytes bytes = EncodeParamBlock(values);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()),
            Hex({0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0, 7, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                 0xFF, 1}));
  EXPECT_EQ(DecodeParamBlock(bytes, 0), values);
  EXPECT_EQ(DecodeParamBlock(bytes, 1), std::nullopt);
}

}  // namespace
}  // namespace kivo::rom
