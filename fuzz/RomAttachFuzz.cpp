// Any bytes as a host ROM and a drive image: the marker search agrees with a plain scan of
// every start up to R - 13, and where the block is usable the attached ROM keeps every host
// byte outside the block, holds the drives after the host unchanged, and its block says so.
// The first byte gives the host's share of the rest, the second the drives and the flag.
#include "romattach/AttachDrives.h"
#include "romattach/Marker.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  if (size < 2) return 0;
  const std::string input = Input(data + 2, size - 2), host = input.substr(0, data[0] * input.size() / 255);
  const std::string drive = input.substr(host.size());
  const bool drive0 = data[1] & 1, drive1 = data[1] & 2, flash = data[1] & 4;
  auto found = kivo::rom::FindParamBlock(Span(host));
  std::size_t plain = host.size() > 12 ? host.substr(0, host.size() - 2).find("KivoFSDrive") : std::string::npos;
  Check(found == (plain == std::string::npos ? std::nullopt : std::optional<std::uint64_t>(plain + 11)), "search and scan differ");
  if (!found || !kivo::rom::IsUsableBlock(host.size(), *found)) return 0;
  WriteFile(scratch / "host.nds", host), WriteFile(scratch / "drive.kid", drive);
  const stdfs::path given = scratch / "drive.kid";
  auto report = kivo::rom::AttachDrives({scratch / "host.nds", drive0 ? given : "", drive1 ? given : "", scratch / "out.nds", flash, false, false, false});
  Check(report.ok() == (drive0 || drive1), "an attach refused or done by the wrong drives");
  if (!report) return 0;
  const std::string out = ReadFile(scratch / "out.nds");
  const std::size_t end = *found + kivo::rom::BlockSize;
  Check(out.substr(0, *found) == host.substr(0, *found) && out.substr(end, host.size() - end) == host.substr(end), "a host byte changed");
  Check(out.substr(host.size()) == (drive0 ? drive : "") + (drive1 ? drive : ""), "the drives are not appended unchanged");
  auto block = kivo::rom::DecodeParamBlock(Span(out), *found);
  Check(block && block->slot1Start == host.size() && block->saveFlash == (flash ? 1 : 0), "the block does not name the first drive");
  return 0;
}
