// The output ROM as one buffer: the reference that the file-level attach must equal byte
// for byte, and what tests and fuzzing drive directly.
#pragma once

#include <optional>
#include <vector>

#include "fsimage/Bytes.h"
#include "fsimage/Result.h"
#include "romattach/RomAttach.h"

namespace kivo::rom {

// Host bytes with the block at `blockOffset` filled, then drive 0, then drive 1. At least
// one drive must be given, the block must lie inside the host and the result must stay
// below 2 GiB; otherwise an Invalid or Capacity error. The inputs are not changed.
Result<std::vector<std::byte>> AssembleRom(ByteSpan host, std::optional<ByteSpan> drive0,
                                           std::optional<ByteSpan> drive1, bool saveFlash,
                                           std::uint64_t blockOffset);

}  // namespace kivo::rom
