#include "romattach/RomFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsimage/FileIO.h"
#include "romattach/Marker.h"

namespace kivo::rom {
namespace {

// Markers usually sit near the start of a ROM: read a little first, then more and more.
constexpr std::size_t FirstSearchChunk = std::size_t{64} << 10;
constexpr std::size_t SearchChunkSize = std::size_t{4} << 20;

std::string SystemText(int error) { return std::generic_category().message(error); }

}  // namespace

RomFile::RomFile(std::filesystem::path path, int fd, std::uint64_t size)
    : path_(std::move(path)), fd_(fd), size_(size) {}

RomFile::RomFile(RomFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), size_(other.size_) {
  other.fd_ = -1;
}

RomFile& RomFile::operator=(RomFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
  }
  return *this;
}

RomFile::~RomFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result<RomFile> RomFile::Open(const std::filesystem::path& path) {
  auto file = RegularFile::Open(path, O_RDONLY, "open");
  if (!file) return file.error();
  const std::uint64_t size = file->size();
  return RomFile(path, file->Release(), size);
}

Status RomFile::ReadInto(std::uint64_t offset, MutableByteSpan into) const {
  std::size_t done = 0;
  while (done < into.size()) {
    ssize_t got = ::pread(fd_, into.data() + done, into.size() - done,
                          static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      return MakeError(ErrorKind::Io, "cannot read " + Quoted(path_) + ": " + SystemText(errno));
    }
    if (got == 0) {
      return MakeError(ErrorKind::Changed, "cannot read " + Quoted(path_) +
                                               ": file shrank while it was read (ends before " +
                                               std::to_string(offset + into.size()) + " bytes)");
    }
    done += static_cast<std::size_t>(got);
  }
  return {};
}

Result<std::vector<std::byte>> RomFile::Read(std::uint64_t offset, std::uint64_t length) const {
  if (!InBounds(size_, offset, length)) {
    return MakeError(ErrorKind::Format, "cannot read " + Quoted(path_) + ": bytes " +
                                            std::to_string(offset) + " to " +
                                            std::to_string(offset + length) +
                                            " lie past its end (" + std::to_string(size_) +
                                            " bytes)");
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(length));
  Status read = ReadInto(offset, bytes);
  if (!read) return read.error();
  return bytes;
}

Result<std::optional<std::uint64_t>> RomFile::FindParamBlock() const {
  // Only markers that end at least two bytes before the end qualify.
  if (size_ <= MarkerSize + 1) return std::optional<std::uint64_t>();
  const std::uint64_t limit = size_ - MarkerTailRoom;
  std::vector<std::byte> buffer(
      static_cast<std::size_t>(std::min<std::uint64_t>(SearchChunkSize + MarkerSize - 1, limit)));
  std::uint64_t base = 0;  // file offset of buffer[0]
  std::size_t kept = 0;    // bytes carried over from the previous chunk
  std::size_t chunk = FirstSearchChunk;
  while (base + kept < limit) {
    auto want = static_cast<std::size_t>(
        std::min<std::uint64_t>({buffer.size() - kept, chunk, limit - base - kept}));
    chunk = std::min(chunk * 2, SearchChunkSize);
    Status read = ReadInto(base + kept, MutableByteSpan(buffer.data() + kept, want));
    if (!read) return read.error();
    std::size_t have = kept + want;
    if (auto hit = FindMarker(ByteSpan(buffer.data(), have))) {
      return std::optional<std::uint64_t>(base + *hit + MarkerSize);
    }
    // A marker may straddle two chunks: keep the tail that could start one.
    std::size_t carry = std::min(have, MarkerSize - 1);
    std::memmove(buffer.data(), buffer.data() + have - carry, carry);
    base += have - carry;
    kept = carry;
  }
  return std::optional<std::uint64_t>();
}

}  // namespace kivo::rom
