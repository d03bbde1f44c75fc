// Any bytes as a drive image, and as a ROM whose drives are mounted, walked with the ROM-side
// reader: every directory opened by its path, every file read in two halves. No read may
// leave the buffer (AddressSanitizer), no walk may hang, and reads deliver exactly the sizes
// that open reports.
#include "fuzz/FuzzSupport.h"
#include "tests/reader/ReaderWalk.h"

using kivo::fuzz::Check;

static void WalkAll(kfs_drive& drive) {
  kivo::readertest::Listing listing;
  std::size_t budget = 2000;
  int result = kivo::readertest::Walk(drive, "", listing, budget);
  Check(result != kivo::readertest::ShortRead, "seeking or reading misbehaved in an open file");
  Check(result <= 0 && result >= KFS_ERR_ARG && result != KFS_ERR_IO, "an unexpected result");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  const auto size32 = static_cast<std::uint32_t>(size);
  kfs_drive drive;
  if (kfs_mount_memory(&drive, data, size32) == KFS_OK) WalkAll(drive);
  kfs_params p;
  if (kfs_find_params(data, size32, &p) != KFS_OK) return 0;
  for (int slot = 0; slot < 2; ++slot) {
    if (p.start[slot] == 0 && p.end[slot] == 0) continue;
    Check(p.end[slot] < size32 && p.start[slot] <= p.end[slot], "a slot outside the ROM");
    if (kfs_mount_memory(&drive, data + p.start[slot], p.end[slot] - p.start[slot] + 1) == KFS_OK) WalkAll(drive);
  }
  return 0;
}
