// Any bytes as a drive image, and as a ROM whose drives are mounted, walked with the ROM-side
// reader: every directory opened by its path, every file read in two halves. No read may
// leave the buffer (AddressSanitizer), no walk may hang, reads deliver exactly the sizes that
// open reports, and the only errors are those of a damaged image.
#include "fuzz/FuzzSupport.h"
#include "tests/reader/ReaderWalk.h"

namespace {

void MountAndWalk(const std::uint8_t* image, std::uint32_t size) {
  kfs_drive drive;
  if (kfs_mount_memory(&drive, image, size) != KFS_OK) return;
  kivo::readertest::Listing listing;
  const int result = kivo::readertest::Walk(drive, listing);
  FUZZ_CHECK(result != kivo::readertest::ShortRead);
  FUZZ_CHECK(result <= 0 && result >= KFS_ERR_ARG && result != KFS_ERR_IO);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  const auto size32 = static_cast<std::uint32_t>(size);
  MountAndWalk(data, size32);
  kfs_params p;
  if (kfs_find_params(data, size32, &p) != KFS_OK) return 0;
  for (int slot = 0; slot < 2; ++slot) {
    if (p.start[slot] == 0 && p.end[slot] == 0) continue;
    FUZZ_CHECK(p.end[slot] < size32 && p.start[slot] <= p.end[slot]);
    MountAndWalk(data + p.start[slot], p.end[slot] - p.start[slot] + 1);
  }
  return 0;
}
