// What every test program shares: bytes as strings, whole files, scratch directories, source
// trees and their snapshots, and running a program with its output captured. Everything here
// is portable; Run() has one implementation per host (Process.cpp for POSIX, Process_win32.cpp
// for Windows).
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bytes.h"
#include "base/File.h"

namespace kivo::test {

namespace stdfs = std::filesystem;

// Tests hold bytes in strings: literals, comparisons and failure output come for free.
inline ByteSpan Span(const std::string& bytes) { return std::as_bytes(std::span(bytes)); }
inline std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  return LoadLE32(Span(bytes), at);
}
inline void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  StoreLE32(std::as_writable_bytes(std::span(bytes)), at, value);
}
// Bytes written as hex pairs, blanks between pairs ignored: Hex("6F27D6 0E").
inline std::string Hex(std::string_view pairs) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < pairs.size(); i += pairs[i] == ' ' ? 1 : 2) {
    if (pairs[i] == ' ') continue;
    bytes += static_cast<char>(std::stoi(std::string(pairs.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}
// `size` varied bytes, the same for the same size.
inline std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size) % 251);
  return bytes;
}
// `size` bytes that never spell the marker "KivoFSDrive": every value is below 'A'.
inline std::string Filler(std::size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 31 + seed * 17 + i / 253) % 64);
  }
  return bytes;
}
// A prepared host ROM: filler with the marker at `marker`, followed by as much of an empty
// 17-byte parameter block as fits.
inline std::string HostRom(std::size_t size, std::size_t marker) {
  std::string rom = Filler(size), marked = "KivoFSDrive" + std::string(17, '\0');
  return rom.replace(marker, std::min(marked.size(), size - marker), marked, 0, size - marker);
}
// A prepared host ROM that starts with a DS cartridge header: a DS unit code, an ARM9 binary
// at 0x200 loaded into main RAM, an ARM7 binary at 0x400 loaded into its work RAM, the card
// control value 0x00586000 at 0x60 and capacity code 0 (128 KiB). The marker lies past 0x160.
inline std::string NdsHost(std::size_t size, std::size_t marker) {
  std::string rom = HostRom(size, marker);
  rom[0x12] = 0;
  rom[0x14] = 0;
  Put32(rom, 0x20, 0x200);
  Put32(rom, 0x28, 0x02000000);
  Put32(rom, 0x30, 0x400);
  Put32(rom, 0x38, 0x037F8000);
  Put32(rom, 0x60, 0x00586000);
  return rom;
}
// Where two byte strings first differ; -1 when equal. A readable failure for whole images.
inline long Mismatch(const std::string& a, const std::string& b) {
  if (a == b) return -1;
  return static_cast<long>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

// Empty for what is no regular file.
inline std::string ReadFile(const stdfs::path& path) {
  if (!stdfs::is_regular_file(path)) return {};
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void WriteFile(const stdfs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) stdfs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
// `text` without any "<dir>/" (or "<dir>\\" as Windows joins), so that messages read alike
// wherever the test ran.
inline std::string Relative(std::string text, const stdfs::path& dir) {
  for (const std::string& prefix : {dir.string() + "/", dir.string() + "\\"}) {
    for (auto at = text.find(prefix); at != std::string::npos; at = text.find(prefix)) {
      text.erase(at, prefix.size());
    }
  }
  return text;
}

// A fresh directory below the system's temporary directory, removed with all it holds, also
// when a test took permissions away inside it.
class TempDir {
 public:
  TempDir()
      : path_(stdfs::temp_directory_path() /
              ("kivofs-test-" + std::to_string(std::random_device()()))) {
    stdfs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    const auto add = stdfs::perm_options::add;
    for (auto it = stdfs::recursive_directory_iterator(path_, ignored); it != stdfs::end(it);
         it.increment(ignored)) {
      if (!it->is_symlink(ignored)) stdfs::permissions(*it, stdfs::perms::owner_all, add, ignored);
    }
    stdfs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const stdfs::path& path() const { return path_; }
  stdfs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  stdfs::path path_;
};

// A source tree: a path ending in '/' is a directory, any other a file with its bytes. Paths
// are UTF-8.
using Tree = std::vector<std::pair<std::string, std::string>>;
inline void MakeTree(const stdfs::path& root, const Tree& tree) {
  stdfs::create_directories(root);
  for (const auto& [path, bytes] : tree) {
    if (path.ends_with('/')) {
      stdfs::create_directories(root / PathFromUtf8(path));
    } else {
      WriteFile(root / PathFromUtf8(path), bytes);
    }
  }
}

// Every entry below `root` with its bytes, "/" for a directory, "->target" for a link (never
// followed) and "(special)" for a pipe, socket or device (never opened): two snapshots differ
// when anything was changed, added or left behind.
inline std::map<std::string, std::string> Snapshot(const stdfs::path& root) {
  std::map<std::string, std::string> found;
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::end(it);
       it.increment(ec)) {
    auto status = it->symlink_status();
    std::string& bytes = found[it->path().lexically_relative(root).generic_string()];
    if (stdfs::is_symlink(status)) {
      bytes = "->" + stdfs::read_symlink(*it).string();
    } else {
      bytes = stdfs::is_directory(status) ? "/" : stdfs::is_regular_file(status) ? ReadFile(*it)
                                                                                    : "(special)";
    }
  }
  return found;
}

struct Outcome {
  int exitCode = -1;  // -1: ended by a signal or by the time limit
  bool timedOut = false;
  std::string out, err;
};

struct RunOptions {
  stdfs::path cwd{};                        // the test's own when empty
  std::vector<std::string> env{};           // "NAME=value" added to the test's environment
  std::optional<std::uint64_t> fileSize{};  // the most a file may grow to; past it writes fail
  bool ordinaryUser = false;                // as the user "nobody" when the tests run as root
};

// Runs `program` with `args`, standard input empty, and captures its output and exit code; a
// program still running after 60 seconds is killed.
Outcome Run(const std::string& program, const std::vector<std::string>& args,
            const RunOptions& options = {});

#ifdef KIVOFS_BIN
inline Outcome Kivofs(const std::vector<std::string>& args, const RunOptions& options = {}) {
  return Run(KIVOFS_BIN, args, options);
}
#endif

}  // namespace kivo::test
