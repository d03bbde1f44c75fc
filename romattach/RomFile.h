// A ROM or drive image opened for reading: checked reads at offsets and a marker search
// that streams through the file, so a large ROM is never held in memory whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "base/File.h"

namespace kivo::rom {

class RomFile {
 public:
  // Opens a regular file for reading; errors say "cannot open '<path>': <reason>".
  static Result<RomFile> Open(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return file_.path(); }
  // The size when the file was opened.
  std::uint64_t size() const { return file_.size(); }
  // The open file, for copies out of it.
  const File& file() const { return file_; }

  // Exactly `length` bytes from `offset`; a range past the end or a short read is an error
  // naming the file.
  Result<std::vector<std::byte>> Read(std::uint64_t offset, std::uint64_t length) const;

  // The same answer as FindParamBlock over the whole file, read in chunks that stop at the
  // first marker.
  Result<std::optional<std::uint64_t>> FindParamBlock() const;

 private:
  explicit RomFile(File file) : file_(std::move(file)) {}

  File file_;
};

}  // namespace kivo::rom
