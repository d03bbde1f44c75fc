// Any bytes as a ROM with drives attached, read as `kivofs rominfo` and `kivofs detach` read
// it: the streamed marker search agrees with the one in memory, every slot said to hold bytes
// lies inside the ROM, and a detach either writes exactly the bytes each slot points at (and
// the host cut at slot 1 with its block zeroed) or writes nothing at all.
#include "romattach/AttachedRom.h"
#include "romattach/Marker.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;
using kivo::rom::SlotState;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  const std::string bytes = Input(data, size);
  const stdfs::path game = scratch / "game.nds", host = scratch / "host.nds";
  WriteFile(game, bytes);
  auto rom = kivo::rom::RomFile::Open(game);
  FUZZ_CHECK(rom.ok());
  auto streamed = rom->FindParamBlock();
  FUZZ_CHECK(streamed.ok() && *streamed == kivo::rom::FindParamBlock(Span(bytes)));
  auto layout = kivo::rom::InspectRom(*rom);
  FUZZ_CHECK(Explained(layout, game.string()));
  for (std::size_t i = 0; layout && i < 2; ++i) {
    const auto& slot = layout->slots[i];
    if (slot.state != SlotState::DriveImage && slot.state != SlotState::NotDriveImage) continue;
    FUZZ_CHECK(kivo::InBounds(size, slot.start, slot.length()));
  }
  auto detached = kivo::rom::DetachDrives({game, scratch / "drives", host});
  FUZZ_CHECK(!detached || layout);
  std::uint64_t cut = size;
  for (std::size_t i = 0; i < 2; ++i) {
    // Written for every slot that is not empty, and only by a detach that succeeds.
    const stdfs::path drive = scratch / "drives" / ("drive" + std::to_string(i) + ".kid");
    if (!detached || detached->layout.slots[i].state == SlotState::Empty) {
      FUZZ_CHECK(!stdfs::exists(drive));
      continue;
    }
    const auto& slot = detached->layout.slots[i];
    cut = std::min<std::uint64_t>(cut, slot.start);
    FUZZ_CHECK(ReadFile(drive) == bytes.substr(slot.start, slot.length()));
  }
  stdfs::remove_all(scratch / "drives");
  FUZZ_CHECK(stdfs::exists(host) == detached.ok());
  if (!detached) return 0;
  std::string expected = bytes.substr(0, cut);
  expected.replace(detached->layout.blockOffset, kivo::rom::BlockSize, kivo::rom::BlockSize, '\0');
  FUZZ_CHECK(ReadFile(host) == expected);
  FUZZ_CHECK(detached->hostBytes == cut);
  stdfs::remove(host);
  return 0;
}
