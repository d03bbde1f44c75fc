#include "romattach/Marker.h"

namespace kivo::rom {

std::optional<std::uint64_t> FindMarker(ByteSpan bytes) {
  static const auto* marker = reinterpret_cast<const std::byte*>(MarkerText.data());
  return FindBytes(bytes, ByteSpan(marker, MarkerSize));
}

std::optional<std::uint64_t> FindParamBlock(ByteSpan rom) {
  if (rom.size() <= MarkerSize + 1) return std::nullopt;
  // Every later match starts higher, so when the first one is past R - 13 none qualifies.
  auto start = FindMarker(rom.first(rom.size() - MarkerTailRoom));
  if (!start) return std::nullopt;
  return *start + MarkerSize;
}

}  // namespace kivo::rom
