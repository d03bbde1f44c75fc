// Any bytes as a drive image: the verifier finishes and, when it calls an image sound, the
// reader walks the whole tree, reaches every file's contents and counts what it counted.
#include "fsimage/Reader.h"
#include "fsimage/Verify.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = Input(data, size);
  kivo::fs::VerifyReport report = kivo::fs::VerifyImage(Span(bytes), "fuzz.kid");
  Check(report.problems.size() <= kivo::fs::MaxListedProblems + 1, "too many problem lines");
  Check(report.problemCount + (report.problems.empty() ? 0 : 1) >= report.problems.size(), "problem count below the lines");
  for (const std::string& problem : report.problems) Check(!problem.empty(), "an empty problem line");
  if (!report.ok()) return 0;
  auto reader = kivo::fs::ImageReader::Open(Span(bytes), "fuzz.kid");
  Check(reader.ok(), "a sound image the reader cannot open");
  std::uint64_t directories = 0, files = 0;
  kivo::Status walked = reader->Walk([&](const kivo::fs::Located& item) -> kivo::Status {
    item.entry.IsDirectory() ? ++directories : ++files;
    Check(item.entry.IsDirectory() || reader->FileContents(item.entry, item.path).ok(), "a sound image with a file outside it");
    return {};
  });
  Check(walked.ok() && directories == report.directories && files == report.files, "the walk and the verifier disagree");
  return 0;
}
