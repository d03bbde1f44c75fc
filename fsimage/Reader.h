// Reading a drive image from its bytes. Images come from anywhere, so every read is
// bounds-checked and every walk is bounded: a directory is never read past its 117 slots,
// a directory block is never entered twice, and nothing here can loop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bytes.h"
#include "base/Result.h"
#include "fsimage/Codec.h"

namespace kivo::fs {

struct Slot {
  std::uint32_t index = 0;    // 0 to 116 within its directory region
  std::uint64_t offset = 0;   // of the slot's first byte in the image
  bool empty = true;          // first byte zero
  DirEntry entry;
};

// An item found by a path or a walk. The root directory itself has `isRoot` set and no entry.
struct Located {
  std::string path;  // components joined with '/', empty for the root
  bool isRoot = false;
  DirEntry entry;
  std::uint32_t parentCluster = 0;  // cluster of the directory region holding the entry
};

class ImageReader {
 public:
  // Fails when the bytes cannot hold a header. `source` names the image in messages.
  static Result<ImageReader> Open(ByteSpan bytes, std::string source);

  const ImageHeader& header() const { return header_; }
  ByteSpan bytes() const { return bytes_; }
  const std::string& source() const { return source_; }

  // Every slot of a directory region (empty ones included), at most 117 and no more than
  // fit into `regionSize` bytes. Fails when a slot lies outside the image.
  Result<std::vector<Slot>> ReadSlots(std::uint64_t regionOffset, std::uint64_t regionSize,
                                      std::string_view what) const;

  // The root directory's items: from slot 0, up to the first empty slot.
  Result<std::vector<Slot>> ListRoot() const;
  // A directory's items: from slot 2 of its block, up to the first empty slot.
  Result<std::vector<Slot>> ListDirectory(const DirEntry& directory, std::string_view path) const;
  // The items of what `where` names: the root or a directory.
  Result<std::vector<Slot>> List(const Located& where) const;

  // Resolves a path of '/'- or '\'-separated components, comparing names without regard
  // to ASCII letter case as the program in the ROM does. "", "/" and "." give the root.
  Result<Located> Resolve(std::string_view path) const;

  // The `size` bytes of a file from the start of its first cluster.
  Result<ByteSpan> FileContents(const DirEntry& file, std::string_view path) const;

  // Number of allocation-table entries that lie inside the file (at most fatSize / 4).
  std::uint64_t TableEntryCount() const;
  std::optional<std::uint32_t> TableEntry(std::uint64_t cluster) const;

  // Visits every item depth-first, each directory before what it holds, in slot order.
  // Fails when a directory block is reached a second time (a cycle, or two entries sharing
  // one block), when a region lies outside the image, or when the visitor fails.
  Status Walk(const std::function<Status(const Located&)>& visit) const;
  // The same below `start` (the root or a directory); paths stay full paths.
  Status WalkFrom(const Located& start, const std::function<Status(const Located&)>& visit) const;

 private:
  ImageReader(ByteSpan bytes, std::string source, ImageHeader header)
      : bytes_(bytes), source_(std::move(source)), header_(std::move(header)) {}

  ByteSpan bytes_;
  std::string source_;
  ImageHeader header_;
};

// A name made safe for a terminal or a message: bytes below 0x20 and 0x7F as \xNN.
std::string PrintableName(std::string_view name);

}  // namespace kivo::fs
