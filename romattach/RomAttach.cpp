#include "romattach/RomAttach.h"

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
  StoreLE32(bytes, block::Slot1Start, values.slot1Start);
  StoreLE32(bytes, block::Slot1End, values.slot1End);
  StoreLE32(bytes, block::Slot2Start, values.slot2Start);
  StoreLE32(bytes, block::Slot2End, values.slot2End);
  bytes[block::SaveFlash] = static_cast<std::byte>(values.saveFlash);
  return bytes;
}

std::optional<ParamBlock> DecodeParamBlock(ByteSpan rom, std::uint64_t blockOffset) {
  if (!InBounds(rom.size(), blockOffset, BlockSize)) return std::nullopt;
  ByteSpan bytes = rom.subspan(static_cast<std::size_t>(blockOffset), BlockSize);
  ParamBlock values;
  values.slot1Start = LoadLE32(bytes, block::Slot1Start);
  values.slot1End = LoadLE32(bytes, block::Slot1End);
  values.slot2Start = LoadLE32(bytes, block::Slot2Start);
  values.slot2End = LoadLE32(bytes, block::Slot2End);
  values.saveFlash = static_cast<std::uint8_t>(bytes[block::SaveFlash]);
  return values;
}

}  // namespace kivo::rom
