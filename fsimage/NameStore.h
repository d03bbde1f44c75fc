// Storing a new drive name into an existing image file.
#pragma once

#include <filesystem>
#include <string_view>

#include "fsimage/Result.h"

namespace kivo::fs {

// Shown when a typed name is longer than a stored name may be (two blanks before the
// line break).
inline constexpr std::string_view DriveNameWarning =
    "Warning the name will be truncated.  \nThe name may only be 15 letters long.";

// True when `name` holds more bytes than a stored name keeps (15).
bool DriveNameTooLong(std::string_view name);

// Writes the 16-byte name field at offset 4 in place: zeros, then the first 15 bytes of
// `name`. Nothing else of the file is touched. Refuses a missing or read-only file and one
// shorter than 20 bytes; a failed write is reported.
Status StoreDriveName(const std::filesystem::path& path, std::string_view name);

}  // namespace kivo::fs
