// Builds a drive image from a directory tree of the host, in four steps: the scan records
// every item (Scan.h), the layout checks that the records fit the format and sizes the image
// (Layout.h), placement turns each record into its entry, chain and contents (Placement.h),
// and the write puts the image's head out and commits the file. The output is written to a
// temporary file and renamed over the target only when everything succeeded.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fsimage/Codec.h"
#include "fsimage/Placement.h"
#include "fsimage/Scan.h"

namespace kivo::fs {

enum class BuildOutcome {
  Built,
  NothingFound,
  Refused,      // the tree does not fit the format; nothing was read
  SourceError,  // a source file unreadable or changed since the scan
  OutputError,  // the output could not be made or written
  TooLarge,     // a file or the image reaches 2 GiB
};

struct BuildResult {
  BuildOutcome outcome = BuildOutcome::Built;
  // What stopped the build, one item per problem, each naming the file it concerns. After
  // OutputError the output's problem comes first: CannotOpen or NotRegular when the output
  // could not even be made (nothing was written at all), Io when writing it failed.
  std::vector<Error> problems;

  bool ok() const { return outcome == BuildOutcome::Built; }
};

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
  // empty root instead of NothingFound; a missing one still finds nothing.
  bool allowEmpty = false;
  // Runs between the scan and the placement (lets tests change the source under the build).
  std::function<void()> beforePlacement;
};

class DriveBuilder {
 public:
  explicit DriveBuilder(std::ostream& diagnostics, BuilderOptions options = {});

  // Scans `sourceDir` in place of any earlier scan. The path is taken exactly as given; an
  // empty one lists nothing, so the build finds nothing.
  void ScanTree(const std::string& sourceDir);

  // Lays out, checks, places and writes the image of the last scan.
  BuildResult BuildImage(const std::string& outputPath);
  // Every check and the statistics of BuildImage, without writing anything.
  BuildResult CheckImage();

  // Frees the image head of the last build.
  void ReleaseImageBuffer() { head_.reset(); }

  const std::vector<ScanRecord>& records() const { return scan_.records; }
  std::int32_t scanCount() const { return static_cast<std::int32_t>(scan_.records.size()); }
  // The image's first dataStart bytes (header block, allocation table, root directory) as
  // the last build wrote them; empty before a build and after ReleaseImageBuffer().
  std::vector<std::byte> imageHead() const;

 private:
  // Fills `layout` for the scanned tree; otherwise the result says why it cannot be built.
  BuildResult LayOut(ImageHeader& layout) const;
  void PrintStatistics(const ImageHeader& layout);

  std::ostream& out_;
  BuilderOptions options_;
  SourceScan scan_;
  std::optional<ImageHead> head_;
};

}  // namespace kivo::fs
