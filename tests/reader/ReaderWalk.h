// Walks a mounted drive as a program in the ROM would: every directory opened by its path,
// every file opened and read whole. Shared by the reader's tests and its fuzz target.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "reader/kivofs_reader.h"

namespace kivo::readertest {

// Path -> file bytes, or "/" for a directory.
using Listing = std::map<std::string, std::string>;

// The listing that Walk gives of a tree of (path, bytes), where a path ending in '/' is an
// empty folder: every folder on the way too, and names cut to the 16 bytes stored.
inline Listing ListingOf(const std::vector<std::pair<std::string, std::string>>& tree) {
  Listing listing;
  for (const auto& [path, bytes] : tree) {
    std::string shown;
    for (const auto& part : std::filesystem::path(path)) {
      if (part.empty()) continue;
      shown += (shown.empty() ? "" : "/") + part.string().substr(0, KFS_NAME_MAX);
      listing.emplace(shown, "/");
    }
    if (!path.ends_with('/')) listing[shown] = bytes;
  }
  return listing;
}

// What Walk returns when seeking or reading goes wrong in a file that opened.
inline constexpr int ShortRead = -100;

// Reads a file as its second half (asking for more than is left), then its first half.
inline int ReadWhole(kfs_drive& drive, const std::string& path, std::string& bytes) {
  kfs_file file;
  if (int result = kfs_open(&drive, path.c_str(), &file); result != KFS_OK) return result;
  const std::uint32_t size = kfs_size(&file), half = size / 2;
  bytes.assign(size, '\0');
  const bool whole =
      kfs_seek(&file, half) == KFS_OK &&
      kfs_read(&file, bytes.data() + half, size) == std::int32_t(size - half) &&
      kfs_read(&file, bytes.data(), 1) == 0 && kfs_seek(&file, 0) == KFS_OK &&
      kfs_read(&file, bytes.data(), half) == std::int32_t(half) && kfs_tell(&file) == half;
  return whole ? KFS_OK : ShortRead;
}

// Adds everything below `dir` to `out`; stops at the first error, which it returns, or once
// `budget` items are seen (a damaged image may list one block under many names).
inline int WalkFrom(kfs_drive& drive, const std::string& dir, Listing& out, std::size_t& budget) {
  kfs_dir handle;
  kfs_stat st;
  int result = kfs_opendir(&drive, dir.c_str(), &handle);
  while (result == KFS_OK && budget > 0 && (result = kfs_readdir(&handle, &st)) == 1) {
    --budget;
    std::string path = dir.empty() ? std::string(st.name) : dir + "/" + st.name;
    out[path] = "/";
    result = st.is_dir ? WalkFrom(drive, path, out, budget) : ReadWhole(drive, path, out[path]);
  }
  return result;
}

// The whole drive, 2000 items at most.
inline int Walk(kfs_drive& drive, Listing& out) {
  std::size_t budget = 2000;
  return WalkFrom(drive, "", out, budget);
}

}  // namespace kivo::readertest
