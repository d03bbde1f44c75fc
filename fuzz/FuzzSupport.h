// Shared by the fuzz targets: a private scratch directory per process, and a check that
// aborts (so libFuzzer records the input) instead of an assert that release builds drop.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "base/Bytes.h"

namespace kivo::fuzz {

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// One directory per process below TMPDIR, removed when the process ends normally, so two
// fuzzers running side by side never see each other's files.
class Scratch {
 public:
  explicit Scratch(const std::string& name) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    root_ = base / ("kivofs-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_, ec);
    std::filesystem::create_directories(root_, ec);
    Check(!ec, "cannot create the scratch directory");
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

inline void WriteFile(const std::filesystem::path& path, ByteSpan bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Check(out.good(), "cannot write a scratch file");
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline ByteSpan AsBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

}  // namespace kivo::fuzz
