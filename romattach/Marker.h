// Finding the parameter block behind the first "KivoFSDrive" in a host ROM.
#pragma once

#include <cstdint>
#include <optional>

#include "base/Bytes.h"
#include "romattach/RomAttach.h"

namespace kivo::rom {

// Start of the first (lowest) marker in `bytes`, if any, wherever it lies.
std::optional<std::uint64_t> FindMarker(ByteSpan bytes);

// The block offset (marker start + 11) of the first marker whose start is at most R - 13,
// or nothing. Later markers are ignored; the match is exact and case-sensitive.
std::optional<std::uint64_t> FindParamBlock(ByteSpan rom);

// Whether the 17-byte block at `blockOffset` lies wholly inside a ROM of `romSize` bytes,
// that is, whether its marker starts at R - 28 or lower.
constexpr bool IsUsableBlock(std::uint64_t romSize, std::uint64_t blockOffset) {
  return InBounds(romSize, blockOffset, BlockSize);
}

}  // namespace kivo::rom
