// Checks an image against every rule of the format and lists what breaks them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bytes.h"

namespace kivo::fs {

struct VerifyReport {
  std::vector<std::string> problems;  // one readable line each; empty when the image is sound
  std::size_t problemCount = 0;       // also those past MaxListedProblems
  std::uint64_t directories = 0;
  std::uint64_t files = 0;
  std::uint64_t clusters = 0;
  bool ok() const { return problems.empty(); }
};

// At most this many problems are listed one by one; a last line counts the rest.
inline constexpr std::size_t MaxListedProblems = 200;

// The rules: header fields consistent with each other and with the file length, reserved
// table entries, every chain consecutive, linked, terminated and inside the data area,
// no cluster in two chains and no used table entry or data cluster owned by nothing,
// slots filled without gaps, "." and ".." correct, sizes matching chains. `source` names
// the image in the problem of a file too short to hold a header.
VerifyReport VerifyImage(ByteSpan bytes, std::string_view source);

}  // namespace kivo::fs
