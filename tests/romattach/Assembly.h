// The output ROM as one buffer: the reference that the file-level attach must equal byte
// for byte, and what the tests and the fuzzer compare against.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/Result.h"
#include "romattach/Marker.h"
#include "romattach/RomAttach.h"

namespace kivo::rom {

// Host bytes with the block at `blockOffset` filled, then drive 0, then drive 1. At least
// one drive must be given, the block must lie inside the host and the result must stay
// below 2 GiB; otherwise an Invalid or Capacity error. The inputs are not changed.
inline Result<std::vector<std::byte>> AssembleRom(ByteSpan host, std::optional<ByteSpan> drive0,
                                                  std::optional<ByteSpan> drive1, bool saveFlash,
                                                  std::uint64_t blockOffset) {
  if (!drive0 && !drive1) return MakeError(ErrorKind::Invalid, "no drive image given");
  if (!IsUsableBlock(host.size(), blockOffset)) {
    return MakeError(ErrorKind::Invalid, "parameter block at " + std::to_string(blockOffset) +
                                             " runs past the end of a " +
                                             std::to_string(host.size()) + "-byte host ROM");
  }
  std::uint64_t size0 = drive0 ? drive0->size() : 0;
  std::uint64_t size1 = drive1 ? drive1->size() : 0;
  std::uint64_t total = host.size() + size0 + size1;
  if (total > MaxRomSize) {
    return MakeError(ErrorKind::Capacity, "the output ROM would be " + std::to_string(total) +
                                              " bytes; it must stay below 2 GiB");
  }
  std::vector<std::byte> out;
  out.reserve(static_cast<std::size_t>(total));
  out.insert(out.end(), host.begin(), host.end());
  ParamBlock values = ComputeSlots(host.size(), drive0 ? std::optional(size0) : std::nullopt,
                                   drive1 ? std::optional(size1) : std::nullopt, saveFlash);
  BlockBytes block = EncodeParamBlock(values);
  std::copy(block.begin(), block.end(), out.begin() + static_cast<std::ptrdiff_t>(blockOffset));
  if (drive0) out.insert(out.end(), drive0->begin(), drive0->end());
  if (drive1) out.insert(out.end(), drive1->begin(), drive1->end());
  return out;
}

}  // namespace kivo::rom
