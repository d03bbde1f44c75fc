// kivofs attach: joins a host ROM and one or two drive images into an output ROM.
#include <memory>

#include "cli/Commands.h"
#include "base/File.h"
#include "romattach/AttachDrives.h"

namespace kivo::cli {
namespace {

struct AttachOptions {
  std::string host;
  std::string output;
  std::string drive0;
  std::string drive1;
  bool saveFlash = false;
  bool replace = false;
  bool padPow2 = false;
};

std::string SlotLine(int number, std::uint32_t start, std::uint32_t end) {
  return "slot " + std::to_string(number) + ": " + std::to_string(start) + " to " +
         std::to_string(end) + " (" + std::to_string(std::uint64_t{end} + 1 - start) + " bytes)";
}

int RunAttach(const AttachOptions& options) {
  if (options.drive0.empty() && options.drive1.empty()) {
    std::cerr << "kivofs: error: give --drive0, --drive1 or both\n"
                 "Run 'kivofs attach --help' for usage.\n";
    return 2;
  }
  rom::AttachRequest request{options.host,      options.drive0,  options.drive1, options.output,
                             options.saveFlash, options.replace, options.padPow2};
  auto result = rom::AttachDrives(request);
  if (!result) return Fail(result.error());
  const rom::AttachReport& report = result.value();
  if (report.previousBlock && !report.replaced) {
    Warn("the parameter block of " + Quoted(options.host) + " is already filled (slot 1 starts at " +
         std::to_string(report.previousBlock->slot1Start) +
         "): the output carries the old drives too; --replace drops them");
  }
  if (report.replaced) {
    std::cout << "dropped the old drives from offset " << report.hostBytes << " of "
              << Quoted(options.host) << '\n';
  }
  std::cout << "wrote " << Quoted(options.output) << ": " << report.outputSize << " bytes";
  if (report.paddingBytes > 0) std::cout << " (" << report.paddingBytes << " of them 0xFF padding)";
  std::cout << '\n'
            << "marker at " << report.markerOffset << ", parameter block at "
            << report.blockOffset << '\n'
            << SlotLine(1, report.block.slot1Start, report.block.slot1End) << '\n';
  if (report.block.slot2Start != 0 || report.block.slot2End != 0) {
    std::cout << SlotLine(2, report.block.slot2Start, report.block.slot2End) << '\n';
  }
  std::cout << "saveflash: " << int{report.block.saveFlash} << '\n';
  return 0;
}

}  // namespace

Command AddAttachCommand(CLI::App& parent) {
  auto options = std::make_shared<AttachOptions>();
  CLI::App* app = parent.add_subcommand(
      "attach", "Append drive images to a ROM that carries the KivoFSDrive marker");
  app->add_option("HOST", options->host, "Host ROM (.nds or .gba)")->required();
  app->add_option("-o,--output", options->output, "Output ROM to write")->required();
  app->add_option("--drive0", options->drive0, "Drive image attached first (.kid)");
  app->add_option("--drive1", options->drive1,
                  "Drive image attached second; alone it takes slot 1 (.kid)");
  app->add_flag("--saveflash", options->saveFlash, "Use the cartridge's save flash as a RAM drive");
  app->add_flag("--replace", options->replace,
                "Drop drives already attached to HOST before attaching these");
  app->add_flag("--pad-pow2", options->padPow2,
                "Pad the output ROM with 0xFF to the next power of two");
  return {app, [options] { return RunAttach(*options); }};
}

}  // namespace kivo::cli
