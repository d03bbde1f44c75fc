// Byte and file fixtures shared by the ROM attach tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/Bytes.h"
#include "fsimage/Format.h"
#include "tests/fsimage/TestFiles.h"

namespace kivo::rom::test {

using Bytes = std::vector<std::byte>;

// Bytes that never spell the marker: every value is below 'A'.
inline Bytes Filler(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::byte>((i * 31 + seed * 17 + i / 253) % 64);
  }
  return bytes;
}

inline void Put(Bytes& bytes, std::size_t offset, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[offset + i] = static_cast<std::byte>(text[i]);
}

inline Bytes HostWithMarker(std::size_t size, std::size_t markerOffset, unsigned seed = 1) {
  Bytes bytes = Filler(size, seed);
  Put(bytes, markerOffset, "KivoFSDrive");
  return bytes;
}

inline Bytes Hex(std::initializer_list<int> values) {
  Bytes bytes;
  for (int v : values) bytes.push_back(static_cast<std::byte>(v));
  return bytes;
}

inline Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// A well-formed drive image header: table of one cluster, root directory, `dataClusters`
// clusters of data; the rest is filler so that copies are checked byte for byte.
inline Bytes DriveImage(std::uint32_t dataClusters, unsigned seed) {
  const std::uint32_t fat = 512;
  const std::uint32_t data = dataClusters * 512;
  const std::uint32_t total = 512 + fat + 4096 + data;
  Bytes bytes = Filler(total, seed);
  std::fill(bytes.begin(), bytes.begin() + 512, std::byte{0});
  StoreLE32(bytes, fs::header::Version, 100);
  StoreFixedString(bytes, fs::header::DriveName, 16, "Test Drive " + std::to_string(seed));
  StoreLE32(bytes, fs::header::DriveSize, total);
  StoreLE32(bytes, fs::header::BootSize, 512);
  StoreLE32(bytes, fs::header::FatSize, fat);
  StoreLE32(bytes, fs::header::RootSize, 4096);
  StoreLE32(bytes, fs::header::DataSize, data);
  StoreLE32(bytes, fs::header::FatStart, 512);
  StoreLE32(bytes, fs::header::RootStart, 512 + fat);
  StoreLE32(bytes, fs::header::DataStart, 512 + fat + 4096);
  return bytes;
}

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

}  // namespace kivo::rom::test
