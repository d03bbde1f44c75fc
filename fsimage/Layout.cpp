#include "fsimage/Layout.h"

#include <string>

namespace kivo::fs {

LayoutSizes ComputeSizes(std::uint64_t dataSize) {
  std::uint64_t fat = ClusterSize * (dataSize / 65536 + 1);
  std::uint64_t drive = fat + dataSize + FixedOverhead;
  while (fat / FatEntrySize < drive / ClusterSize) {
    fat += ClusterSize;
    drive = fat + dataSize + FixedOverhead;
  }
  return {fat, drive};
}

Result<ImageHeader> ComputeLayout(std::uint64_t dataSize) {
  LayoutSizes sizes = ComputeSizes(dataSize);
  if (sizes.driveSize > MaxImageSize) {
    return MakeError(ErrorKind::Capacity,
                     "the image would take " + std::to_string(sizes.driveSize) +
                         " bytes; a drive image must stay below 2 GiB (" +
                         std::to_string(MaxImageSize + 1) + " bytes)");
  }
  ImageHeader layout;
  layout.bootSize = BootSize;
  layout.fatStart = FatStart;
  layout.fatSize = static_cast<std::uint32_t>(sizes.fatSize);
  layout.rootSize = RootSize;
  layout.rootStart = layout.fatStart + layout.fatSize;
  layout.dataSize = static_cast<std::uint32_t>(dataSize);
  layout.dataStart = layout.rootStart + RootSize;
  layout.driveSize = static_cast<std::uint32_t>(sizes.driveSize);
  return layout;
}

}  // namespace kivo::fs
