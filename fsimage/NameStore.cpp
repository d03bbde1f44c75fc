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
  auto file = RegularFile::Open(path, O_WRONLY, "write");
  if (!file) return file.error();
  const int fd = file->fd();
  constexpr auto fieldEnd = header::DriveName + DriveNameSize;
  if (file->size() < fieldEnd) {
    return MakeError(ErrorKind::Format,
                     Quoted(path) + " is too short to hold a drive name (" +
                         std::to_string(file->size()) + " bytes, the name ends at byte " +
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
      return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(error));
    }
    done += static_cast<std::size_t>(put);
  }
  // Errors of delayed writes show up here, not in pwrite.
  if (::fsync(fd) != 0 && errno != EINVAL) {
    int error = errno;
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(error));
  }
  if (::close(file->Release()) != 0) {
    return MakeError(ErrorKind::Io, "cannot write " + Quoted(path) + ": " + SystemText(errno));
  }
  return {};
}

}  // namespace kivo::fs
