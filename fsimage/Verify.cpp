#include "fsimage/Verify.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <unordered_map>

#include "fsimage/Extract.h"
#include "fsimage/Format.h"
#include "fsimage/Reader.h"

namespace kivo::fs {
namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Range(std::uint64_t first, std::uint64_t last) {
  return first == last ? "cluster " + std::to_string(first)
                       : "clusters " + std::to_string(first) + " to " + std::to_string(last);
}

std::string EntryRange(std::uint64_t first, std::uint64_t last) {
  return first == last ? "entry " + std::to_string(first)
                       : "entries " + std::to_string(first) + " to " + std::to_string(last);
}

// Calls `report(first, last, key)` for each run of consecutive indices in [begin, end)
// that `select` picks with the same key.
template <typename Select, typename Report>
void ForEachRun(std::uint64_t begin, std::uint64_t end, Select select, Report report) {
  std::uint64_t i = begin;
  while (i < end) {
    std::optional<int> key = select(i);
    if (!key) {
      ++i;
      continue;
    }
    std::uint64_t first = i;
    while (i + 1 < end && select(i + 1) == key) ++i;
    report(first, i, *key);
    ++i;
  }
}

class Verifier {
 public:
  Verifier(ByteSpan bytes, std::string_view source) : bytes_(bytes), source_(source) {}

  VerifyReport Run() {
    auto reader = ImageReader::Open(bytes_, std::string(source_));
    if (!reader) {
      Problem(reader.error().message);
      return Finish();
    }
    reader_.emplace(std::move(*reader));
    h_ = reader_->header();
    fileClusters_ = bytes_.size() / ClusterSize;
    report_.clusters = fileClusters_;
    if (!CheckHeader()) return Finish();
    CheckReservedEntries();
    owner_.assign(static_cast<std::size_t>(fileClusters_), NoOwner);
    WalkTree();
    CheckUnowned();
    return Finish();
  }

 private:
  static constexpr std::uint32_t NoOwner = 0xFFFFFFFFu;

  struct PendingDirectory {
    std::string path;
    std::uint32_t cluster;
    std::uint32_t parentCluster;
  };

  void Problem(std::string text) {
    if (report_.problems.size() < MaxListedProblems) {
      report_.problems.push_back(std::move(text));
    } else {
      ++unlisted_;
    }
  }

  VerifyReport Finish() {
    report_.problemCount = report_.problems.size() + unlisted_;
    if (unlisted_ > 0) {
      report_.problems.push_back("... and " + std::to_string(unlisted_) + " more problems");
    }
    return std::move(report_);
  }

  static std::string Item(const std::string& path) { return "'" + PrintableName(path) + "'"; }

  // False when the regions the rest of the checks read do not lie inside the file.
  bool CheckHeader() {
    CheckHeaderFields();
    CheckFileLength();
    if (!CheckRegions()) return false;
    firstDataCluster_ = h_.dataStart / ClusterSize;
    dataEndCluster_ =
        std::min<std::uint64_t>((std::uint64_t{h_.dataStart} + h_.dataSize) / ClusterSize,
                                fileClusters_);
    return true;
  }

  // The fields against the format's constants and against each other.
  void CheckHeaderFields() {
    auto field = [&](const char* name, std::uint64_t actual, std::uint64_t expected,
                     const std::string& why) {
      if (actual != expected) {
        Problem(std::string("header: ") + name + " is " + std::to_string(actual) + ", expected " +
                std::to_string(expected) + why);
      }
    };
    if (h_.version != FormatVersion) {
      Problem("header: version is " + std::to_string(h_.version) + ", expected " +
              std::to_string(FormatVersion));
    }
    field("bootSize", h_.bootSize, BootSize, "");
    field("fatStart", h_.fatStart, FatStart, "");
    field("rootSize", h_.rootSize, RootSize, "");
    if (h_.fatSize == 0 || h_.fatSize % ClusterSize != 0) {
      Problem("header: fatSize " + std::to_string(h_.fatSize) +
              " is not a positive multiple of 512");
    }
    if (h_.dataSize % ClusterSize != 0) {
      Problem("header: dataSize " + std::to_string(h_.dataSize) + " is not a multiple of 512");
    }
    field("rootStart", h_.rootStart, std::uint64_t{h_.fatStart} + h_.fatSize,
          " (fatStart + fatSize)");
    field("dataStart", h_.dataStart, std::uint64_t{h_.rootStart} + h_.rootSize,
          " (rootStart + rootSize)");
    field("driveSize", h_.driveSize, std::uint64_t{h_.dataStart} + h_.dataSize,
          " (dataStart + dataSize)");
  }

  // The header against the file: its length, the rest of the header block, the table's reach.
  void CheckFileLength() {
    const std::uint64_t length = bytes_.size();
    if (h_.driveSize != length) {
      Problem("header: driveSize is " + std::to_string(h_.driveSize) + " but the file holds " +
              std::to_string(length) + " bytes");
    }
    if (length % ClusterSize != 0) {
      Problem("the file length " + std::to_string(length) + " is not a multiple of 512");
    }
    if (length < BootSize) {
      Problem("the file ends inside the header block (" + std::to_string(length) + " bytes)");
    } else {
      for (std::size_t i = header::End; i < BootSize; ++i) {
        if (bytes_[i] != std::byte{0}) {
          Problem("header: bytes 52 to 511 should be zero, byte " + std::to_string(i) +
                  " is not");
          break;
        }
      }
    }
    if (h_.fatSize / FatEntrySize < fileClusters_) {
      Problem("allocation table: " + std::to_string(h_.fatSize / FatEntrySize) +
              " entries cannot describe the " + std::to_string(fileClusters_) +
              " clusters of the image");
    }
  }

  // Whether the table, the root directory and the data area lie inside the file, each
  // starting on a cluster boundary.
  bool CheckRegions() {
    const std::uint64_t length = bytes_.size();
    bool regionsInside = true;
    auto region = [&](const char* name, std::uint64_t start, std::uint64_t size) {
      if (!InBounds(length, start, size)) {
        Problem(std::string("the ") + name + " (" + std::to_string(size) + " bytes at offset " +
                std::to_string(start) + ") lies outside the file of " + std::to_string(length) +
                " bytes");
        regionsInside = false;
      }
    };
    region("allocation table", h_.fatStart, h_.fatSize);
    region("root directory", h_.rootStart, h_.rootSize);
    if (regionsInside) region("data area", h_.dataStart, h_.dataSize);
    if (!regionsInside) return false;
    if (h_.fatStart % ClusterSize != 0 || h_.rootStart % ClusterSize != 0 ||
        h_.dataStart % ClusterSize != 0) {
      Problem("header: the regions do not start on cluster boundaries");
      return false;
    }
    return true;
  }

  std::optional<std::uint32_t> Entry(std::uint64_t cluster) const {
    return reader_->TableEntry(cluster);
  }

  void CheckReservedEntries() {
    std::uint64_t entries = reader_->TableEntryCount();
    std::uint64_t reservedEnd = std::min<std::uint64_t>(firstDataCluster_, entries);
    ForEachRun(
        0, reservedEnd,
        [&](std::uint64_t n) -> std::optional<int> {
          return Entry(n) != ReservedCluster ? std::optional<int>(0) : std::nullopt;
        },
        [&](std::uint64_t first, std::uint64_t last, int) {
          Problem("allocation table: " + EntryRange(first, last) +
                  " (header block, table, root directory) should hold 0xCCCCCCCC, entry " +
                  std::to_string(first) + " holds " + Hex(*Entry(first)));
        });
    ForEachRun(
        reservedEnd, entries,
        [&](std::uint64_t n) -> std::optional<int> {
          return Entry(n) == ReservedCluster ? std::optional<int>(0) : std::nullopt;
        },
        [&](std::uint64_t first, std::uint64_t last, int) {
          Problem("allocation table: " + EntryRange(first, last) +
                  " hold 0xCCCCCCCC but lie past the reserved clusters");
        });
    ForEachRun(
        std::max(fileClusters_, reservedEnd), entries,
        [&](std::uint64_t n) -> std::optional<int> {
          auto value = Entry(n);
          return (*value != FreeCluster && *value != ReservedCluster) ? std::optional<int>(0)
                                                                     : std::nullopt;
        },
        [&](std::uint64_t first, std::uint64_t last, int) {
          Problem("allocation table: " + EntryRange(first, last) +
                  " describe clusters past the end of the image but are not free");
        });
  }

  void CheckRegion(const std::string& path, std::uint64_t offset, std::uint32_t firstItemSlot,
                   std::uint32_t parentCluster, std::uint32_t ownCluster) {
    const std::string where = path.empty() ? std::string("root directory") : Item(path);
    auto slots = reader_->ReadSlots(offset, RootSize, where);
    if (!slots) {
      Problem(slots.error().message);
      return;
    }
    if (!InBounds(bytes_.size(), offset + RootSize - 1, 1) ||
        bytes_[static_cast<std::size_t>(offset + RootSize - 1)] != std::byte{0}) {
      Problem(where + ": the last byte of the region belongs to no slot and should be zero");
    }
    if (firstItemSlot == 2) CheckLinks(path, *slots, parentCluster, ownCluster);

    // SlotsPerDirectory while no slot has been empty since the last item.
    std::uint32_t firstEmpty = SlotsPerDirectory;
    std::vector<const Slot*> items;
    for (const Slot& slot : *slots) {
      if (slot.index < firstItemSlot) continue;
      if (slot.empty) {
        firstEmpty = std::min<std::uint32_t>(firstEmpty, slot.index);
        continue;
      }
      if (firstEmpty != SlotsPerDirectory) {
        Problem(where + ": slot " + std::to_string(slot.index) + " is used after the empty slot " +
                std::to_string(firstEmpty) + ", so it cannot be reached");
        firstEmpty = SlotsPerDirectory;
      }
      items.push_back(&slot);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (SameStoredName(items[i]->entry.name, items[j]->entry.name)) {
          Problem(where + ": the names '" + PrintableName(items[j]->entry.name) + "' and '" +
                  PrintableName(items[i]->entry.name) +
                  "' are equal ignoring case, so the second cannot be reached");
          break;
        }
      }
    }
    std::uint32_t regionCluster = path.empty() ? h_.rootStart / ClusterSize : ownCluster;
    for (const Slot* slot : items) {
      std::string itemPath = path.empty() ? slot->entry.name : path + "/" + slot->entry.name;
      CheckItem(itemPath, slot->entry, regionCluster);
    }
  }

  void CheckLinks(const std::string& path, const std::vector<Slot>& slots,
                  std::uint32_t parentCluster, std::uint32_t ownCluster) {
    auto check = [&](const Slot& slot, std::string_view name, std::uint32_t cluster) {
      const DirEntry& e = slot.entry;
      bool zeros = e.size == 0 && e.date == 0 && e.hour == 0 && e.minute == 0 && e.second == 0 &&
                   e.flags == 0;
      if (!slot.empty && e.name == name && e.kind == KindLink && e.firstCluster == cluster &&
          zeros) {
        return;
      }
      Problem(Item(path) + ": slot " + std::to_string(slot.index) + " should be the '" +
              std::string(name) + "' entry (kind -3, cluster " + std::to_string(cluster) +
              ", size, time stamp and flags zero); it holds '" + PrintableName(e.name) +
              "', kind " + std::to_string(e.kind) + ", cluster " +
              std::to_string(e.firstCluster) + (zeros ? "" : ", non-zero fields"));
    };
    check(slots[0], ".", ownCluster);
    check(slots[1], "..", parentCluster);
  }

  void CheckItem(const std::string& path, const DirEntry& e, std::uint32_t regionCluster) {
    if (auto reason = UnsafeNameReason(e.name); !reason.empty()) {
      Problem(Item(path) + ": " + std::string(reason));
    }
    EntryDate date = e.Date();
    if (date.weekday > 6 || date.day < 1 || date.day > 31 || date.month > 11 || e.hour > 23 ||
        e.minute > 59 || e.second > 59) {
      Problem(Item(path) + ": the time stamp is not a valid date and time");
    }
    std::uint64_t length = 0;
    if (e.IsDirectory()) {
      ++report_.directories;
      if (e.size != RootSize) {
        Problem(Item(path) + ": a directory's size should be 4096, it is " +
                std::to_string(e.size));
      }
      length = DirectoryClusters;
    } else if (e.IsFile()) {
      ++report_.files;
      length = FileClusters(e.size);
    } else {
      Problem(Item(path) + ": kind " + std::to_string(e.kind) +
              " is neither a directory (-1) nor a file (-2)");
      return;
    }
    std::uint32_t index = static_cast<std::uint32_t>(paths_.size());
    paths_.push_back(path);

    if (e.IsDirectory()) {
      auto [seen, inserted] = directoryBlocks_.emplace(e.firstCluster, index);
      if (!inserted) {
        Problem(Item(path) + ": its block at cluster " + std::to_string(e.firstCluster) +
                " is that of " + Item(paths_[seen->second]) +
                " (the tree loops or two directories share a block)");
        return;
      }
    }
    bool inside = CheckChain(path, e.firstCluster, length, index);
    if (e.IsFile() && inside) CheckFileTail(path, e);
    if (e.IsDirectory() && inside) {
      pending_.push_back(PendingDirectory{path, e.firstCluster, regionCluster});
    }
  }

  // True when the whole chain lies inside the data area.
  bool CheckChain(const std::string& path, std::uint32_t first, std::uint64_t length,
                  std::uint32_t index) {
    std::uint64_t last = std::uint64_t{first} + length - 1;
    bool inside = first >= firstDataCluster_ && last < dataEndCluster_;
    if (!inside) {
      Problem(Item(path) + ": its chain (" + Range(first, last) +
              ") does not lie inside the data area (" +
              Range(firstDataCluster_, dataEndCluster_ == 0 ? 0 : dataEndCluster_ - 1) + ")");
    }
    // Links, as far as the table describes them.
    for (std::uint64_t c = first; c <= last; ++c) {
      auto value = Entry(c);
      if (!value) break;
      std::uint32_t expected = c == last ? EndOfChain : static_cast<std::uint32_t>(c + 1);
      if (*value == expected) continue;
      std::uint64_t position = c - first + 1;
      if (*value == EndOfChain) {
        Problem(Item(path) + ": its chain ends at cluster " + std::to_string(c) + " after " +
                std::to_string(position) + " clusters; its size needs " + std::to_string(length));
      } else if (*value == FreeCluster) {
        Problem(Item(path) + ": cluster " + std::to_string(c) + " of its chain is marked free");
      } else if (c == last) {
        Problem(Item(path) + ": its chain does not end at cluster " + std::to_string(c) +
                " (entry holds " + Hex(*value) + ") though its size needs " +
                std::to_string(length) + " clusters");
      } else {
        Problem(Item(path) + ": cluster " + std::to_string(c) + " of its chain links to " +
                Hex(*value) + ", expected " + std::to_string(expected));
      }
      break;
    }
    // Ownership, for the clusters that exist.
    bool overlapReported = false;
    for (std::uint64_t c = first; c <= last && c < fileClusters_; ++c) {
      if (c < firstDataCluster_) continue;
      std::uint32_t& owner = owner_[static_cast<std::size_t>(c)];
      if (owner == NoOwner) {
        owner = index;
      } else if (!overlapReported) {
        Problem("cluster " + std::to_string(c) + " belongs to the chains of both " +
                Item(paths_[owner]) + " and " + Item(path));
        overlapReported = true;
      }
    }
    return inside;
  }

  void CheckFileTail(const std::string& path, const DirEntry& e) {
    std::uint64_t start = std::uint64_t{e.firstCluster} * ClusterSize + e.size;
    std::uint64_t end = (std::uint64_t{e.firstCluster} + FileClusters(e.size)) * ClusterSize;
    end = std::min<std::uint64_t>(end, bytes_.size());
    for (std::uint64_t i = start; i < end; ++i) {
      if (bytes_[static_cast<std::size_t>(i)] != std::byte{0}) {
        Problem(Item(path) + ": the rest of its chain after its " + std::to_string(e.size) +
                " bytes should be zero, byte " + std::to_string(i) + " is not");
        return;
      }
    }
  }

  void WalkTree() {
    std::uint32_t rootCluster = h_.rootStart / ClusterSize;
    CheckRegion(std::string(), h_.rootStart, 0, rootCluster, rootCluster);
    // Every block is entered once (see CheckItem), so this ends on any input.
    while (!pending_.empty()) {
      PendingDirectory next = std::move(pending_.back());
      pending_.pop_back();
      CheckRegion(next.path, std::uint64_t{next.cluster} * ClusterSize, 2, next.parentCluster,
                  next.cluster);
    }
  }

  void CheckUnowned() {
    std::uint64_t end = dataEndCluster_;
    ForEachRun(
        firstDataCluster_, end,
        [&](std::uint64_t c) -> std::optional<int> {
          if (owner_[static_cast<std::size_t>(c)] != NoOwner) return std::nullopt;
          auto value = Entry(c);
          return (value && *value != FreeCluster) ? 1 : 0;
        },
        [&](std::uint64_t first, std::uint64_t last, int used) {
          if (used) {
            Problem("allocation table: " + Range(first, last) + (first == last ? " is" : " are") +
                    " marked in use but owned by no item");
          } else {
            Problem("data area: " + Range(first, last) + (first == last ? " belongs" : " belong") +
                    " to no item (a gap between chains)");
          }
        });
  }

  ByteSpan bytes_;
  std::string_view source_;
  std::optional<ImageReader> reader_;
  ImageHeader h_;
  VerifyReport report_;
  std::size_t unlisted_ = 0;
  std::uint64_t fileClusters_ = 0;
  std::uint64_t firstDataCluster_ = 0;
  std::uint64_t dataEndCluster_ = 0;
  std::vector<std::uint32_t> owner_;
  std::vector<std::string> paths_;
  std::unordered_map<std::uint32_t, std::uint32_t> directoryBlocks_;
  std::vector<PendingDirectory> pending_;
};

}  // namespace

VerifyReport VerifyImage(ByteSpan bytes, std::string_view source) {
  return Verifier(bytes, source).Run();
}

}  // namespace kivo::fs
