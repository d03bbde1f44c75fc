// Whether a scanned tree fits the format, and where each region of its drive image lies,
// computed from the size of its data area.
#pragma once

#include <cstdint>
#include <vector>

#include "base/Result.h"
#include "fsimage/Codec.h"
#include "fsimage/Scan.h"

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

// Every reason why the records cannot become entries, in record order and then by directory:
// names that hold a backslash or a control character, names the program in the ROM cannot
// tell apart, directories with more items than slots.
std::vector<Error> CheckFit(const std::vector<ScanRecord>& records);

}  // namespace kivo::fs
