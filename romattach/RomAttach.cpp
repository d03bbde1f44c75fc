#include "romattach/RomAttach.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace kivo::rom {

ParamBlock ComputeSlots(std::uint64_t hostSize, std::optional<std::uint64_t> drive0Size,
                        std::optional<std::uint64_t> drive1Size, bool saveFlash) {
  ParamBlock values;
  values.saveFlash = saveFlash ? 1 : 0;
  std::optional<std::uint64_t> first = drive0Size ? drive0Size : drive1Size;
  std::optional<std::uint64_t> second = drive0Size ? drive1Size : std::nullopt;
  // Modulo 2^32 on purpose: a 0-byte image ends one before its start.
  if (first) {
    values.slot1Start = static_cast<std::uint32_t>(hostSize);
    values.slot1End = static_cast<std::uint32_t>(hostSize + *first - 1);
  }
  if (first && second) {
    values.slot2Start = static_cast<std::uint32_t>(hostSize + *first);
    values.slot2End = static_cast<std::uint32_t>(hostSize + *first + *second - 1);
  }
  return values;
}

BlockBytes EncodeParamBlock(const ParamBlock& values) {
  BlockBytes bytes{};
  for (std::size_t i = 0; i < block::SlotFields.size(); ++i) {
    StoreLE32(bytes, i * block::SlotFieldSize, values.*block::SlotFields[i]);
  }
  bytes[block::SaveFlash] = static_cast<std::byte>(values.saveFlash);
  return bytes;
}

std::optional<ParamBlock> DecodeParamBlock(ByteSpan rom, std::uint64_t blockOffset) {
  if (!InBounds(rom.size(), blockOffset, BlockSize)) return std::nullopt;
  ByteSpan bytes = rom.subspan(static_cast<std::size_t>(blockOffset), BlockSize);
  ParamBlock values;
  for (std::size_t i = 0; i < block::SlotFields.size(); ++i) {
    values.*block::SlotFields[i] = LoadLE32(bytes, i * block::SlotFieldSize);
  }
  values.saveFlash = static_cast<std::uint8_t>(bytes[block::SaveFlash]);
  return values;
}

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    auto crc = static_cast<std::uint16_t>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ nds::CrcPolynomial)
                       : static_cast<std::uint16_t>(crc >> 1);
    }
    table[byte] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> CrcTable = MakeCrcTable();

}  // namespace

RomKind RomKindOf(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".nds") return RomKind::Nds;
  if (extension == ".gba") return RomKind::Gba;
  return RomKind::Other;
}

std::uint16_t NdsHeaderCrc(ByteSpan bytes) {
  std::uint16_t crc = nds::CrcInitial;
  for (std::byte b : bytes) {
    auto index = static_cast<std::uint8_t>(crc ^ static_cast<std::uint8_t>(b));
    crc = static_cast<std::uint16_t>((crc >> 8) ^ CrcTable[index]);
  }
  return crc;
}

bool IsNdsHeader(ByteSpan header) {
  if (header.size() < nds::HeaderSize) return false;
  auto inside = [&](std::size_t field, std::uint32_t end) {
    std::uint32_t address = LoadLE32(header, field);
    return address >= nds::MainRam && address < end;
  };
  return static_cast<std::uint8_t>(header[nds::UnitCode]) <= nds::MaxUnitCode &&
         LoadLE32(header, nds::Arm9RomOffset) >= nds::HeaderSize &&
         LoadLE32(header, nds::Arm7RomOffset) >= nds::HeaderSize &&
         inside(nds::Arm9LoadAddress, nds::Arm9RamEnd) &&
         inside(nds::Arm7LoadAddress, nds::Arm7RamEnd);
}

std::uint8_t NdsCapacityFor(std::uint64_t size) {
  std::uint8_t code = 0;
  while (NdsCapacityBytes(code) < size) ++code;
  return code;
}

std::uint64_t NdsCapacityBytes(std::uint8_t code) {
  return code > 40 ? std::uint64_t{1} << 57 : nds::CapacityUnit << code;
}

void UpdateNdsHeader(MutableByteSpan header, std::uint32_t usedSize) {
  StoreLE32(header, nds::UsedRomSize, usedSize);
  auto capacity = static_cast<std::uint8_t>(header[nds::DeviceCapacity]);
  header[nds::DeviceCapacity] =
      static_cast<std::byte>(std::max(capacity, NdsCapacityFor(usedSize)));
  StoreLE16(header, nds::HeaderCrc, NdsHeaderCrc(header.first(nds::HeaderCrc)));
}

bool RestoreNdsHeader(MutableByteSpan header, std::uint32_t hostSize) {
  std::uint32_t used = LoadLE32(header, nds::UsedRomSize);
  if (used <= hostSize) return false;
  auto capacity = static_cast<std::uint8_t>(header[nds::DeviceCapacity]);
  if (capacity == NdsCapacityFor(used)) {
    header[nds::DeviceCapacity] = static_cast<std::byte>(NdsCapacityFor(hostSize));
  }
  StoreLE32(header, nds::UsedRomSize, hostSize);
  StoreLE16(header, nds::HeaderCrc, NdsHeaderCrc(header.first(nds::HeaderCrc)));
  return true;
}

}  // namespace kivo::rom
