#include "romattach/RomFile.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "romattach/Marker.h"

namespace kivo::rom {
namespace {

// Markers usually sit near the start of a ROM: read a little first, then more and more.
constexpr std::size_t FirstSearchChunk = std::size_t{64} << 10;
constexpr std::size_t SearchChunkSize = std::size_t{4} << 20;

}  // namespace

Result<RomFile> RomFile::Open(const std::filesystem::path& path) {
  auto file = File::Open(path, Access::Read, "open");
  if (!file) return file.error();
  return RomFile(std::move(*file));
}

Result<std::vector<std::byte>> RomFile::Read(std::uint64_t offset, std::uint64_t length) const {
  if (!InBounds(size(), offset, length)) {
    return MakeError(ErrorKind::Format, "cannot read " + Quoted(path()) + ": bytes " +
                                            std::to_string(offset) + " to " +
                                            std::to_string(offset + length) +
                                            " lie past its end (" + std::to_string(size()) +
                                            " bytes)",
                     path());
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(length));
  Status read = file_.ReadAt(offset, bytes);
  if (!read) return read.error();
  return bytes;
}

Result<std::optional<std::uint64_t>> RomFile::FindParamBlock() const {
  // Only markers that end at least two bytes before the end qualify.
  if (size() <= MarkerSize + 1) return std::optional<std::uint64_t>();
  const std::uint64_t limit = size() - MarkerTailRoom;
  std::vector<std::byte> buffer(
      static_cast<std::size_t>(std::min<std::uint64_t>(SearchChunkSize + MarkerSize - 1, limit)));
  std::uint64_t base = 0;  // file offset of buffer[0]
  std::size_t kept = 0;    // bytes carried over from the previous chunk
  std::size_t chunk = FirstSearchChunk;
  while (base + kept < limit) {
    auto want = static_cast<std::size_t>(
        std::min<std::uint64_t>({buffer.size() - kept, chunk, limit - base - kept}));
    chunk = std::min(chunk * 2, SearchChunkSize);
    Status read = file_.ReadAt(base + kept, MutableByteSpan(buffer.data() + kept, want));
    if (!read) return read.error();
    std::size_t have = kept + want;
    if (auto hit = FindMarker(ByteSpan(buffer.data(), have))) {
      return std::optional<std::uint64_t>(base + *hit + MarkerSize);
    }
    // A marker may straddle two chunks: keep the tail that could start one.
    std::size_t carry = std::min(have, MarkerSize - 1);
    std::memmove(buffer.data(), buffer.data() + have - carry, carry);
    base += have - carry;
    kept = carry;
  }
  return std::optional<std::uint64_t>();
}

}  // namespace kivo::rom
