// Any bytes as a drive image, through every reader and the extraction of one on the host:
// - the summary, from memory and from a file, agrees with itself and shows the size it was given;
// - the verifier finishes with a bounded list, and when it calls the image sound the reader
//   walks the whole tree, reaches every file's contents and counts what it counted;
// - listed as `kivofs ls -R -l` lists it, the walk ends after no more items than the image can
//   hold, every path prints without a control byte, every field formats, every walked path
//   resolves or fails with a message, and a file's contents have its size;
// - extracted into a directory three levels deep in a private scratch tree: whatever the names
//   say ("..", "/etc", control bytes, loops), nothing may appear beside the destination or
//   above it, inside it only plain directories and regular files and no more than the
//   extraction reports, and a refused image writes no file.
// Every error says what went wrong.
#include "fsimage/Extract.h"
#include "fsimage/Reader.h"
#include "fsimage/Summary.h"
#include "fsimage/Verify.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using namespace kivo::fs;

namespace {

std::string Fields(const ImageSummary& s) {
  return s.fsVersion + "|" + s.rootEntries + "|" + s.driveSize + "|" + s.driveName;
}

void Summarise(const std::string& bytes) {
  static TempDir scratch;
  auto summary = SummariseImage(Span(bytes), SizeUnit::Bytes, "fuzz.kid");
  FUZZ_CHECK(summary.ok() == SummariseImage(Span(bytes), SizeUnit::Kilobytes, "fuzz.kid").ok());
  FUZZ_CHECK(Explained(summary));
  if (summary) {
    FUZZ_CHECK(summary->fileSize == bytes.size());
    FUZZ_CHECK(summary->driveSize == std::to_string(bytes.size()));
    FUZZ_CHECK(summary->driveName.size() <= 16);
    FUZZ_CHECK(summary->driveName.find('\0') == std::string::npos);
    FUZZ_CHECK(std::stoull(summary->rootEntries) <= bytes.size());
  }
  const stdfs::path file = scratch / "image.kid";
  WriteFile(file, bytes);
  auto fromFile = ReadImageSummary(file, SizeUnit::Bytes, true);
  FUZZ_CHECK(fromFile.ok() == summary.ok());
  FUZZ_CHECK(Explained(fromFile, file.string()));
  FUZZ_CHECK(!fromFile || Fields(*fromFile) == Fields(*summary));
}

void Verify(const std::string& bytes, const ImageReader* reader) {
  VerifyReport report = VerifyImage(Span(bytes), "fuzz.kid");
  FUZZ_CHECK(report.problems.size() <= MaxListedProblems + 1);
  FUZZ_CHECK(report.problemCount + (report.problems.empty() ? 0 : 1) >= report.problems.size());
  for (const std::string& problem : report.problems) FUZZ_CHECK(!problem.empty());
  if (!report.ok()) return;
  FUZZ_CHECK(reader != nullptr);
  std::uint64_t directories = 0, files = 0;
  kivo::Status walked = reader->Walk([&](const Located& item) -> kivo::Status {
    ++(item.entry.IsDirectory() ? directories : files);
    FUZZ_CHECK(item.entry.IsDirectory() || reader->FileContents(item.entry, item.path).ok());
    return {};
  });
  FUZZ_CHECK(walked.ok() && directories == report.directories && files == report.files);
}

void List(const ImageReader& reader, std::size_t size) {
  auto root = reader.Resolve("/");
  FUZZ_CHECK(root.ok() && root->isRoot);
  std::size_t visited = 0;
  kivo::Status walked = reader.Walk([&](const Located& item) -> kivo::Status {
    ++visited;
    for (char c : PrintableName(item.path)) {
      FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    FUZZ_CHECK(WeekdayName(item.entry.Date().weekday).size() == 3);
    // Not checked for success: a name holding a separator, "." or a twin earlier in the same
    // directory makes a walked path name something else.
    auto again = reader.Resolve(item.path);
    if (again && (again->isRoot || again->entry.IsDirectory())) {
      FUZZ_CHECK(Explained(reader.List(*again)));
    }
    if (item.entry.IsFile()) {
      auto contents = reader.FileContents(item.entry, item.path);
      FUZZ_CHECK(!contents || contents->size() == item.entry.size);
    }
    return {};
  });
  // Each directory region is entered once and holds at most 117 slots.
  FUZZ_CHECK(visited <= (size / ClusterSize + 1) * SlotsPerDirectory);
  FUZZ_CHECK(Explained(walked));
}

void Extract(const ImageReader& reader) {
  static TempDir root;
  stdfs::create_directories(root / "a/b");
  auto extracted = ExtractImage(reader, root / "a/b/dest");
  FUZZ_CHECK(Explained(extracted));
  std::uint64_t files = 0, fileBytes = 0;
  for (const auto& item : stdfs::recursive_directory_iterator(root.path())) {
    const std::string path = item.path().lexically_relative(root.path()).generic_string();
    FUZZ_CHECK(path == "a" || path == "a/b" || path == "a/b/dest" || path.starts_with("a/b/dest/"));
    const auto status = item.symlink_status();
    FUZZ_CHECK(stdfs::is_directory(status) || stdfs::is_regular_file(status));
    if (!stdfs::is_regular_file(status)) continue;
    ++files;
    fileBytes += item.file_size();
  }
  FUZZ_CHECK(!stdfs::exists("/etc/passwd") || stdfs::is_regular_file("/etc/passwd"));
  FUZZ_CHECK(!extracted || (files <= extracted->files && fileBytes <= extracted->bytes));
  // A bad image is refused while planning, before anything is written.
  FUZZ_CHECK(extracted || extracted.error().kind != kivo::ErrorKind::Format || files == 0);
  stdfs::remove_all(root / "a/b/dest");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = Input(data, size);
  Summarise(bytes);
  auto reader = ImageReader::Open(Span(bytes), "fuzz.kid");
  Verify(bytes, reader ? &*reader : nullptr);
  if (!reader) return 0;
  List(*reader, size);
  Extract(*reader);
  return 0;
}
