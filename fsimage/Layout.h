// Where each region of a drive image lies, computed from the size of its data area.
#pragma once

#include <cstdint>
#include <string>

#include "fsimage/Bytes.h"
#include "fsimage/Result.h"

namespace kivo::fs {

struct ImageLayout {
  std::uint32_t bootSize = 0;
  std::uint32_t fatStart = 0;
  std::uint32_t fatSize = 0;
  std::uint32_t rootSize = 0;
  std::uint32_t rootStart = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t dataStart = 0;
  std::uint32_t driveSize = 0;

  std::uint32_t firstDataCluster() const;
  std::uint32_t reservedEntries() const;  // header block, table and root directory clusters
  std::uint32_t tableEntries() const;
};

// Image sizes in 64 bits, so that an oversized tree is reported instead of wrapping.
struct LayoutSizes {
  std::uint64_t fatSize = 0;
  std::uint64_t driveSize = 0;
};

// The table starts at one block per full 65536 bytes of data area plus one, and grows by
// one block while it has fewer entries than the image has clusters, so that no entry ever
// falls into the root directory.
LayoutSizes ComputeSizes(std::uint64_t dataSize);

// The layout of an image with `dataSize` bytes of data area; an image that would reach
// 2 GiB is refused.
Result<ImageLayout> ComputeLayout(std::uint64_t dataSize);

// Writes the 512-byte header block: version, drive name (at most 15 characters and a zero
// byte), then the layout fields. `block` must hold at least BootSize bytes.
void EncodeHeaderBlock(const ImageLayout& layout, const std::string& driveName,
                       MutableByteSpan block);

}  // namespace kivo::fs
