// kivofs extract: writes an image's tree to a host directory.

#include "cli/Commands.h"
#include "cli/ImageOrRom.h"
#include "base/File.h"
#include "fsimage/Extract.h"
#include "fsimage/Reader.h"

namespace kivo::cli {
namespace {

struct ExtractOptions {
  std::string image;
  std::string directory;
  int drive = 0;
  bool noTimes = false;
};

// A ROM's drives go to the folders drive1/ and drive2/ of the directory, one chosen with
// --drive to the directory itself.
int RunExtract(const ExtractOptions& options) {
  auto input = OpenImageOrRom(options.image, options.drive);
  if (!input) return Fail(input.error());
  std::filesystem::path top = PathFromUtf8(options.directory);
  fs::ExtractStats total;
  for (const InputDrive& drive : input->drives) {
    auto reader = fs::ImageReader::Open(drive.bytes, drive.source);
    if (!reader) return Fail(reader.error());
    bool wholeFile = !input->rom;  // the kernel copies straight from an image file
    std::filesystem::path destination =
        input->rom && options.drive == 0 ? top / PathFromUtf8(drive.folder) : top;
    auto stats = fs::ExtractImage(*reader, destination,
                                  wholeFile ? &input->mapped.file() : nullptr, !options.noTimes);
    if (!stats) return Fail(stats.error());
    total.files += stats->files;
    total.bytes += stats->bytes;
    total.directories += stats->directories;
  }
  std::cout << "extracted " << Count(total.files, "file", "files") << " (" << total.bytes
            << " bytes) and " << Count(total.directories, "directory", "directories") << " to "
            << Quoted(options.directory) << '\n';
  return 0;
}

CLI::App* DeclareExtract(CLI::App& parent, ExtractOptions& options) {
  CLI::App* app = parent.add_subcommand("extract", "Write a drive image's tree to a directory");
  AddImageArgument(*app, options.image);
  app->add_option("DIR", options.directory,
                  "Directory to write into (created if missing); a ROM's drives go to its "
                  "folders drive1/ and drive2/")
      ->required();
  AddDriveOption(*app, options.drive);
  app->add_flag("--no-times", options.noTimes,
                "Leave the files with the time they are written instead of the time each entry "
                "holds");
  AddSyncFlag(*app);
  return app;
}

}  // namespace

Command AddExtractCommand(CLI::App& parent) {
  return MakeCommand(parent, DeclareExtract, RunExtract);
}

}  // namespace kivo::cli
