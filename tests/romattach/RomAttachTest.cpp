#include "romattach/RomAttach.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kivo::rom {
namespace {

// Expected values computed apart from this code, bit by bit.
TEST(NdsHeader, CrcOfKnownInputs) {
  const std::string check = "123456789";
  EXPECT_EQ(NdsHeaderCrc(std::as_bytes(std::span(check.data(), check.size()))), 0x4B37);
  EXPECT_EQ(NdsHeaderCrc(std::vector<std::byte>(nds::HeaderCrc)), 0x1BCC);
}

}  // namespace
}  // namespace kivo::rom
