// Shared by the fuzz targets: the tests' helpers (bytes as strings, scratch directories,
// files), and a check that aborts with the condition's text, so that libFuzzer keeps the
// input, where an assert would vanish from a release build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/Support.h"

#define FUZZ_CHECK(condition) ::kivo::fuzz::Check(condition, #condition)

namespace kivo::fuzz {

using namespace kivo::test;

inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// Whether a result succeeded or says what went wrong, naming `path` when one is given.
template <typename R>
bool Explained(const R& result, const std::string& path = "") {
  if (result) return true;
  const std::string& message = result.error().message;
  return !message.empty() && message.find(path) != std::string::npos;
}

inline std::string Input(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace kivo::fuzz
