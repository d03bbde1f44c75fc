// Entry placement: every record, in table order, becomes a directory entry, a chain of
// consecutive clusters and its contents. Clusters are only ever taken in increasing order,
// so a cursor stands in for a search of the table from entry 0.
#include <array>
#include <cstring>
#include <ctime>

#include "fsimage/Builder.h"
#include "fsimage/PackDate.h"

namespace kivo::fs {

namespace {

using EntryBytes = std::array<std::byte, DirEntrySize>;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A slot's name is its field up to the first zero byte, all 16 bytes when none is zero; a
// component matches it by its own first 16 bytes, without regard to ASCII case.
bool SameStoredName(const std::string& slotName, const std::string& component) {
  std::string_view wanted(component.data(), std::min(component.size(), entry::NameSize));
  if (slotName.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (LowerAscii(slotName[i]) != LowerAscii(wanted[i])) return false;
  }
  return true;
}

std::string SlotName(ByteSpan region, std::uint32_t slot) {
  return ReadFixedString(region, std::uint64_t{slot} * DirEntrySize, entry::NameSize).value_or("");
}

std::vector<std::string> SplitParentPath(const std::string& parentPath) {
  std::vector<std::string> components;
  std::string current;
  for (char c : parentPath) {
    if (c == '\\') {
      if (!current.empty()) components.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) components.push_back(current);
  return components;
}

void StoreLinkEntry(MutableByteSpan block, std::uint32_t slot, std::string_view name,
                    std::uint32_t cluster) {
  std::size_t at = std::size_t{slot} * DirEntrySize;
  MutableByteSpan record = block.subspan(at, DirEntrySize);
  std::fill(record.begin(), record.end(), std::byte{0});
  StoreFixedString(record, entry::Name, entry::NameSize, name);
  StoreLE32(record, entry::FirstCluster, cluster);
  StoreLE32(record, entry::Kind, static_cast<std::uint32_t>(KindLink));
}

}  // namespace

void DriveBuilder::PlaceEntries() {
  for (std::size_t i = 0; i < scanTable_.size(); ++i) {
    const ScanRecord& record = scanTable_[i];
    bool atRoot = record.parentPath == "\\";
    const char* line = record.isDirectory ? (atRoot ? "root dir" : "sub dir")
                                          : (atRoot ? "root file" : "file");
    if (options_.trace) out_ << line << '\n';
    if (record.isDirectory) {
      atRoot ? PlaceRootDir(i) : PlaceSubDir(i);
    } else {
      atRoot ? PlaceRootFile(i) : PlaceFile(i);
    }
  }
}

std::uint32_t DriveBuilder::FindFreeCluster() const { return nextCluster_; }

MutableByteSpan DriveBuilder::Region(std::uint32_t offset) {
  if (offset == layout_.rootStart) {
    return MutableByteSpan(imageHead_).subspan(layout_.rootStart, RootSize);
  }
  auto block = directoryBlocks_.find(offset / ClusterSize);
  if (block == directoryBlocks_.end()) return {};
  return block->second;
}

ByteSpan DriveBuilder::Region(std::uint32_t offset) const {
  return const_cast<DriveBuilder*>(this)->Region(offset);
}

std::optional<std::uint32_t> DriveBuilder::FindFreeSlot(std::uint32_t regionOffset) const {
  ByteSpan region = Region(regionOffset);
  if (region.size() < RootSize) return std::nullopt;
  for (std::uint32_t slot = 0; slot < SlotsPerDirectory; ++slot) {
    if (region[slot * DirEntrySize] == std::byte{0}) return regionOffset + slot * DirEntrySize;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> DriveBuilder::ResolveDirectory(const std::string& parentPath,
                                                            const std::string* tracedName) {
  std::vector<std::string> components = SplitParentPath(parentPath);
  if (components.empty()) return std::nullopt;
  std::uint32_t regionOffset = layout_.rootStart;
  std::optional<std::uint32_t> found;
  for (std::size_t j = 0; j < components.size(); ++j) {
    ByteSpan region = Region(regionOffset);
    if (region.size() < RootSize) return std::nullopt;
    found.reset();
    for (std::uint32_t slot = 0; slot < SlotsPerDirectory && !found; ++slot) {
      std::string name = SlotName(region, slot);
      // The search in the root directory is silent; each later one shows every slot it looks at.
      if (j > 0 && tracedName != nullptr && options_.trace) {
        out_ << name << " * " << components[j] << "-*-" << *tracedName << '\n';
      }
      if (SameStoredName(name, components[j])) {
        found = LoadLE32(region, std::size_t{slot} * DirEntrySize + entry::FirstCluster);
      }
    }
    if (!found) return std::nullopt;
    regionOffset = *found * ClusterSize;
  }
  return found;
}

void DriveBuilder::PackDate(MutableByteSpan record) const {
  std::tm now{};
  if (options_.clock) {
    now = options_.clock();
  } else {
    std::time_t seconds = std::time(nullptr);
    ::localtime_r(&seconds, &now);
  }
  fs::PackDate(now, record);
}

void DriveBuilder::MakeChain(std::uint32_t first, std::uint32_t count) {
  MutableByteSpan table(imageHead_);
  for (std::uint32_t x = first; x + 1 < first + count; ++x) {
    StoreLE32(table, layout_.fatStart + FatEntrySize * x, x + 1);
  }
  StoreLE32(table, layout_.fatStart + FatEntrySize * (first + count - 1), EndOfChain);
  nextCluster_ = first + count;
}

bool DriveBuilder::PutEntry(std::size_t index, std::uint32_t regionOffset,
                            MutableByteSpan record) {
  std::optional<std::uint32_t> slot = FindFreeSlot(regionOffset);
  if (!slot) {
    placementErrors_.push_back("no free slot for " + Quoted(scanTable_[index].fullPath));
    return false;
  }
  MutableByteSpan region = Region(regionOffset);
  std::copy(record.begin(), record.end(), region.begin() + (*slot - regionOffset));
  return true;
}

void DriveBuilder::PlaceDirectory(std::size_t index, std::uint32_t regionOffset,
                                  std::uint32_t parentCluster) {
  EntryBytes record{};
  StoreFixedString(record, entry::Name, entry::NameSize, scanTable_[index].name);
  StoreLE32(record, entry::Size, DirectoryBlockSize);
  PackDate(record);
  std::uint32_t first = FindFreeCluster();
  StoreLE32(record, entry::FirstCluster, first);
  StoreLE32(record, entry::Kind, static_cast<std::uint32_t>(KindDirectory));
  record[entry::Flags] = std::byte{EntryFlags};
  if (first + DirectoryClusters > layout_.driveSize / ClusterSize) {
    placementErrors_.push_back("no room left for " + Quoted(scanTable_[index].fullPath));
    return;
  }
  if (!PutEntry(index, regionOffset, record)) return;
  MakeChain(first, DirectoryClusters);

  std::vector<std::byte>& block = directoryBlocks_[first];
  block.assign(DirectoryBlockSize, std::byte{0});
  StoreLinkEntry(block, 0, ".", first);
  StoreLinkEntry(block, 1, "..", parentCluster);
}

void DriveBuilder::PlaceRootDir(std::size_t index) {
  PlaceDirectory(index, layout_.rootStart, layout_.rootStart / ClusterSize);
}

void DriveBuilder::PlaceSubDir(std::size_t index) {
  const ScanRecord& record = scanTable_[index];
  std::optional<std::uint32_t> parent = ResolveDirectory(record.parentPath, &record.name);
  if (!parent) {
    placementErrors_.push_back("cannot find the directory of " + Quoted(record.fullPath));
    return;
  }
  PlaceDirectory(index, *parent * ClusterSize, *parent);
}

void DriveBuilder::PlaceFileAt(std::size_t index, std::uint32_t regionOffset) {
  const ScanRecord& record = scanTable_[index];
  // The chain is the one the scan reserved; a file that changed since then fails the build
  // instead of overrunning the next chain.
  std::uint64_t length = record.size;
  Result<std::uint64_t> now = FileSize(record.fullPath);
  bool usable = true;
  if (!now) {
    out_ << "file error\n";
    sourceErrors_.push_back("cannot open " + now.error().message);
    usable = false;
  } else if (*now != length) {
    out_ << "file error\n";
    sourceErrors_.push_back(Quoted(record.fullPath) + " changed size since the scan (" +
                            std::to_string(length) + " -> " + std::to_string(*now) + " bytes)");
    usable = false;
  }

  EntryBytes entryBytes{};
  StoreFixedString(entryBytes, entry::Name, entry::NameSize, record.name);
  StoreLE32(entryBytes, entry::Size, static_cast<std::uint32_t>(length));
  PackDate(entryBytes);
  std::uint32_t first = FindFreeCluster();
  auto clusters = static_cast<std::uint32_t>(FileClusters(length));
  StoreLE32(entryBytes, entry::FirstCluster, first);
  StoreLE32(entryBytes, entry::Kind, static_cast<std::uint32_t>(KindFile));
  entryBytes[entry::Flags] = std::byte{EntryFlags};
  if (std::uint64_t{first} + clusters > layout_.driveSize / ClusterSize) {
    placementErrors_.push_back("no room left for " + Quoted(record.fullPath));
    return;
  }
  if (!PutEntry(index, regionOffset, entryBytes)) return;
  MakeChain(first, clusters);

  if (!usable || !output_ || length == 0) return;
  Status copied = output_->CopyFrom(record.fullPath, 0, length, std::uint64_t{first} * ClusterSize);
  if (!copied) {
    const std::string& message = copied.error().message;
    if (message.rfind("cannot write ", 0) == 0) {
      outputError_ = message;
      output_.reset();
      return;
    }
    out_ << "file error\n";
    sourceErrors_.push_back(message);
    return;
  }
  // A file that grew while it was copied holds bytes of two versions.
  Result<std::uint64_t> after = FileSize(record.fullPath);
  if (!after || *after != length) {
    out_ << "file error\n";
    sourceErrors_.push_back(Quoted(record.fullPath) + " changed while it was copied");
  }
}

void DriveBuilder::PlaceRootFile(std::size_t index) { PlaceFileAt(index, layout_.rootStart); }

void DriveBuilder::PlaceFile(std::size_t index) {
  const ScanRecord& record = scanTable_[index];
  std::optional<std::uint32_t> parent = ResolveDirectory(record.parentPath);
  if (!parent) {
    placementErrors_.push_back("cannot find the directory of " + Quoted(record.fullPath));
    return;
  }
  PlaceFileAt(index, *parent * ClusterSize);
}

}  // namespace kivo::fs
