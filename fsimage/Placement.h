// Entry placement: every scan record, in table order, becomes a directory entry, a chain of
// consecutive clusters and its contents.
//
// Only a little of the image is kept in memory: the head (header block and root directory,
// with the end of each chain, from which the allocation table is made as it is written) and
// the blocks of the directories along the path being placed. Each file's bytes go from the
// source straight to their place in the output.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/File.h"
#include "fsimage/Codec.h"
#include "fsimage/Scan.h"

namespace kivo::fs {

// The image's first dataStart bytes: header block, allocation table and root directory.
class ImageHead {
 public:
  explicit ImageHead(const ImageHeader& layout);

  const ImageHeader& layout() const { return layout_; }
  MutableByteSpan rootDirectory() { return rootDirectory_; }
  // The first cluster that no chain holds.
  std::uint32_t nextCluster() const { return nextCluster_; }
  // Gives the next `count` clusters to a new chain.
  void MakeChain(std::uint32_t count);
  // Bytes [offset, offset + into.size()) of the head; both a multiple of the table's entry
  // size. Made afresh on each call: the head never holds the table whole, so that a 2 GiB
  // image needs no 16 MiB of it.
  void Fill(std::uint64_t offset, MutableByteSpan into) const;

 private:
  ImageHeader layout_;
  std::vector<std::byte> headerBlock_;
  std::vector<std::byte> rootDirectory_;
  // Chains are consecutive and taken in increasing order, so the table is known from the
  // last cluster of each chain and the cursor: entry x holds x + 1 inside a chain.
  std::vector<std::uint32_t> chainEnds_;
  std::uint32_t nextCluster_;
};

// The output file while the build writes it; after its first failure it is dropped, with
// the reason, so that nothing more is written.
class ImageOutput {
 public:
  explicit ImageOutput(Result<OutputFile> created);

  OutputFile* file() { return file_ ? &*file_ : nullptr; }
  const std::optional<Error>& failure() const { return failure_; }
  void Fail(Error error);
  // Writes `bytes` at `offset` unless the output failed before.
  void WriteAt(std::uint64_t offset, ByteSpan bytes);

 private:
  std::optional<OutputFile> file_;
  std::optional<Error> failure_;
};

struct PlacementOptions {
  bool trace = true;  // the case lines and the lines of a subdirectory's search
  std::function<std::tm()> clock;
};

class EntryPlacer {
 public:
  EntryPlacer(const std::vector<ScanRecord>& records, ImageHead& head, ImageOutput& output,
              const PlacementOptions& options, std::ostream& diagnostics);

  // Places every record and writes every directory block.
  void PlaceEntries();

  // What went wrong with the records, in the order placement met it.
  const std::vector<Error>& problems() const { return problems_; }
  // Whether a source file was unreadable or changed since the scan.
  bool sourceFailed() const { return sourceFailed_; }

 private:
  void PlaceRootDir(std::size_t index);
  void PlaceSubDir(std::size_t index);
  void PlaceRootFile(std::size_t index);
  void PlaceFile(std::size_t index);
  void PlaceDirectory(std::size_t index, std::uint32_t regionOffset, std::uint32_t parentCluster);
  void PlaceFileAt(std::size_t index, std::uint32_t regionOffset);
  // Names a file that failed or changed since the scan; `otherwise` when it did not change.
  void CheckSource(const ScanRecord& record, const std::optional<Error>& otherwise);
  // Puts record `index`'s entry into the first free slot of the region at `regionOffset` and
  // gives it a chain of `clusters`; its first cluster, or nothing when it does not fit.
  std::optional<std::uint32_t> PlaceItem(std::size_t index, std::uint32_t regionOffset,
                                         std::uint32_t size, std::int32_t kind,
                                         std::uint32_t clusters);
  // The directory holding record `index`; `traced` prints the lines of a subdirectory's search.
  std::optional<std::uint32_t> ParentOf(std::size_t index, bool traced);
  // First cluster of the directory named by a parent path other than "\"; nothing when a
  // component is not found within 117 slots.
  std::optional<std::uint32_t> ResolveDirectory(const std::string& parentPath,
                                                const std::string* tracedName);
  // Offset of the first empty slot of the directory region at `regionOffset`; nothing when
  // all 117 slots are taken.
  std::optional<std::uint32_t> FindFreeSlot(std::uint32_t regionOffset) const;
  MutableByteSpan Region(std::uint32_t offset);
  ByteSpan Region(std::uint32_t offset) const;
  // Writes the complete block of the directory at `cluster` to the output and lets it go.
  void WriteDirectoryBlock(std::uint32_t cluster);
  void Problem(std::string message, const std::string& path);

  const std::vector<ScanRecord>& records_;
  ImageHead& head_;
  ImageOutput& output_;
  const PlacementOptions& options_;
  std::ostream& out_;

  std::map<std::uint32_t, std::vector<std::byte>> directoryBlocks_;
  // The last directory resolved, which the next record usually shares.
  std::string resolvedPath_;
  std::uint32_t resolvedCluster_ = 0;
  std::vector<Error> problems_;
  bool sourceFailed_ = false;
};

}  // namespace kivo::fs
