#include "fsimage/Codec.h"

#include <array>

#include <gtest/gtest.h>

#include "fsimage/Format.h"

namespace kivo::fs {
namespace {

struct DateCase {
  int weekday, day, month, year, hour, minute, second;
  std::array<std::uint8_t, 6> bytes;  // date (3), hour, minute, second
};

class PackDateBytes : public ::testing::TestWithParam<DateCase> {};

TEST_P(PackDateBytes, FillsOnlyTheDateAndTimeBytes) {
  const DateCase& c = GetParam();
  std::tm time{};
  time.tm_wday = c.weekday;
  time.tm_mday = c.day;
  time.tm_mon = c.month;
  time.tm_year = c.year - 1900;
  time.tm_hour = c.hour;
  time.tm_min = c.minute;
  time.tm_sec = c.second;
  std::array<std::byte, DirEntrySize> record;
  record.fill(std::byte{0xAA});
  PackDate(time, record);
  for (std::size_t i = 0; i < DirEntrySize; ++i) {
    auto byte = static_cast<std::uint8_t>(record[i]);
    if (i >= entry::Date && i <= entry::Second) {
      EXPECT_EQ(byte, c.bytes[i - entry::Date]) << "byte " << i;
    } else {
      EXPECT_EQ(byte, 0xAA) << "byte " << i << " must stay untouched";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dates, PackDateBytes,
    ::testing::Values(
        DateCase{3, 15, 2, 2006, 14, 5, 9, {0x6F, 0x27, 0xD6, 0x0E, 0x05, 0x09}},
        DateCase{0, 1, 0, 1980, 0, 0, 0, {0x01, 0x07, 0xBC, 0x00, 0x00, 0x00}},
        DateCase{6, 31, 11, 2099, 23, 59, 59, {0xDF, 0xB8, 0x33, 0x17, 0x3B, 0x3B}},
        DateCase{1, 29, 1, 2024, 12, 30, 0, {0x3D, 0x17, 0xE8, 0x0C, 0x1E, 0x00}}));

TEST(PackDate, ValueHasTheFieldsInTheirBits) {
  std::tm time{};
  time.tm_wday = 3;
  time.tm_mday = 15;
  time.tm_mon = 2;
  time.tm_year = 2006 - 1900;
  EXPECT_EQ(PackedDateValue(time), 0x6F27D6u);
}

}  // namespace
}  // namespace kivo::fs
