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
  bool failOnWarning = false;
};

std::string SlotLine(int number, std::uint32_t start, std::uint32_t end) {
  return "slot " + std::to_string(number) + ": " + std::to_string(start) + " to " +
         std::to_string(end) + " (" + std::to_string(std::uint64_t{end} + 1 - start) + " bytes)";
}

// Warns about each drive that a GBA program cannot read whole.
void CheckGbaWindow(const AttachOptions& options, const rom::ParamBlock& block) {
  struct Placed {
    const std::string& path;
    std::uint32_t start;
    std::uint32_t end;
  };
  std::vector<Placed> placed;
  // A single drive takes slot 1, whichever option gave it.
  for (const std::string* drive : {&options.drive0, &options.drive1}) {
    if (drive->empty()) continue;
    bool second = !placed.empty();
    placed.push_back({*drive, second ? block.slot2Start : block.slot1Start,
                      second ? block.slot2End : block.slot1End});
  }
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const Placed& drive = placed[i];
    std::uint64_t length = std::uint64_t{drive.end} + 1 - drive.start;
    if (!rom::PassesGbaWindow(drive.start, length)) continue;
    Warn(GbaWindowWarning(static_cast<int>(i) + 1, drive.path, drive.start, drive.end));
  }
}

// Drives are attached as the bytes they are, but a file that is no drive image is most
// likely the wrong file.
void CheckDriveFiles(const AttachOptions& options) {
  for (const std::string* drive : {&options.drive0, &options.drive1}) {
    if (drive->empty()) continue;
    std::string why = WhyNotAnImage(*drive, "; its bytes are attached as they are");
    if (why.find("does not look like") != std::string::npos) Warn(why);
  }
}

// A DS program reads its drives through the card bus, and trimmers and emulators go by the
// header: checked on the written output.
void CheckNdsLayout(const AttachOptions& options, const rom::ParamBlock& block,
                    const std::filesystem::path& written) {
  auto output = rom::RomFile::Open(written);
  if (!output) return Warn(output.error().message);
  std::vector<PlacedDrive> drives;
  bool second = !options.drive0.empty() && !options.drive1.empty();
  for (int drive = 0; drive < 2; ++drive) {
    const std::string& path = drive == 0 ? options.drive0 : options.drive1;
    if (path.empty()) continue;
    int slot = drive == 1 && second ? 2 : 1;
    std::uint32_t start = slot == 1 ? block.slot1Start : block.slot2Start;
    std::uint32_t end = slot == 1 ? block.slot1End : block.slot2End;
    drives.push_back({SlotPlace(slot, path, start, end), start, std::uint64_t{end}});
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
  // With --fail-on-warning nothing replaces its target until the warnings are counted.
  std::optional<HeldCommits> held;
  if (options.failOnWarning) held.emplace();
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
  CheckDriveFiles(options);
  if (depfile) {
    if (Status committed = depfile->Commit(); !committed) return Fail(committed.error());
  }
  const rom::AttachReport& report = result.value();
  if (rom::RomKindOf(PathFromUtf8(options.output)) == rom::RomKind::Gba) {
    CheckGbaWindow(options, report.block);
  }
  if (rom::RomKindOf(PathFromUtf8(options.output)) == rom::RomKind::Nds) {
    // Held back by --fail-on-warning, the output is still in its temporary.
    const std::filesystem::path output = PathFromUtf8(options.output);
    CheckNdsLayout(options, report.block, held ? held->PathOf(output) : output);
  }
  if (report.previousBlock && !report.replaced) {
    Warn("the parameter block of " + Quoted(options.host) + " is already filled (slot 1 starts at " +
         std::to_string(report.previousBlock->slot1Start) +
         "): the output carries the old drives too; --replace drops them");
  }
  const std::string nothing = "nothing was written to " + Quoted(options.output);
  if (int failed = FailOnWarnings(options.failOnWarning, nothing); failed != 0) return failed;
  if (held) {
    if (Status committed = held->CommitAll(); !committed) return Fail(committed.error());
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
  AddFailOnWarningFlag(*app, options->failOnWarning);
  AddSyncFlag(*app);
  return {app, [options] { return RunAttach(*options); }};
}

}  // namespace kivo::cli
