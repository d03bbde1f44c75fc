// Any bytes as a ROM with drives attached, read as `kivofs rominfo` and `kivofs detach` do:
// the streamed marker search must agree with the in-memory one, and a detach either writes
// exactly the bytes each slot points at (and the host cut at slot 1 with its block zeroed)
// or writes nothing at all.
#include <cstddef>
#include <cstdint>
#include <string>

#include "romattach/AttachedRom.h"
#include "romattach/Marker.h"
#include "romattach/RomFile.h"
#include "fuzz/FuzzSupport.h"

using kivo::fuzz::Check;
namespace stdfs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kivo::fuzz::Scratch scratch("rominfo-fuzz");
  kivo::ByteSpan bytes = kivo::fuzz::AsBytes(data, size);
  const stdfs::path romPath = scratch.root() / "game.nds";
  const stdfs::path drives = scratch.root() / "drives";
  const stdfs::path hostPath = scratch.root() / "host.nds";
  kivo::fuzz::WriteFile(romPath, bytes);

  auto rom = kivo::rom::RomFile::Open(romPath);
  Check(rom.ok(), "cannot open the scratch ROM");
  auto streamed = rom->FindParamBlock();
  Check(streamed.ok(), "the streamed search failed on a readable file");
  Check(*streamed == kivo::rom::FindParamBlock(bytes), "streamed and in-memory searches differ");

  auto layout = kivo::rom::InspectRom(*rom);
  if (layout) {
    Check(kivo::rom::IsUsableBlock(size, layout->blockOffset), "a block past the end");
    for (const kivo::rom::SlotInfo& slot : layout->slots) {
      if (slot.state == kivo::rom::SlotState::DriveImage ||
          slot.state == kivo::rom::SlotState::NotDriveImage) {
        Check(kivo::InBounds(size, slot.start, slot.length()), "a slot inside yet out of bounds");
      }
    }
  } else {
    Check(layout.error().message.find(romPath.string()) != std::string::npos,
          "the error does not name the ROM");
  }

  auto detached = kivo::rom::DetachDrives({romPath, drives, hostPath});
  if (!detached) {
    Check(!stdfs::exists(hostPath), "a failed detach wrote the host ROM");
    if (stdfs::exists(drives)) Check(stdfs::is_empty(drives), "a failed detach wrote a drive");
  } else {
    Check(layout.ok(), "detach succeeded where inspection failed");
    std::uint64_t cut = size;
    for (std::size_t i = 0; i < 2; ++i) {
      const kivo::rom::SlotInfo& slot = detached->layout.slots[i];
      stdfs::path drive = drives / ("drive" + std::to_string(i) + ".kid");
      if (slot.state == kivo::rom::SlotState::Empty) {
        Check(!stdfs::exists(drive), "an empty slot was written");
        continue;
      }
      cut = std::min<std::uint64_t>(cut, slot.start);
      std::string written = kivo::fuzz::ReadFile(drive);
      Check(written.size() == slot.length(), "a drive of the wrong length");
      Check(written.compare(0, std::string::npos, reinterpret_cast<const char*>(data) + slot.start,
                            slot.length()) == 0,
            "a drive's bytes differ from the slot's");
    }
    std::string host = kivo::fuzz::ReadFile(hostPath);
    Check(host.size() == cut && detached->hostBytes == cut, "the host ROM is not cut at slot 1");
    std::uint64_t block = detached->layout.blockOffset;
    for (std::size_t i = 0; i < cut; ++i) {
      bool inBlock = i >= block && i < block + kivo::rom::BlockSize;
      Check(host[i] == (inBlock ? '\0' : static_cast<char>(data[i])), "host bytes changed");
    }
  }
  stdfs::remove_all(drives);
  stdfs::remove(hostPath);
  return 0;
}
