#include "fsimage/FileIO.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo {
namespace {

std::string SystemText(int error) { return std::generic_category().message(error); }

constexpr std::size_t CopyBufferSize = std::size_t{1} << 20;

}  // namespace

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

Result<std::uint64_t> FileSize(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    int error = errno;
    return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::Io,
                     Quoted(path) + ": " + SystemText(error));
  }
  if (S_ISDIR(info.st_mode)) {
    return MakeError(ErrorKind::Io, Quoted(path) + ": is a directory");
  }
  return static_cast<std::uint64_t>(info.st_size);
}

Result<RegularFile> RegularFile::Open(const std::filesystem::path& path, int access,
                                      std::string_view action) {
  int fd = ::open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int error = errno;
    return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::Io,
                     "cannot open " + Quoted(path) + ": " + SystemText(error));
  }
  RegularFile file(fd, 0);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    int error = errno;
    return MakeError(ErrorKind::Io, "cannot " + std::string(action) + " " + Quoted(path) + ": " +
                                        SystemText(error));
  }
  if (!S_ISREG(info.st_mode)) {
    return MakeError(ErrorKind::Io,
                     "cannot " + std::string(action) + " " + Quoted(path) + ": not a regular file");
  }
  file.size_ = static_cast<std::uint64_t>(info.st_size);
  return file;
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

int RegularFile::Release() { return std::exchange(fd_, -1); }

Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path,
                                             std::uint64_t maxSize) {
  auto file = RegularFile::Open(path, O_RDONLY, "read");
  if (!file) return file.error();
  const int fd = file->fd();
  const std::uint64_t size = file->size();
  if (size > maxSize) {
    return MakeError(ErrorKind::Capacity, Quoted(path) + " is too large (" +
                                              std::to_string(size) + " bytes, at most " +
                                              std::to_string(maxSize) + ")");
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      int error = got < 0 ? errno : 0;
      return MakeError(ErrorKind::Io, "cannot read " + Quoted(path) + ": " +
                                          (error ? SystemText(error)
                                                 : "file shrank while it was read (" +
                                                       std::to_string(done) + " of " +
                                                       std::to_string(size) + " bytes)"));
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}

OutputFile::OutputFile(std::filesystem::path target, std::filesystem::path destination,
                       std::filesystem::path temp, int fd)
    : target_(std::move(target)),
      destination_(std::move(destination)),
      temp_(std::move(temp)),
      fd_(fd) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : target_(std::move(other.target_)),
      destination_(std::move(other.destination_)),
      temp_(std::move(other.temp_)),
      fd_(other.fd_) {
  other.fd_ = -1;
  other.temp_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    Discard();
    target_ = std::move(other.target_);
    destination_ = std::move(other.destination_);
    temp_ = std::move(other.temp_);
    fd_ = other.fd_;
    other.fd_ = -1;
    other.temp_.clear();
  }
  return *this;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temp_, ignored);
    temp_.clear();
  }
}

namespace {

Result<std::filesystem::path> FollowLinks(const std::filesystem::path& path) {
  // As many hops as the kernel allows before it says ELOOP.
  constexpr int MaxLinkHops = 40;
  std::filesystem::path current = path;
  for (int hop = 0; hop <= MaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::error_code ec;
    std::filesystem::path next = std::filesystem::read_symlink(current, ec);
    if (ec) return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + ec.message());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(ELOOP));
}

}  // namespace

Result<OutputFile> OutputFile::Create(const std::filesystem::path& target) {
  if (target.empty()) return MakeError(ErrorKind::Invalid, "no output file given");
  // A link stays a link: its target receives the bytes, and the temporary file goes beside
  // the target so that the rename stays within one directory.
  Result<std::filesystem::path> resolved = FollowLinks(target);
  if (!resolved) return resolved.error();
  const std::filesystem::path& destination = *resolved;
  struct stat existing {};
  if (::stat(destination.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(target) + ": is a directory");
    }
    // Renaming over a device or a pipe would replace the node itself.
    if (!S_ISREG(existing.st_mode)) {
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(target) + ": not a regular file");
    }
    // The rename would replace a file whatever its own permission says; a file that the
    // user could not open for writing is refused as a write in place would be.
    if (::faccessat(AT_FDCWD, destination.c_str(), W_OK, AT_EACCESS) != 0) {
      int error = errno;
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(target) + ": " + SystemText(error));
    }
  }
  std::filesystem::path directory = destination.parent_path();
  if (directory.empty()) directory = ".";
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path temp =
        directory / ("." + destination.filename().string() + "." +
                     std::to_string(random() % 1000000000) + ".tmp");
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return OutputFile(target, destination, temp, fd);
    if (errno != EEXIST) {
      int error = errno;
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(target) + ": " + SystemText(error));
    }
  }
  return MakeError(ErrorKind::Io, "cannot write " + Quoted(target) + ": no temporary name free");
}

Status OutputFile::Resize(std::uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(target_) + ": " + SystemText(errno));
  }
  return {};
}

Status OutputFile::WriteAt(std::uint64_t offset, ByteSpan bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                           static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      int error = put < 0 ? errno : ENOSPC;
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(target_) + ": " + SystemText(error));
    }
    done += static_cast<std::size_t>(put);
  }
  return {};
}

Status OutputFile::CopyFrom(const std::filesystem::path& source, std::uint64_t sourceOffset,
                            std::uint64_t length, std::uint64_t offset) {
  // Non-blocking: a source swapped for a named pipe fails to read instead of waiting.
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) {
    return MakeError(ErrorKind::Io, "cannot open " + Quoted(source) + ": " + SystemText(errno));
  }
  auto shrank = [&](std::uint64_t copied) {
    return MakeError(ErrorKind::Changed, Quoted(source) + " shrank while it was copied (" +
                                             std::to_string(copied) + " of " +
                                             std::to_string(length) + " bytes)");
  };
  std::uint64_t copied = 0;
#if defined(__linux__)
  // The kernel copies (or shares extents) without passing the bytes through user space.
  bool fastPath = true;
  while (fastPath && copied < length) {
    auto inOffset = static_cast<off64_t>(sourceOffset + copied);
    auto outOffset = static_cast<off64_t>(offset + copied);
    ssize_t n = ::copy_file_range(in, &inOffset, fd_, &outOffset,
                                  static_cast<std::size_t>(length - copied), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
                  errno == EBADF)) {
      fastPath = false;  // fall back to the buffer below
      break;
    }
    if (n < 0) {
      int error = errno;
      ::close(in);
      bool readSide = error == EIO || error == EISDIR;
      return MakeError(ErrorKind::Io, (readSide ? "cannot read " + Quoted(source)
                                                : "cannot write " + Quoted(target_)) +
                                          ": " + SystemText(error));
    }
    if (n == 0) {
      ::close(in);
      return shrank(copied);
    }
    copied += static_cast<std::uint64_t>(n);
  }
#endif
  if (copied < length) {
    std::vector<std::byte> buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(CopyBufferSize, length - copied)));
    while (copied < length) {
      auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - copied));
      ssize_t got = ::pread(in, buffer.data(), want, static_cast<off_t>(sourceOffset + copied));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        int error = errno;
        ::close(in);
        return MakeError(ErrorKind::Io, "cannot read " + Quoted(source) + ": " + SystemText(error));
      }
      if (got == 0) {
        ::close(in);
        return shrank(copied);
      }
      Status written = WriteAt(offset + copied, ByteSpan(buffer.data(), static_cast<std::size_t>(got)));
      if (!written) {
        ::close(in);
        return written;
      }
      copied += static_cast<std::uint64_t>(got);
    }
  }
  ::close(in);
  return {};
}

Status OutputFile::Commit() {
  if (fd_ < 0) return MakeError(ErrorKind::Io, "cannot write " + Quoted(target_) + ": already closed");
  // No fsync: the rename already keeps a failed run from touching the target, and forcing
  // every image to disk before it may be used would make a build several times slower than
  // copying its files. Write errors (a full disk) surface at pwrite or close.
  // The replaced file keeps its owner where the user may keep it, and its permissions; a new
  // one gets the usual 0666 & ~umask.
  struct stat old {};
  if (::stat(destination_.c_str(), &old) == 0) {
    if (::fchown(fd_, old.st_uid, old.st_gid) != 0) {
      [[maybe_unused]] int groupOnly = ::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
    }
    ::fchmod(fd_, old.st_mode & 07777);
  }
  if (::close(fd_) != 0) {
    int error = errno;
    fd_ = -1;
    Discard();
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(target_) + ": " + SystemText(error));
  }
  fd_ = -1;
  std::error_code ec;
  std::filesystem::rename(temp_, destination_, ec);
  if (ec) {
    Discard();
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(target_) + ": " + ec.message());
  }
  temp_.clear();
  return {};
}

}  // namespace kivo
