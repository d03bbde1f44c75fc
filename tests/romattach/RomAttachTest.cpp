#include "romattach/RomAttach.h"

#include <gtest/gtest.h>

#include "tests/romattach/RomTestFiles.h"

namespace kivo::rom {
namespace {

using test::Bytes;

Bytes Ramp(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(i & 0xFF);
  return bytes;
}

// Expected values computed apart from this code, with a bit-by-bit loop.
TEST(NdsHeader, CrcOfKnownInputs) {
  const std::string check = "123456789";
  EXPECT_EQ(NdsHeaderCrc(std::as_bytes(std::span(check.data(), check.size()))), 0x4B37);
  EXPECT_EQ(NdsHeaderCrc(ByteSpan(Ramp(nds::HeaderCrc))), 0x3106);
}

TEST(NdsHeader, UpdateChangesOnlyUsedSizeAndCrc) {
  const Bytes before = Ramp(0x200);
  Bytes after = before;
  UpdateNdsHeader(after, 0x01020304);
  Bytes expected = before;
  test::Put(expected, 0x80, "\x04\x03\x02\x01");
  test::Put(expected, 0x15E, "\x42\xFF");  // CRC 0xFF42
  EXPECT_EQ(after, expected);
}

TEST(GbaWindow, FirstByteAtThirtyTwoMiBPasses) {
  const std::uint64_t window = 32u << 20;
  EXPECT_FALSE(PassesGbaWindow(window - 512, 512));  // last byte at 32 MiB - 1
  EXPECT_TRUE(PassesGbaWindow(window - 511, 512));   // last byte at 32 MiB
  EXPECT_FALSE(PassesGbaWindow(window, 0));          // no byte at all
  EXPECT_EQ(RomKindOf("out/Game.GbA"), RomKind::Gba);
  EXPECT_EQ(RomKindOf("game.NDS"), RomKind::Nds);
  EXPECT_EQ(RomKindOf("gba"), RomKind::Other);
}

}  // namespace
}  // namespace kivo::rom
