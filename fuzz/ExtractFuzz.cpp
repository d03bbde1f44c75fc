// Any bytes as a drive image, extracted into a directory three levels deep in a private
// scratch tree: whatever the names say ("..", "/etc", control bytes, loops), nothing may
// appear beside the destination or above it, inside it only plain directories and regular
// files and no more than the extraction reports, and a refused image writes no file.
#include "fsimage/Extract.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  const std::string bytes = Input(data, size);
  auto reader = kivo::fs::ImageReader::Open(Span(bytes), "fuzz.kid");
  if (!reader) return 0;
  stdfs::create_directories(scratch / "a/b");
  auto extracted = kivo::fs::ExtractImage(*reader, scratch / "a/b/dest");
  std::uint64_t files = 0, fileBytes = 0;
  for (auto it = stdfs::recursive_directory_iterator(scratch.path()); it != stdfs::end(it); ++it) {
    const std::string path = it->path().lexically_relative(scratch.path()).generic_string();
    Check(path == "a" || path == "a/b" || path == "a/b/dest" || path.starts_with("a/b/dest/"), "written beside or above the destination");
    const auto status = it->symlink_status();
    Check(stdfs::is_directory(status) || stdfs::is_regular_file(status), "extraction made something else than a directory or a file");
    if (stdfs::is_regular_file(status)) ++files, fileBytes += it->file_size();
  }
  Check(!stdfs::exists("/etc/passwd") || stdfs::is_regular_file("/etc/passwd"), "/etc/passwd");
  if (extracted) Check(files <= extracted->files && fileBytes <= extracted->bytes, "more on disk than extracted");
  if (!extracted) Check(!extracted.error().message.empty(), "an extraction error without a message");
  // A bad image is refused while planning, before anything is written.
  if (!extracted && extracted.error().kind == kivo::ErrorKind::Format) Check(files == 0, "a refused extraction left files");
  stdfs::remove_all(scratch / "a/b/dest");
  return 0;
}
