#include "fsimage/Layout.h"

#include <algorithm>

#include "fsimage/Format.h"

namespace kivo::fs {

std::uint32_t ImageLayout::firstDataCluster() const { return dataStart / ClusterSize; }
std::uint32_t ImageLayout::reservedEntries() const { return dataStart / ClusterSize; }
std::uint32_t ImageLayout::tableEntries() const { return fatSize / FatEntrySize; }

LayoutSizes ComputeSizes(std::uint64_t dataSize) {
  std::uint64_t fat = ClusterSize * (dataSize / 65536 + 1);
  std::uint64_t drive = fat + dataSize + FixedOverhead;
  while (fat / FatEntrySize < drive / ClusterSize) {
    fat += ClusterSize;
    drive = fat + dataSize + FixedOverhead;
  }
  return {fat, drive};
}

Result<ImageLayout> ComputeLayout(std::uint64_t dataSize) {
  LayoutSizes sizes = ComputeSizes(dataSize);
  if (sizes.driveSize > MaxImageSize) {
    return MakeError(ErrorKind::Capacity,
                     "the image would take " + std::to_string(sizes.driveSize) +
                         " bytes; a drive image must stay below 2 GiB (" +
                         std::to_string(MaxImageSize + 1) + " bytes)");
  }
  ImageLayout layout;
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

void EncodeHeaderBlock(const ImageLayout& layout, const std::string& driveName,
                       MutableByteSpan block) {
  std::fill(block.begin(), block.begin() + BootSize, std::byte{0});
  StoreLE32(block, header::Version, static_cast<std::uint32_t>(FormatVersion));
  std::string name = driveName.substr(0, MaxDriveNameLength);
  StoreFixedString(block, header::DriveName, DriveNameSize, name);
  StoreLE32(block, header::DriveSize, layout.driveSize);
  StoreLE32(block, header::BootSize, layout.bootSize);
  StoreLE32(block, header::FatSize, layout.fatSize);
  StoreLE32(block, header::RootSize, layout.rootSize);
  StoreLE32(block, header::DataSize, layout.dataSize);
  StoreLE32(block, header::FatStart, layout.fatStart);
  StoreLE32(block, header::RootStart, layout.rootStart);
  StoreLE32(block, header::DataStart, layout.dataStart);
}

}  // namespace kivo::fs
