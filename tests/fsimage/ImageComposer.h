// Test-only: lays out drive images by hand from the format constants, independently of
// the builder, so that reader tests can state exactly which bytes they start from and
// corrupt them one rule at a time.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bytes.h"
#include "fsimage/Format.h"
#include "tests/fsimage/TestFiles.h"

namespace kivo::fs::testing {

struct Node {
  std::string name;
  bool directory = false;
  std::string contents;
  std::vector<Node> children;
};

inline Node File(std::string name, std::string contents) {
  return Node{std::move(name), false, std::move(contents), {}};
}
inline Node Dir(std::string name, std::vector<Node> children = {}) {
  return Node{std::move(name), true, {}, std::move(children)};
}

struct ComposeOptions {
  // Wednesday 15 March 2006, 14:05:09.
  std::uint32_t packedDate = 0x6F27D6;
  std::uint8_t hour = 14;
  std::uint8_t minute = 5;
  std::uint8_t second = 9;
  std::string driveName = "Kivo Rom Drive";
};

inline std::uint32_t Get32(const std::vector<std::byte>& image, std::size_t offset) {
  return LoadLE32(image, offset);
}
inline void Put32(std::vector<std::byte>& image, std::size_t offset, std::uint32_t value) {
  StoreLE32(image, offset, value);
}
inline void PutByte(std::vector<std::byte>& image, std::size_t offset, unsigned value) {
  image.at(offset) = static_cast<std::byte>(value);
}

inline std::vector<std::byte> ToBytes(std::string_view text) {
  std::vector<std::byte> bytes(text.size());
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());
  return bytes;
}

inline std::string ToString(ByteSpan bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class Composer {
 public:
  explicit Composer(ComposeOptions options) : options_(std::move(options)) {}

  std::vector<std::byte> Compose(const std::vector<Node>& root) {
    std::uint64_t data = 0;
    for (const Node& node : root) data += Space(node);
    // The table grows in whole clusters until it holds an entry for every cluster.
    std::uint64_t fat = ClusterSize * (data / 65536 + 1);
    while (fat / 4 < (fat + data + FixedOverhead) / ClusterSize) fat += ClusterSize;
    rootStart_ = static_cast<std::uint32_t>(FatStart + fat);
    std::uint32_t dataStart = rootStart_ + RootSize;
    std::uint64_t driveSize = dataStart + data;
    image_.assign(static_cast<std::size_t>(driveSize), std::byte{0});
    Put32(image_, header::Version, FormatVersion);
    StoreFixedString(image_, header::DriveName, DriveNameSize, options_.driveName);
    Put32(image_, header::DriveSize, static_cast<std::uint32_t>(driveSize));
    Put32(image_, header::BootSize, BootSize);
    Put32(image_, header::FatSize, static_cast<std::uint32_t>(fat));
    Put32(image_, header::RootSize, RootSize);
    Put32(image_, header::DataSize, static_cast<std::uint32_t>(data));
    Put32(image_, header::FatStart, FatStart);
    Put32(image_, header::RootStart, rootStart_);
    Put32(image_, header::DataStart, dataStart);
    for (std::uint32_t c = 0; c < dataStart / ClusterSize; ++c) SetLink(c, ReservedCluster);
    nextCluster_ = dataStart / ClusterSize;
    PlaceAll(root, rootStart_, 0, rootStart_ / ClusterSize);
    return std::move(image_);
  }

 private:
  static std::uint64_t Space(const Node& node) {
    if (!node.directory) return FileSpace(node.contents.size());
    std::uint64_t total = DirectoryBlockSize;
    for (const Node& child : node.children) total += Space(child);
    return total;
  }

  void SetLink(std::uint32_t cluster, std::uint32_t value) {
    Put32(image_, FatStart + FatEntrySize * cluster, value);
  }

  std::uint32_t Chain(std::uint64_t clusters) {
    std::uint32_t first = nextCluster_;
    for (std::uint32_t i = 0; i + 1 < clusters; ++i) SetLink(first + i, first + i + 1);
    SetLink(static_cast<std::uint32_t>(first + clusters - 1), EndOfChain);
    nextCluster_ = static_cast<std::uint32_t>(first + clusters);
    return first;
  }

  void WriteEntry(std::size_t offset, std::string_view name, std::uint32_t size,
                  std::uint32_t cluster, std::int32_t kind, bool stamped) {
    StoreFixedString(image_, offset + entry::Name, entry::NameSize, name);
    Put32(image_, offset + entry::Size, size);
    Put32(image_, offset + entry::FirstCluster, cluster);
    Put32(image_, offset + entry::Kind, static_cast<std::uint32_t>(kind));
    if (!stamped) return;
    PutByte(image_, offset + entry::Date, (options_.packedDate >> 16) & 0xFF);
    PutByte(image_, offset + entry::Date + 1, (options_.packedDate >> 8) & 0xFF);
    PutByte(image_, offset + entry::Date + 2, options_.packedDate & 0xFF);
    PutByte(image_, offset + entry::Hour, options_.hour);
    PutByte(image_, offset + entry::Minute, options_.minute);
    PutByte(image_, offset + entry::Second, options_.second);
    PutByte(image_, offset + entry::Flags, EntryFlags);
  }

  // Items in pre-order: each directory's chain comes before the chains of what it holds.
  void PlaceAll(const std::vector<Node>& nodes, std::size_t region, std::uint32_t firstSlot,
                std::uint32_t regionCluster) {
    std::uint32_t slot = firstSlot;
    for (const Node& node : nodes) {
      std::size_t offset = region + DirEntrySize * slot++;
      if (node.directory) {
        std::uint32_t k = Chain(DirectoryClusters);
        WriteEntry(offset, node.name, RootSize, k, KindDirectory, true);
        std::size_t block = std::size_t{k} * ClusterSize;
        WriteEntry(block, ".", 0, k, KindLink, false);
        WriteEntry(block + DirEntrySize, "..", 0, regionCluster, KindLink, false);
        PlaceAll(node.children, block, 2, k);
      } else {
        auto size = static_cast<std::uint32_t>(node.contents.size());
        std::uint32_t k = Chain(FileClusters(size));
        WriteEntry(offset, node.name, size, k, KindFile, true);
        if (size > 0) {
          std::memcpy(image_.data() + std::size_t{k} * ClusterSize, node.contents.data(), size);
        }
      }
    }
  }

  ComposeOptions options_;
  std::vector<std::byte> image_;
  std::uint32_t rootStart_ = 0;
  std::uint32_t nextCluster_ = 0;
};

inline std::vector<std::byte> Compose(const std::vector<Node>& root, ComposeOptions options = {}) {
  return Composer(std::move(options)).Compose(root);
}

// The worked example of the format: docs/a.bin (1000 bytes) and readme.txt (100 bytes).
inline std::vector<Node> WorkedExampleTree() {
  std::string a(1000, '\0');
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>('a' + i % 26);
  return {Dir("docs", {File("a.bin", a)}), File("readme.txt", std::string(100, 'r'))};
}

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

}  // namespace kivo::fs::testing
