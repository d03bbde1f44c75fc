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
Result<std::vector<std::byte>> RestoredNdsHeader(const RomFile& rom,
                                                 const std::filesystem::path& path,
                                                 std::uint64_t hostSize) {
  if (RomKindOf(path) == RomKind::Gba || hostSize < nds::HeaderSize) {
    return std::vector<std::byte>{};
  }
  auto header = rom.Read(0, nds::HeaderSize);
  KIVO_TRY(header);
  if (!IsNdsHeader(*header) || !RestoreNdsHeader(*header, static_cast<std::uint32_t>(hostSize))) {
    return std::vector<std::byte>{};
  }
  return std::move(*header);
}

// Where the host ends: at the lowest filled slot's start. Every filled slot must lie inside
// the ROM and after the block, and one at least must be filled.
Result<std::uint64_t> HostEnd(const std::filesystem::path& path, const AttachedRom& layout) {
  const std::uint64_t blockEnd = layout.blockOffset + BlockSize;
  std::uint64_t end = layout.romSize;
  bool any = false;
  for (std::size_t i = 0; i < layout.slots.size(); ++i) {
    const SlotInfo& slot = layout.slots[i];
    if (slot.state == SlotState::Empty) continue;
    int number = static_cast<int>(i) + 1;
    if (slot.state == SlotState::OutsideFile) {
      return MakeError(ErrorKind::Format, SlotText(number, slot) + " of " + Quoted(path) +
                                              " points outside the file (" +
                                              std::to_string(layout.romSize) + " bytes)");
    }
    if (slot.start < blockEnd) {
      return MakeError(ErrorKind::Format, SlotText(number, slot) + " of " + Quoted(path) +
                                              " overlaps the host ROM's parameter block");
    }
    any = true;
    end = std::min<std::uint64_t>(end, slot.start);
  }
  if (!any) return MakeError(ErrorKind::Format, "no drive attached in " + Quoted(path));
  return end;
}

// Each filled slot's bytes as drive<N>.kid in `directory`, which is created when missing.
Result<std::vector<OutputFile>> WriteDrives(const RomFile& rom, const AttachedRom& layout,
                                            const std::filesystem::path& directory) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) {
    return MakeError(ErrorKind::CannotOpen,
                     "cannot create " + Quoted(directory) + ": " + ec.message(), directory);
  }
  std::vector<OutputFile> outputs;
  for (std::size_t i = 0; i < layout.slots.size(); ++i) {
    const SlotInfo& slot = layout.slots[i];
    if (slot.state == SlotState::Empty) continue;
    // Joined as every path the core makes, so that it is shown alike on every host.
    auto output = OutputFile::Create(
        PathFromUtf8(JoinPath(Utf8(directory), "drive" + std::to_string(i) + ".kid")));
    KIVO_TRY(output);
    KIVO_TRY(output->CopyFrom(rom.file(), slot.start, slot.length(), 0));
    outputs.push_back(std::move(*output));
  }
  return outputs;
}

// The ROM up to `hostEnd` with the block zeroed and a DS header's used size, capacity and CRC
// restored to it.
Result<OutputFile> WriteHost(const RomFile& rom, const DetachRequest& request,
                             std::uint64_t hostEnd, DetachReport& report) {
  auto output = OutputFile::Create(request.hostOutput);
  KIVO_TRY(output);
  KIVO_TRY(output->CopyFrom(rom.file(), 0, hostEnd, 0));
  KIVO_TRY(output->WriteAt(report.layout.blockOffset, BlockBytes{}));
  auto header = RestoredNdsHeader(rom, request.rom, hostEnd);
  KIVO_TRY(header);
  if (!header->empty()) {
    KIVO_TRY(output->WriteAt(0, *header));
    report.ndsUsedSize = static_cast<std::uint32_t>(hostEnd);
    report.ndsCapacity = static_cast<std::uint8_t>((*header)[nds::DeviceCapacity]);
    report.ndsHeaderCrc = LoadLE16(*header, nds::HeaderCrc);
  }
  report.hostBytes = hostEnd;
  return output;
}

}  // namespace

Result<AttachedRom> InspectRom(const RomFile& rom) {
  auto found = rom.FindParamBlock();
  KIVO_TRY(found);
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
  KIVO_TRY(bytes);
  layout.block = *DecodeParamBlock(*bytes, 0);
  layout.slots[0] = ClassifySlot(rom, layout.block.slot1Start, layout.block.slot1End);
  layout.slots[1] = ClassifySlot(rom, layout.block.slot2Start, layout.block.slot2End);
  return layout;
}

Result<DetachReport> DetachDrives(const DetachRequest& request) {
  auto rom = RomFile::Open(request.rom);
  KIVO_TRY(rom);
  auto layout = InspectRom(*rom);
  KIVO_TRY(layout);
  auto hostEnd = HostEnd(request.rom, *layout);
  KIVO_TRY(hostEnd);
  DetachReport report;
  report.layout = *layout;
  auto outputs = WriteDrives(*rom, *layout, request.directory);
  KIVO_TRY(outputs);
  if (!request.hostOutput.empty()) {
    auto host = WriteHost(*rom, request, *hostEnd, report);
    KIVO_TRY(host);
    outputs->push_back(std::move(*host));
  }
  // Closed before the renames: Windows cannot replace a file that is still open, and the host
  // output may be the ROM itself.
  { RomFile closed = std::move(*rom); }
  for (OutputFile& output : *outputs) {
    KIVO_TRY(output.Commit());
    report.written.push_back(output.target());
  }
  return report;
}

}  // namespace kivo::rom
