// kivofs attach: joins a host ROM and one or two drive images into an output ROM.
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

std::vector<std::string> DrivePaths(const AttachOptions& options) {
  std::vector<std::string> paths;
  for (const std::string* drive : {&options.drive0, &options.drive1}) {
    if (!drive->empty()) paths.push_back(*drive);
  }
  return paths;
}

struct AttachedDrive {
  int slot;
  const std::string& path;
  std::uint32_t start;
  std::uint32_t end;  // inclusive
};

// Where the block puts each drive: a single drive takes slot 1, whichever option gave it.
std::vector<AttachedDrive> AttachedDrives(const AttachOptions& options,
                                          const rom::ParamBlock& block) {
  std::vector<AttachedDrive> attached;
  for (const std::string* drive : {&options.drive0, &options.drive1}) {
    if (drive->empty()) continue;
    if (attached.empty()) {
      attached.push_back({1, *drive, block.slot1Start, block.slot1End});
    } else {
      attached.push_back({2, *drive, block.slot2Start, block.slot2End});
    }
  }
  return attached;
}

// Warns about each drive that a GBA program cannot read whole.
void CheckGbaWindow(const std::vector<AttachedDrive>& attached) {
  for (const AttachedDrive& drive : attached) {
    std::uint64_t length = std::uint64_t{drive.end} + 1 - drive.start;
    if (!rom::PassesGbaWindow(drive.start, length)) continue;
    Warn(GbaWindowWarning(drive.slot, drive.path, drive.start, drive.end));
  }
}

// Drives are attached as the bytes they are, but a file that is no drive image is most
// likely the wrong file.
void CheckDriveFiles(const AttachOptions& options) {
  for (const std::string& drive : DrivePaths(options)) {
    std::string why = WhyNotAnImage(drive, "; its bytes are attached as they are");
    if (why.find("does not look like") != std::string::npos) Warn(why);
  }
}

// A DS program reads its drives through the card bus, and trimmers and emulators go by the
// header: checked on the written output.
void CheckNdsLayout(const std::vector<AttachedDrive>& attached,
                    const std::filesystem::path& written) {
  auto output = rom::RomFile::Open(written);
  if (!output) return Warn(output.error().message);
  std::vector<PlacedDrive> drives;
  for (const AttachedDrive& drive : attached) {
    drives.push_back({SlotPlace(drive.slot, drive.path, drive.start, drive.end), drive.start,
                      std::uint64_t{drive.end}});
  }
  WarnNdsLayout(*output, drives);
}

// The warnings about the output: what its program cannot read, and old drives it still carries.
void CheckOutput(const AttachOptions& options, const rom::AttachReport& report,
                 const std::optional<HeldCommits>& held) {
  const std::filesystem::path output = PathFromUtf8(options.output);
  const std::vector<AttachedDrive> attached = AttachedDrives(options, report.block);
  if (rom::RomKindOf(output) == rom::RomKind::Gba) CheckGbaWindow(attached);
  // Held back by --fail-on-warning, the output is still in its temporary.
  if (rom::RomKindOf(output) == rom::RomKind::Nds) {
    CheckNdsLayout(attached, held ? held->PathOf(output) : output);
  }
  if (report.previousBlock && !report.replaced) {
    Warn("the parameter block of " + Quoted(options.host) +
         " is already filled (slot 1 starts at " +
         std::to_string(report.previousBlock->slot1Start) +
         "): the output carries the old drives too; --replace drops them");
  }
}

void PrintReport(const AttachOptions& options, const rom::AttachReport& report) {
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
    std::cout << "NDS header: used size " << *report.ndsUsedSize << ", "
              << CapacityAndCrc(report.ndsCapacity, report.ndsHeaderCrc) << '\n';
  }
}

// The dependency file, written beside the output before attaching and committed after it.
Result<std::optional<OutputFile>> PrepareAttachDepFile(const AttachOptions& options) {
  if (options.depfile.empty()) return std::optional<OutputFile>();
  std::vector<std::string> read = DrivePaths(options);
  read.insert(read.begin(), options.host);
  auto prepared = PrepareDepFile(PathFromUtf8(options.depfile), options.output, read);
  KIVO_TRY(prepared);
  return std::optional<OutputFile>(std::move(*prepared));
}

int RunAttach(const AttachOptions& options) {
  if (options.drive0.empty() && options.drive1.empty()) {
    return UsageError("give --drive0, --drive1 or both", "attach");
  }
  rom::AttachRequest request{PathFromUtf8(options.host),   PathFromUtf8(options.drive0),
                             PathFromUtf8(options.drive1), PathFromUtf8(options.output),
                             options.saveFlash,            options.replace,
                             options.padPow2,              options.ndsHeader};
  // With --fail-on-warning nothing replaces its target until the warnings are counted.
  std::optional<HeldCommits> held;
  if (options.failOnWarning) held.emplace();
  auto depfile = PrepareAttachDepFile(options);
  if (!depfile) return Fail(depfile.error());
  auto result = rom::AttachDrives(request);
  if (!result) return Fail(result.error());
  CheckDriveFiles(options);
  if (*depfile) {
    if (int failed = ExitCode((*depfile)->Commit()); failed != 0) return failed;
  }
  CheckOutput(options, *result, held);
  if (int failed = CommitHeld(held, options.output); failed != 0) return failed;
  PrintReport(options, *result);
  return 0;
}

CLI::App* DeclareAttach(CLI::App& parent, AttachOptions& options) {
  CLI::App* app = parent.add_subcommand(
      "attach", "Append drive images to a ROM that carries the KivoFSDrive marker");
  app->add_option("HOST", options.host, "Host ROM (.nds or .gba)")->required();
  app->add_option("-o,--output", options.output, "Output ROM to write")->required();
  app->add_option("--drive0", options.drive0, "Drive image attached first (.kid)");
  app->add_option("--drive1", options.drive1,
                  "Drive image attached second; alone it takes slot 1 (.kid)");
  app->add_flag("--saveflash", options.saveFlash, "Use the cartridge's save flash as a RAM drive");
  app->add_flag("--replace", options.replace,
                "Drop drives already attached to HOST before attaching these");
  app->add_flag("--pad-pow2", options.padPow2,
                "Pad the output ROM with 0xFF to the next power of two");
  app->add_flag("--nds-header", options.ndsHeader,
                "Make a proper DS ROM: pad the host to 0x8000 (where card reads begin), set the "
                "NDS header's used ROM size and device capacity to hold the drives and fix its "
                "CRC");
  app->add_option("--depfile", options.depfile,
                  "Also write a make dependency file listing the host ROM and the drive images")
      ->type_name("FILE");
  AddFailOnWarningAndSyncFlags(*app, options.failOnWarning);
  return app;
}

}  // namespace

Command AddAttachCommand(CLI::App& parent) { return MakeCommand(parent, DeclareAttach, RunAttach); }

}  // namespace kivo::cli
