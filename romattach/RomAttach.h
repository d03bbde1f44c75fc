// The parameter block that a prepared host ROM carries behind the marker "KivoFSDrive",
// and the slot values written into it. The program inside the ROM reads these 17 bytes,
// so nothing here may move.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "base/Bytes.h"

namespace kivo::rom {

inline constexpr std::string_view MarkerText = "KivoFSDrive";
inline constexpr std::size_t MarkerSize = 11;
inline constexpr std::size_t BlockSize = 17;

// The search only looks at starts up to R - 13, so a found marker leaves at least two bytes.
inline constexpr std::size_t MarkerTailRoom = 2;
// The block is usable only when all of it lies inside the host ROM: marker start <= R - 28.
inline constexpr std::size_t MarkerAndBlockSize = MarkerSize + BlockSize;

// Offsets in the block are signed 32-bit: the output ROM stays below 2 GiB.
inline constexpr std::uint64_t MaxRomSize = 0x7FFFFFFFu;

static_assert(MarkerText.size() == MarkerSize);
static_assert(MarkerAndBlockSize == 28);
static_assert(MarkerSize + MarkerTailRoom == 13);

// A GBA program sees the cartridge from 0x08000000 to 0x09FFFFFF: the first 32 MiB of the
// .gba file. A drive byte at or past this offset cannot be read.
inline constexpr std::uint64_t GbaWindowSize = std::uint64_t{32} << 20;

// The NDS cartridge header at the start of an .nds file. ROM trimmers cut the file at its
// total used ROM size, so that field has to reach past the attached drives; emulators and
// loaders take the cartridge's size from the device capacity.
namespace nds {
inline constexpr std::size_t UnitCode = 0x12;        // 0 to 3 on a DS cartridge
inline constexpr std::size_t DeviceCapacity = 0x14;  // the cartridge holds 128 KiB << n bytes
inline constexpr std::size_t Arm9RomOffset = 0x20;   // 32-bit little-endian
inline constexpr std::size_t Arm9LoadAddress = 0x28;
inline constexpr std::size_t Arm7RomOffset = 0x30;
inline constexpr std::size_t Arm7LoadAddress = 0x38;
inline constexpr std::size_t UsedRomSize = 0x80;  // 32-bit little-endian
inline constexpr std::size_t HeaderCrc = 0x15E;   // 16-bit little-endian, over bytes 0 to 0x15D
inline constexpr std::size_t HeaderSize = 0x160;
// CRC-16 over the header: polynomial 0x8005 reflected, initial value 0xFFFF, no final inversion.
inline constexpr std::uint16_t CrcPolynomial = 0xA001;
inline constexpr std::uint16_t CrcInitial = 0xFFFF;
inline constexpr std::uint64_t CapacityUnit = 128 * 1024;
inline constexpr std::uint8_t MaxUnitCode = 3;
// A DS program reads its card with the data-read command, which reaches offsets from 0x8000
// on only: a drive below it cannot be read through the card bus.
inline constexpr std::uint64_t FirstCardOffset = 0x8000;
// Where the ARM9 and ARM7 binaries may be loaded: main RAM up to the ARM7's work RAM.
inline constexpr std::uint32_t MainRam = 0x02000000;
inline constexpr std::uint32_t Arm9RamEnd = 0x02400000;
inline constexpr std::uint32_t Arm7RamEnd = 0x03810000;
}  // namespace nds

static_assert(GbaWindowSize == 33554432);
static_assert(nds::UsedRomSize + 4 <= nds::HeaderCrc);
static_assert(nds::HeaderCrc + 2 == nds::HeaderSize);
static_assert(nds::DeviceCapacity < nds::Arm9RomOffset);
static_assert(nds::Arm7LoadAddress + 4 <= nds::UsedRomSize);

using BlockBytes = std::array<std::byte, BlockSize>;

// The five fields of the block. Ends are inclusive; an empty image has end = start - 1.
struct ParamBlock {
  std::uint32_t slot1Start = 0;
  std::uint32_t slot1End = 0;
  std::uint32_t slot2Start = 0;
  std::uint32_t slot2End = 0;
  std::uint8_t saveFlash = 0;

  friend bool operator==(const ParamBlock&, const ParamBlock&) = default;
};

// Where the block keeps them: the four slot offsets as 32-bit little-endian values, one after
// the other from byte 0 on, then the saveflash byte.
namespace block {
inline constexpr std::array SlotFields = {&ParamBlock::slot1Start, &ParamBlock::slot1End,
                                          &ParamBlock::slot2Start, &ParamBlock::slot2End};
inline constexpr std::size_t SlotFieldSize = 4;
inline constexpr std::size_t SaveFlash = SlotFields.size() * SlotFieldSize;
}  // namespace block

static_assert(block::SaveFlash == 16);
static_assert(block::SaveFlash + 1 == BlockSize);

// Slot values for an output ROM of `hostSize` bytes followed by the given drives. A single
// drive takes slot 1 whichever of the two it was given as; slot 2 is then all zero.
// The caller keeps hostSize + drives below 2 GiB.
ParamBlock ComputeSlots(std::uint64_t hostSize, std::optional<std::uint64_t> drive0Size,
                        std::optional<std::uint64_t> drive1Size, bool saveFlash);

BlockBytes EncodeParamBlock(const ParamBlock& values);
// Reads the block at `blockOffset`, or nothing when it does not lie wholly inside `rom`.
std::optional<ParamBlock> DecodeParamBlock(ByteSpan rom, std::uint64_t blockOffset);

// The kind of ROM a file name says, by its extension in any case.
enum class RomKind { Nds, Gba, Other };
RomKind RomKindOf(const std::filesystem::path& path);

// Whether a drive of `length` bytes at offset `start` has a byte a GBA program cannot see.
constexpr bool PassesGbaWindow(std::uint64_t start, std::uint64_t length) {
  return length > 0 && start + length > GbaWindowSize;
}

// The NDS header CRC of `bytes` (the header's first HeaderCrc bytes).
std::uint16_t NdsHeaderCrc(ByteSpan bytes);

// Whether `header` (at least nds::HeaderSize bytes) is a DS cartridge header: a unit code of
// a DS and both binaries behind the header, loaded where a DS runs them. A GBA ROM's header
// (whose logo lies where a DS keeps these fields) or arbitrary bytes are not.
bool IsNdsHeader(ByteSpan header);

// The smallest capacity code n whose 128 KiB << n bytes hold `size` bytes.
std::uint8_t NdsCapacityFor(std::uint64_t size);
// The bytes that capacity code n stands for (for codes up to 40; larger ones are no cartridge).
std::uint64_t NdsCapacityBytes(std::uint8_t code);

// Stores `usedSize` as the total used ROM size of the header that `header` (at least
// nds::HeaderSize bytes) begins with, raises the device capacity to hold it (a larger one
// stays: games may check their chip's size) and recomputes the header CRC; no other byte
// changes.
void UpdateNdsHeader(MutableByteSpan header, std::uint32_t usedSize);

// For a host cut off its drives: when the used size points past `hostSize`, sets it to
// `hostSize`, brings a capacity that is exactly the one the old used size needed (as
// UpdateNdsHeader leaves it) down to what `hostSize` needs, and recomputes the CRC. Whether
// anything changed.
bool RestoreNdsHeader(MutableByteSpan header, std::uint32_t hostSize);

}  // namespace kivo::rom
