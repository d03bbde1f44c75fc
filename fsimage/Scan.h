// What the scan of a source tree finds: one record per item, in depth-first pre-order,
// and the totals from which the image is sized.
#pragma once

#include <cstdint>
#include <string>

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

// The part of a file name after its last dot; the whole name when it has none.
std::string FileExtension(const std::string& name);

}  // namespace kivo::fs
