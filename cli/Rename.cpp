// kivofs rename: stores a new drive name in an image.

#include "cli/Commands.h"
#include "base/File.h"
#include "fsimage/Codec.h"
#include "fsimage/NameStore.h"

namespace kivo::cli {
namespace {

struct RenameOptions {
  std::string image;
  std::string name;
  bool force = false;
};

int RunRename(const RenameOptions& options) {
  // Bytes 4 to 19 of any other file would be overwritten just as readily, so unless told
  // otherwise the command asks for the two header fields every image has.
  if (!options.force) {
    std::string why = WhyNotAnImage(options.image, "; use --force to store the name anyway");
    if (!why.empty()) return Fail(why);
  }
  WarnIfNameTruncated(options.name);
  return ExitCode(fs::StoreDriveName(PathFromUtf8(options.image), options.name));
}

CLI::App* DeclareRename(CLI::App& parent, RenameOptions& options) {
  CLI::App* app = parent.add_subcommand("rename", "Store a new drive name (at most 15 characters)");
  app->add_option("IMAGE", options.image, "Drive image (.kid)")->required();
  app->add_option("NAME", options.name, "New drive name")->required();
  app->add_flag("--force", options.force,
                "Store the name even if the file does not look like a drive image");
  return app;
}

}  // namespace

Command AddRenameCommand(CLI::App& parent) { return MakeCommand(parent, DeclareRename, RunRename); }

}  // namespace kivo::cli
