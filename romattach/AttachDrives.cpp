#include "romattach/AttachDrives.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/File.h"
#include "romattach/Marker.h"
#include "romattach/RomFile.h"

namespace kivo::rom {
namespace {

constexpr std::size_t PaddingChunkSize = std::size_t{1} << 20;
constexpr std::byte PaddingByte{0xFF};

struct Input {
  std::filesystem::path path;
  std::uint64_t size = 0;
  std::optional<RomFile> file;
};

// The host's NDS header, when --nds-header may rewrite it: a DS cartridge header that holds
// the fields, no GBA output (whose cartridge logo lies where they are) and no block over them.
Result<std::vector<std::byte>> ReadNdsHeader(const AttachRequest& request, const RomFile& host,
                                             const AttachReport& report) {
  auto refuse = [&](const std::string& why) {
    return MakeError(ErrorKind::Format, "cannot update the NDS header of " + Quoted(request.host) + ": " + why,
                     request.host);
  };
  if (RomKindOf(request.output) == RomKind::Gba) {
    return refuse("the output " + Quoted(request.output) +
                  " is a GBA ROM, whose cartridge logo and header lie where the NDS header's fields are");
  }
  if (report.hostBytes < nds::HeaderSize) {
    return refuse("the host ROM has " + std::to_string(report.hostBytes) + " bytes; the header needs " +
                  std::to_string(nds::HeaderSize));
  }
  auto overlaps = [&](std::uint64_t field, std::uint64_t size) {
    return report.blockOffset < field + size && field < report.blockOffset + BlockSize;
  };
  if (overlaps(nds::DeviceCapacity, 1) || overlaps(nds::UsedRomSize, 4) || overlaps(nds::HeaderCrc, 2)) {
    return refuse("the parameter block at " + std::to_string(report.blockOffset) +
                  " overlaps the header's capacity (0x14), used size (0x80) or CRC (0x15E)");
  }
  auto header = host.Read(0, nds::HeaderSize);
  if (!header) return header.error();
  if (!IsNdsHeader(*header)) {
    return refuse("it does not start with a DS cartridge header (a unit code up to 3 at 0x12, the ARM9 and "
                  "ARM7 binaries behind the header and loaded into the DS's RAM, at 0x20 to 0x3F)");
  }
  return std::move(*header);
}

}  // namespace

std::uint64_t NextPowerOfTwo(std::uint64_t size) {
  std::uint64_t power = 1;
  while (power < size) power <<= 1;
  return power;
}

Result<AttachReport> AttachDrives(const AttachRequest& request) {
  if (request.output.empty()) {
    return MakeError(ErrorKind::Invalid, "no output ROM given");
  }
  if (request.drive0.empty() && request.drive1.empty()) {
    return MakeError(ErrorKind::Invalid, "no drive image given");
  }
  if (request.host.empty()) {
    return MakeError(ErrorKind::NotFound, "no host ROM given");
  }

  // Every size first, as Save does: nothing is opened before all of them are known.
  Input host{request.host, 0, {}};
  std::optional<Input> drive0;
  std::optional<Input> drive1;
  if (!request.drive0.empty()) drive0 = Input{request.drive0, 0, {}};
  if (!request.drive1.empty()) drive1 = Input{request.drive1, 0, {}};
  for (Input* input : {&host, drive0 ? &*drive0 : nullptr, drive1 ? &*drive1 : nullptr}) {
    if (input == nullptr) continue;
    auto size = FileSize(input->path);
    if (!size) return size.error();
    input->size = *size;
  }
  if (host.size > MaxRomSize) {
    return MakeError(ErrorKind::Capacity, Quoted(host.path) + " is " + std::to_string(host.size) +
                                              " bytes; a ROM must stay below 2 GiB",
                     host.path);
  }

  // Open every input before deciding anything, so an unreadable one stops the attach; the
  // bytes are later copied from these open files.
  for (Input* input : {&host, drive0 ? &*drive0 : nullptr, drive1 ? &*drive1 : nullptr}) {
    if (input == nullptr) continue;
    auto file = RomFile::Open(input->path);
    if (!file) return file.error();
    input->file.emplace(std::move(*file));
  }
  const RomFile& hostFile = *host.file;
  if (hostFile.size() != host.size) {
    return MakeError(ErrorKind::Changed, Quoted(host.path) + " changed size while it was read (" +
                                             std::to_string(host.size) + " -> " +
                                             std::to_string(hostFile.size()) + " bytes)",
                     host.path);
  }

  // One pass over the host: its bytes go to the output as they are searched, and only the
  // rest after the marker is copied by the kernel. The output is made first but its failure
  // is reported where it always was, after the checks below; a failed attach drops it.
  Result<OutputFile> output = OutputFile::Create(request.output);
  std::uint64_t streamed = 0;
  Status streamStatus;
  RomFile::ChunkSink copyHost;
  if (output) {
    copyHost = [&](std::uint64_t at, ByteSpan bytes) {
      if (!streamStatus) return;
      streamStatus = output->WriteAt(at, bytes);
      streamed = at + bytes.size();
    };
  }
  auto found = hostFile.FindParamBlock(copyHost);
  if (!found) return found.error();
  if (!*found) {
    return MakeError(ErrorKind::Format,
                     "no usable KivoFSDrive marker in " + Quoted(host.path) + ": none found",
                     host.path);
  }
  AttachReport report;
  report.blockOffset = **found;
  report.markerOffset = report.blockOffset - MarkerSize;
  if (!IsUsableBlock(host.size, report.blockOffset)) {
    return MakeError(ErrorKind::Format,
                     "no usable KivoFSDrive marker in " + Quoted(host.path) +
                         ": the first one, at offset " + std::to_string(report.markerOffset) +
                         ", leaves no room for the 17-byte parameter block before the end (" +
                         std::to_string(host.size) + " bytes)",
                     host.path);
  }
  auto blockBytes = hostFile.Read(report.blockOffset, BlockSize);
  if (!blockBytes) return blockBytes.error();
  ParamBlock previous = *DecodeParamBlock(*blockBytes, 0);

  // A filled block points at drives already appended to this host.
  report.hostBytes = host.size;
  if (previous.slot1Start != 0 && previous.slot1Start < host.size) {
    report.previousBlock = previous;
    if (request.replace) {
      if (!IsUsableBlock(previous.slot1Start, report.blockOffset)) {
        return MakeError(ErrorKind::Format,
                         "cannot cut the old drives off " + Quoted(host.path) +
                             ": slot 1 starts at " + std::to_string(previous.slot1Start) +
                             ", before the end of the parameter block (" +
                             std::to_string(report.blockOffset + BlockSize) + ")",
                         host.path);
      }
      report.hostBytes = previous.slot1Start;
      report.replaced = true;
    }
  }

  std::vector<std::byte> ndsHeader;
  if (request.ndsHeader) {
    auto header = ReadNdsHeader(request, hostFile, report);
    if (!header) return header.error();
    ndsHeader = std::move(*header);
    // A DS program reads its card from 0x8000 on: the drives must not start before it.
    if (report.hostBytes < nds::FirstCardOffset) report.hostPadding = nds::FirstCardOffset - report.hostBytes;
  }
  const std::uint64_t drivesStart = report.hostBytes + report.hostPadding;
  std::uint64_t size0 = drive0 ? drive0->size : 0;
  std::uint64_t size1 = drive1 ? drive1->size : 0;
  std::uint64_t total = drivesStart + size0 + size1;
  report.outputSize = request.padPow2 ? NextPowerOfTwo(total) : total;
  report.paddingBytes = report.outputSize - total;
  if (report.outputSize > MaxRomSize) {
    return MakeError(ErrorKind::Capacity,
                     "the output ROM " + Quoted(request.output) + " would be " +
                         std::to_string(report.outputSize) + " bytes; it must stay below 2 GiB",
                     request.output);
  }
  report.block = ComputeSlots(drivesStart, drive0 ? std::optional(size0) : std::nullopt,
                              drive1 ? std::optional(size1) : std::nullopt, request.saveFlash);
  BlockBytes block = EncodeParamBlock(report.block);

  if (!ndsHeader.empty()) {
    // The header as the output will hold it: the host's, with the part of the block that
    // falls inside it, then the used size (the drives' end; padding is not used), the
    // capacity and the CRC.
    for (std::size_t i = 0; i < BlockSize && report.blockOffset + i < nds::HeaderSize; ++i) {
      ndsHeader[static_cast<std::size_t>(report.blockOffset) + i] = block[i];
    }
    report.ndsUsedSize = static_cast<std::uint32_t>(total);
    UpdateNdsHeader(ndsHeader, *report.ndsUsedSize);
    report.ndsCapacity = static_cast<std::uint8_t>(ndsHeader[nds::DeviceCapacity]);
    report.ndsHeaderCrc = LoadLE16(ndsHeader, nds::HeaderCrc);
  }

  if (!output) return output.error();
  if (!streamStatus) return streamStatus.error();
  // Old drives cut off may already have gone out with the host's bytes.
  Status status = streamed > report.hostBytes
                      ? output->Resize(report.hostBytes)
                      : output->CopyFrom(hostFile.file(), streamed, report.hostBytes - streamed,
                                         streamed);
  if (status) status = output->WriteAt(report.blockOffset, block);
  if (status && !ndsHeader.empty()) status = output->WriteAt(0, ndsHeader);
  if (status && report.hostPadding > 0) {
    status = output->WriteAt(report.hostBytes, std::vector<std::byte>(static_cast<std::size_t>(report.hostPadding)));
  }
  std::uint64_t at = drivesStart;
  for (const std::optional<Input>* drive : {&drive0, &drive1}) {
    if (!status || !*drive) continue;
    status = output->CopyFrom((*drive)->file->file(), 0, (*drive)->size, at);
    at += (*drive)->size;
  }
  if (status && report.paddingBytes > 0) {
    std::vector<std::byte> padding(
        static_cast<std::size_t>(std::min<std::uint64_t>(PaddingChunkSize, report.paddingBytes)),
        PaddingByte);
    while (status && at < report.outputSize) {
      auto length = static_cast<std::size_t>(
          std::min<std::uint64_t>(padding.size(), report.outputSize - at));
      status = output->WriteAt(at, ByteSpan(padding.data(), length));
      at += length;
    }
  }
  // Closed before the rename: Windows cannot replace a file that is still open, and the
  // output may be one of the inputs.
  for (Input* input : {&host, drive0 ? &*drive0 : nullptr, drive1 ? &*drive1 : nullptr}) {
    if (input != nullptr) input->file.reset();
  }
  if (status) status = output->Commit();
  if (!status) return status.error();
  return report;
}

}  // namespace kivo::rom
