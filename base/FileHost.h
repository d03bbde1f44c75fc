// What the portable part of the file layer (File.cpp) and its host parts (File_posix.cpp,
// File_win32.cpp) share: the messages, made alike on every host, and the host calls that move
// a file's bytes, around which File.cpp loops.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/Bytes.h"
#include "base/Result.h"

namespace kivo {

// "cannot <action> 'path': <why>".
Error Cannot(ErrorKind kind, std::string_view action, const std::filesystem::path& path,
             const std::string& why);
// "cannot write 'shown': <why>".
Error CannotWrite(const std::filesystem::path& shown, ErrorKind kind, const std::string& why);
// A directory that could not be opened or made: "cannot <action> 'shown': <reason>".
Error CannotOpenDirectory(std::string_view action, const std::filesystem::path& shown, int error);

namespace host {

// What one call moved: `count` bytes, or nothing with the error number of its failure.
struct Moved {
  std::size_t count = 0;
  int error = 0;
};

// Up to into.size() bytes of `fd` from `offset`; count 0 at the end of the file.
Moved ReadSome(int fd, std::uint64_t offset, MutableByteSpan into);
// Up to bytes.size() bytes to `fd` at `offset`.
Moved WriteSome(int fd, std::uint64_t offset, ByteSpan bytes);
// Copies up to `length` bytes by the kernel, which copies or shares extents without passing
// the bytes through user space: count 0 at the end of the source. ENOSYS when the kernel
// cannot copy at all (EXDEV, EINVAL and a few others when not between these files).
Moved CopySome(int in, std::uint64_t from, int out, std::uint64_t to, std::size_t length);

// Whether a name goes right after `dir`: an empty path, or one that ends in a separator, has
// no file name to separate from; on Windows neither has a bare drive ("C:" + "x" is "C:x",
// relative to that drive).
bool EndsInSeparator(const std::string& dir);

// Renames `from` over `to` (relative to `directory` on POSIX, whole UTF-8 paths on Windows): 0,
// or the error number.
int Rename(int directory, const std::string& from, const std::string& to);
// Makes a rename into the folder of `destination` durable (and tells the sync observer):
// POSIX syncs the folder, Windows has already written the rename through.
Status SyncFolder(int directory, const std::string& destination,
                  const std::filesystem::path& shown);

}  // namespace host
}  // namespace kivo
