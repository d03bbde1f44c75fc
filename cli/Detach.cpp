// kivofs detach: writes the drive images attached to a ROM back to files.

#include "cli/Commands.h"
#include "base/File.h"
#include "cli/NdsChecks.h"
#include "romattach/AttachedRom.h"

namespace kivo::cli {
namespace {

struct DetachOptions {
  std::string rom;
  std::string directory;
  std::string hostOutput;
};

int RunDetach(const DetachOptions& options) {
  auto report = rom::DetachDrives({PathFromUtf8(options.rom), PathFromUtf8(options.directory),
                                   PathFromUtf8(options.hostOutput)});
  if (!report) return Fail(report.error());
  for (std::size_t i = 0; i < report->layout.slots.size(); ++i) {
    if (report->layout.slots[i].state == rom::SlotState::NotDriveImage) {
      Warn("slot " + std::to_string(i + 1) + " of " + Quoted(options.rom) +
           " does not hold a drive image; its bytes were written as they are");
    }
  }
  for (const auto& path : report->written) std::cout << "wrote " << Quoted(path) << '\n';
  if (report->ndsUsedSize) {
    std::cout << "NDS header of " << Quoted(options.hostOutput) << ": used size restored to "
              << *report->ndsUsedSize << ", "
              << CapacityAndCrc(report->ndsCapacity, report->ndsHeaderCrc) << '\n';
  }
  return 0;
}

CLI::App* DeclareDetach(CLI::App& parent, DetachOptions& options) {
  CLI::App* app =
      parent.add_subcommand("detach", "Write the drive images attached to a ROM back to files");
  app->add_option("ROM", options.rom, "ROM with drives attached")->required();
  app->add_option("-o,--output", options.directory,
                  "Directory for drive0.kid (slot 1) and drive1.kid (slot 2)")
      ->required();
  app->add_option("--rom", options.hostOutput,
                  "Also write the ROM without its drives and with the block zeroed");
  AddSyncFlag(*app);
  return app;
}

}  // namespace

Command AddDetachCommand(CLI::App& parent) { return MakeCommand(parent, DeclareDetach, RunDetach); }

}  // namespace kivo::cli
