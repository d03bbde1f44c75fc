// Reading back a ROM with drives attached: where its block is, what the block says, and
// what lies where each slot points. `kivofs rominfo` and `kivofs detach` use it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "romattach/RomAttach.h"
#include "romattach/RomFile.h"

namespace kivo::rom {

enum class SlotState {
  Empty,          // start and end both zero
  OutsideFile,    // the range does not lie inside the ROM (or ends before it starts)
  NotDriveImage,  // inside, but its header is not that of a drive image of that length
  DriveImage,
};

struct SlotInfo {
  std::uint32_t start = 0;
  std::uint32_t end = 0;  // inclusive
  SlotState state = SlotState::Empty;
  std::uint64_t length() const { return std::uint64_t{end} + 1 - start; }  // when not outside
};

struct AttachedRom {
  std::uint64_t romSize = 0;
  std::uint64_t markerOffset = 0;
  std::uint64_t blockOffset = 0;
  ParamBlock block;
  std::array<SlotInfo, 2> slots;
};

// Finds the block (an error "no usable KivoFSDrive marker in '<file>'" when there is none)
// and classifies both slots.
Result<AttachedRom> InspectRom(const RomFile& rom);

struct DetachRequest {
  std::filesystem::path rom;
  std::filesystem::path directory;  // receives drive0.kid (slot 1) and drive1.kid (slot 2)
  std::filesystem::path hostOutput;  // empty: no host ROM written
};

struct DetachReport {
  AttachedRom layout;
  std::vector<std::filesystem::path> written;
  std::uint64_t hostBytes = 0;  // length of the host ROM written, when asked for
  // When the host ROM's NDS header had its used size pointing past the host (as attach
  // --nds-header leaves it): the used size written back, the capacity code and the new CRC.
  std::optional<std::uint32_t> ndsUsedSize;
  std::uint8_t ndsCapacity = 0;
  std::uint16_t ndsHeaderCrc = 0;
};

// Writes each filled slot's bytes to the directory (created when missing) and, when asked,
// the ROM cut at slot 1's start with the block zeroed (and a DS header's used size, capacity
// and CRC restored to the cut host, see RestoreNdsHeader). Every slot must lie inside the ROM
// and after the block; nothing is written otherwise. Outputs appear only once all of them
// are complete.
Result<DetachReport> DetachDrives(const DetachRequest& request);

}  // namespace kivo::rom
