// Builds a drive image from a directory tree of the host: the scan fills the ScanTable and
// ScanTotals, BuildImage lays the image out, places every record and writes the file.
//
// Only a little of the image is kept in memory: the header block, the root directory, the
// blocks of the directories along the path being placed, and the end of each chain, from
// which the allocation table is made as it is written. Each file's bytes go from the source
// straight to their place in the output, which is written to a temporary file and renamed
// over the target only when everything succeeded.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/File.h"
#include "fsimage/Codec.h"
#include "fsimage/Layout.h"
#include "fsimage/Scan.h"

namespace kivo::fs {

// Results of DriveBuilder::BuildImage: the image was written, the scan found nothing, or why
// the build stopped; DriveBuilder::problems() lists what stopped it.
inline constexpr int BuildOk = 0;
inline constexpr int BuildNothingFound = 1;
inline constexpr int BuildRefused = 2;      // the tree does not fit the format; nothing was read
inline constexpr int BuildSourceError = 3;  // a source file unreadable or changed since the scan
inline constexpr int BuildOutputError = 4;  // the output could not be made or written
inline constexpr int BuildTooLarge = 5;     // a file or the image reaches 2 GiB

struct BuilderOptions {
  // The case lines ("root dir", "sub dir", "root file", "file") and the " * " lines.
  bool trace = true;
  // The 13 statistics lines.
  bool statistics = true;
  // Places each directory's items in byte order of their names instead of the host's
  // listing order, so that two machines make the same image from the same tree.
  bool sortByName = false;
  // Items whose name matches one of these globs are left out, with all they hold.
  std::vector<std::string> excludes;
  // Broken-down time stamped into each entry; local time of the moment when empty.
  std::function<std::tm()> clock;
  std::string driveName = std::string(DefaultDriveName);
  // Takes the scan's warnings about skipped items ("skipping 'p': a named pipe"); the
  // diagnostics stream gets them as "warning: ..." lines when empty.
  std::function<void(const std::string&)> warn;
  // Files that the scan leaves out wherever it meets them: the build's own outputs, which
  // would otherwise be packed into themselves when they lie inside the source.
  std::vector<std::filesystem::path> ownOutputs;
  // A source folder that holds nothing (or only left-out items) makes an image with an
  // empty root instead of BuildNothingFound; a missing one still finds nothing.
  bool allowEmpty = false;
  // Runs between the scan and the placement (lets tests change the source under the build).
  std::function<void()> beforePlacement;
};

class DriveBuilder {
 public:
  explicit DriveBuilder(std::ostream& diagnostics, BuilderOptions options = {});

  // Starts a build afresh from `sourceDir`: empties the ScanTable, zeroes the totals, takes
  // the root path length from the path exactly as given and scans it ("*"). An empty path
  // lists nothing, so the build finds nothing.
  void ScanTree(const std::string& sourceDir);
  // Empties the ScanTable and zeroes the totals before a new scan.
  void ResetScan();
  void SetRootPathLength(std::size_t length) { rootPathLength_ = length; }
  std::size_t rootPathLength() const { return rootPathLength_; }

  // Appends a record for every item below `dir` (skipping names that begin with a dot);
  // with a filter other than "*" only files whose extension equals it are recorded.
  void ScanSource(const std::string& dir, const std::string& filter);

  // Lays out, checks, places and writes the image; BuildOk or one of the Build... codes.
  // After BuildOutputError the output's problem comes first: CannotOpen or NotRegular when
  // the output could not even be made (nothing was written at all), Io when writing it failed.
  int BuildImage(const std::string& outputPath);
  // Every check and the statistics of BuildImage, without writing anything.
  int CheckImage();

  // Frees the image metadata of the last build.
  void ReleaseImageBuffer();

  const std::vector<ScanRecord>& records() const { return scanTable_; }
  std::int32_t scanCount() const { return static_cast<std::int32_t>(scanTable_.size()); }
  const ScanTotals& totals() const { return totals_; }
  const ImageHeader& layout() const { return layout_; }
  // What stopped the last build, one item per problem, each naming the file it concerns.
  const std::vector<Error>& problems() const { return problems_; }
  const BuilderOptions& options() const { return options_; }

  // The image's first dataStart bytes (header block, allocation table, root directory) as
  // the last build wrote them; empty before a build and after ReleaseImageBuffer(). Made
  // afresh on each call: the build never holds the table whole, so that a 2 GiB image
  // needs no 16 MiB of it.
  std::vector<std::byte> imageHead() const;
  // The directory blocks not yet written out, by first cluster.
  const std::map<std::uint32_t, std::vector<std::byte>>& directoryBlocks() const {
    return directoryBlocks_;
  }

  // Placement steps, public so that their rules can be tested one by one.
  void PlaceEntries();
  void PlaceRootDir(std::size_t index);
  void PlaceSubDir(std::size_t index);
  void PlaceRootFile(std::size_t index);
  void PlaceFile(std::size_t index);
  std::uint32_t FindFreeCluster() const;
  // Offset of the first empty slot of the directory region at `regionOffset`; nothing
  // when all 117 slots are taken.
  std::optional<std::uint32_t> FindFreeSlot(std::uint32_t regionOffset) const;
  // First cluster of the directory named by a parent path other than "\"; nothing when a
  // component is not found within 117 slots.
  std::optional<std::uint32_t> ResolveDirectory(const std::string& parentPath,
                                                const std::string* tracedName = nullptr);
  // Fills the date and time bytes of a 35-byte entry from the builder's clock.
  void PackDate(MutableByteSpan record) const;

  // Writes the metadata into the prepared output and commits it; prints "error" on failure.
  Status WriteImageFile(const std::string& outputPath);

 private:
  void ScanDirectory(const std::string& dir, const std::string& filter,
                     std::vector<std::string>& components, std::vector<std::string>& ancestors);
  // Records a problem of the scan that refuses the build.
  void Refuse(ErrorKind kind, const std::string& path, std::string message);
  std::vector<Error> CheckCapacity() const;
  int Prepare(bool forWriting, const std::string& outputPath);
  void PrintStatistics();
  MutableByteSpan Region(std::uint32_t offset);
  ByteSpan Region(std::uint32_t offset) const;
  void MakeChain(std::uint32_t first, std::uint32_t count);
  // Writes the complete block of the directory at `cluster` to the output and lets it go.
  void WriteDirectoryBlock(std::uint32_t cluster);
  // Bytes [offset, offset + into.size()) of the image's head (header block, table, root
  // directory); both a multiple of the table's entry size.
  void FillHead(std::uint64_t offset, MutableByteSpan into) const;
  // Puts record `index`'s entry into the first free slot of the region at `regionOffset` and
  // gives it a chain of `clusters`; its first cluster, or nothing when it does not fit.
  std::optional<std::uint32_t> PlaceItem(std::size_t index, std::uint32_t regionOffset,
                                         std::uint32_t size, std::int32_t kind,
                                         std::uint32_t clusters);
  // The directory holding record `index`; `traced` prints the lines of a subdirectory's search.
  std::optional<std::uint32_t> ParentOf(std::size_t index, bool traced);
  void PlaceDirectory(std::size_t index, std::uint32_t regionOffset, std::uint32_t parentCluster);
  void PlaceFileAt(std::size_t index, std::uint32_t regionOffset);

  std::ostream& out_;
  BuilderOptions options_;

  std::vector<ScanRecord> scanTable_;
  ScanTotals totals_;
  std::size_t rootPathLength_ = 0;
  std::vector<Error> scanProblems_;
  bool scanTooLarge_ = false;
  std::string topLevelError_;
  std::string scannedRoot_;

  ImageHeader layout_;
  std::vector<std::byte> headerBlock_;
  std::vector<std::byte> rootDirectory_;
  // Chains are consecutive and taken in increasing order, so the table is known from the
  // last cluster of each chain and the cursor: entry x holds x + 1 inside a chain.
  std::vector<std::uint32_t> chainEnds_;
  std::map<std::uint32_t, std::vector<std::byte>> directoryBlocks_;
  std::uint32_t nextCluster_ = 0;
  // The last directory resolved, which the next record usually shares.
  std::string resolvedPath_;
  std::uint32_t resolvedCluster_ = 0;

  std::optional<OutputFile> output_;
  std::optional<Error> outputError_;
  std::vector<Error> sourceErrors_;
  std::vector<Error> placementErrors_;
  std::vector<Error> problems_;
};

}  // namespace kivo::fs
