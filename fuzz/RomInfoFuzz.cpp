// Any bytes as a ROM with drives attached, read as `kivofs rominfo` and `kivofs detach` read
// it: the streamed marker search agrees with the one in memory, and a detach either writes
// exactly the bytes each slot points at (and the host cut at slot 1 with its block zeroed) or
// writes nothing at all.
#include "romattach/AttachedRom.h"
#include "romattach/Marker.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using kivo::rom::SlotState;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  const std::string bytes = Input(data, size);
  WriteFile(scratch / "game.nds", bytes);
  auto rom = kivo::rom::RomFile::Open(scratch / "game.nds");
  Check(rom.ok(), "cannot open the scratch ROM");
  auto streamed = rom->FindParamBlock();
  Check(streamed.ok() && *streamed == kivo::rom::FindParamBlock(Span(bytes)), "streamed and in-memory searches differ");
  auto layout = kivo::rom::InspectRom(*rom);
  Check(layout || layout.error().message.find((scratch / "game.nds").string()) != std::string::npos, "the error does not name the ROM");
  for (std::size_t i = 0; layout && i < 2; ++i) {
    const auto& slot = layout->slots[i];
    bool inside = slot.state == SlotState::DriveImage || slot.state == SlotState::NotDriveImage;
    Check(!inside || kivo::InBounds(size, slot.start, slot.length()), "a slot inside yet out of bounds");
  }
  auto detached = kivo::rom::DetachDrives({scratch / "game.nds", scratch / "drives", scratch / "host.nds"});
  Check(!detached || layout, "detach succeeded where inspection failed");
  std::uint64_t cut = size;
  for (std::size_t i = 0; i < 2; ++i) {
    const stdfs::path drive = scratch / "drives" / ("drive" + std::to_string(i) + ".kid");
    if (!detached || detached->layout.slots[i].state == SlotState::Empty) {
      Check(!stdfs::exists(drive), "a drive written for an empty slot or by a failed detach");
      continue;
    }
    const auto& slot = detached->layout.slots[i];
    cut = std::min<std::uint64_t>(cut, slot.start);
    Check(ReadFile(drive) == bytes.substr(slot.start, slot.length()), "a drive's bytes differ from its slot's");
  }
  std::string expected = bytes.substr(0, cut);
  if (detached) expected.replace(detached->layout.blockOffset, kivo::rom::BlockSize, kivo::rom::BlockSize, '\0');
  Check(detached ? ReadFile(scratch / "host.nds") == expected && detached->hostBytes == cut : !stdfs::exists(scratch / "host.nds"),
        "the host ROM is not cut at slot 1 with its block zeroed, or a failed detach wrote it");
  stdfs::remove_all(scratch / "drives"), stdfs::remove(scratch / "host.nds");
  return 0;
}
