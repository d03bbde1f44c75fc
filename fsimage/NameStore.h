// Storing a new drive name into an existing image file.
#pragma once

#include <filesystem>
#include <string_view>

#include "base/File.h"

namespace kivo::fs {

// Writes the 16-byte name field at offset 4 in place: the name as StoredDriveName() keeps
// it, then zeros. Nothing else of the file is touched. The file is opened with `access`
// (the drive tool asks for reading and writing); a missing file (NotFound), one that cannot
// be opened so (CannotOpen), one that is not a regular file (NotRegular) and one shorter
// than 20 bytes (Format) are refused; a failed write is reported (Io).
Status StoreDriveName(const std::filesystem::path& path, std::string_view name,
                      Access access = Access::Write);

}  // namespace kivo::fs
