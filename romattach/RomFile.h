// A ROM or drive image opened for reading: checked reads at offsets and a marker search
// that streams through the file, so a large ROM is never held in memory whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "base/File.h"

namespace kivo::rom {

// The marker search reads a file in chunks of this size: small enough to stay in the
// processor's cache between the read, the search and the write of a copy made in the same
// pass, large enough to keep the calls few.
inline constexpr std::size_t SearchChunkSize = std::size_t{256} << 10;

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

  // Takes each chunk as it is read: its offset in the file and its bytes.
  using ChunkSink = std::function<void(std::uint64_t offset, ByteSpan bytes)>;

  // The same answer as FindParamBlock over the whole file, read in chunks that stop at the
  // first marker. Each chunk goes to `sink` before it is searched, in order from offset 0,
  // so that a copy of the file can be made in the same pass.
  Result<std::optional<std::uint64_t>> FindParamBlock(const ChunkSink& sink = {}) const;

 private:
  explicit RomFile(File file) : file_(std::move(file)) {}

  File file_;
};

}  // namespace kivo::rom
