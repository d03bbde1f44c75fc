// A ROM or drive image opened for reading: checked reads at offsets and a marker search
// that streams through the file, so a large ROM is never held in memory whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "fsimage/Bytes.h"
#include "fsimage/Result.h"

namespace kivo::rom {

class RomFile {
 public:
  // Opens a regular file for reading; errors say "cannot open '<path>': <reason>".
  static Result<RomFile> Open(const std::filesystem::path& path);

  RomFile(RomFile&& other) noexcept;
  RomFile& operator=(RomFile&& other) noexcept;
  RomFile(const RomFile&) = delete;
  RomFile& operator=(const RomFile&) = delete;
  ~RomFile();

  const std::filesystem::path& path() const { return path_; }
  // The size when the file was opened.
  std::uint64_t size() const { return size_; }

  // Exactly `length` bytes from `offset`; a range past the end or a short read is an error
  // naming the file.
  Result<std::vector<std::byte>> Read(std::uint64_t offset, std::uint64_t length) const;

  // The same answer as FindParamBlock over the whole file, read in chunks that stop at the
  // first marker.
  Result<std::optional<std::uint64_t>> FindParamBlock() const;

 private:
  RomFile(std::filesystem::path path, int fd, std::uint64_t size);
  Status ReadInto(std::uint64_t offset, MutableByteSpan into) const;

  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace kivo::rom
