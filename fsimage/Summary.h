// The image summary of the drive tool: four display strings computed from a drive image
// file (format version, number of root entries, size, drive name).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/Bytes.h"
#include "base/Result.h"

namespace kivo::fs {

struct ImageSummary {
  std::string fsVersion;
  std::string rootEntries;
  std::string driveSize;
  std::string driveName;
  std::uint64_t fileSize = 0;  // the number behind driveSize
};

// The create flow shows the size in kilobytes, the open flow in bytes.
enum class SizeUnit { Kilobytes, Bytes };

// "%i.%02i" of version / 100 and version % 100, truncating toward zero as C does:
// 100 -> "1.00", 7 -> "0.07", -5 -> "0.-5".
std::string FormatFsVersion(std::int32_t version);
// Kilobytes with one decimal, cut off and not rounded ("%i.%i" of t / 10 and t % 10 with
// t = floor(size * 10 / 1024)), or "%i" of the bytes.
std::string FormatDriveSize(std::uint64_t size, SizeUnit unit);

// Summarises an image held in memory. Every read is checked: a file too short to hold
// the header fields, or whose root directory region lies outside it, gives an error.
// `source` names the image in messages.
Result<ImageSummary> SummariseImage(ByteSpan bytes, SizeUnit unit,
                                    std::string_view source = "the image");

// Summarises an image file, reading only its header and its root directory region.
// With `requireWritable` the file is opened for reading and writing, as the drive tool
// does, so a read-only file fails (CannotOpen) as a missing one does (NotFound).
Result<ImageSummary> ReadImageSummary(const std::filesystem::path& path, SizeUnit unit,
                                      bool requireWritable);

}  // namespace kivo::fs
