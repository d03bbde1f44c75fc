// kivofs rominfo: shows the parameter block of a ROM and what each slot points at.
#include <algorithm>

#include "cli/Commands.h"
#include "cli/RomInfo.h"
#include "cli/NdsChecks.h"
#include "base/File.h"
#include "fsimage/Summary.h"
#include "romattach/AttachedRom.h"

namespace kivo::cli {
namespace {

struct RomInfoOptions {
  std::string rom;
  bool failOnWarning = false;
};

void PrintSlot(const rom::RomFile& file, int number, const rom::SlotInfo& slot, std::ostream& out) {
  out << "slot " << number << ": ";
  switch (slot.state) {
    case rom::SlotState::Empty:
      out << "empty\n";
      return;
    case rom::SlotState::OutsideFile:
      out << slot.start << " to " << slot.end << ": points outside the file\n";
      return;
    case rom::SlotState::NotDriveImage:
      out << slot.start << " to " << slot.end << " (" << slot.length()
          << " bytes): not a drive image\n";
      return;
    case rom::SlotState::DriveImage:
      break;
  }
  out << slot.start << " to " << slot.end << " (" << slot.length() << " bytes): drive image\n";
  std::string source = "slot " + std::to_string(number) + " of " + Quoted(file.path());
  auto bytes = file.Read(slot.start, slot.length());
  if (!bytes) {
    Warn(bytes.error().message);
    return;
  }
  auto summary = fs::SummariseImage(*bytes, fs::SizeUnit::Bytes, source);
  if (!summary) {
    Warn(summary.error().message);
    return;
  }
  out << "  version:      " << summary->fsVersion << '\n'
      << "  root entries: " << summary->rootEntries << '\n'
      << "  size:         " << summary->driveSize << " bytes\n"
      << "  name:         " << summary->driveName << '\n';
}

bool InsideFile(const rom::SlotInfo& slot) {
  return slot.state == rom::SlotState::DriveImage || slot.state == rom::SlotState::NotDriveImage;
}

// A .gba drive must lie in the first 32 MiB; an .nds drive must lie where the card bus
// reaches, and the header's used size and capacity must hold the drives.
void CheckReach(const rom::RomFile& file, const rom::AttachedRom& layout, std::ostream& out) {
  rom::RomKind kind = rom::RomKindOf(file.path());
  std::vector<PlacedDrive> drives;
  for (std::size_t i = 0; i < layout.slots.size(); ++i) {
    const rom::SlotInfo& slot = layout.slots[i];
    if (!InsideFile(slot)) continue;
    std::uint64_t last = slot.start + slot.length() - 1;
    drives.push_back({SlotPlace(static_cast<int>(i) + 1, "", slot.start, last), slot.start, last});
    if (kind == rom::RomKind::Gba && rom::PassesGbaWindow(slot.start, slot.length())) {
      Warn(GbaWindowWarning(static_cast<int>(i) + 1, "", slot.start, slot.end));
    }
  }
  if (kind != rom::RomKind::Nds || drives.empty()) return;
  if (auto fields = ReadNdsHeaderFields(file)) {
    out << "NDS used size: " << fields->usedSize << '\n';
    if (fields->dsHeader) {
      out << "NDS capacity:  " << CapacityText(fields->capacityCode) << '\n';
    }
  }
  WarnNdsLayout(file, drives);
}

}  // namespace

int WriteRomInfo(const std::string& romPath, std::ostream& out) {
  auto file = rom::RomFile::Open(PathFromUtf8(romPath));
  if (!file) return Fail(file.error());
  auto layout = rom::InspectRom(*file);
  if (!layout) return Fail(layout.error());
  const rom::ParamBlock& block = layout->block;
  out << Quoted(romPath) << ": " << layout->romSize << " bytes\n"
      << "marker:       " << layout->markerOffset << '\n'
      << "block:        " << layout->blockOffset << '\n'
      << "slot 1 start: " << block.slot1Start << '\n'
      << "slot 1 end:   " << block.slot1End << '\n'
      << "slot 2 start: " << block.slot2Start << '\n'
      << "slot 2 end:   " << block.slot2End << '\n'
      << "saveflash:    " << int{block.saveFlash} << '\n';
  for (std::size_t i = 0; i < layout->slots.size(); ++i) {
    PrintSlot(*file, static_cast<int>(i) + 1, layout->slots[i], out);
  }
  CheckReach(*file, *layout, out);
  return 0;
}

namespace {

CLI::App* DeclareRomInfo(CLI::App& parent, RomInfoOptions& options) {
  CLI::App* app = parent.add_subcommand(
      "rominfo", "Show a ROM's parameter block and the drive images it points at");
  app->add_option("ROM", options.rom, "ROM with the KivoFSDrive marker")->required();
  AddFailOnWarningFlag(*app, options.failOnWarning);
  return app;
}

int RunRomInfo(const RomInfoOptions& options) {
  int written = WriteRomInfo(options.rom, std::cout);
  return written != 0 ? written : FailOnWarnings(options.failOnWarning, Quoted(options.rom));
}

}  // namespace

Command AddRomInfoCommand(CLI::App& parent) {
  return MakeCommand(parent, DeclareRomInfo, RunRomInfo);
}

}  // namespace kivo::cli
