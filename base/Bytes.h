// Little-endian fields on byte spans. Reads of untrusted bytes go through the
// checked forms, which test offset + size against the length without overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kivo {

using ByteSpan = std::span<const std::byte>;
using MutableByteSpan = std::span<std::byte>;

constexpr bool InBounds(std::size_t length, std::uint64_t offset, std::uint64_t size) {
  return offset <= length && size <= length - offset;
}

inline std::uint16_t LoadLE16(ByteSpan bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned>(bytes[offset]) |
                                    static_cast<unsigned>(bytes[offset + 1]) << 8);
}

inline void StoreLE16(MutableByteSpan bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::byte>(value & 0xFFu);
  bytes[offset + 1] = static_cast<std::byte>(value >> 8);
}

inline std::uint32_t LoadLE32(ByteSpan bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline void StoreLE32(MutableByteSpan bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFFu);
  }
}

inline std::optional<std::uint32_t> ReadLE32(ByteSpan bytes, std::uint64_t offset) {
  if (!InBounds(bytes.size(), offset, 4)) return std::nullopt;
  return LoadLE32(bytes, static_cast<std::size_t>(offset));
}

// Start of the first occurrence of `needle` in `haystack`, if any.
std::optional<std::size_t> FindBytes(ByteSpan haystack, ByteSpan needle);

// A fixed-size text field: the bytes up to the first zero byte, all of them when none is zero.
inline std::optional<std::string> ReadFixedString(ByteSpan bytes, std::uint64_t offset,
                                                  std::size_t size) {
  if (!InBounds(bytes.size(), offset, size)) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    auto c = static_cast<char>(bytes[static_cast<std::size_t>(offset) + i]);
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

// Writes `text` into a fixed field: at most `size` bytes, zero-padded, no terminator when full.
inline void StoreFixedString(MutableByteSpan bytes, std::size_t offset, std::size_t size,
                             std::string_view text) {
  for (std::size_t i = 0; i < size; ++i) {
    bytes[offset + i] = i < text.size() ? static_cast<std::byte>(text[i]) : std::byte{0};
  }
}

}  // namespace kivo
