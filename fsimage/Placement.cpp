// Clusters are only ever taken in increasing order, so a cursor stands in for a search of the
// table from entry 0.
#include "fsimage/Placement.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "base/Host.h"

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

std::string_view SlotName(ByteSpan entry) {
  auto nameField = reinterpret_cast<const char*>(entry.data() + entry::Name);
  std::string_view name(nameField, entry::NameSize);
  return name.substr(0, name.find('\0'));
}

}  // namespace

ImageHead::ImageHead(const ImageHeader& layout)
    : layout_(layout),
      headerBlock_(BootSize, std::byte{0}),
      rootDirectory_(RootSize, std::byte{0}),
      nextCluster_(layout.firstDataCluster()) {
  EncodeHeader(layout_, headerBlock_);
}

void ImageHead::MakeChain(std::uint32_t count) {
  assert(count > 0);
  chainEnds_.push_back(nextCluster_ + count - 1);
  nextCluster_ += count;
}

void ImageHead::Fill(std::uint64_t offset, MutableByteSpan into) const {
  assert(offset % FatEntrySize == 0 && into.size() % FatEntrySize == 0);
  const std::uint64_t end = offset + into.size();
  auto copyRegion = [&](std::uint64_t start, ByteSpan bytes) {
    std::uint64_t from = std::max(offset, start);
    std::uint64_t to = std::min(end, start + bytes.size());
    if (from < to) {
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from - start), to - from,
                  into.begin() + static_cast<std::ptrdiff_t>(from - offset));
    }
  };
  copyRegion(0, headerBlock_);
  copyRegion(layout_.rootStart, rootDirectory_);

  const std::uint64_t tableEnd = std::uint64_t{layout_.fatStart} + layout_.fatSize;
  if (end <= layout_.fatStart || offset >= tableEnd) return;
  const std::uint64_t from = std::max<std::uint64_t>(offset, layout_.fatStart);
  const std::uint64_t to = std::min(end, tableEnd);
  auto entry = static_cast<std::uint32_t>((from - layout_.fatStart) / FatEntrySize);
  const std::uint32_t reserved = layout_.reservedEntries();
  auto chainEnd = std::lower_bound(chainEnds_.begin(), chainEnds_.end(), entry);
  for (std::uint64_t at = from; at < to; at += FatEntrySize, ++entry) {
    std::uint32_t value = FreeCluster;
    if (entry < reserved) {
      value = ReservedCluster;
    } else if (entry < nextCluster_) {
      bool last = chainEnd != chainEnds_.end() && *chainEnd == entry;
      value = last ? EndOfChain : entry + 1;
      if (last) ++chainEnd;
    }
    StoreLE32(into, static_cast<std::size_t>(at - offset), value);
  }
}

ImageOutput::ImageOutput(Result<OutputFile> created) {
  if (!created) {
    failure_ = created.error();
  } else {
    file_.emplace(std::move(created).value());
  }
}

void ImageOutput::Fail(Error error) {
  failure_ = std::move(error);
  file_.reset();  // drops the temporary file; the old output stays as it was
}

void ImageOutput::WriteAt(std::uint64_t offset, ByteSpan bytes) {
  if (!file_) return;
  if (Status written = file_->WriteAt(offset, bytes); !written) Fail(written.error());
}

EntryPlacer::EntryPlacer(const std::vector<ScanRecord>& records, ImageHead& head,
                         ImageOutput& output, const PlacementOptions& options,
                         std::ostream& diagnostics)
    : records_(records), head_(head), output_(output), options_(options), out_(diagnostics) {}

void EntryPlacer::PlaceEntries() {
  // The directories whose items may still come, innermost last: the parent path of their
  // items and their first cluster. The scan lists a directory's items right after it, so a
  // directory that the records have left is complete; its block goes out then, and memory
  // holds only the blocks along one path.
  struct OpenDirectory {
    std::string itemsPath;
    std::uint32_t cluster;
  };
  std::vector<OpenDirectory> open;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const ScanRecord& record = records_[i];
    while (!open.empty() && !record.parentPath.starts_with(open.back().itemsPath)) {
      WriteDirectoryBlock(open.back().cluster);
      open.pop_back();
    }
    bool atRoot = record.parentPath == "\\";
    const char* line =
        record.isDirectory ? (atRoot ? "root dir" : "sub dir") : (atRoot ? "root file" : "file");
    if (options_.trace) out_ << line << '\n';
    const std::uint32_t cluster = head_.nextCluster();
    if (record.isDirectory) {
      atRoot ? PlaceRootDir(i) : PlaceSubDir(i);
      if (directoryBlocks_.contains(cluster)) {
        open.push_back({record.parentPath + record.name + "\\", cluster});
      }
    } else {
      atRoot ? PlaceRootFile(i) : PlaceFile(i);
    }
  }
  for (; !open.empty(); open.pop_back()) WriteDirectoryBlock(open.back().cluster);
}

void EntryPlacer::WriteDirectoryBlock(std::uint32_t cluster) {
  auto block = directoryBlocks_.find(cluster);
  if (block == directoryBlocks_.end()) return;
  output_.WriteAt(std::uint64_t{cluster} * ClusterSize, block->second);
  directoryBlocks_.erase(block);
}

MutableByteSpan EntryPlacer::Region(std::uint32_t offset) {
  if (offset == head_.layout().rootStart) return head_.rootDirectory();
  auto block = directoryBlocks_.find(offset / ClusterSize);
  if (block == directoryBlocks_.end()) return {};
  return block->second;
}

ByteSpan EntryPlacer::Region(std::uint32_t offset) const {
  return const_cast<EntryPlacer*>(this)->Region(offset);
}

std::optional<std::uint32_t> EntryPlacer::FindFreeSlot(std::uint32_t regionOffset) const {
  ByteSpan region = Region(regionOffset);
  if (region.size() < RootSize) return std::nullopt;
  for (std::uint32_t slot = 0; slot < SlotsPerDirectory; ++slot) {
    if (region[slot * DirEntrySize] == std::byte{0}) return regionOffset + slot * DirEntrySize;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> EntryPlacer::ResolveDirectory(const std::string& parentPath,
                                                           const std::string* tracedName) {
  const bool traced = tracedName != nullptr && options_.trace;
  // Entries are only ever added after the ones there, so a directory once found stays the
  // first match of its path.
  if (!traced && !resolvedPath_.empty() && parentPath == resolvedPath_) return resolvedCluster_;
  std::vector<std::string> components = SplitParentPath(parentPath);
  if (components.empty()) return std::nullopt;
  std::uint32_t regionOffset = head_.layout().rootStart;
  std::optional<std::uint32_t> found;
  for (std::size_t j = 0; j < components.size(); ++j) {
    ByteSpan region = Region(regionOffset);
    if (region.size() < RootSize) return std::nullopt;
    found.reset();
    for (std::uint32_t slot = 0; slot < SlotsPerDirectory && !found; ++slot) {
      ByteSpan entry = region.subspan(slot * DirEntrySize, DirEntrySize);
      std::string_view name = SlotName(entry);
      // The search in the root directory is silent; each later one shows every slot it looks at.
      if (j > 0 && traced) out_ << name << " * " << components[j] << "-*-" << *tracedName << '\n';
      if (SameStoredName(name, components[j])) found = LoadLE32(entry, entry::FirstCluster);
    }
    if (!found) return std::nullopt;
    regionOffset = *found * ClusterSize;
  }
  resolvedPath_ = parentPath;
  resolvedCluster_ = *found;
  return found;
}

void EntryPlacer::Problem(std::string message, const std::string& path) {
  problems_.push_back(MakeError(ErrorKind::Invalid, std::move(message), PathFromUtf8(path)));
}

std::optional<std::uint32_t> EntryPlacer::PlaceItem(std::size_t index, std::uint32_t regionOffset,
                                                    std::uint32_t size, std::int32_t kind,
                                                    std::uint32_t clusters) {
  const std::string& path = records_[index].fullPath;
  const std::uint32_t first = head_.nextCluster();
  EntryBytes record = WorkingRecord(records_[index].name, size, first, kind);
  PackDate(options_.clock ? options_.clock() : LocalTimeNow(), record);
  if (std::uint64_t{first} + clusters > head_.layout().driveSize / ClusterSize) {
    Problem("no room left for " + Quoted(path), path);
    return std::nullopt;
  }
  std::optional<std::uint32_t> slot = FindFreeSlot(regionOffset);
  if (!slot) {
    Problem("no free slot for " + Quoted(path), path);
    return std::nullopt;
  }
  MutableByteSpan region = Region(regionOffset);
  std::copy(record.begin(), record.end(), region.begin() + (*slot - regionOffset));
  head_.MakeChain(clusters);
  return first;
}

std::optional<std::uint32_t> EntryPlacer::ParentOf(std::size_t index, bool traced) {
  const ScanRecord& record = records_[index];
  std::optional<std::uint32_t> parent =
      ResolveDirectory(record.parentPath, traced ? &record.name : nullptr);
  if (!parent) Problem("cannot find the directory of " + Quoted(record.fullPath), record.fullPath);
  return parent;
}

void EntryPlacer::PlaceDirectory(std::size_t index, std::uint32_t regionOffset,
                                 std::uint32_t parentCluster) {
  std::optional<std::uint32_t> first =
      PlaceItem(index, regionOffset, DirectoryBlockSize, KindDirectory, DirectoryClusters);
  if (!first) return;
  std::vector<std::byte>& block = directoryBlocks_[*first];
  block.assign(DirectoryBlockSize, std::byte{0});
  StoreLinkEntry(block, 0, ".", *first);
  StoreLinkEntry(block, 1, "..", parentCluster);
}

void EntryPlacer::PlaceRootDir(std::size_t index) {
  const std::uint32_t rootStart = head_.layout().rootStart;
  PlaceDirectory(index, rootStart, rootStart / ClusterSize);
}

void EntryPlacer::PlaceSubDir(std::size_t index) {
  if (auto parent = ParentOf(index, true)) PlaceDirectory(index, *parent * ClusterSize, *parent);
}

void EntryPlacer::PlaceRootFile(std::size_t index) { PlaceFileAt(index, head_.layout().rootStart); }

void EntryPlacer::PlaceFile(std::size_t index) {
  if (auto parent = ParentOf(index, false)) PlaceFileAt(index, *parent * ClusterSize);
}

// The chain is the one the scan reserved; a file that changed since then fails the build
// instead of overrunning the next chain. The copy itself notices a file of another length, so
// the path's status is asked only then (or when nothing is copied): a change is named as
// such, and any other failure (`otherwise`) as it is.
void EntryPlacer::CheckSource(const ScanRecord& record, const std::optional<Error>& otherwise) {
  auto sourceError = [&](ErrorKind kind, std::string message) {
    out_ << "file error\n";
    sourceFailed_ = true;
    problems_.push_back(MakeError(kind, std::move(message), PathFromUtf8(record.fullPath)));
  };
  Result<std::uint64_t> now = FileSize(PathFromUtf8(record.fullPath));
  if (!now) {
    sourceError(now.error().kind, "cannot open " + now.error().message);
  } else if (*now != record.size) {
    sourceError(ErrorKind::Changed, Quoted(record.fullPath) + " changed size since the scan (" +
                                        std::to_string(record.size) + " -> " +
                                        std::to_string(*now) + " bytes)");
  } else if (otherwise) {
    sourceError(otherwise->kind, otherwise->message);
  }
}

void EntryPlacer::PlaceFileAt(std::size_t index, std::uint32_t regionOffset) {
  const ScanRecord& record = records_[index];
  const std::uint64_t length = record.size;
  std::optional<std::uint32_t> first =
      PlaceItem(index, regionOffset, static_cast<std::uint32_t>(length), KindFile,
                static_cast<std::uint32_t>(FileClusters(length)));
  OutputFile* output = output_.file();
  if (!first || output == nullptr || length == 0) return CheckSource(record, std::nullopt);
  Result<File> source = File::OpenForCopy(PathFromUtf8(record.fullPath));
  if (!source) return CheckSource(record, source.error());
  Result<bool> whole = output->CopyWhole(*source, length, std::uint64_t{*first} * ClusterSize);
  if (!whole && whole.error().path == output->target()) {
    output_.Fail(whole.error());
    return CheckSource(record, std::nullopt);
  }
  if (!whole) return CheckSource(record, whole.error());
  // Of the length the scan found, but not by the time the copy ended.
  if (!*whole) {
    CheckSource(record, MakeError(ErrorKind::Changed,
                                  Quoted(record.fullPath) + " changed while it was copied"));
  }
}

}  // namespace kivo::fs
