#include "fsimage/Summary.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "base/File.h"
#include "fsimage/Codec.h"

namespace kivo::fs {
namespace {

// Every 35th byte of the root region, starting with its first: a non-zero first byte is a
// used slot. The count goes on past empty slots, and over the region's last byte, which
// is where a 118th slot would begin.
std::uint64_t CountUsedSlots(ByteSpan region) {
  std::uint64_t count = 0;
  for (std::size_t offset = 0; offset < region.size(); offset += DirEntrySize) {
    if (region[offset] != std::byte{0}) ++count;
  }
  return count;
}

Error RootOutside(std::string_view source, std::uint64_t start, std::uint64_t size,
                  std::uint64_t fileSize) {
  return MakeError(ErrorKind::Format, std::string(source) + ": root directory region (" +
                                          std::to_string(size) + " bytes at offset " +
                                          std::to_string(start) +
                                          ") lies outside the file of " +
                                          std::to_string(fileSize) + " bytes");
}

// Both summaries: the header from the first bytes of a file of `fileSize` bytes (all of
// them when it is shorter than the header), the used root slots from `countRoot`.
template <typename CountRoot>
Result<ImageSummary> Summarise(ByteSpan head, std::uint64_t fileSize, SizeUnit unit,
                               std::string_view source, CountRoot countRoot) {
  auto header = DecodeHeader(head, source);
  if (!header) return header.error();
  if (!InBounds(fileSize, header->rootStart, header->rootSize)) {
    return RootOutside(source, header->rootStart, header->rootSize, fileSize);
  }
  Result<std::uint64_t> entries = countRoot(header->rootStart, header->rootSize);
  if (!entries) return entries.error();
  ImageSummary summary;
  summary.fsVersion = FormatFsVersion(header->version);
  summary.rootEntries = std::to_string(*entries);
  summary.driveSize = FormatDriveSize(fileSize, unit);
  summary.driveName = header->driveName;
  summary.fileSize = fileSize;
  return summary;
}

}  // namespace

std::string FormatFsVersion(std::int32_t version) {
  char text[32];
  std::snprintf(text, sizeof text, "%i.%02i", version / 100, version % 100);
  return text;
}

std::string FormatDriveSize(std::uint64_t size, SizeUnit unit) {
  char text[48];
  if (unit == SizeUnit::Bytes) {
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(size));
  } else {
    // In 64 bits, size * 10 cannot overflow for any file that exists.
    std::uint64_t tenths = size * 10 / 1024;
    std::snprintf(text, sizeof text, "%llu.%llu", static_cast<unsigned long long>(tenths / 10),
                  static_cast<unsigned long long>(tenths % 10));
  }
  return text;
}

Result<ImageSummary> SummariseImage(ByteSpan bytes, SizeUnit unit, std::string_view source) {
  return Summarise(bytes, bytes.size(), unit, source,
                   [&](std::uint32_t start, std::uint32_t size) -> Result<std::uint64_t> {
                     return CountUsedSlots(bytes.subspan(start, size));
                   });
}

Result<ImageSummary> ReadImageSummary(const std::filesystem::path& path, SizeUnit unit,
                                      bool requireWritable) {
  auto file = File::Open(path, requireWritable ? Access::ReadWrite : Access::Read, "read");
  if (!file) return file.error();
  std::array<std::byte, header::End> head{};
  MutableByteSpan headBytes(head.data(), std::min<std::uint64_t>(head.size(), file->size()));
  KIVO_TRY(file->ReadAt(0, headBytes));
  return Summarise(headBytes, file->size(), unit, Quoted(path),
                   [&](std::uint32_t start, std::uint32_t size) -> Result<std::uint64_t> {
    // A foreign header may claim a huge root region: read it in pieces that start on slot
    // boundaries, so that memory stays small whatever the field says.
    constexpr std::size_t ChunkSize = DirEntrySize * 2048;
    std::vector<std::byte> chunk(std::min<std::uint64_t>(ChunkSize, size));
    std::uint64_t entries = 0;
    for (std::uint64_t done = 0; done < size; done += chunk.size()) {
      MutableByteSpan piece(chunk.data(), static_cast<std::size_t>(
                                              std::min<std::uint64_t>(chunk.size(), size - done)));
      KIVO_TRY(file->ReadAt(start + done, piece));
      entries += CountUsedSlots(piece);
    }
    return entries;
  });
}

}  // namespace kivo::fs
