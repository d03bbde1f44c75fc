// What a mount shows, built once when mounting: every folder and file of the mounted drives
// with its attributes, found by path without walking the image again. A mounted image shows
// its own tree; a ROM shows each attached drive as a folder (drive1/, drive2/) beside a text
// file. Each drive's bytes are a private copy taken at mount time, so that the file changing
// or shrinking under the mount never changes what it shows.
#pragma once

#include <cstdint>
#include <functional>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Bytes.h"
#include "base/Result.h"

namespace kivo::mountfs {

using NodeId = std::uint32_t;
inline constexpr NodeId RootNode = 0;

struct MountNode {
  std::string name;  // as stored in the image, at most 16 bytes; empty for the root
  bool directory = false;
  std::time_t time = 0;
  ByteSpan contents;               // a file's bytes
  std::vector<NodeId> children;    // a folder's, in slot order
  std::uint32_t subdirectories = 0;
};

class MountTree {
 public:
  struct Drive {
    std::string folder;  // the folder it shows as; empty: the drive is the mount's root
    std::string label;   // starts its problem lines: "img.kid", "game.nds drive1"
    std::string source;  // names it in messages: "'img.kid'"
    std::vector<std::byte> bytes;
  };
  struct TextFile {
    std::string name;
    std::string text;
  };

  // Checks each drive as `kivofs verify` does and refuses the first damaged one with its
  // first problem line. `hostTime` is the time of the root, of drive folders and of text
  // files.
  static Result<MountTree> Build(std::vector<Drive> drives, std::vector<TextFile> texts,
                                 std::time_t hostTime);

  const MountNode& node(NodeId id) const { return nodes_[id]; }
  std::size_t size() const { return nodes_.size(); }
  // The node at `path` ("/" for the root, components joined by single '/'), compared byte for
  // byte as the host compares names.
  std::optional<NodeId> Find(std::string_view path) const;
  // Bytes of every drive and text file: the mount's capacity.
  std::uint64_t totalBytes() const { return totalBytes_; }

 private:
  MountTree() = default;
  NodeId Add(NodeId parent, const std::string& parentPath, MountNode node);
  Status AddDrive(const Drive& drive);

  std::vector<std::vector<std::byte>> owned_;  // every node's contents point into these
  std::vector<MountNode> nodes_;
  // Looked up by the host's paths without copying them.
  struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };
  std::unordered_map<std::string, NodeId, PathHash, std::equal_to<>> byPath_;
  std::uint64_t totalBytes_ = 0;
};

// The local time of an entry's packed date and its hour, minute and second, as the host
// shows its own files' times.
std::time_t EntryTime(std::uint32_t packedDate, unsigned hour, unsigned minute, unsigned second);

}  // namespace kivo::mountfs
