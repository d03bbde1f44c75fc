// Walks a mounted drive as a program in the ROM would: every directory opened by its path,
// every file opened and read whole. Shared by the reader's tests and its fuzz target.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "reader/kivofs_reader.h"

namespace kivo::readertest {

// Path -> file bytes, or "/" for a directory.
using Listing = std::map<std::string, std::string>;

// What Walk returns when kfs_read delivers other than the file's size.
inline constexpr int ShortRead = -100;

inline int ReadWhole(kfs_drive& drive, const std::string& path, std::string& bytes) {
  kfs_file file;
  int result = kfs_open(&drive, path.c_str(), &file);
  if (result != KFS_OK) return result;
  bytes.assign(kfs_size(&file), '\0');
  std::int32_t got = kfs_read(&file, bytes.data(), kfs_size(&file));
  if (got < 0) return got;
  if (static_cast<std::uint32_t>(got) != kfs_size(&file) || kfs_read(&file, nullptr, 0) != 0) {
    return ShortRead;
  }
  return KFS_OK;
}

// Adds everything below `dir` to `out`; stops at the first error, which it returns, or once
// `budget` items are seen (a damaged image may list one block under many names).
inline int Walk(kfs_drive& drive, const std::string& dir, Listing& out, std::size_t& budget) {
  kfs_dir handle;
  int result = kfs_opendir(&drive, dir.c_str(), &handle);
  kfs_stat st;
  while (result == KFS_OK && budget > 0 && (result = kfs_readdir(&handle, &st)) == 1) {
    --budget;
    std::string path = dir.empty() ? std::string(st.name) : dir + "/" + st.name;
    out[path] = "/";
    result = st.is_dir ? Walk(drive, path, out, budget) : ReadWhole(drive, path, out[path]);
  }
  return result;
}

}  // namespace kivo::readertest
