// What the scan of a source tree finds: one record per item, in depth-first pre-order,
// and the totals from which the image is sized.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace kivo::fs {

struct ScanRecord {
  std::string name;        // as the host lists it
  std::string parentPath;  // "\" for the source root, "\docs\img\" below it
  std::string fullPath;    // host path, joined with the host's separator
  bool isDirectory = false;
  std::uint64_t size = 0;  // bytes of a file at scan time; 0 for a directory
};

// Counted in 64 bits so that an oversized tree is refused instead of wrapping.
struct ScanTotals {
  std::int64_t fileCount = 0;
  std::int64_t dirCount = 0;
  std::int64_t byteCount = 0;
  std::int64_t fileSpace = 0;
  std::int64_t dirSpace = 0;
};

struct ScanOptions {
  // Only files whose extension equals it are recorded, unless it is "*"; directories always.
  std::string filter = "*";
  // Byte order of the names instead of the host's listing order.
  bool sortByName = false;
  // Items whose name matches one of these globs are left out, with all they hold.
  std::vector<std::string> excludes = {};
  // Files left out wherever the scan meets them.
  std::vector<std::filesystem::path> ownOutputs = {};
  // Takes the warnings about skipped items ("skipping 'p': a named pipe").
  std::function<void(const std::string&)> warn = {};
};

struct SourceScan {
  std::string root;  // the path as given
  std::vector<ScanRecord> records;
  ScanTotals totals;
  // Items that refuse the build: unreadable, dangling, cyclic or too large.
  std::vector<Error> problems;
  bool fileTooLarge = false;
  // Why the root itself could not be listed; empty when it could.
  std::string rootError;
};

// Records every item below `root` but those whose name begins with a dot.
SourceScan ScanSource(const std::string& root, const ScanOptions& options);

// The part of a file name after its last dot; the whole name when it has none.
std::string FileExtension(const std::string& name);

}  // namespace kivo::fs
