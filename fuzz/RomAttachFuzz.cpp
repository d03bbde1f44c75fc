// Any bytes as a host ROM and a drive image: the marker search agrees with a plain scan of
// every start up to R - 13, and where the block is usable the attached ROM keeps every host
// byte outside the block, holds the drives after the host unchanged, and its block names the
// first drive and the flag. The first byte gives the host's share of the rest, the second the
// drives and the flag.
#include "romattach/AttachDrives.h"
#include "romattach/Marker.h"
#include "fuzz/FuzzSupport.h"

using namespace kivo::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir scratch;
  if (size < 2) return 0;
  const std::string input = Input(data + 2, size - 2);
  const std::string host = input.substr(0, data[0] * input.size() / 255);
  const std::string drive = input.substr(host.size());
  const bool drive0 = data[1] & 1, drive1 = data[1] & 2, flash = data[1] & 4;
  const auto found = kivo::rom::FindParamBlock(Span(host));
  const std::size_t plain = host.size() < 13 ? std::string::npos
                                             : host.substr(0, host.size() - 2).find("KivoFSDrive");
  FUZZ_CHECK(found == (plain == std::string::npos ? std::nullopt : std::optional(plain + 11)));
  if (!found || !kivo::rom::IsUsableBlock(host.size(), *found)) return 0;
  WriteFile(scratch / "host.nds", host);
  WriteFile(scratch / "drive.kid", drive);
  auto report = kivo::rom::AttachDrives({.host = scratch / "host.nds",
                                         .drive0 = drive0 ? scratch / "drive.kid" : "",
                                         .drive1 = drive1 ? scratch / "drive.kid" : "",
                                         .output = scratch / "out.nds",
                                         .saveFlash = flash});
  FUZZ_CHECK(report.ok() == (drive0 || drive1));
  if (!report) return 0;
  const std::string out = ReadFile(scratch / "out.nds");
  const std::size_t end = *found + kivo::rom::BlockSize;
  FUZZ_CHECK(out.substr(0, *found) == host.substr(0, *found));
  FUZZ_CHECK(out.substr(end, host.size() - end) == host.substr(end));
  FUZZ_CHECK(out.substr(host.size()) == (drive0 ? drive : "") + (drive1 ? drive : ""));
  auto block = kivo::rom::DecodeParamBlock(Span(out), *found);
  FUZZ_CHECK(block && block->slot1Start == host.size() && block->saveFlash == (flash ? 1 : 0));
  return 0;
}
