// kivofs verify: checks an image against every rule of the format.

#include "cli/Commands.h"
#include "cli/ImageOrRom.h"
#include "base/File.h"
#include "fsimage/Verify.h"

namespace kivo::cli {
namespace {

struct VerifyOptions {
  std::string image;
  int drive = 0;
};

// Lists the drive's problems or its "ok" line; whether it is sound.
bool VerifyDrive(const InputDrive& drive) {
  fs::VerifyReport report = fs::VerifyImage(drive.bytes, drive.source);
  if (!report.ok()) {
    for (const std::string& problem : report.problems) {
      std::cout << drive.label << ": " << problem << '\n';
    }
    std::cout.flush();
    Fail(drive.source + ": " + Count(report.problemCount, "problem", "problems") + " found");
    return false;
  }
  std::cout << drive.label << ": ok (" << Count(report.directories, "directory", "directories")
            << ", " << Count(report.files, "file", "files") << ", "
            << Count(report.clusters, "cluster", "clusters") << ", " << drive.bytes.size()
            << " bytes)\n";
  return true;
}

int RunVerify(const VerifyOptions& options) {
  auto input = OpenImageOrRom(options.image, options.drive);
  if (!input) return Fail(input.error());
  bool sound = true;
  for (const InputDrive& drive : input->drives) sound = VerifyDrive(drive) && sound;
  return sound ? 0 : 1;
}

CLI::App* DeclareVerify(CLI::App& parent, VerifyOptions& options) {
  CLI::App* app = parent.add_subcommand("verify", "Check a drive image against the format's rules");
  AddImageArgument(*app, options.image);
  AddDriveOption(*app, options.drive);
  return app;
}

}  // namespace

Command AddVerifyCommand(CLI::App& parent) { return MakeCommand(parent, DeclareVerify, RunVerify); }

}  // namespace kivo::cli
