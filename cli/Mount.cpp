// kivofs mount: an image, or the drives attached to a ROM, as a read-only folder (Linux, on
// libfuse3). Everything shown is checked and copied into memory before mounting.
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "cli/Commands.h"
#include "cli/ImageOrRom.h"
#include "cli/RomInfo.h"
#include "mountfs/FuseMount.h"

namespace kivo::cli {
namespace {

struct MountOptions {
  std::string image;
  mountfs::MountRequest request;
};

// The drives' bytes as they are now, read rather than copied from the mapping, so that a
// file shrinking meanwhile gives an error instead of a fault.
Result<std::vector<mountfs::MountTree::Drive>> CopyDrives(const OpenedInput& input) {
  std::vector<mountfs::MountTree::Drive> drives;
  for (const InputDrive& drive : input.drives) {
    std::vector<std::byte> bytes(drive.bytes.size());
    KIVO_TRY(input.mapped.file().ReadAt(drive.offset, bytes));
    drives.push_back({drive.folder, drive.label, drive.source, std::move(bytes)});
  }
  return drives;
}

Result<mountfs::MountTree> LoadTree(const std::string& path) {
  auto input = OpenImageOrRom(path, 0);
  KIVO_TRY(input);
  auto drives = CopyDrives(*input);
  KIVO_TRY(drives);
  std::vector<mountfs::MountTree::TextFile> texts;
  if (input->rom) {
    std::ostringstream text;
    if (WriteRomInfo(path, text) != 0) {
      return MakeError(ErrorKind::Format, "cannot mount " + Quoted(path) + " (see above)");
    }
    texts.push_back({"rom.txt", text.str()});
  }
  // The root, the drive folders and rom.txt take the file's time.
  struct stat status;
  std::time_t hostTime = ::stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
  return mountfs::MountTree::Build(std::move(*drives), std::move(texts), hostTime);
}

int RunMount(MountOptions& options) {
  auto tree = LoadTree(options.image);
  if (!tree) return Fail(tree.error());
  mountfs::MountFs fs(std::move(*tree), ::getuid(), ::getgid());
  options.request.fsName = options.image;
  return ExitCode(mountfs::Serve(fs, options.request));
}

CLI::App* DeclareMount(CLI::App& parent, MountOptions& options) {
  CLI::App* app = parent.add_subcommand(
      "mount", "Mount a drive image, or the drives attached to a ROM, as a read-only folder");
  AddImageArgument(*app, options.image, " (shown as drive1/, drive2/ and rom.txt)");
  app->add_option("MOUNTPOINT", options.request.mountPoint, "Existing folder to mount on")
      ->required();
  app->add_flag("-f,--foreground", options.request.foreground,
                "Serve in the foreground instead of returning once mounted");
  app->add_flag("-d,--debug", options.request.debug,
                "Print FUSE's debug output (serves in the foreground)");
  app->add_option("-o", options.request.options,
                  "FUSE mount options, comma-separated (allow_other, ...); the mount is always "
                  "read-only")
      ->allow_extra_args(false);
  app->footer("Unmount with: fusermount3 -u MOUNTPOINT (or umount MOUNTPOINT as root).");
  return app;
}

}  // namespace

Command AddMountCommand(CLI::App& parent) { return MakeCommand(parent, DeclareMount, RunMount); }

}  // namespace kivo::cli
