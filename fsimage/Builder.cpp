#include "fsimage/Builder.h"

#include <algorithm>
#include <unordered_map>

namespace kivo::fs {

namespace stdfs = std::filesystem;

namespace {

bool HasForbiddenCharacter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return c == '\\' || byte < 0x20 || byte == 0x7F;
  });
}

std::string DirectoryOf(const ScanRecord& record) {
  return Utf8(PathFromUtf8(record.fullPath).parent_path());
}

// A multiple of the table's entry size.
constexpr std::size_t HeadPieceSize = std::size_t{256} << 10;

// Only when the output was dropped without a reason of its own.
Error CannotWriteOutput(const std::string& outputPath) {
  return MakeError(ErrorKind::Io, "cannot write " + Quoted(outputPath), PathFromUtf8(outputPath));
}

}  // namespace

DriveBuilder::DriveBuilder(std::ostream& diagnostics, BuilderOptions options)
    : out_(diagnostics), options_(std::move(options)) {}

void DriveBuilder::ScanTree(const std::string& sourceDir) {
  ResetScan();
  // The path is taken exactly as given: its length is what every parent path loses in front.
  SetRootPathLength(sourceDir.size());
  ScanSource(sourceDir, "*");
}

void DriveBuilder::ResetScan() {
  scanTable_.clear();
  totals_ = {};
  scanProblems_.clear();
  scanTooLarge_ = false;
  topLevelError_.clear();
  scannedRoot_.clear();
}

void DriveBuilder::ReleaseImageBuffer() {
  headerBlock_ = {};
  rootDirectory_ = {};
  chainEnds_ = {};
  directoryBlocks_.clear();
}

std::vector<Error> DriveBuilder::CheckCapacity() const {
  std::vector<Error> problems = scanProblems_;

  struct DirectoryItems {
    std::string hostPath;
    std::size_t count = 0;
    std::unordered_map<std::string, std::size_t> byKey;  // stored-name key -> record index
  };
  std::vector<std::string> order;
  std::unordered_map<std::string, DirectoryItems> directories;
  for (std::size_t i = 0; i < scanTable_.size(); ++i) {
    const ScanRecord& record = scanTable_[i];
    if (HasForbiddenCharacter(record.name)) {
      problems.push_back(MakeError(ErrorKind::Invalid,
                                   Quoted(record.fullPath) +
                                       ": a name may not hold a backslash or a control character",
                                   PathFromUtf8(record.fullPath)));
    }
    auto [it, added] = directories.try_emplace(record.parentPath);
    DirectoryItems& items = it->second;
    if (added) {
      order.push_back(record.parentPath);
      items.hostPath = DirectoryOf(record);
    }
    ++items.count;
    auto [previous, fresh] = items.byKey.try_emplace(StoredNameKey(record.name), i);
    if (!fresh) {
      problems.push_back(MakeError(ErrorKind::Invalid,
                                   "'" + scanTable_[previous->second].name + "' and '" +
                                       record.name + "' in " + Quoted(items.hostPath) +
                                       " have the same stored name ignoring case (a name is "
                                       "stored as its first 16 bytes)",
                                   PathFromUtf8(record.fullPath)));
    }
  }
  for (const std::string& parent : order) {
    const DirectoryItems& items = directories.at(parent);
    bool root = parent == "\\";
    std::uint32_t limit = root ? RootCapacity : SubdirCapacity;
    if (items.count > limit) {
      problems.push_back(MakeError(ErrorKind::Capacity,
                                   Quoted(items.hostPath) + " holds " +
                                       std::to_string(items.count) + " items; " +
                                       (root ? "the root directory" : "a subdirectory") +
                                       " holds at most " + std::to_string(limit),
                                   PathFromUtf8(items.hostPath)));
    }
  }
  return problems;
}

int DriveBuilder::Prepare(bool forWriting, const std::string& outputPath) {
  problems_.clear();
  const bool emptyAllowed = options_.allowEmpty && !scannedRoot_.empty() && topLevelError_.empty();
  if (totals_.fileCount == 0 && totals_.dirCount == 0 && scanProblems_.empty() && !emptyAllowed) {
    std::string message = (scannedRoot_.empty() ? std::string("no source directory")
                                                : Quoted(scannedRoot_)) +
                          ": directory empty or not found";
    if (!topLevelError_.empty()) message += " (" + topLevelError_ + ")";
    problems_.push_back(
        MakeError(ErrorKind::NotFound, std::move(message), PathFromUtf8(scannedRoot_)));
    return BuildNothingFound;
  }

  std::vector<Error> problems = CheckCapacity();
  bool tooLarge = scanTooLarge_;
  auto dataSize = static_cast<std::uint64_t>(totals_.fileSpace + totals_.dirSpace);
  Result<ImageHeader> layout = ComputeLayout(dataSize);
  if (!layout) {
    tooLarge = true;
    problems.push_back(layout.error());
  }
  if (!problems.empty()) {
    problems_ = std::move(problems);
    return tooLarge ? BuildTooLarge : BuildRefused;
  }
  layout_ = *layout;
  layout_.driveName = options_.driveName;
  PrintStatistics();
  if (!forWriting) return BuildOk;

  headerBlock_.assign(BootSize, std::byte{0});
  EncodeHeader(layout_, headerBlock_);
  rootDirectory_.assign(RootSize, std::byte{0});
  chainEnds_.clear();
  directoryBlocks_.clear();
  nextCluster_ = layout_.firstDataCluster();
  resolvedPath_.clear();
  sourceErrors_.clear();
  placementErrors_.clear();
  outputError_.reset();
  output_.reset();

  Result<OutputFile> created = OutputFile::Create(PathFromUtf8(outputPath));
  if (!created) {
    outputError_ = created.error();
  } else {
    output_.emplace(std::move(created).value());
    Status sized = output_->Resize(layout_.driveSize);
    if (!sized) {
      outputError_ = sized.error();
      output_.reset();
    }
  }
  return BuildOk;
}

void DriveBuilder::PrintStatistics() {
  if (!options_.statistics) return;
  out_ << "num of files = " << totals_.fileCount << '\n'
       << "num of dir's = " << totals_.dirCount << '\n'
       << "actual total space taken by files = " << totals_.byteCount << '\n'
       << "disk data space (files) = " << totals_.fileSpace << '\n'
       << "disk data space (dir) = " << totals_.dirSpace << '\n'
       << "boot size = " << layout_.bootSize << '\n'
       << "fat size = " << layout_.fatSize << '\n'
       << "root size = " << layout_.rootSize << '\n'
       << "data size = " << layout_.dataSize << '\n'
       << "rom drive size = " << layout_.driveSize << '\n'
       << "fat start = " << layout_.fatStart << '\n'
       << "root start = " << layout_.rootStart << '\n'
       << "data start = " << layout_.dataStart << '\n';
}

int DriveBuilder::CheckImage() { return Prepare(false, {}); }

int DriveBuilder::BuildImage(const std::string& outputPath) {
  int prepared = Prepare(true, outputPath);
  if (prepared != BuildOk) return prepared;

  if (options_.beforePlacement) options_.beforePlacement();
  PlaceEntries();
  out_ << "ee\n";
  out_.flush();

  if (outputError_ || !output_) {
    out_ << "error\n";
    problems_.push_back(outputError_ ? *outputError_ : CannotWriteOutput(outputPath));
    problems_.insert(problems_.end(), sourceErrors_.begin(), sourceErrors_.end());
    output_.reset();
    return BuildOutputError;
  }
  if (!sourceErrors_.empty() || !placementErrors_.empty()) {
    output_.reset();  // drops the temporary file; the old output stays as it was
    problems_ = sourceErrors_;
    problems_.insert(problems_.end(), placementErrors_.begin(), placementErrors_.end());
    return sourceErrors_.empty() ? BuildRefused : BuildSourceError;
  }
  if (Status written = WriteImageFile(outputPath); !written) {
    problems_.push_back(written.error());
    return BuildOutputError;
  }
  return BuildOk;
}

Status DriveBuilder::WriteImageFile(const std::string& outputPath) {
  auto fail = [&](Error error) -> Status {
    out_ << "error\n";
    output_.reset();
    return error;
  };
  if (!output_) return fail(outputError_ ? *outputError_ : CannotWriteOutput(outputPath));
  // The head in pieces: one write for most images, a few dozen for the 16 MiB table of a
  // 2 GiB one, never all of it in memory.
  Status status;
  std::vector<std::byte> piece(std::min<std::size_t>(HeadPieceSize, layout_.dataStart));
  for (std::uint64_t at = 0; status && at < layout_.dataStart; at += piece.size()) {
    MutableByteSpan bytes(piece.data(), static_cast<std::size_t>(std::min<std::uint64_t>(
                                            piece.size(), layout_.dataStart - at)));
    FillHead(at, bytes);
    status = output_->WriteAt(at, bytes);
  }
  for (auto it = directoryBlocks_.begin(); status && it != directoryBlocks_.end(); ++it) {
    status = output_->WriteAt(std::uint64_t{it->first} * ClusterSize, it->second);
  }
  if (status) status = output_->Commit();
  if (!status) return fail(status.error());
  output_.reset();
  return {};
}

}  // namespace kivo::fs
