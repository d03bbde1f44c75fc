// What a DS needs of an .nds ROM with drives attached, checked after `attach` and by
// `rominfo`: drives the card bus can reach, and a header whose used size and capacity hold
// them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "romattach/RomFile.h"

namespace kivo::cli {

struct PlacedDrive {
  std::string label;  // how a warning names it (SlotPlace): "slot 1 ('a.kid', bytes 4096 to 15871)"
  std::uint64_t start;
  std::uint64_t end;  // inclusive
};

struct NdsHeaderFields {
  std::uint32_t usedSize = 0;
  bool dsHeader = false;      // the capacity means something only in a DS header
  std::uint64_t capacity = 0;  // bytes
  std::uint8_t capacityCode = 0;
};

// The header's fields, when `rom` holds them.
std::optional<NdsHeaderFields> ReadNdsHeaderFields(const rom::RomFile& rom);

// "131072 (0x14 = 0)": a device capacity in bytes and as the header's byte 0x14 codes it.
std::string CapacityText(std::uint8_t code);
// "device capacity 131072 (0x14 = 0), CRC 0x1F37": what attach and detach made of a DS header.
std::string CapacityAndCrc(std::uint8_t capacityCode, std::uint16_t crc);

// Warns about each drive that starts below 0x8000, about a used size that ends before the
// drives do and about a used size past the capacity (in a DS header).
void WarnNdsLayout(const rom::RomFile& rom, const std::vector<PlacedDrive>& drives);

}  // namespace kivo::cli
