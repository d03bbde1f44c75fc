// Whole-file input and atomic output shared by the builder, the reader and the ROM attach core.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "fsimage/Bytes.h"
#include "fsimage/Result.h"

namespace kivo {

// Quotes a path for messages: 'dir/file.kid'.
std::string Quoted(const std::filesystem::path& path);

// Size of a regular file, or an error naming it.
Result<std::uint64_t> FileSize(const std::filesystem::path& path);

// An open regular file, closed when dropped.
class RegularFile {
 public:
  // Opens `path` with the given access flags (O_RDONLY, O_WRONLY or O_RDWR), always
  // non-blocking so that a named pipe is refused at once instead of waiting for the other end.
  // "cannot open 'p': <reason>" when it cannot be opened (NotFound when it is missing);
  // "cannot <action> 'p': not a regular file" for a directory, pipe or device.
  static Result<RegularFile> Open(const std::filesystem::path& path, int access,
                                  std::string_view action);

  RegularFile(RegularFile&& other) noexcept;
  RegularFile& operator=(RegularFile&& other) noexcept;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile();

  int fd() const { return fd_; }
  std::uint64_t size() const { return size_; }
  // Hands the descriptor to the caller, who closes it.
  int Release();

 private:
  RegularFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Reads a whole regular file; refuses files larger than `maxSize` before allocating.
Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path,
                                             std::uint64_t maxSize);

// An output written to a temporary file beside its target and renamed over the
// target by Commit(), so a failure never leaves a truncated or half-written file.
// Dropping it without Commit() removes the temporary file.
//
// Replacing follows what writing in place would allow: an existing target that the user
// may not open for writing, or that is not a regular file, is refused before anything is
// written; a target reached through symbolic links is replaced at the end of the links,
// which stay; the replaced file keeps its mode (and owner where the user may keep it).
// A hard link is broken by the rename: the other names keep the old bytes.
class OutputFile {
 public:
  static Result<OutputFile> Create(const std::filesystem::path& target);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  const std::filesystem::path& target() const { return target_; }

  // Sets the length; new bytes read as zero.
  Status Resize(std::uint64_t size);
  Status WriteAt(std::uint64_t offset, ByteSpan bytes);
  // Copies exactly `length` bytes of `source` from `sourceOffset` to `offset`; a source
  // that delivers fewer bytes (it shrank) is an error naming it.
  Status CopyFrom(const std::filesystem::path& source, std::uint64_t sourceOffset,
                  std::uint64_t length, std::uint64_t offset);
  // Flushes, closes and renames over the target.
  Status Commit();

 private:
  OutputFile(std::filesystem::path target, std::filesystem::path destination,
             std::filesystem::path temp, int fd);
  void Discard();

  std::filesystem::path target_;       // as given, for messages
  std::filesystem::path destination_;  // the file the rename replaces
  std::filesystem::path temp_;
  int fd_ = -1;
};

}  // namespace kivo
