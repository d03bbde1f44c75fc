// Attaching drive images to a host ROM on disk: what `kivofs attach` and the Save button of
// the ROM attach dialog both call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/Result.h"
#include "romattach/RomAttach.h"

namespace kivo::rom {

struct AttachRequest {
  std::filesystem::path host;
  std::filesystem::path drive0{};  // empty: not given
  std::filesystem::path drive1{};  // empty: not given
  std::filesystem::path output;
  bool saveFlash = false;
  // When the host's block is already filled, cut the host at its slot 1 start first, so the
  // old drives are dropped instead of carried along.
  bool replace = false;
  // Pad the output with 0xFF up to the next power of two, after the drives.
  bool padPow2 = false;
  // Make the output a proper DS ROM: pad a host shorter than 0x8000 with zero bytes to 0x8000
  // (a DS program's card reads start there), set the NDS header's total used ROM size to the
  // end of the last drive and its device capacity to hold it, and recompute the header CRC,
  // so that a ROM trimmer keeps the drives. The host must start with a DS header; the output
  // must not be a .gba.
  bool ndsHeader = false;
};

struct AttachReport {
  std::uint64_t markerOffset = 0;
  std::uint64_t blockOffset = 0;
  ParamBlock block;                       // the values written
  std::uint64_t hostBytes = 0;            // host bytes copied (less than its size after a cut)
  std::uint64_t hostPadding = 0;          // zero bytes after them, before the drives
  std::uint64_t outputSize = 0;           // including the padding
  std::uint64_t paddingBytes = 0;
  std::optional<ParamBlock> previousBlock;  // the host's block, when it was already filled
  bool replaced = false;                  // old drives were cut off
  std::optional<std::uint32_t> ndsUsedSize;  // with ndsHeader: the used size written
  std::uint8_t ndsCapacity = 0;              // the capacity code (128 KiB << n bytes)
  std::uint16_t ndsHeaderCrc = 0;            // and the header CRC
};

// Takes every size, opens every input, finds the block, checks the output stays below
// 2 GiB, then writes the output through a temporary file renamed over the target: host
// bytes with the block (and, when asked, the NDS header) filled, zero bytes up to 0x8000 when
// the NDS header is asked for, drive 0, drive 1, padding.
// The host is read once: its bytes go to the temporary file as the marker is searched for.
// Nothing reaches the target before all checks pass (a failure removes the temporary file
// and leaves an existing output untouched), the inputs are never changed, and the output
// may be one of the inputs.
// What stopped it, by the error's kind:
//   Invalid              no output or no drive given
//   NotFound             the size of an input could not be taken (none given, missing, a
//                        directory); nothing has been opened yet
//   CannotOpen, NotRegular, Io, Changed
//                        an input could not be opened or read whole, or the output could
//                        not be made or written (Error::path says which)
//   Format               no usable marker, old drives that cannot be cut off, or an NDS
//                        header that cannot be filled
//   Capacity             the output would reach 2 GiB
Result<AttachReport> AttachDrives(const AttachRequest& request);

// Smallest power of two >= size (size >= 1).
std::uint64_t NextPowerOfTwo(std::uint64_t size);

}  // namespace kivo::rom
