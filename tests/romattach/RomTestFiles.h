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

#include "fsimage/Bytes.h"
#include "fsimage/Format.h"

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

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes bytes(chars.size());
  for (std::size_t i = 0; i < chars.size(); ++i) bytes[i] = static_cast<std::byte>(chars[i]);
  return bytes;
}

// A fresh directory per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    path_ = std::filesystem::temp_directory_path() /
            ("kivo-rom-test-" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Names in the directory, to show that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kivo::rom::test
