// Where each region of a drive image lies, computed from the size of its data area.
#pragma once

#include <cstdint>

#include "base/Result.h"
#include "fsimage/Codec.h"

namespace kivo::fs {

// Image sizes in 64 bits, so that an oversized tree is reported instead of wrapping.
struct LayoutSizes {
  std::uint64_t fatSize = 0;
  std::uint64_t driveSize = 0;
};

// The table starts at one block per full 65536 bytes of data area plus one, and grows by
// one block while it has fewer entries than the image has clusters, so that no entry ever
// falls into the root directory.
LayoutSizes ComputeSizes(std::uint64_t dataSize);

// The header of an image with `dataSize` bytes of data area (its drive name left empty); an
// image that would reach 2 GiB is refused (Capacity).
Result<ImageHeader> ComputeLayout(std::uint64_t dataSize);

}  // namespace kivo::fs
