// Source trees in a fresh temporary directory, a fixed clock and whole-file reads, shared by
// the builder's tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsimage/Builder.h"

namespace kivo::fs::testing {

namespace stdfs = std::filesystem;

class TempTree {
 public:
  TempTree() {
    std::string pattern = (stdfs::temp_directory_path() / "kivofs-build-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    base_ = made;
    stdfs::create_directory(base_ / "src");
  }
  ~TempTree() {
    std::error_code ignored;
    stdfs::remove_all(base_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  stdfs::path base() const { return base_; }
  stdfs::path src() const { return base_ / "src"; }
  std::string srcText() const { return src().string(); }
  stdfs::path out() const { return base_ / "out.kid"; }

  void Dir(const std::string& relative) const { stdfs::create_directories(src() / relative); }
  void File(const std::string& relative, const std::string& contents) const {
    stdfs::create_directories((src() / relative).parent_path());
    std::ofstream(src() / relative, std::ios::binary) << contents;
  }
  // A file of `size` deterministic, varied bytes; returns them.
  std::string FileOfSize(const std::string& relative, std::size_t size) const {
    std::string contents(size, '\0');
    for (std::size_t i = 0; i < size; ++i) contents[i] = static_cast<char>((i * 131 + size) % 251);
    File(relative, contents);
    return contents;
  }

 private:
  stdfs::path base_;
};

// Wednesday 15 March 2006, 14:05:09.
inline std::tm FixedTime() {
  std::tm time{};
  time.tm_year = 2006 - 1900;
  time.tm_mon = 2;
  time.tm_mday = 15;
  time.tm_wday = 3;
  time.tm_hour = 14;
  time.tm_min = 5;
  time.tm_sec = 9;
  return time;
}

inline BuilderOptions FixedOptions() {
  BuilderOptions options;
  options.clock = FixedTime;
  options.sortByName = true;
  return options;
}

inline std::string ReadText(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> ReadBytes(const stdfs::path& path) {
  std::string text = ReadText(path);
  return {text.begin(), text.end()};
}

inline std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) | static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
         static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
         static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

// Scans `root` the way the drive tool does and builds into `output`.
inline int ScanAndBuild(DriveBuilder& builder, const std::string& root, const stdfs::path& output) {
  builder.ScanTree(root);
  return builder.BuildImage(output.string());
}

// The messages of the last build's problems, one a line.
inline std::string ProblemText(const DriveBuilder& builder) {
  std::string text;
  for (const Error& problem : builder.problems()) text += problem.message + "\n";
  return text;
}

}  // namespace kivo::fs::testing
