// Any bytes as a drive image file: the summary in memory and the one read from the file agree,
// never read outside the bytes, and show the size they were given.
#include "fsimage/Summary.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using kivo::fs::SizeUnit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  const std::string bytes = Input(data, size);
  auto summary = kivo::fs::SummariseImage(Span(bytes), SizeUnit::Bytes, "fuzz.kid");
  Check(summary.ok() == kivo::fs::SummariseImage(Span(bytes), SizeUnit::Kilobytes, "fuzz.kid").ok(), "the unit decides");
  Check(summary || !summary.error().message.empty(), "an error without a message");
  if (summary) {
    Check(summary->fileSize == size && summary->driveSize == std::to_string(size), "the size is not the byte count");
    Check(summary->driveName.size() <= 16 && summary->driveName.find('\0') == std::string::npos, "a name past its field");
    Check(std::stoull(summary->rootEntries) <= size, "more root entries than bytes");
  }
  WriteFile(scratch / "image.kid", bytes);
  auto fromFile = kivo::fs::ReadImageSummary(scratch / "image.kid", SizeUnit::Bytes, true);
  Check(fromFile.ok() == summary.ok(), "file and memory summaries disagree on success");
  Check(fromFile || fromFile.error().message.find((scratch / "image.kid").string()) != std::string::npos, "unnamed file");
  auto text = [](const kivo::fs::ImageSummary& s) { return s.fsVersion + "|" + s.rootEntries + "|" + s.driveSize + "|" + s.driveName; };
  Check(!fromFile || text(*fromFile) == text(*summary), "file and memory summaries differ");
  return 0;
}
