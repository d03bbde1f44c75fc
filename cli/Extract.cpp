// kivofs extract: writes an image's tree to a host directory.
#include <memory>

#include "cli/Commands.h"
#include "base/File.h"
#include "fsimage/Extract.h"
#include "fsimage/Reader.h"

namespace kivo::cli {
namespace {

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct ExtractOptions {
  std::string image;
  std::string directory;
};

int RunExtract(const ExtractOptions& options) {
  auto mapped = MappedFile::Open(PathFromUtf8(options.image));
  if (!mapped) return Fail(mapped.error());
  auto reader = fs::ImageReader::Open(mapped->bytes(), Quoted(options.image));
  if (!reader) return Fail(reader.error());
  auto stats = fs::ExtractImage(*reader, PathFromUtf8(options.directory), &mapped->file());
  if (!stats) return Fail(stats.error());
  std::cout << "extracted " << Count(stats->files, "file", "files") << " (" << stats->bytes
            << " bytes) and " << Count(stats->directories, "directory", "directories") << " to "
            << Quoted(options.directory) << '\n';
  return 0;
}

}  // namespace

Command AddExtractCommand(CLI::App& parent) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* app = parent.add_subcommand("extract", "Write a drive image's tree to a directory");
  app->add_option("IMAGE", options->image, "Drive image (.kid)")->required();
  app->add_option("DIR", options->directory, "Directory to write into (created if missing)")
      ->required();
  return {app, [options] { return RunExtract(*options); }};
}

}  // namespace kivo::cli
