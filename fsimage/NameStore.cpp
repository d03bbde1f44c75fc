#include "fsimage/NameStore.h"

#include <array>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsimage/Bytes.h"
#include "fsimage/FileIO.h"
#include "fsimage/Format.h"

namespace kivo::fs {
namespace {

std::string SystemText(int error) { return std::generic_category().message(error); }

}  // namespace

bool DriveNameTooLong(std::string_view name) { return name.size() > MaxDriveNameLength; }

Status StoreDriveName(const std::filesystem::path& path, std::string_view name) {
  // Non-blocking: a named pipe is refused below instead of waiting for a reader for ever.
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int error = errno;
    return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::Io,
                     "cannot open " + Quoted(path) + ": " + SystemText(error));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    int error = errno;
    ::close(fd);
    return MakeError(ErrorKind::Io, "cannot read " + Quoted(path) + ": " + SystemText(error));
  }
  constexpr auto fieldEnd = header::DriveName + DriveNameSize;
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": not a regular file");
  }
  if (static_cast<std::uint64_t>(info.st_size) < fieldEnd) {
    ::close(fd);
    return MakeError(ErrorKind::Format,
                     Quoted(path) + " is too short to hold a drive name (" +
                         std::to_string(info.st_size) + " bytes, the name ends at byte " +
                         std::to_string(fieldEnd) + ")");
  }
  std::array<std::byte, DriveNameSize> field{};
  StoreFixedString(field, 0, DriveNameSize, name.substr(0, MaxDriveNameLength));
  std::size_t done = 0;
  while (done < field.size()) {
    ssize_t put = ::pwrite(fd, field.data() + done, field.size() - done,
                           static_cast<off_t>(header::DriveName + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      int error = put < 0 ? errno : EIO;
      ::close(fd);
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(error));
    }
    done += static_cast<std::size_t>(put);
  }
  // Errors of delayed writes show up here, not in pwrite.
  if (::fsync(fd) != 0 && errno != EINVAL) {
    int error = errno;
    ::close(fd);
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(error));
  }
  if (::close(fd) != 0) {
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(errno));
  }
  return {};
}

}  // namespace kivo::fs
