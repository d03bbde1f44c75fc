// Any bytes as a drive image, extracted into a directory three levels deep in a private
// scratch tree: whatever the names say ("..", "/etc", control bytes, loops), nothing may
// appear beside the destination or above it, and inside it only plain directories and
// regular files.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fsimage/Extract.h"
#include "fsimage/Reader.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;
namespace stdfs = std::filesystem;

namespace {

std::set<std::string> Names(const stdfs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kivo::fuzz::Scratch scratch("extract-fuzz");
  kivo::ByteSpan bytes = kivo::fuzz::AsBytes(data, size);
  auto reader = kivo::fs::ImageReader::Open(bytes, "fuzz.kid");
  if (!reader) return 0;

  const stdfs::path outer = scratch.root() / "a";
  const stdfs::path middle = outer / "b";
  const stdfs::path destination = middle / "dest";
  stdfs::create_directories(middle);

  auto extracted = kivo::fs::ExtractImage(*reader, destination);

  Check(Names(scratch.root()) == std::set<std::string>{"a"}, "something written beside 'a'");
  Check(Names(outer) == std::set<std::string>{"b"}, "something written beside 'b'");
  std::set<std::string> besideDestination = Names(middle);
  besideDestination.erase("dest");
  Check(besideDestination.empty(), "something written beside the destination");
  Check(!stdfs::exists("/etc/passwd") || stdfs::is_regular_file("/etc/passwd"), "/etc/passwd");

  std::uint64_t files = 0;
  std::uint64_t fileBytes = 0;
  if (stdfs::exists(destination)) {
    for (const auto& entry : stdfs::recursive_directory_iterator(destination)) {
      auto status = entry.symlink_status();
      Check(stdfs::is_directory(status) || stdfs::is_regular_file(status),
            "extraction made something other than a directory or a regular file");
      if (stdfs::is_regular_file(status)) {
        ++files;
        fileBytes += entry.file_size();
      }
    }
  }
  if (extracted) {
    Check(files <= extracted->files, "more files on disk than extracted");
    Check(fileBytes <= extracted->bytes, "more bytes on disk than extracted");
  } else {
    Check(!extracted.error().message.empty(), "an extraction error without a message");
    // A bad image is refused while planning, before anything is written.
    if (extracted.error().kind == kivo::ErrorKind::Format) {
      Check(files == 0, "a refused extraction left files behind");
    }
  }
  stdfs::remove_all(destination);
  return 0;
}
