#include "fsimage/Reader.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace kivo::fs {
namespace {

std::string Join(const std::string& parent, std::string_view name) {
  return parent.empty() ? std::string(name) : parent + "/" + std::string(name);
}

std::string Describe(const std::string& path) {
  return path.empty() ? std::string("the root directory") : "'" + PrintableName(path) + "'";
}

}  // namespace

std::string PrintableName(std::string_view name) {
  std::string text;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text.push_back(c);
    }
  }
  return text;
}

Result<ImageReader> ImageReader::Open(ByteSpan bytes, std::string source) {
  auto header = DecodeHeader(bytes, source);
  if (!header) return header.error();
  return ImageReader(bytes, std::move(source), std::move(*header));
}

Result<std::vector<Slot>> ImageReader::ReadSlots(std::uint64_t regionOffset,
                                                 std::uint64_t regionSize,
                                                 std::string_view what) const {
  std::uint64_t count = std::min<std::uint64_t>(SlotsPerDirectory, regionSize / DirEntrySize);
  if (count > 0 && !InBounds(bytes_.size(), regionOffset, count * DirEntrySize)) {
    return MakeError(ErrorKind::Format,
                     source_ + ": " + std::string(what) + " (offset " +
                         std::to_string(regionOffset) + ") lies outside the image of " +
                         std::to_string(bytes_.size()) + " bytes");
  }
  std::vector<Slot> slots;
  slots.reserve(static_cast<std::size_t>(count));
  for (std::uint32_t i = 0; i < count; ++i) {
    Slot slot;
    slot.index = i;
    slot.offset = regionOffset + std::uint64_t{i} * DirEntrySize;
    ByteSpan raw = bytes_.subspan(static_cast<std::size_t>(slot.offset), DirEntrySize);
    slot.empty = raw[0] == std::byte{0};
    slot.entry = DecodeDirEntry(raw);
    slots.push_back(std::move(slot));
  }
  return slots;
}

namespace {

std::vector<Slot> ItemsFrom(std::vector<Slot> slots, std::size_t first) {
  std::vector<Slot> items;
  for (std::size_t i = first; i < slots.size() && !slots[i].empty; ++i) {
    items.push_back(std::move(slots[i]));
  }
  return items;
}

}  // namespace

Result<std::vector<Slot>> ImageReader::ListRoot() const {
  auto slots = ReadSlots(header_.rootStart, header_.rootSize, "the root directory");
  if (!slots) return slots.error();
  return ItemsFrom(std::move(*slots), 0);
}

Result<std::vector<Slot>> ImageReader::ListDirectory(const DirEntry& directory,
                                                     std::string_view path) const {
  std::uint64_t offset = std::uint64_t{directory.firstCluster} * ClusterSize;
  auto slots = ReadSlots(offset, DirectoryBlockSize,
                         "directory '" + PrintableName(path) + "' at cluster " +
                             std::to_string(directory.firstCluster));
  if (!slots) return slots.error();
  // Slots 0 and 1 hold "." and "..": a directory's own items start at slot 2.
  return ItemsFrom(std::move(*slots), 2);
}

Result<std::vector<Slot>> ImageReader::List(const Located& where) const {
  if (where.isRoot) return ListRoot();
  if (!where.entry.IsDirectory()) {
    return MakeError(ErrorKind::Invalid,
                     source_ + ": " + Describe(where.path) + " is not a directory");
  }
  return ListDirectory(where.entry, where.path);
}

Result<Located> ImageReader::Resolve(std::string_view path) const {
  Located current;
  current.isRoot = true;
  current.parentCluster = header_.rootStart / ClusterSize;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".") continue;
    if (!current.isRoot && !current.entry.IsDirectory()) {
      return MakeError(ErrorKind::NotFound,
                       source_ + ": " + Describe(current.path) + " is not a directory");
    }
    auto items = List(current);
    if (!items) return items.error();
    // A longer name was stored as its first 16 bytes.
    auto found = std::find_if(items->begin(), items->end(), [&](const Slot& slot) {
      return SameStoredName(slot.entry.name, component);
    });
    if (found == items->end()) {
      return MakeError(ErrorKind::NotFound, source_ + ": no '" + PrintableName(component) +
                                                "' in " + Describe(current.path));
    }
    Located next;
    next.path = Join(current.path, found->entry.name);
    next.entry = found->entry;
    next.parentCluster = current.isRoot ? header_.rootStart / ClusterSize
                                        : current.entry.firstCluster;
    current = std::move(next);
  }
  return current;
}

Result<ByteSpan> ImageReader::FileContents(const DirEntry& file, std::string_view path) const {
  std::uint64_t offset = std::uint64_t{file.firstCluster} * ClusterSize;
  if (!InBounds(bytes_.size(), offset, file.size)) {
    return MakeError(ErrorKind::Format,
                     source_ + ": file '" + PrintableName(path) + "' (" +
                         std::to_string(file.size) + " bytes from cluster " +
                         std::to_string(file.firstCluster) + ") lies outside the image of " +
                         std::to_string(bytes_.size()) + " bytes");
  }
  return bytes_.subspan(static_cast<std::size_t>(offset), file.size);
}

std::uint64_t ImageReader::TableEntryCount() const {
  if (header_.fatStart > bytes_.size()) return 0;
  return std::min<std::uint64_t>(header_.fatSize / FatEntrySize,
                                 (bytes_.size() - header_.fatStart) / FatEntrySize);
}

std::optional<std::uint32_t> ImageReader::TableEntry(std::uint64_t cluster) const {
  if (cluster >= TableEntryCount()) return std::nullopt;
  return ReadLE32(bytes_, std::uint64_t{header_.fatStart} + cluster * FatEntrySize);
}

Status ImageReader::Walk(const std::function<Status(const Located&)>& visit) const {
  Located root;
  root.isRoot = true;
  return WalkFrom(root, visit);
}

Status ImageReader::WalkFrom(const Located& start,
                             const std::function<Status(const Located&)>& visit) const {
  struct Frame {
    std::string path;
    std::uint32_t cluster;
    std::vector<Slot> items;
    std::size_t next = 0;
  };
  auto first = List(start);
  if (!first) return first.error();
  std::uint32_t rootCluster = header_.rootStart / ClusterSize;
  std::uint32_t startCluster = start.isRoot ? rootCluster : start.entry.firstCluster;
  // Which path first reached each directory region: a second arrival means a cycle or a
  // block shared by two entries, and entering it again could go on for ever.
  std::unordered_map<std::uint32_t, std::string> entered{{rootCluster, std::string()}};
  entered.emplace(startCluster, start.path);
  std::vector<Frame> stack;
  stack.push_back(Frame{start.path, startCluster, std::move(*first)});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.items.size()) {
      stack.pop_back();
      continue;
    }
    const Slot& slot = frame.items[frame.next++];
    Located item;
    item.path = Join(frame.path, slot.entry.name);
    item.entry = slot.entry;
    item.parentCluster = frame.cluster;
    KIVO_TRY(visit(item));
    if (!item.entry.IsDirectory()) continue;
    auto [seen, inserted] = entered.emplace(item.entry.firstCluster, item.path);
    if (!inserted) {
      return MakeError(ErrorKind::Format,
                       source_ + ": directory " + Describe(item.path) + " uses cluster " +
                           std::to_string(item.entry.firstCluster) + ", already reached as " +
                           Describe(seen->second) + " (the tree loops or shares a block)");
    }
    auto items = ListDirectory(item.entry, item.path);
    if (!items) return items.error();
    stack.push_back(Frame{item.path, item.entry.firstCluster, std::move(*items)});
  }
  return {};
}

}  // namespace kivo::fs
