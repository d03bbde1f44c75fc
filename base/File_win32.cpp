// The file layer on Windows: files opened with CreateFileW on wide paths, reads and writes at
// offsets through OVERLAPPED, mappings of whole files, and the replacement of a target by
// MoveFileExW. Win32 errors are turned into errno values, so that messages read alike on
// every host ("No such file or directory", "Permission denied").
#include "base/File.h"
#include "base/FileHost.h"
#include "base/Temporary.h"

#include <algorithm>
#include <cerrno>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace kivo {
namespace {

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default: return EIO;
  }
}

int LastErrno() { return ErrnoOf(::GetLastError()); }

// std::filesystem reports Win32 errors in the system category.
int ErrnoOf(const std::error_code& ec) {
  return ec.category() == std::system_category() ? ErrnoOf(static_cast<DWORD>(ec.value()))
                                                 : ec.value();
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

constexpr const char* LinkRefused = "is a symbolic link or junction, which is not followed";

// Attributes of what `path` names itself (a link is not followed); nothing when there is
// nothing there, with the reason in `error`.
std::optional<DWORD> AttributesOf(const std::filesystem::path& path, int* error = nullptr) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (error != nullptr) *error = LastErrno();
    return std::nullopt;
  }
  return attributes;
}

}  // namespace

Result<std::uint64_t> FileSize(const std::filesystem::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return MakeError(ErrorKind::NotFound, Quoted(path) + ": " + SystemText(LastErrno()), path);
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return MakeError(ErrorKind::NotFound, Quoted(path) + ": is a directory", path);
  }
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

Result<std::vector<ListedEntry>> ListDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  std::vector<ListedEntry> entries;
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    entries.push_back({Utf8(it->path().filename()), std::filesystem::file_type::none});
  }
  if (ec) {
    int error = ErrnoOf(ec);
    return MakeError(error == ENOENT ? ErrorKind::NotFound : ErrorKind::CannotOpen,
                     SystemText(error), dir);
  }
  return entries;
}

int Descriptor::Close() {
  if (fd_ < 0) return 0;
  return ::_close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
}

Result<File> File::OpenForCopy(const std::filesystem::path& path) {
  auto file = Open(path, Access::Read, "read");
  if (file) file->size_ = 0;
  return file;
}

Result<File> File::Open(const std::filesystem::path& path, Access access, std::string_view action) {
  DWORD rights = access == Access::Read    ? GENERIC_READ
                 : access == Access::Write ? GENERIC_WRITE
                                           : GENERIC_READ | GENERIC_WRITE;
  // Shared for deleting too, as a POSIX file is: an output may still replace this file by a
  // rename while it is open (an attach that rewrites its own host).
  HANDLE handle = ::CreateFileW(path.c_str(), rights,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    int error = LastErrno();
    // A directory cannot be opened as a file at all; say what it is, as POSIX does.
    auto attributes = AttributesOf(path);
    if (attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Cannot(ErrorKind::NotRegular, action, path, SystemText(EISDIR));
    }
    return OpenFailed(path, error);
  }
  // Devices (NUL, CON, COM1) and pipes open like files.
  LARGE_INTEGER size{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size)) {
    ::CloseHandle(handle);
    return Cannot(ErrorKind::NotRegular, action, path, "not a regular file");
  }
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle),
                             _O_BINARY | (access == Access::Read ? _O_RDONLY : 0));
  if (fd < 0) {
    ::CloseHandle(handle);
    return OpenFailed(path, EMFILE);
  }
  return File(path, fd, static_cast<std::uint64_t>(size.QuadPart));
}

host::Moved host::ReadSome(int fd, std::uint64_t offset, MutableByteSpan into) {
  OVERLAPPED at = At(offset);
  DWORD got = 0;
  if (::ReadFile(HandleOf(fd), into.data(), static_cast<DWORD>(into.size()), &got, &at)) {
    return {got, 0};
  }
  DWORD failure = ::GetLastError();
  return failure == ERROR_HANDLE_EOF ? host::Moved{} : host::Moved{0, ErrnoOf(failure)};
}

host::Moved host::WriteSome(int fd, std::uint64_t offset, ByteSpan bytes) {
  OVERLAPPED at = At(offset);
  DWORD put = 0;
  if (::WriteFile(HandleOf(fd), bytes.data(), static_cast<DWORD>(bytes.size()), &put, &at)) {
    return {put, 0};
  }
  return {0, LastErrno()};
}

// Windows has no copy between two open files by offset: every copy goes through a buffer.
host::Moved host::CopySome(int, std::uint64_t, int, std::uint64_t, std::size_t) {
  return {0, ENOSYS};
}

Status File::Resize(std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(HandleOf(fd_.get()), FileEndOfFileInfo, &end, sizeof end)) {
    return Failed("write", LastErrno());
  }
  return {};
}

Status File::Close(bool sync) {
  if (sync && !::FlushFileBuffers(HandleOf(fd_.get()))) return Failed("write", LastErrno());
  if (int error = fd_.Close(); error != 0) return Failed("write", error);
  return {};
}

Result<MappedFile> MappedFile::Open(const std::filesystem::path& path) {
  auto file = File::Open(path, Access::Read, "read");
  if (!file) return file.error();
  const void* data = nullptr;
  if (file->size() > 0) {
    HANDLE mapping =
        ::CreateFileMappingW(HandleOf(file->fd_.get()), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return file->Failed("read", LastErrno());
    // The view keeps the mapping alive.
    data = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    int error = data == nullptr ? LastErrno() : 0;
    ::CloseHandle(mapping);
    if (data == nullptr) return file->Failed("read", error);
  }
  return MappedFile(std::move(*file), static_cast<const std::byte*>(data));
}

void MappedFile::Unmap::operator()(const std::byte* data) const {
  if (data != nullptr) ::UnmapViewOfFile(data);
}

// Here and not beside the other temporary calls: it needs the error numbers above.
int temporary::CreateLocked(int, const std::string& name, int& error) {
  // Open, it is its own lock: without sharing for writing, no other program can open it to
  // delete it.
  const std::filesystem::path path = PathFromUtf8(name);
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastErrno();
    return -1;
  }
  int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    ::DeleteFileW(path.c_str());
    error = EMFILE;
  }
  return fd;
}

void OutputFile::Remove::operator()(Temporary* temporary) const {
  temporary::Forget(temporary->slot);
  // Opened shared for deleting: still open, it goes when its handle closes.
  ::DeleteFileW(PathFromUtf8(temporary->name).c_str());
  delete temporary;
}

Result<OutputFile> OutputFile::Create(const std::filesystem::path& target) {
  if (target.empty()) return MakeError(ErrorKind::Invalid, "no output file given");
  return CreateIn(-1, target, Utf8(target), true);
}

Result<OutputFile> OutputFile::CreateIn(int, const std::filesystem::path& shown,
                                        const std::string& destination, bool) {
  const std::filesystem::path place = PathFromUtf8(destination);
  if (auto existing = AttributesOf(place)) {
    // A link or junction would be replaced by the rename itself, not written through.
    if (*existing & FILE_ATTRIBUTE_REPARSE_POINT) {
      return CannotWrite(shown, ErrorKind::NotRegular, LinkRefused);
    }
    if (*existing & FILE_ATTRIBUTE_DIRECTORY) {
      return CannotWrite(shown, ErrorKind::NotRegular, "is a directory");
    }
    if (*existing & FILE_ATTRIBUTE_DEVICE) {
      return CannotWrite(shown, ErrorKind::NotRegular, "not a regular file");
    }
    // The rename would replace a read-only file; writing in place would not.
    if (*existing & FILE_ATTRIBUTE_READONLY) {
      return CannotWrite(shown, ErrorKind::CannotOpen, SystemText(EACCES));
    }
  }
  temporary::RemoveStale(-1, destination);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = Utf8(
        place.parent_path() /
        PathFromUtf8(temporary::NameFor(Utf8(place.filename()),
                                        static_cast<unsigned>(random() % 1000000000))));
    int error = 0;
    int fd = temporary::CreateLocked(-1, temp, error);
    if (fd >= 0) {
      Temporary made{-1, temp, Descriptor(), temporary::Remember(-1, temp)};
      return OutputFile(File(shown, fd, 0), destination, std::move(made));
    }
    if (error != EEXIST) return CannotWrite(shown, ErrorKind::CannotOpen, SystemText(error));
  }
  return CannotWrite(shown, ErrorKind::CannotOpen, "no temporary name free");
}

std::optional<File> OutputFile::IdenticalTarget(std::uint64_t targetSize) const {
  LARGE_INTEGER written{};
  if (!::GetFileSizeEx(HandleOf(file_.fd_.get()), &written) ||
      static_cast<std::uint64_t>(written.QuadPart) != targetSize) {
    return std::nullopt;
  }
  auto existing = File::Open(PathFromUtf8(destination_), Access::Read, "read");
  if (!existing || existing->size() != targetSize || !SameBytes(file_, *existing, targetSize)) {
    return std::nullopt;
  }
  return std::move(*existing);
}

namespace {

// The modification time `seconds` since 1970 as Windows counts it: 100 ns since 1601.
FILETIME FileTimeOf(std::time_t seconds) {
  constexpr std::uint64_t SecondsFrom1601To1970 = 11644473600;
  std::uint64_t ticks = (static_cast<std::uint64_t>(seconds) + SecondsFrom1601To1970) * 10000000;
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

std::optional<std::filesystem::path> OutputFile::TemporaryPath() const {
  if (!temp_) return std::nullopt;
  return PathFromUtf8(temp_->name);
}

Status OutputFile::CommitNow() {
  if (!temp_) return CannotWrite(file_.path(), ErrorKind::Io, "already closed");
  const bool sync = SyncOutputs();
  // Identical bytes leave the target as it was, its time too.
  if (auto size = FileSize(PathFromUtf8(destination_)); size && !modified_) {
    if (std::optional<File> same = IdenticalTarget(*size)) return KeepIdenticalTarget(*same, sync);
  }
  if (modified_) {
    const FILETIME time = FileTimeOf(*modified_);
    ::SetFileTime(HandleOf(file_.fd_.get()), nullptr, nullptr, &time);
  }
  // No flush by default, as on POSIX: the rename keeps a failed run from touching the target.
  return RenameOverTarget(sync);
}

bool host::EndsInSeparator(const std::string& dir) {
  return dir.empty() || dir.back() == '/' || dir.back() == '\\' ||
         (dir.size() == 2 && dir[1] == ':');
}

int host::Rename(int, const std::string& from, const std::string& to) {
  // Written through: the move is on the disk when it returns.
  if (::MoveFileExW(PathFromUtf8(from).c_str(), PathFromUtf8(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return LastErrno();
}

Status host::SyncFolder(int, const std::string&, const std::filesystem::path& shown) {
  detail::ReportSynced(shown, true);
  return {};
}

Result<Directory> Directory::Create(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    return MakeError(ErrorKind::CannotOpen,
                     "cannot create " + Quoted(path) + ": " + SystemText(ErrnoOf(ec)), path);
  }
  int error = 0;
  auto attributes = AttributesOf(path, &error);
  if (!attributes) return CannotOpenDirectory("open", path, error);
  if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY)) return CannotOpenDirectory("open", path, ENOTDIR);
  return Directory(path);
}

Result<Directory::EntryType> Directory::TypeOf(const std::string& name,
                                               const std::filesystem::path& shown) const {
  int error = 0;
  auto attributes = AttributesOf(path_ / PathFromUtf8(name), &error);
  if (!attributes) {
    if (error == ENOENT) return EntryType::None;
    return CannotWrite(shown, ErrorKind::Io, SystemText(error));
  }
  if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryType::Link;
  if (*attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::Directory;
  if (*attributes & FILE_ATTRIBUTE_DEVICE) return EntryType::Other;
  return EntryType::Regular;
}

Result<Directory> Directory::Subdirectory(const std::string& name,
                                          const std::filesystem::path& shown) {
  std::filesystem::path path = path_ / PathFromUtf8(name);
  if (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return CannotOpenDirectory("create", shown, LastErrno());
  }
  // A link or junction put there meanwhile is refused, not followed.
  int error = 0;
  auto attributes = AttributesOf(path, &error);
  if (!attributes) return CannotOpenDirectory("open", shown, error);
  if (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return Cannot(ErrorKind::CannotOpen, "open", shown, LinkRefused);
  }
  if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY)) return CannotOpenDirectory("open", shown, ENOTDIR);
  return Directory(path);
}

Result<OutputFile> Directory::Output(const std::string& name, const std::filesystem::path& shown) {
  return OutputFile::CreateIn(-1, shown, Utf8(path_ / PathFromUtf8(name)), false);
}

}  // namespace kivo
