#include "fsimage/Summary.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsimage/FileIO.h"
#include "fsimage/Format.h"

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

Error TooShort(std::string_view source, std::uint64_t size) {
  return MakeError(ErrorKind::Format, std::string(source) + " is too short to be a drive image (" +
                                          std::to_string(size) + " bytes)");
}

Error RootOutside(std::string_view source, std::uint64_t start, std::uint64_t size,
                  std::uint64_t fileSize) {
  return MakeError(ErrorKind::Format, std::string(source) + ": root directory region (" +
                                          std::to_string(size) + " bytes at offset " +
                                          std::to_string(start) +
                                          ") lies outside the file of " +
                                          std::to_string(fileSize) + " bytes");
}

ImageSummary FromHeader(ByteSpan head, std::uint64_t fileSize, std::uint64_t rootEntries,
                        SizeUnit unit) {
  ImageSummary summary;
  summary.fsVersion = FormatFsVersion(static_cast<std::int32_t>(LoadLE32(head, header::Version)));
  summary.rootEntries = std::to_string(rootEntries);
  summary.driveSize = FormatDriveSize(fileSize, unit);
  summary.driveName = *ReadFixedString(head, header::DriveName, DriveNameSize);
  summary.fileSize = fileSize;
  return summary;
}

std::string SystemText(int error) { return std::generic_category().message(error); }

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
  if (bytes.size() < header::End) return TooShort(source, bytes.size());
  std::uint32_t rootStart = LoadLE32(bytes, header::RootStart);
  std::uint32_t rootSize = LoadLE32(bytes, header::RootSize);
  if (!InBounds(bytes.size(), rootStart, rootSize)) {
    return RootOutside(source, rootStart, rootSize, bytes.size());
  }
  std::uint64_t entries = CountUsedSlots(bytes.subspan(rootStart, rootSize));
  return FromHeader(bytes, bytes.size(), entries, unit);
}

Result<ImageSummary> ReadImageSummary(const std::filesystem::path& path, SizeUnit unit,
                                      bool requireWritable) {
  auto file = RegularFile::Open(path, requireWritable ? O_RDWR : O_RDONLY, "read");
  if (!file) return file.error();
  const int fd = file->fd();
  const std::uint64_t fileSize = file->size();
  auto readAt = [&](std::uint64_t offset, std::span<std::byte> into) -> Status {
    std::size_t done = 0;
    while (done < into.size()) {
      ssize_t got = ::pread(fd, into.data() + done, into.size() - done,
                            static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        return MakeError(ErrorKind::Io, "cannot read " + Quoted(path) + ": " +
                                            (got < 0 ? SystemText(errno)
                                                     : std::string("file shrank while it was read")));
      }
      done += static_cast<std::size_t>(got);
    }
    return {};
  };

  std::string source = Quoted(path);
  if (fileSize < header::End) return TooShort(source, fileSize);
  std::array<std::byte, header::End> head{};
  if (Status read = readAt(0, head); !read) return read.error();
  std::uint32_t rootStart = LoadLE32(head, header::RootStart);
  std::uint32_t rootSize = LoadLE32(head, header::RootSize);
  if (!InBounds(fileSize, rootStart, rootSize)) {
    return RootOutside(source, rootStart, rootSize, fileSize);
  }
  // A foreign header may claim a huge root region: read it in pieces that start on slot
  // boundaries, so that memory stays small whatever the field says.
  constexpr std::size_t ChunkSize = DirEntrySize * 2048;
  std::vector<std::byte> chunk(std::min<std::uint64_t>(ChunkSize, rootSize));
  std::uint64_t entries = 0;
  for (std::uint64_t done = 0; done < rootSize; done += chunk.size()) {
    std::span<std::byte> piece(chunk.data(),
                               static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(),
                                                                                rootSize - done)));
    if (Status read = readAt(rootStart + done, piece); !read) return read.error();
    entries += CountUsedSlots(piece);
  }
  return FromHeader(head, fileSize, entries, unit);
}

}  // namespace kivo::fs
