#include "cli/NdsChecks.h"

#include <algorithm>
#include <cstdio>

#include "cli/Command.h"
#include "romattach/RomAttach.h"

namespace kivo::cli {

std::optional<NdsHeaderFields> ReadNdsHeaderFields(const rom::RomFile& rom) {
  auto used = rom.Read(rom::nds::UsedRomSize, 4);
  if (!used) return std::nullopt;  // too short for a header: nothing a trimmer would read
  NdsHeaderFields fields;
  fields.usedSize = LoadLE32(*used, 0);
  auto header = rom.Read(0, rom::nds::HeaderSize);
  if (header && rom::IsNdsHeader(*header)) {
    fields.dsHeader = true;
    fields.capacityCode = static_cast<std::uint8_t>((*header)[rom::nds::DeviceCapacity]);
    fields.capacity = rom::NdsCapacityBytes(fields.capacityCode);
  }
  return fields;
}

std::string CapacityText(std::uint8_t code) {
  return std::to_string(rom::NdsCapacityBytes(code)) + " (0x14 = " + std::to_string(int{code}) +
         ")";
}

std::string CapacityAndCrc(std::uint8_t capacityCode, std::uint16_t crc) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", unsigned{crc});
  return "device capacity " + CapacityText(capacityCode) + ", CRC " + hex;
}

void WarnNdsLayout(const rom::RomFile& rom, const std::vector<PlacedDrive>& drives) {
  std::uint64_t drivesEnd = 0;
  for (const PlacedDrive& drive : drives) {
    drivesEnd = std::max(drivesEnd, drive.end + 1);
    if (drive.start >= rom::nds::FirstCardOffset) continue;
    Warn(drive.label +
         " starts below 0x8000 (32768): a DS program cannot read it through the card bus (attach "
         "with --nds-header, which pads the host to 0x8000)");
  }
  auto fields = ReadNdsHeaderFields(rom);
  if (!fields || drives.empty()) return;
  if (fields->usedSize < drivesEnd) {
    Warn("the NDS header's total used ROM size (offset 0x80) is " +
         std::to_string(fields->usedSize) + " bytes, but the drives end at " +
         std::to_string(drivesEnd) +
         ": a ROM trimmer would cut them off (attach with --nds-header)");
  }
  if (fields->dsHeader && fields->usedSize > fields->capacity) {
    Warn("the NDS header's total used ROM size (" + std::to_string(fields->usedSize) +
         " bytes) exceeds its device capacity (offset 0x14: " + std::to_string(fields->capacity) +
         " bytes): a DS emulator reports the header as invalid (attach with --nds-header)");
  }
}

}  // namespace kivo::cli
