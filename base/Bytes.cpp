#include "base/Bytes.h"

#include <algorithm>
#include <functional>

#if defined(__GLIBC__)
#include <string.h>
#endif

namespace kivo {

std::optional<std::size_t> FindBytes(ByteSpan haystack, ByteSpan needle) {
  if (needle.empty() || haystack.size() < needle.size()) return std::nullopt;
#if defined(__GLIBC__)
  // glibc's memmem runs a skip-table search for short needles, several times faster than
  // the generic searcher on large ROMs.
  const void* hit = ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size());
  if (hit == nullptr) return std::nullopt;
  return static_cast<std::size_t>(static_cast<const std::byte*>(hit) - haystack.data());
#else
  auto hit = std::search(haystack.begin(), haystack.end(),
                         std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
  if (hit == haystack.end()) return std::nullopt;
  return static_cast<std::size_t>(hit - haystack.begin());
#endif
}

}  // namespace kivo
