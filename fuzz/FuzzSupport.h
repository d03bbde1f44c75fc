// Shared by the fuzz targets: the tests' helpers (bytes as strings, scratch directories,
// files), and a check that aborts, so that libFuzzer keeps the input, where an assert would
// vanish from a release build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/Support.h"

namespace kivo::fuzz {

using namespace kivo::test;

inline void Check(bool condition, const char* what) {
  if (!condition) std::fprintf(stderr, "fuzz check failed: %s\n", what), std::abort();
}

inline std::string Input(const std::uint8_t* data, std::size_t size) { return {reinterpret_cast<const char*>(data), size}; }

}  // namespace kivo::fuzz
