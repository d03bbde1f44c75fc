// Any bytes as a host ROM: the fast marker search must agree with the plain scan, and when a
// usable block is found, the assembly must keep every host byte outside the block and append
// the drives unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "tests/romattach/Assembly.h"
#include "romattach/Marker.h"

namespace {

std::optional<std::uint64_t> PlainScan(kivo::ByteSpan rom) {
  if (rom.size() <= 12) return std::nullopt;
  for (std::size_t i = 0; i + 13 <= rom.size(); ++i) {
    bool match = true;
    for (std::size_t k = 0; k < kivo::rom::MarkerSize && match; ++k) {
      match = rom[i + k] == static_cast<std::byte>(kivo::rom::MarkerText[k]);
    }
    if (match) return i + kivo::rom::MarkerSize;
  }
  return std::nullopt;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte splits the input into host and drive; the second picks drives and flag.
  std::size_t split = 2 + (data[0] * (size - 2)) / 255;
  std::uint8_t mode = data[1];
  kivo::ByteSpan all(reinterpret_cast<const std::byte*>(data), size);
  kivo::ByteSpan host = all.subspan(2, split - 2);
  kivo::ByteSpan drive = all.subspan(split);

  auto found = kivo::rom::FindParamBlock(host);
  Check(found == PlainScan(host));
  if (!found) return 0;

  std::optional<kivo::ByteSpan> drive0 = (mode & 1) ? std::optional(drive) : std::nullopt;
  std::optional<kivo::ByteSpan> drive1 = (mode & 2) ? std::optional(drive) : std::nullopt;
  auto out = kivo::rom::AssembleRom(host, drive0, drive1, (mode & 4) != 0, *found);
  bool usable = kivo::rom::IsUsableBlock(host.size(), *found);
  Check(out.ok() == (usable && (drive0 || drive1)));
  if (!out) return 0;
  std::size_t expected = host.size() + (drive0 ? drive.size() : 0) + (drive1 ? drive.size() : 0);
  Check(out->size() == expected);
  for (std::size_t i = 0; i < host.size(); ++i) {
    if (i < *found || i >= *found + kivo::rom::BlockSize) Check((*out)[i] == host[i]);
  }
  for (std::size_t i = host.size(); i < out->size(); ++i) {
    Check((*out)[i] == drive[(i - host.size()) % (drive.empty() ? 1 : drive.size())]);
  }
  auto block = kivo::rom::DecodeParamBlock(*out, *found);
  Check(block && block->slot1Start == host.size() && block->saveFlash == ((mode & 4) ? 1 : 0));
  return 0;
}
