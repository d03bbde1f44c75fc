// The date and time bytes of a directory entry.
#pragma once

#include <ctime>

#include "fsimage/Bytes.h"

namespace kivo::fs {

// Fills `date` (3 bytes, most significant first: weekday, day of month, month, year),
// `hour`, `minute` and `second` of the 35-byte entry `record` from a broken-down time.
void PackDate(const std::tm& time, MutableByteSpan record);

// The 24-bit date value: weekday in bits 21-23, day in 16-20, month in 12-15, year in 0-11.
unsigned PackedDateValue(const std::tm& time);

}  // namespace kivo::fs
