#include "fsimage/Builder.h"

#include <algorithm>

#include "fsimage/Layout.h"

namespace kivo::fs {

namespace {

// A multiple of the table's entry size.
constexpr std::size_t HeadPieceSize = std::size_t{256} << 10;

// The head in pieces: one write for most images, a few dozen for the 16 MiB table of a 2 GiB
// one, never all of it in memory.
Status WriteHead(OutputFile& output, const ImageHead& head) {
  const std::uint64_t dataStart = head.layout().dataStart;
  std::vector<std::byte> piece(std::min<std::uint64_t>(HeadPieceSize, dataStart));
  for (std::uint64_t at = 0; at < dataStart; at += piece.size()) {
    MutableByteSpan bytes(piece.data(), static_cast<std::size_t>(
                                            std::min<std::uint64_t>(piece.size(), dataStart - at)));
    head.Fill(at, bytes);
    KIVO_TRY(output.WriteAt(at, bytes));
  }
  return {};
}

// Writes the head after everything placement wrote, and puts the file in place of the target.
Status WriteImageFile(OutputFile& output, const ImageHead& head) {
  KIVO_TRY(WriteHead(output, head));
  return output.Commit();
}

}  // namespace

DriveBuilder::DriveBuilder(std::ostream& diagnostics, BuilderOptions options)
    : out_(diagnostics), options_(std::move(options)) {}

void DriveBuilder::ScanTree(const std::string& sourceDir) {
  ScanOptions scanOptions;
  scanOptions.sortByName = options_.sortByName;
  scanOptions.excludes = options_.excludes;
  scanOptions.ownOutputs = options_.ownOutputs;
  scanOptions.warn = options_.warn;
  if (!scanOptions.warn) {
    scanOptions.warn = [this](const std::string& warning) {
      out_ << "warning: " << warning << '\n';
    };
  }
  scan_ = ScanSource(sourceDir, scanOptions);
}

BuildResult DriveBuilder::LayOut(ImageHeader& layout) const {
  const ScanTotals& totals = scan_.totals;
  const bool emptyAllowed = options_.allowEmpty && !scan_.root.empty() && scan_.rootError.empty();
  if (totals.fileCount == 0 && totals.dirCount == 0 && scan_.problems.empty() && !emptyAllowed) {
    std::string message =
        (scan_.root.empty() ? std::string("no source directory") : Quoted(scan_.root)) +
        ": directory empty or not found";
    if (!scan_.rootError.empty()) message += " (" + scan_.rootError + ")";
    return {BuildOutcome::NothingFound,
            {MakeError(ErrorKind::NotFound, std::move(message), PathFromUtf8(scan_.root))}};
  }

  BuildResult refusal{BuildOutcome::Refused, scan_.problems};
  std::vector<Error> unfit = CheckFit(scan_.records);
  refusal.problems.insert(refusal.problems.end(), unfit.begin(), unfit.end());
  if (scan_.fileTooLarge) refusal.outcome = BuildOutcome::TooLarge;
  Result<ImageHeader> computed =
      ComputeLayout(static_cast<std::uint64_t>(totals.fileSpace + totals.dirSpace));
  if (!computed) {
    refusal.outcome = BuildOutcome::TooLarge;
    refusal.problems.push_back(computed.error());
  }
  if (!refusal.problems.empty()) return refusal;
  layout = *computed;
  layout.driveName = options_.driveName;
  return {};
}

void DriveBuilder::PrintStatistics(const ImageHeader& layout) {
  if (!options_.statistics) return;
  const ScanTotals& totals = scan_.totals;
  out_ << "num of files = " << totals.fileCount << '\n'
       << "num of dir's = " << totals.dirCount << '\n'
       << "actual total space taken by files = " << totals.byteCount << '\n'
       << "disk data space (files) = " << totals.fileSpace << '\n'
       << "disk data space (dir) = " << totals.dirSpace << '\n'
       << "boot size = " << layout.bootSize << '\n'
       << "fat size = " << layout.fatSize << '\n'
       << "root size = " << layout.rootSize << '\n'
       << "data size = " << layout.dataSize << '\n'
       << "rom drive size = " << layout.driveSize << '\n'
       << "fat start = " << layout.fatStart << '\n'
       << "root start = " << layout.rootStart << '\n'
       << "data start = " << layout.dataStart << '\n';
}

BuildResult DriveBuilder::CheckImage() {
  ImageHeader layout;
  BuildResult result = LayOut(layout);
  if (result.ok()) PrintStatistics(layout);
  return result;
}

BuildResult DriveBuilder::BuildImage(const std::string& outputPath) {
  ImageHeader layout;
  if (BuildResult refused = LayOut(layout); !refused.ok()) return refused;
  PrintStatistics(layout);
  head_.emplace(layout);

  Result<OutputFile> created = OutputFile::Create(PathFromUtf8(outputPath));
  if (created) {
    if (Status sized = created->Resize(layout.driveSize); !sized) created = sized.error();
  }
  ImageOutput output(std::move(created));
  if (options_.beforePlacement) options_.beforePlacement();
  const PlacementOptions placement{.trace = options_.trace, .clock = options_.clock};
  EntryPlacer placer(scan_.records, *head_, output, placement, out_);
  placer.PlaceEntries();
  out_ << "ee\n";
  out_.flush();

  if (output.failure()) {
    out_ << "error\n";
    BuildResult failed{BuildOutcome::OutputError, {*output.failure()}};
    failed.problems.insert(failed.problems.end(), placer.problems().begin(),
                           placer.problems().end());
    return failed;
  }
  // Returning drops the temporary file; the old output stays as it was.
  if (!placer.problems().empty()) {
    return {placer.sourceFailed() ? BuildOutcome::SourceError : BuildOutcome::Refused,
            placer.problems()};
  }
  if (Status written = WriteImageFile(*output.file(), *head_); !written) {
    out_ << "error\n";
    return {BuildOutcome::OutputError, {written.error()}};
  }
  return {};
}

std::vector<std::byte> DriveBuilder::imageHead() const {
  if (!head_) return {};
  std::vector<std::byte> head(head_->layout().dataStart);
  head_->Fill(0, head);
  return head;
}

}  // namespace kivo::fs
