// Any bytes as a drive image, through every reader of one on the host:
// - the summary, from memory and from a file, agrees with itself and shows the size it was given;
// - the verifier finishes with a bounded list, and when it calls the image sound the reader
//   walks the whole tree, reaches every file's contents and counts what it counted;
// - listed as `kivofs ls -R -l` lists it, the walk ends after no more items than the image can
//   hold, every path prints without a control byte, every field formats, every walked path
//   resolves or fails with a message, and a file's contents have its size.
#include "fsimage/Reader.h"
#include "fsimage/Summary.h"
#include "fsimage/Verify.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using namespace kivo::fs;

namespace {

void Summarise(const std::string& bytes) {
  static TempDir scratch;
  auto summary = SummariseImage(Span(bytes), SizeUnit::Bytes, "fuzz.kid");
  Check(summary.ok() == SummariseImage(Span(bytes), SizeUnit::Kilobytes, "fuzz.kid").ok(), "the unit decides");
  Check(summary || !summary.error().message.empty(), "an error without a message");
  if (summary) {
    Check(summary->fileSize == bytes.size() && summary->driveSize == std::to_string(bytes.size()), "the size is not the byte count");
    Check(summary->driveName.size() <= 16 && summary->driveName.find('\0') == std::string::npos, "a name past its field");
    Check(std::stoull(summary->rootEntries) <= bytes.size(), "more root entries than bytes");
  }
  WriteFile(scratch / "image.kid", bytes);
  auto fromFile = ReadImageSummary(scratch / "image.kid", SizeUnit::Bytes, true);
  Check(fromFile.ok() == summary.ok(), "file and memory summaries disagree on success");
  Check(fromFile || fromFile.error().message.find((scratch / "image.kid").string()) != std::string::npos, "unnamed file");
  auto text = [](const ImageSummary& s) { return s.fsVersion + "|" + s.rootEntries + "|" + s.driveSize + "|" + s.driveName; };
  Check(!fromFile || text(*fromFile) == text(*summary), "file and memory summaries differ");
}

void VerifyAndCount(const std::string& bytes) {
  VerifyReport report = VerifyImage(Span(bytes), "fuzz.kid");
  Check(report.problems.size() <= MaxListedProblems + 1, "too many problem lines");
  Check(report.problemCount + (report.problems.empty() ? 0 : 1) >= report.problems.size(), "problem count below the lines");
  for (const std::string& problem : report.problems) Check(!problem.empty(), "an empty problem line");
  if (!report.ok()) return;
  auto reader = ImageReader::Open(Span(bytes), "fuzz.kid");
  Check(reader.ok(), "a sound image the reader cannot open");
  std::uint64_t directories = 0, files = 0;
  kivo::Status walked = reader->Walk([&](const Located& item) -> kivo::Status {
    item.entry.IsDirectory() ? ++directories : ++files;
    Check(item.entry.IsDirectory() || reader->FileContents(item.entry, item.path).ok(), "a sound image with a file outside it");
    return {};
  });
  Check(walked.ok() && directories == report.directories && files == report.files, "the walk and the verifier disagree");
}

void List(const std::string& bytes) {
  auto reader = ImageReader::Open(Span(bytes), "fuzz.kid");
  if (!reader) return;
  auto root = reader->Resolve("/");
  Check(root.ok() && root->isRoot, "the root does not resolve");
  std::size_t visited = 0;
  kivo::Status walked = reader->Walk([&](const Located& item) -> kivo::Status {
    ++visited;
    for (char c : PrintableName(item.path)) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control byte printed");
    Check(WeekdayName(item.entry.Date().weekday).size() == 3, "a weekday without its name");
    // Not checked for success: a name holding a separator, "." or a twin earlier in the same
    // directory makes a walked path name something else.
    auto again = reader->Resolve(item.path);
    if (again && (again->isRoot || again->entry.IsDirectory())) {
      auto items = reader->List(*again);
      Check(items || !items.error().message.empty(), "a list error without a message");
    }
    if (item.entry.IsFile()) {
      auto contents = reader->FileContents(item.entry, item.path);
      Check(!contents || contents->size() == item.entry.size, "contents of the wrong length");
    }
    return {};
  });
  // Each directory region is entered once and holds at most 117 slots.
  Check(visited <= (bytes.size() / ClusterSize + 1) * SlotsPerDirectory, "the walk visited more items than the image holds");
  Check(walked || !walked.error().message.empty(), "a walk error without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = Input(data, size);
  Summarise(bytes);
  VerifyAndCount(bytes);
  List(bytes);
  return 0;
}
