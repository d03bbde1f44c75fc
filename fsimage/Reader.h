// Reading a drive image from its bytes. Images come from anywhere, so every read is
// bounds-checked and every walk is bounded: a directory is never read past its 117 slots,
// a directory block is never entered twice, and nothing here can loop.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fsimage/Bytes.h"
#include "fsimage/Format.h"
#include "fsimage/Result.h"

namespace kivo::fs {

struct ImageHeader {
  std::int32_t version = 0;
  std::string driveName;  // up to the first zero byte, at most 16 bytes
  std::uint32_t driveSize = 0;
  std::uint32_t bootSize = 0;
  std::uint32_t fatSize = 0;
  std::uint32_t rootSize = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t fatStart = 0;
  std::uint32_t rootStart = 0;
  std::uint32_t dataStart = 0;
};

// Reads the header fields; `source` names the image in the error of a file too short.
Result<ImageHeader> ParseHeader(ByteSpan bytes, std::string_view source);

struct EntryDate {
  unsigned weekday = 0;  // 0 = Sunday
  unsigned day = 0;      // 1 to 31
  unsigned month = 0;    // 0 = January
  unsigned year = 0;
};

// Splits the 24-bit packed date (weekday, day of month, month, year from the top bits down).
EntryDate UnpackDate(std::uint32_t packed);
// "Sun" to "Sat", "???" for the two values no weekday has.
std::string_view WeekdayName(unsigned weekday);

struct DirEntry {
  std::string name;  // up to the first zero byte, at most 16 bytes
  std::uint32_t size = 0;
  std::uint32_t firstCluster = 0;
  std::int32_t kind = 0;
  std::uint32_t date = 0;  // the 24-bit packed value
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t flags = 0;

  bool IsDirectory() const { return kind == KindDirectory; }
  bool IsFile() const { return kind == KindFile; }
  EntryDate Date() const { return UnpackDate(date); }
};

// Decodes the 35 bytes of one slot; `slot` must hold at least DirEntrySize bytes.
DirEntry DecodeDirEntry(ByteSpan slot);

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

// ASCII-only case folding, as the program in the ROM compares names.
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

// A name made safe for a terminal or a message: bytes below 0x20 and 0x7F as \xNN.
std::string PrintableName(std::string_view name);

// A whole image file mapped read-only: large images are paged in as they are read instead
// of being copied into memory.
class MappedImage {
 public:
  static Result<MappedImage> Open(const std::filesystem::path& path);

  MappedImage(MappedImage&& other) noexcept;
  MappedImage& operator=(MappedImage&& other) noexcept;
  MappedImage(const MappedImage&) = delete;
  MappedImage& operator=(const MappedImage&) = delete;
  ~MappedImage();

  ByteSpan bytes() const { return {static_cast<const std::byte*>(data_), size_}; }
  const std::filesystem::path& path() const { return path_; }

 private:
  MappedImage(std::filesystem::path path, void* data, std::size_t size)
      : path_(std::move(path)), data_(data), size_(size) {}
  void Release();

  std::filesystem::path path_;
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace kivo::fs
