// Entry placement: every record, in table order, becomes a directory entry, a chain of
// consecutive clusters and its contents. Clusters are only ever taken in increasing order,
// so a cursor stands in for a search of the table from entry 0.
#include <array>

#include "fsimage/Builder.h"

namespace kivo::fs {

namespace {

using EntryBytes = std::array<std::byte, DirEntrySize>;

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
  DirEntry link;
  link.name = name;
  link.firstCluster = cluster;
  link.kind = KindLink;
  EncodeDirEntry(link, block.subspan(std::size_t{slot} * DirEntrySize, DirEntrySize));
}

// The working record of a directory or file entry, without its date.
EntryBytes WorkingRecord(const std::string& name, std::uint32_t size, std::uint32_t firstCluster,
                         std::int32_t kind) {
  DirEntry item;
  item.name = name;
  item.size = size;
  item.firstCluster = firstCluster;
  item.kind = kind;
  item.flags = EntryFlags;
  EntryBytes record{};
  EncodeDirEntry(item, record);
  return record;
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
      DirEntry item = DecodeDirEntry(region.subspan(slot * DirEntrySize, DirEntrySize));
      // The search in the root directory is silent; each later one shows every slot it looks at.
      if (j > 0 && tracedName != nullptr && options_.trace) {
        out_ << item.name << " * " << components[j] << "-*-" << *tracedName << '\n';
      }
      if (SameStoredName(item.name, components[j])) found = item.firstCluster;
    }
    if (!found) return std::nullopt;
    regionOffset = *found * ClusterSize;
  }
  return found;
}

void DriveBuilder::PackDate(MutableByteSpan record) const {
  fs::PackDate(options_.clock ? options_.clock() : LocalTimeNow(), record);
}

void DriveBuilder::MakeChain(std::uint32_t first, std::uint32_t count) {
  MutableByteSpan table(imageHead_);
  for (std::uint32_t x = first; x + 1 < first + count; ++x) {
    StoreLE32(table, layout_.fatStart + FatEntrySize * x, x + 1);
  }
  StoreLE32(table, layout_.fatStart + FatEntrySize * (first + count - 1), EndOfChain);
  nextCluster_ = first + count;
}

std::optional<std::uint32_t> DriveBuilder::PlaceItem(std::size_t index,
                                                    std::uint32_t regionOffset,
                                                    std::uint32_t size, std::int32_t kind,
                                                    std::uint32_t clusters) {
  const std::string& path = scanTable_[index].fullPath;
  std::uint32_t first = FindFreeCluster();
  EntryBytes record = WorkingRecord(scanTable_[index].name, size, first, kind);
  PackDate(record);
  if (std::uint64_t{first} + clusters > layout_.driveSize / ClusterSize) {
    placementErrors_.push_back(MakeError(ErrorKind::Invalid, "no room left for " + Quoted(path), path));
    return std::nullopt;
  }
  std::optional<std::uint32_t> slot = FindFreeSlot(regionOffset);
  if (!slot) {
    placementErrors_.push_back(MakeError(ErrorKind::Invalid, "no free slot for " + Quoted(path), path));
    return std::nullopt;
  }
  MutableByteSpan region = Region(regionOffset);
  std::copy(record.begin(), record.end(), region.begin() + (*slot - regionOffset));
  MakeChain(first, clusters);
  return first;
}

std::optional<std::uint32_t> DriveBuilder::ParentOf(std::size_t index, bool traced) {
  const ScanRecord& record = scanTable_[index];
  std::optional<std::uint32_t> parent =
      ResolveDirectory(record.parentPath, traced ? &record.name : nullptr);
  if (!parent) {
    placementErrors_.push_back(MakeError(ErrorKind::Invalid,
                                         "cannot find the directory of " + Quoted(record.fullPath),
                                         record.fullPath));
  }
  return parent;
}

void DriveBuilder::PlaceDirectory(std::size_t index, std::uint32_t regionOffset,
                                  std::uint32_t parentCluster) {
  std::optional<std::uint32_t> first =
      PlaceItem(index, regionOffset, DirectoryBlockSize, KindDirectory, DirectoryClusters);
  if (!first) return;
  std::vector<std::byte>& block = directoryBlocks_[*first];
  block.assign(DirectoryBlockSize, std::byte{0});
  StoreLinkEntry(block, 0, ".", *first);
  StoreLinkEntry(block, 1, "..", parentCluster);
}

void DriveBuilder::PlaceRootDir(std::size_t index) {
  PlaceDirectory(index, layout_.rootStart, layout_.rootStart / ClusterSize);
}

void DriveBuilder::PlaceSubDir(std::size_t index) {
  if (auto parent = ParentOf(index, true)) PlaceDirectory(index, *parent * ClusterSize, *parent);
}

void DriveBuilder::PlaceFileAt(std::size_t index, std::uint32_t regionOffset) {
  const ScanRecord& record = scanTable_[index];
  auto sourceError = [&](ErrorKind kind, std::string message) {
    out_ << "file error\n";
    sourceErrors_.push_back(MakeError(kind, std::move(message), record.fullPath));
  };
  // The chain is the one the scan reserved; a file that changed since then fails the build
  // instead of overrunning the next chain.
  std::uint64_t length = record.size;
  Result<std::uint64_t> now = FileSize(record.fullPath);
  bool usable = now && *now == length;
  if (!now) {
    sourceError(now.error().kind, "cannot open " + now.error().message);
  } else if (*now != length) {
    sourceError(ErrorKind::Changed, Quoted(record.fullPath) + " changed size since the scan (" +
                                        std::to_string(length) + " -> " + std::to_string(*now) +
                                        " bytes)");
  }

  std::optional<std::uint32_t> first =
      PlaceItem(index, regionOffset, static_cast<std::uint32_t>(length), KindFile,
                static_cast<std::uint32_t>(FileClusters(length)));
  if (!first || !usable || !output_ || length == 0) return;
  Status copied = output_->CopyFrom(record.fullPath, 0, length, std::uint64_t{*first} * ClusterSize);
  if (!copied) {
    // The failure concerns either the source or the output.
    if (copied.error().path == output_->target()) {
      outputError_ = copied.error();
      output_.reset();
    } else {
      sourceError(copied.error().kind, copied.error().message);
    }
    return;
  }
  // A file that grew while it was copied holds bytes of two versions.
  Result<std::uint64_t> after = FileSize(record.fullPath);
  if (!after || *after != length) {
    sourceError(ErrorKind::Changed, Quoted(record.fullPath) + " changed while it was copied");
  }
}

void DriveBuilder::PlaceRootFile(std::size_t index) { PlaceFileAt(index, layout_.rootStart); }

void DriveBuilder::PlaceFile(std::size_t index) {
  if (auto parent = ParentOf(index, false)) PlaceFileAt(index, *parent * ClusterSize);
}

}  // namespace kivo::fs
