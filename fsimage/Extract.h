// Writes the tree held in a drive image out to a host directory.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <filesystem>
#include <string_view>

#include "base/File.h"
#include "base/Result.h"
#include "fsimage/Reader.h"

namespace kivo::fs {

struct ExtractStats {
  std::uint64_t directories = 0;
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
};

// Why a stored name cannot become a host file name ("" when it can): names come from an
// untrusted image, so empty, "." and "..", and names holding '/', '\' or a control
// character are refused.
std::string_view UnsafeNameReason(std::string_view name);

// Why Windows cannot hold `name` as a file name ("" when it can): a device name such as CON,
// NUL, COM1 or LPT1 (in any case, also with an extension: "nul.txt"), a trailing dot or space
// (which Windows drops, so that two names could land on one file), or one of < > : " | ? *
// (':' would write an alternate data stream). Extract refuses these names when built for
// Windows; elsewhere they are ordinary names.
std::string_view WindowsNameReason(std::string_view name);

// Extracts every directory and file of the image below `destination`, creating it when
// missing (on Windows, names that WindowsNameReason refuses, and two names in one directory
// that differ only in ASCII letter case, stop it as well). The whole tree is checked first
// (names, cycles, bounds), so a bad image writes nothing. Nothing outside `destination` is
// ever written: an existing symbolic link in the way is refused rather than followed, and
// each file is written to a temporary name and renamed into place, so a failure never leaves
// a half-written file.
// `imageFile`, when given, is the open file whose bytes `image` reads: file contents are then
// copied from it by the kernel. Its bytes must be those the reader sees.
// With `setTimes`, each file's modification time is the local time its entry holds (as tar
// and unzip restore theirs); a file whose entry holds no valid time keeps the time of writing.
Result<ExtractStats> ExtractImage(const ImageReader& image,
                                  const std::filesystem::path& destination,
                                  const File* imageFile = nullptr, bool setTimes = true);

// The local time that `entry` holds as seconds since 1970; nothing when it holds no valid one.
std::optional<std::time_t> EntryTime(const DirEntry& entry);

}  // namespace kivo::fs
