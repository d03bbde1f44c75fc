#include "romattach/Marker.h"

#include <algorithm>
#include <functional>

#if defined(__GLIBC__)
#include <string.h>
#endif

namespace kivo::rom {

std::optional<std::uint64_t> FindMarker(ByteSpan bytes) {
  if (bytes.size() < MarkerSize) return std::nullopt;
#if defined(__GLIBC__)
  // glibc's memmem runs a skip-table search for short needles, several times faster than
  // the generic searcher on large ROMs.
  const void* hit = ::memmem(bytes.data(), bytes.size(), MarkerText.data(), MarkerSize);
  if (hit == nullptr) return std::nullopt;
  return static_cast<std::uint64_t>(static_cast<const std::byte*>(hit) - bytes.data());
#else
  const auto* marker = reinterpret_cast<const std::byte*>(MarkerText.data());
  static const std::boyer_moore_horspool_searcher searcher(marker, marker + MarkerSize);
  auto hit = std::search(bytes.begin(), bytes.end(), searcher);
  if (hit == bytes.end()) return std::nullopt;
  return static_cast<std::uint64_t>(hit - bytes.begin());
#endif
}

std::optional<std::uint64_t> FindParamBlock(ByteSpan rom) {
  if (rom.size() <= MarkerSize + 1) return std::nullopt;
  // Every later match starts higher, so when the first one is past R - 13 none qualifies.
  auto start = FindMarker(rom.first(rom.size() - MarkerTailRoom));
  if (!start) return std::nullopt;
  return *start + MarkerSize;
}

}  // namespace kivo::rom
