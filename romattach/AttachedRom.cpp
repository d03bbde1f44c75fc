#include "romattach/AttachedRom.h"

#include <system_error>

#include "base/File.h"
#include "fsimage/Codec.h"
#include "romattach/Marker.h"

namespace kivo::rom {
namespace {

SlotInfo ClassifySlot(const RomFile& rom, std::uint32_t start, std::uint32_t end) {
  SlotInfo slot{start, end, SlotState::Empty};
  if (start == 0 && end == 0) return slot;
  // A 0-byte image ends one before its start.
  bool ordered = std::uint64_t{end} + 1 >= start;
  if (!ordered || std::uint64_t{end} + 1 > rom.size()) {
    slot.state = SlotState::OutsideFile;
    return slot;
  }
  slot.state = SlotState::NotDriveImage;
  std::uint64_t headerLength = std::min<std::uint64_t>(slot.length(), fs::BootSize);
  auto header = rom.Read(start, headerLength);
  if (header && fs::LooksLikeDriveImage(*header, slot.length())) slot.state = SlotState::DriveImage;
  return slot;
}

std::string SlotText(int number, const SlotInfo& slot) {
  return "slot " + std::to_string(number) + " (" + std::to_string(slot.start) + " to " +
         std::to_string(slot.end) + ")";
}

// The header of a DS host whose used size `attach --nds-header` pointed past the drives,
// set back to the host's own `hostSize` bytes; empty when there is nothing to restore.
Result<std::vector<std::byte>> RestoredNdsHeader(const RomFile& rom, const std::filesystem::path& path,
                                                 std::uint64_t hostSize) {
  if (RomKindOf(path) == RomKind::Gba || hostSize < nds::HeaderSize) return std::vector<std::byte>{};
  auto header = rom.Read(0, nds::HeaderSize);
  if (!header) return header.error();
  if (!IsNdsHeader(*header) || !RestoreNdsHeader(*header, static_cast<std::uint32_t>(hostSize))) {
    return std::vector<std::byte>{};
  }
  return std::move(*header);
}

}  // namespace

Result<AttachedRom> InspectRom(const RomFile& rom) {
  auto found = rom.FindParamBlock();
  if (!found) return found.error();
  if (!*found || !IsUsableBlock(rom.size(), **found)) {
    return MakeError(ErrorKind::Format,
                     "no usable KivoFSDrive marker in " + Quoted(rom.path()) +
                         (*found ? ": the first one leaves no room for the parameter block"
                                 : ": none found"));
  }
  AttachedRom layout;
  layout.romSize = rom.size();
  layout.blockOffset = **found;
  layout.markerOffset = layout.blockOffset - MarkerSize;
  auto bytes = rom.Read(layout.blockOffset, BlockSize);
  if (!bytes) return bytes.error();
  layout.block = *DecodeParamBlock(*bytes, 0);
  layout.slots[0] = ClassifySlot(rom, layout.block.slot1Start, layout.block.slot1End);
  layout.slots[1] = ClassifySlot(rom, layout.block.slot2Start, layout.block.slot2End);
  return layout;
}

Result<DetachReport> DetachDrives(const DetachRequest& request) {
  auto rom = RomFile::Open(request.rom);
  if (!rom) return rom.error();
  auto layout = InspectRom(*rom);
  if (!layout) return layout.error();
  DetachReport report;
  report.layout = *layout;

  const std::uint64_t blockEnd = layout->blockOffset + BlockSize;
  bool any = false;
  std::uint64_t cut = layout->romSize;
  for (std::size_t i = 0; i < layout->slots.size(); ++i) {
    const SlotInfo& slot = layout->slots[i];
    if (slot.state == SlotState::Empty) continue;
    int number = static_cast<int>(i) + 1;
    if (slot.state == SlotState::OutsideFile) {
      return MakeError(ErrorKind::Format, SlotText(number, slot) + " of " + Quoted(request.rom) +
                                              " points outside the file (" +
                                              std::to_string(layout->romSize) + " bytes)");
    }
    if (slot.start < blockEnd) {
      return MakeError(ErrorKind::Format, SlotText(number, slot) + " of " + Quoted(request.rom) +
                                              " overlaps the host ROM's parameter block");
    }
    any = true;
    cut = std::min<std::uint64_t>(cut, slot.start);
  }
  if (!any) return MakeError(ErrorKind::Format, "no drive attached in " + Quoted(request.rom));

  std::error_code ec;
  std::filesystem::create_directories(request.directory, ec);
  if (ec) {
    return MakeError(ErrorKind::CannotOpen,
                     "cannot create " + Quoted(request.directory) + ": " + ec.message(),
                     request.directory);
  }
  std::vector<OutputFile> outputs;
  for (std::size_t i = 0; i < layout->slots.size(); ++i) {
    const SlotInfo& slot = layout->slots[i];
    if (slot.state == SlotState::Empty) continue;
    // Joined as every path the core makes, so that it is shown alike on every host.
    auto output = OutputFile::Create(
        PathFromUtf8(JoinPath(Utf8(request.directory), "drive" + std::to_string(i) + ".kid")));
    if (!output) return output.error();
    if (Status copied = output->CopyFrom(rom->file(), slot.start, slot.length(), 0); !copied) {
      return copied.error();
    }
    outputs.push_back(std::move(*output));
  }
  if (!request.hostOutput.empty()) {
    auto output = OutputFile::Create(request.hostOutput);
    if (!output) return output.error();
    if (Status copied = output->CopyFrom(rom->file(), 0, cut, 0); !copied) return copied.error();
    BlockBytes zeros{};
    if (Status written = output->WriteAt(layout->blockOffset, zeros); !written) {
      return written.error();
    }
    auto header = RestoredNdsHeader(*rom, request.rom, cut);
    if (!header) return header.error();
    if (!header->empty()) {
      if (Status written = output->WriteAt(0, *header); !written) return written.error();
      report.ndsUsedSize = static_cast<std::uint32_t>(cut);
      report.ndsCapacity = static_cast<std::uint8_t>((*header)[nds::DeviceCapacity]);
      report.ndsHeaderCrc = LoadLE16(*header, nds::HeaderCrc);
    }
    outputs.push_back(std::move(*output));
    report.hostBytes = cut;
  }
  // Closed before the renames: Windows cannot replace a file that is still open, and the host
  // output may be the ROM itself.
  { RomFile closed = std::move(*rom); }
  for (OutputFile& output : outputs) {
    if (Status committed = output.Commit(); !committed) return committed.error();
    report.written.push_back(output.target());
  }
  return report;
}

}  // namespace kivo::rom
