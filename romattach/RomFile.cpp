#include "romattach/RomFile.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "romattach/Marker.h"

namespace kivo::rom {
namespace {

// The bytes at the end of a chunk that may start a marker which the next chunk completes.
constexpr std::size_t CarrySize = MarkerSize - 1;

}  // namespace

Result<RomFile> RomFile::Open(const std::filesystem::path& path) {
  auto file = File::Open(path, Access::Read, "open");
  KIVO_TRY(file);
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
  KIVO_TRY(file_.ReadAt(offset, bytes));
  return bytes;
}

Result<std::optional<std::uint64_t>> RomFile::FindParamBlock(const ChunkSink& sink) const {
  // Only markers that end at least two bytes before the end qualify.
  if (size() <= MarkerSize + 1) return std::optional<std::uint64_t>();
  const std::uint64_t limit = size() - MarkerTailRoom;
  // The carried bytes, then the chunk.
  std::vector<std::byte> buffer(
      CarrySize + static_cast<std::size_t>(std::min<std::uint64_t>(SearchChunkSize, limit)));
  std::size_t kept = 0;
  for (std::uint64_t at = 0; at < limit;) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(SearchChunkSize, limit - at));
    MutableByteSpan chunk(buffer.data() + kept, want);
    KIVO_TRY(file_.ReadAt(at, chunk));
    if (sink) sink(at, chunk);
    std::size_t have = kept + want;
    if (auto hit = FindMarker(ByteSpan(buffer.data(), have))) {
      return std::optional<std::uint64_t>(at - kept + *hit + MarkerSize);
    }
    std::size_t carry = std::min(have, CarrySize);
    std::memmove(buffer.data(), buffer.data() + have - carry, carry);
    kept = carry;
    at += want;
  }
  return std::optional<std::uint64_t>();
}

}  // namespace kivo::rom
