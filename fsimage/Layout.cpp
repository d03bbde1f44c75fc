#include "fsimage/Layout.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "base/File.h"

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
    return MakeError(ErrorKind::Capacity, "the image would take " +
                                              std::to_string(sizes.driveSize) +
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

namespace {

bool HasForbiddenCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return c == '\\' || byte < 0x20 || byte == 0x7F;
  });
}

// The items of one directory as the scan found them.
struct DirectoryItems {
  std::string hostPath;
  std::size_t count = 0;
  std::unordered_map<std::string, std::size_t> byKey;  // stored-name key -> record index
};

// Names that no entry can hold and names that collide in their directory.
class NameCheck {
 public:
  NameCheck(const std::vector<ScanRecord>& records, std::vector<Error>& problems)
      : records_(records), problems_(problems) {}

  void Add(std::size_t index);
  void CheckCounts() const;

 private:
  const std::vector<ScanRecord>& records_;
  std::vector<Error>& problems_;
  std::vector<std::string> order_;  // parent paths, in the order the scan met them
  std::unordered_map<std::string, DirectoryItems> directories_;
};

void NameCheck::Add(std::size_t index) {
  const ScanRecord& record = records_[index];
  if (HasForbiddenCharacter(record.name)) {
    problems_.push_back(MakeError(
        ErrorKind::Invalid,
        Quoted(record.fullPath) + ": a name may not hold a backslash or a control character",
        PathFromUtf8(record.fullPath)));
  }
  auto [it, added] = directories_.try_emplace(record.parentPath);
  DirectoryItems& items = it->second;
  if (added) {
    order_.push_back(record.parentPath);
    items.hostPath = Utf8(PathFromUtf8(record.fullPath).parent_path());
  }
  ++items.count;
  auto [previous, fresh] = items.byKey.try_emplace(StoredNameKey(record.name), index);
  if (!fresh) {
    problems_.push_back(MakeError(ErrorKind::Invalid,
                                  "'" + records_[previous->second].name + "' and '" + record.name +
                                      "' in " + Quoted(items.hostPath) +
                                      " have the same stored name ignoring case (a name is "
                                      "stored as its first 16 bytes)",
                                  PathFromUtf8(record.fullPath)));
  }
}

void NameCheck::CheckCounts() const {
  for (const std::string& parent : order_) {
    const DirectoryItems& items = directories_.at(parent);
    bool root = parent == "\\";
    std::uint32_t limit = root ? RootCapacity : SubdirCapacity;
    if (items.count <= limit) continue;
    problems_.push_back(MakeError(ErrorKind::Capacity,
                                  Quoted(items.hostPath) + " holds " + std::to_string(items.count) +
                                      " items; " +
                                      (root ? "the root directory" : "a subdirectory") +
                                      " holds at most " + std::to_string(limit),
                                  PathFromUtf8(items.hostPath)));
  }
}

}  // namespace

std::vector<Error> CheckFit(const std::vector<ScanRecord>& records) {
  std::vector<Error> problems;
  NameCheck check(records, problems);
  for (std::size_t i = 0; i < records.size(); ++i) check.Add(i);
  check.CheckCounts();
  return problems;
}

}  // namespace kivo::fs
