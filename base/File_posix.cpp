// The file layer on POSIX hosts: descriptors, pread/pwrite, mmap, and *at calls relative to
// open directories.
#include "base/File.h"
#include "base/FileHost.h"
#include "base/Temporary.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo {
namespace {

std::string WhyNotRegular(const struct stat& info) {
  return S_ISDIR(info.st_mode) ? SystemText(EISDIR) : std::string("not a regular file");
}

}  // namespace

Result<std::uint64_t> FileSize(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return MakeError(ErrorKind::NotFound, Quoted(path) + ": " + SystemText(errno), path);
  }
  if (S_ISDIR(info.st_mode)) {
    return MakeError(ErrorKind::NotFound, Quoted(path) + ": is a directory", path);
  }
  return static_cast<std::uint64_t>(info.st_size);
}

Result<std::vector<ListedEntry>> ListDirectory(const std::filesystem::path& dir) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
  if (!listing) {
    int error = errno;
    return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::CannotOpen,
                     SystemText(error), dir);
  }
  std::vector<ListedEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) {
      if (errno != 0) return MakeError(ErrorKind::Io, SystemText(errno), dir);
      break;
    }
    std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    using Type = std::filesystem::file_type;
    Type type = Type::none;
#if defined(_DIRENT_HAVE_D_TYPE)
    switch (entry->d_type) {
      case DT_REG: type = Type::regular; break;
      case DT_DIR: type = Type::directory; break;
      case DT_LNK: type = Type::symlink; break;
      case DT_FIFO: type = Type::fifo; break;
      case DT_SOCK: type = Type::socket; break;
      case DT_BLK: type = Type::block; break;
      case DT_CHR: type = Type::character; break;
      default: break;
    }
#endif
    entries.push_back({std::string(name), type});
  }
  return entries;
}

int Descriptor::Close() {
  if (fd_ < 0) return 0;
  return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
}

Result<File> File::OpenForCopy(const std::filesystem::path& path) {
  // Non-blocking, as Open.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int error = errno;
    return OpenFailed(path, error);
  }
  return File(path, fd, 0);
}

Result<File> File::Open(const std::filesystem::path& path, Access access, std::string_view action) {
  int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  // Non-blocking: opening a named pipe would otherwise wait for its other end. Regular
  // files are not affected.
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int error = errno;
    return OpenFailed(path, error);
  }
  File file(path, fd, 0);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return file.Failed(action, errno);
  if (!S_ISREG(info.st_mode)) {
    return Cannot(ErrorKind::NotRegular, action, path, WhyNotRegular(info));
  }
  file.size_ = static_cast<std::uint64_t>(info.st_size);
  return file;
}

host::Moved host::ReadSome(int fd, std::uint64_t offset, MutableByteSpan into) {
  for (;;) {
    ssize_t got = ::pread(fd, into.data(), into.size(), static_cast<off_t>(offset));
    if (got >= 0) return {static_cast<std::size_t>(got), 0};
    if (errno != EINTR) return {0, errno};
  }
}

host::Moved host::WriteSome(int fd, std::uint64_t offset, ByteSpan bytes) {
  for (;;) {
    ssize_t put = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (put >= 0) return {static_cast<std::size_t>(put), 0};
    if (errno != EINTR) return {0, errno};
  }
}

host::Moved host::CopySome([[maybe_unused]] int in, [[maybe_unused]] std::uint64_t from,
                           [[maybe_unused]] int out, [[maybe_unused]] std::uint64_t to,
                           [[maybe_unused]] std::size_t length) {
#if defined(__linux__)
  for (;;) {
    auto source = static_cast<off64_t>(from);
    auto target = static_cast<off64_t>(to);
    ssize_t copied = ::copy_file_range(in, &source, out, &target, length, 0);
    if (copied >= 0) return {static_cast<std::size_t>(copied), 0};
    if (errno != EINTR) return {0, errno};
  }
#else
  return {0, ENOSYS};
#endif
}

Status File::Resize(std::uint64_t size) {
  if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return Failed("write", errno);
  return {};
}

Status File::Close(bool sync) {
  // EINVAL: the file cannot be synchronised (a special file); its writes are done.
  if (sync && ::fsync(fd_.get()) != 0 && errno != EINVAL) return Failed("write", errno);
  if (int error = fd_.Close(); error != 0) return Failed("write", error);
  return {};
}

Result<MappedFile> MappedFile::Open(const std::filesystem::path& path) {
  auto file = File::Open(path, Access::Read, "read");
  if (!file) return file.error();
  void* data = nullptr;
  if (file->size() > 0) {
    data = ::mmap(nullptr, static_cast<std::size_t>(file->size()), PROT_READ, MAP_PRIVATE,
                  file->fd_.get(), 0);
    if (data == MAP_FAILED) return file->Failed("read", errno);
  }
  return MappedFile(std::move(*file), static_cast<const std::byte*>(data));
}

void MappedFile::Unmap::operator()(const std::byte* data) const {
  ::munmap(const_cast<std::byte*>(data), size);
}

namespace {

// Where writing through `path` would land: the end of its chain of links.
Result<std::filesystem::path> FollowLinks(const std::filesystem::path& path) {
  // As many hops as the kernel allows before it says ELOOP.
  constexpr int MaxLinkHops = 40;
  std::filesystem::path current = path;
  for (int hop = 0; hop <= MaxLinkHops; ++hop) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::error_code ec;
    std::filesystem::path next = std::filesystem::read_symlink(current, ec);
    if (ec) return CannotWrite(path, ErrorKind::CannotOpen, ec.message());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return CannotWrite(path, ErrorKind::CannotOpen, SystemText(ELOOP));
}

}  // namespace

void OutputFile::Remove::operator()(Temporary* temporary) const {
  temporary::Forget(temporary->slot);
  ::unlinkat(temporary->directory, temporary->name.c_str(), 0);
  delete temporary;
}

Result<OutputFile> OutputFile::Create(const std::filesystem::path& target) {
  if (target.empty()) return MakeError(ErrorKind::Invalid, "no output file given");
  // A link stays a link: its target receives the bytes, and the temporary file goes beside
  // the target so that the rename stays within one directory.
  Result<std::filesystem::path> destination = FollowLinks(target);
  if (!destination) return destination.error();
  return CreateIn(AT_FDCWD, target, destination->string(), true);
}

Result<OutputFile> OutputFile::CreateIn(int directory, const std::filesystem::path& shown,
                                        const std::string& destination, bool followLinks) {
  const int statFlags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
  struct stat existing {};
  if (::fstatat(directory, destination.c_str(), &existing, statFlags) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      return CannotWrite(shown, ErrorKind::NotRegular, "is a directory");
    }
    // Renaming over a device or a pipe would replace the node itself.
    if (!S_ISREG(existing.st_mode)) {
      return CannotWrite(shown, ErrorKind::NotRegular, "not a regular file");
    }
    // The rename would replace a file whatever its own permission says; a file that the
    // user could not open for writing is refused as a write in place would be.
    if (::faccessat(directory, destination.c_str(), W_OK, AT_EACCESS) != 0) {
      return CannotWrite(shown, ErrorKind::CannotOpen, SystemText(errno));
    }
  }
  temporary::RemoveStale(directory, destination);
  std::filesystem::path place(destination);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string temp = (place.parent_path() /
                        temporary::NameFor(place.filename().string(),
                                           static_cast<unsigned>(random() % 1000000000)))
                           .string();
    int error = 0;
    temporary::EndingSignalsHeld held;
    int fd = temporary::CreateLocked(directory, temp, error);
    if (fd >= 0) {
      Temporary made{directory, temp, Descriptor(::dup(fd)), temporary::Remember(directory, temp)};
      return OutputFile(File(shown, fd, 0), destination, std::move(made));
    }
    if (error != EEXIST) return CannotWrite(shown, ErrorKind::CannotOpen, SystemText(error));
  }
  return CannotWrite(shown, ErrorKind::CannotOpen, "no temporary name free");
}

std::optional<File> OutputFile::IdenticalTarget(std::uint64_t targetSize) const {
  struct stat written {};
  if (::fstat(file_.fd_.get(), &written) != 0 ||
      static_cast<std::uint64_t>(written.st_size) != targetSize) {
    return std::nullopt;
  }
  int fd = ::openat(temp_->directory, destination_.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  File target(file_.path(), fd, targetSize);
  if (!SameBytes(file_, target, targetSize)) return std::nullopt;
  return target;
}

// Syncs the folder so that the rename into it survives a power cut.
Status host::SyncFolder(int directory, const std::string& destination,
                        const std::filesystem::path& shown) {
  std::string folder = std::filesystem::path(destination).parent_path().string();
  Descriptor fd(::openat(directory, folder.empty() ? "." : folder.c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // EINVAL: a file system whose folders cannot be synced, which orders its renames itself.
  if (fd.get() < 0 || (::fsync(fd.get()) != 0 && errno != EINVAL)) {
    return CannotWrite(shown, ErrorKind::Io, SystemText(errno));
  }
  detail::ReportSynced(shown, true);
  return {};
}

bool host::EndsInSeparator(const std::string& dir) { return dir.empty() || dir.back() == '/'; }

int host::Rename(int directory, const std::string& from, const std::string& to) {
  return ::renameat(directory, from.c_str(), directory, to.c_str()) == 0 ? 0 : errno;
}

std::optional<std::filesystem::path> OutputFile::TemporaryPath() const {
  if (!temp_ || temp_->directory != AT_FDCWD) return std::nullopt;
  return std::filesystem::path(temp_->name);
}

Status OutputFile::CommitNow() {
  if (!temp_) return CannotWrite(file_.path(), ErrorKind::Io, "already closed");
  const bool sync = SyncOutputs();
  // No fsync by default: the rename already keeps a failed run from touching the target, and
  // forcing every image to disk before it may be used would make a build several times
  // slower than copying its files. Write errors (a full disk) surface at pwrite or close.
  // The replaced file keeps its owner where the user may keep it, and its permissions; a new
  // one gets the usual 0666 & ~umask.
  struct stat old {};
  const int fd = file_.fd_.get();
  if (::fstatat(temp_->directory, destination_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(old.st_mode)) {
    // Identical bytes leave the target as it was, its time too, so nothing that depends on
    // it is made again; a time asked for is set by replacing it.
    if (std::optional<File> same;
        !modified_ && (same = IdenticalTarget(static_cast<std::uint64_t>(old.st_size)))) {
      return KeepIdenticalTarget(*same, sync);
    }
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      [[maybe_unused]] int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    ::fchmod(fd, old.st_mode & 07777);
  }
  if (modified_) {
    const struct timespec times[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT},
                                      {.tv_sec = *modified_, .tv_nsec = 0}};
    ::futimens(fd, times);
  }
  return RenameOverTarget(sync);
}

Result<Directory> Directory::Create(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    return MakeError(ErrorKind::CannotOpen, "cannot create " + Quoted(path) + ": " + ec.message(),
                     path);
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return CannotOpenDirectory("open", path, errno);
  return Directory(fd);
}

Result<Directory::EntryType> Directory::TypeOf(const std::string& name,
                                               const std::filesystem::path& shown) const {
  struct stat info {};
  if (::fstatat(fd_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return EntryType::None;
    return CannotWrite(shown, ErrorKind::Io, SystemText(errno));
  }
  if (S_ISLNK(info.st_mode)) return EntryType::Link;
  if (S_ISDIR(info.st_mode)) return EntryType::Directory;
  if (S_ISREG(info.st_mode)) return EntryType::Regular;
  return EntryType::Other;
}

Result<Directory> Directory::Subdirectory(const std::string& name,
                                          const std::filesystem::path& shown) {
  if (::mkdirat(fd_.get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
    return CannotOpenDirectory("create", shown, errno);
  }
  // O_NOFOLLOW: a link put there meanwhile is refused, not followed.
  int fd = ::openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return CannotOpenDirectory("open", shown, errno);
  return Directory(fd);
}

Result<OutputFile> Directory::Output(const std::string& name, const std::filesystem::path& shown) {
  return OutputFile::CreateIn(fd_.get(), shown, name, false);
}

}  // namespace kivo
