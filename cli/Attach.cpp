// kivofs attach: joins a host ROM and one or two drive images into an output ROM.
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "cli/Commands.h"
#include "base/File.h"
#include "cli/NdsChecks.h"
#include "fsimage/DepFile.h"
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
  bool ndsHeader = false;
  std::string depfile;
};

std::string SlotLine(int number, std::uint32_t start, std::uint32_t end) {
  return "slot " + std::to_string(number) + ": " + std::to_string(start) + " to " +
         std::to_string(end) + " (" + std::to_string(std::uint64_t{end} + 1 - start) + " bytes)";
}

// Warns about each drive that a GBA program cannot read whole.
void CheckGbaWindow(const AttachOptions& options, const rom::ParamBlock& block) {
  struct Placed {
    const char* drive;
    const std::string& path;
    int slot;
    std::uint32_t start;
    std::uint32_t end;
  };
  std::vector<Placed> placed;
  if (!options.drive0.empty()) {
    placed.push_back({"drive 0", options.drive0, 1, block.slot1Start, block.slot1End});
  }
  if (!options.drive1.empty()) {
    bool second = !options.drive0.empty();
    placed.push_back({"drive 1", options.drive1, second ? 2 : 1,
                      second ? block.slot2Start : block.slot1Start,
                      second ? block.slot2End : block.slot1End});
  }
  for (const Placed& drive : placed) {
    std::uint64_t length = std::uint64_t{drive.end} + 1 - drive.start;
    if (!rom::PassesGbaWindow(drive.start, length)) continue;
    Warn(std::string(drive.drive) + " (" + Quoted(drive.path) + ", slot " +
         std::to_string(drive.slot) + ", bytes " + std::to_string(drive.start) + " to " +
         std::to_string(drive.end) + ") passes the 32 MiB that a GBA program can see "
         "(0x08000000 to 0x09FFFFFF): bytes from 33554432 on cannot be read");
  }
}

// A DS program reads its drives through the card bus, and trimmers and emulators go by the
// header: checked on the written output.
void CheckNdsLayout(const AttachOptions& options, const rom::ParamBlock& block) {
  auto output = rom::RomFile::Open(PathFromUtf8(options.output));
  if (!output) return Warn(output.error().message);
  std::vector<PlacedDrive> drives;
  bool second = !options.drive0.empty() && !options.drive1.empty();
  for (int drive = 0; drive < 2; ++drive) {
    const std::string& path = drive == 0 ? options.drive0 : options.drive1;
    if (path.empty()) continue;
    int slot = drive == 1 && second ? 2 : 1;
    std::uint32_t start = slot == 1 ? block.slot1Start : block.slot2Start;
    std::uint32_t end = slot == 1 ? block.slot1End : block.slot2End;
    drives.push_back({"drive " + std::to_string(drive) + " (" + Quoted(path) + ", slot " +
                          std::to_string(slot) + ")",
                      start, std::uint64_t{end}});
  }
  WarnNdsLayout(*output, drives);
}

int RunAttach(const AttachOptions& options) {
  if (options.drive0.empty() && options.drive1.empty()) {
    std::cerr << "kivofs: error: give --drive0, --drive1 or both\n"
                 "Run 'kivofs attach --help' for usage.\n";
    return 2;
  }
  rom::AttachRequest request{PathFromUtf8(options.host),   PathFromUtf8(options.drive0),
                             PathFromUtf8(options.drive1), PathFromUtf8(options.output),
                             options.saveFlash,            options.replace,
                             options.padPow2,              options.ndsHeader};
  std::optional<OutputFile> depfile;
  if (!options.depfile.empty()) {
    std::vector<std::string> read{options.host};
    for (const std::string* drive : {&options.drive0, &options.drive1}) {
      if (!drive->empty()) read.push_back(*drive);
    }
    auto prepared = PrepareDepFile(PathFromUtf8(options.depfile), options.output, read);
    if (!prepared) return Fail(prepared.error());
    depfile = std::move(*prepared);
  }
  auto result = rom::AttachDrives(request);
  if (!result) return Fail(result.error());
  if (depfile) {
    if (Status committed = depfile->Commit(); !committed) return Fail(committed.error());
  }
  const rom::AttachReport& report = result.value();
  if (rom::RomKindOf(PathFromUtf8(options.output)) == rom::RomKind::Gba) {
    CheckGbaWindow(options, report.block);
  }
  if (rom::RomKindOf(PathFromUtf8(options.output)) == rom::RomKind::Nds) {
    CheckNdsLayout(options, report.block);
  }
  if (report.previousBlock && !report.replaced) {
    Warn("the parameter block of " + Quoted(options.host) + " is already filled (slot 1 starts at " +
         std::to_string(report.previousBlock->slot1Start) +
         "): the output carries the old drives too; --replace drops them");
  }
  if (report.replaced) {
    std::cout << "dropped the old drives from offset " << report.hostBytes << " of "
              << Quoted(options.host) << '\n';
  }
  if (report.hostPadding > 0) {
    std::cout << "padded the host with " << report.hostPadding << " zero bytes to offset "
              << report.hostBytes + report.hostPadding
              << " (0x8000), where a DS program's card reads begin\n";
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
  if (report.ndsUsedSize) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "0x%04X", unsigned{report.ndsHeaderCrc});
    std::cout << "NDS header: used size " << *report.ndsUsedSize << ", device capacity "
              << rom::NdsCapacityBytes(report.ndsCapacity) << " (0x14 = " << int{report.ndsCapacity}
              << "), CRC " << crc << '\n';
  }
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
  app->add_flag("--nds-header", options->ndsHeader,
                "Make a proper DS ROM: pad the host to 0x8000 (where card reads begin), set the "
                "NDS header's used ROM size and device capacity to hold the drives and fix its "
                "CRC");
  app->add_option("--depfile", options->depfile,
                  "Also write a make dependency file listing the host ROM and the drive images")
      ->type_name("FILE");
  return {app, [options] { return RunAttach(*options); }};
}

}  // namespace kivo::cli
