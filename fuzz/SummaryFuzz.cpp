// Any bytes as a drive image file: the summary in memory and the summary read from the
// file must agree, never read outside the bytes, and show the size they were given.
#include <cstddef>
#include <cstdint>

#include "fsimage/Summary.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kivo::fuzz::Scratch scratch("summary-fuzz");
  kivo::ByteSpan bytes = kivo::fuzz::AsBytes(data, size);

  auto inMemory = kivo::fs::SummariseImage(bytes, kivo::fs::SizeUnit::Bytes, "fuzz.kid");
  auto kilobytes = kivo::fs::SummariseImage(bytes, kivo::fs::SizeUnit::Kilobytes, "fuzz.kid");
  Check(inMemory.ok() == kilobytes.ok(), "the unit changes whether an image can be summarised");
  if (inMemory) {
    Check(inMemory->fileSize == size, "summary size differs from the byte count");
    Check(inMemory->driveSize == std::to_string(size), "size in bytes misprinted");
    Check(inMemory->driveName.size() <= 16, "drive name longer than its field");
    Check(inMemory->driveName.find('\0') == std::string::npos, "drive name holds a zero byte");
    Check(std::stoull(inMemory->rootEntries) <= size, "more root entries than bytes");
  } else {
    Check(!inMemory.error().message.empty(), "an error without a message");
  }

  std::filesystem::path file = scratch.root() / "image.kid";
  kivo::fuzz::WriteFile(file, bytes);
  auto fromFile = kivo::fs::ReadImageSummary(file, kivo::fs::SizeUnit::Bytes, true);
  Check(fromFile.ok() == inMemory.ok(), "file and memory summaries disagree on success");
  if (fromFile) {
    Check(fromFile->fsVersion == inMemory->fsVersion, "versions differ");
    Check(fromFile->rootEntries == inMemory->rootEntries, "root entry counts differ");
    Check(fromFile->driveSize == inMemory->driveSize, "sizes differ");
    Check(fromFile->driveName == inMemory->driveName, "names differ");
  } else {
    Check(fromFile.error().message.find(file.string()) != std::string::npos,
          "a file error that does not name the file");
  }
  return 0;
}
