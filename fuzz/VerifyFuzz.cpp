// Any bytes as a drive image: the verifier must finish and, when it calls an image sound,
// the reader must be able to walk the whole tree and reach every file's contents.
#include <cstddef>
#include <cstdint>

#include "fsimage/Reader.h"
#include "fsimage/Verify.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::ByteSpan bytes = kivo::fuzz::AsBytes(data, size);
  kivo::fs::VerifyReport report = kivo::fs::VerifyImage(bytes, "fuzz.kid");
  Check(report.problems.size() <= kivo::fs::MaxListedProblems + 1, "too many problem lines");
  Check(report.problemCount >= report.problems.size() - (report.problems.empty() ? 0 : 1),
        "problem count below the listed problems");
  for (const std::string& problem : report.problems) Check(!problem.empty(), "an empty problem line");
  if (!report.ok()) return 0;

  auto reader = kivo::fs::ImageReader::Open(bytes, "fuzz.kid");
  Check(reader.ok(), "a sound image the reader cannot open");
  std::uint64_t directories = 0;
  std::uint64_t files = 0;
  kivo::Status walked = reader->Walk([&](const kivo::fs::Located& item) -> kivo::Status {
    if (item.entry.IsDirectory()) {
      ++directories;
    } else {
      ++files;
      auto contents = reader->FileContents(item.entry, item.path);
      Check(contents.ok(), "a sound image with a file outside it");
    }
    return {};
  });
  Check(walked.ok(), "a sound image whose tree cannot be walked");
  Check(directories == report.directories, "verifier and walk count different directories");
  Check(files == report.files, "verifier and walk count different files");
  return 0;
}
