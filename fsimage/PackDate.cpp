#include "fsimage/PackDate.h"

#include "fsimage/Format.h"

namespace kivo::fs {

unsigned PackedDateValue(const std::tm& time) {
  auto weekday = static_cast<unsigned>(time.tm_wday) & 0x7u;
  auto day = static_cast<unsigned>(time.tm_mday) & 0x1Fu;
  auto month = static_cast<unsigned>(time.tm_mon) & 0xFu;
  auto year = static_cast<unsigned>(time.tm_year + 1900) & 0xFFFu;
  return (((weekday << 5 | day) << 4 | month) << 12) | year;
}

void PackDate(const std::tm& time, MutableByteSpan record) {
  unsigned value = PackedDateValue(time);
  record[entry::Date] = static_cast<std::byte>((value >> 16) & 0xFFu);
  record[entry::Date + 1] = static_cast<std::byte>((value >> 8) & 0xFFu);
  record[entry::Date + 2] = static_cast<std::byte>(value & 0xFFu);
  record[entry::Hour] = static_cast<std::byte>(time.tm_hour & 0xFF);
  record[entry::Minute] = static_cast<std::byte>(time.tm_min & 0xFF);
  // A leap second (60) still fits the byte.
  record[entry::Second] = static_cast<std::byte>(time.tm_sec & 0xFF);
}

}  // namespace kivo::fs
