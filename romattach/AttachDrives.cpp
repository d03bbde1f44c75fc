#include "romattach/AttachDrives.h"

#include <algorithm>
#include <span>
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

// The host, then each drive given, in the order they go into the output.
using Inputs = std::vector<Input>;

std::span<const Input> Drives(const Inputs& inputs) { return std::span(inputs).subspan(1); }

// The host's bytes that went to the output while the marker was searched for.
struct StreamedHost {
  std::uint64_t end = 0;
  Status status;
};

// What the output is made of, all decided before anything is written.
struct Plan {
  AttachReport report;
  BlockBytes block{};
  std::vector<std::byte> ndsHeader;  // empty: the host's header is copied as it is
};

Status CheckRequest(const AttachRequest& request) {
  if (request.output.empty()) return MakeError(ErrorKind::Invalid, "no output ROM given");
  if (request.drive0.empty() && request.drive1.empty()) {
    return MakeError(ErrorKind::Invalid, "no drive image given");
  }
  if (request.host.empty()) return MakeError(ErrorKind::NotFound, "no host ROM given");
  return {};
}

// Every size first, as Save does: nothing is opened before all of them are known. Then every
// input is opened before anything is decided, so an unreadable one stops the attach; the
// bytes are later copied from these open files.
Result<Inputs> OpenInputs(const AttachRequest& request) {
  Inputs inputs;
  for (const std::filesystem::path* path : {&request.host, &request.drive0, &request.drive1}) {
    if (!path->empty()) inputs.push_back({*path, 0, {}});
  }
  for (Input& input : inputs) {
    auto size = FileSize(input.path);
    KIVO_TRY(size);
    input.size = *size;
  }
  const Input& host = inputs.front();
  if (host.size > MaxRomSize) {
    return MakeError(ErrorKind::Capacity, Quoted(host.path) + " is " + std::to_string(host.size) +
                                              " bytes; a ROM must stay below 2 GiB",
                     host.path);
  }
  for (Input& input : inputs) {
    auto file = RomFile::Open(input.path);
    KIVO_TRY(file);
    input.file.emplace(std::move(*file));
  }
  if (host.file->size() != host.size) {
    return MakeError(ErrorKind::Changed, Quoted(host.path) + " changed size while it was read (" +
                                             std::to_string(host.size) + " -> " +
                                             std::to_string(host.file->size()) + " bytes)",
                     host.path);
  }
  return inputs;
}

// The block offset, found in one pass over the host whose bytes go to the output (when it
// could be made) as they are searched, so that only the rest is left for the kernel to copy.
Result<std::uint64_t> FindBlock(const Input& host, Result<OutputFile>& output,
                                StreamedHost& streamed) {
  RomFile::ChunkSink copyHost;
  if (output) {
    copyHost = [&](std::uint64_t at, ByteSpan bytes) {
      // The first failed write is the one reported: a later one must not overwrite it.
      if (!streamed.status) return;
      streamed.status = output->WriteAt(at, bytes);
      streamed.end = at + bytes.size();
    };
  }
  auto found = host.file->FindParamBlock(copyHost);
  KIVO_TRY(found);
  const std::string noMarker = "no usable KivoFSDrive marker in " + Quoted(host.path);
  if (!*found) return MakeError(ErrorKind::Format, noMarker + ": none found", host.path);
  if (!IsUsableBlock(host.size, **found)) {
    const std::uint64_t markerOffset = **found - MarkerSize;
    return MakeError(ErrorKind::Format,
                     noMarker + ": the first one, at offset " + std::to_string(markerOffset) +
                         ", leaves no room for the 17-byte parameter block before the end (" +
                         std::to_string(host.size) + " bytes)",
                     host.path);
  }
  return **found;
}

// A filled block points at drives already appended to this host: with `replace` the host is
// kept only up to them.
Status CutOldDrives(const AttachRequest& request, const Input& host, AttachReport& report) {
  auto blockBytes = host.file->Read(report.blockOffset, BlockSize);
  KIVO_TRY(blockBytes);
  ParamBlock previous = *DecodeParamBlock(*blockBytes, 0);
  report.hostBytes = host.size;
  if (previous.slot1Start == 0 || previous.slot1Start >= host.size) return {};
  report.previousBlock = previous;
  if (!request.replace) return {};
  if (!IsUsableBlock(previous.slot1Start, report.blockOffset)) {
    return MakeError(ErrorKind::Format,
                     "cannot cut the old drives off " + Quoted(host.path) + ": slot 1 starts at " +
                         std::to_string(previous.slot1Start) +
                         ", before the end of the parameter block (" +
                         std::to_string(report.blockOffset + BlockSize) + ")",
                     host.path);
  }
  report.hostBytes = previous.slot1Start;
  report.replaced = true;
  return {};
}

// The host's NDS header, when --nds-header may rewrite it: a DS cartridge header that holds
// the fields, no GBA output (whose cartridge logo lies where they are) and no block over them.
Result<std::vector<std::byte>> ReadNdsHeader(const AttachRequest& request, const RomFile& host,
                                             const AttachReport& report) {
  auto refuse = [&](const std::string& why) {
    return MakeError(ErrorKind::Format,
                     "cannot update the NDS header of " + Quoted(request.host) + ": " + why,
                     request.host);
  };
  if (RomKindOf(request.output) == RomKind::Gba) {
    return refuse("the output " + Quoted(request.output) +
                  " is a GBA ROM, whose cartridge logo and header lie where the NDS header's "
                  "fields are");
  }
  if (report.hostBytes < nds::HeaderSize) {
    return refuse("the host ROM has " + std::to_string(report.hostBytes) +
                  " bytes; the header needs " + std::to_string(nds::HeaderSize));
  }
  auto overlaps = [&](std::uint64_t field, std::uint64_t size) {
    return report.blockOffset < field + size && field < report.blockOffset + BlockSize;
  };
  if (overlaps(nds::DeviceCapacity, 1) || overlaps(nds::UsedRomSize, 4) ||
      overlaps(nds::HeaderCrc, 2)) {
    return refuse("the parameter block at " + std::to_string(report.blockOffset) +
                  " overlaps the header's capacity (0x14), used size (0x80) or CRC (0x15E)");
  }
  auto header = host.Read(0, nds::HeaderSize);
  KIVO_TRY(header);
  if (!IsNdsHeader(*header)) {
    return refuse(
        "it does not start with a DS cartridge header (a unit code up to 3 at 0x12, the ARM9 "
        "and ARM7 binaries behind the header and loaded into the DS's RAM, at 0x20 to 0x3F)");
  }
  return std::move(*header);
}

// The drives follow the host's bytes (and the padding a DS card needs before them), in the
// order given; the block gets their offsets.
Status PlaceDrives(const AttachRequest& request, const Inputs& inputs, Plan& plan) {
  AttachReport& report = plan.report;
  const std::uint64_t drivesStart = report.hostBytes + report.hostPadding;
  const std::span<const Input> drives = Drives(inputs);
  std::uint64_t total = drivesStart;
  for (const Input& drive : drives) total += drive.size;
  report.outputSize = request.padPow2 ? NextPowerOfTwo(total) : total;
  report.paddingBytes = report.outputSize - total;
  if (report.outputSize > MaxRomSize) {
    return MakeError(ErrorKind::Capacity,
                     "the output ROM " + Quoted(request.output) + " would be " +
                         std::to_string(report.outputSize) + " bytes; it must stay below 2 GiB",
                     request.output);
  }
  auto sizeOf = [&](std::size_t i) {
    return i < drives.size() ? std::optional(drives[i].size) : std::nullopt;
  };
  report.block = ComputeSlots(drivesStart, sizeOf(0), sizeOf(1), request.saveFlash);
  plan.block = EncodeParamBlock(report.block);
  return {};
}

// The header as the output will hold it: the host's, with the part of the block that falls
// inside it, then the used size (the drives' end; padding is not used), the capacity and the
// CRC.
void FillNdsHeader(Plan& plan) {
  AttachReport& report = plan.report;
  for (std::size_t i = 0; i < BlockSize && report.blockOffset + i < nds::HeaderSize; ++i) {
    plan.ndsHeader[static_cast<std::size_t>(report.blockOffset) + i] = plan.block[i];
  }
  report.ndsUsedSize = static_cast<std::uint32_t>(report.outputSize - report.paddingBytes);
  UpdateNdsHeader(plan.ndsHeader, *report.ndsUsedSize);
  report.ndsCapacity = static_cast<std::uint8_t>(plan.ndsHeader[nds::DeviceCapacity]);
  report.ndsHeaderCrc = LoadLE16(plan.ndsHeader, nds::HeaderCrc);
}

Result<Plan> PlanOutput(const AttachRequest& request, const Inputs& inputs,
                        std::uint64_t blockOffset) {
  Plan plan;
  plan.report.blockOffset = blockOffset;
  plan.report.markerOffset = blockOffset - MarkerSize;
  KIVO_TRY(CutOldDrives(request, inputs.front(), plan.report));
  if (request.ndsHeader) {
    auto header = ReadNdsHeader(request, *inputs.front().file, plan.report);
    KIVO_TRY(header);
    plan.ndsHeader = std::move(*header);
    // A DS program reads its card from 0x8000 on: the drives must not start before it.
    if (plan.report.hostBytes < nds::FirstCardOffset) {
      plan.report.hostPadding = nds::FirstCardOffset - plan.report.hostBytes;
    }
  }
  KIVO_TRY(PlaceDrives(request, inputs, plan));
  if (!plan.ndsHeader.empty()) FillNdsHeader(plan);
  return plan;
}

Status WriteHost(OutputFile& output, const RomFile& host, const Plan& plan,
                 std::uint64_t streamed) {
  const AttachReport& report = plan.report;
  // Old drives cut off may already have gone out with the host's bytes.
  KIVO_TRY(streamed > report.hostBytes
               ? output.Resize(report.hostBytes)
               : output.CopyFrom(host.file(), streamed, report.hostBytes - streamed, streamed));
  KIVO_TRY(output.WriteAt(report.blockOffset, plan.block));
  if (!plan.ndsHeader.empty()) KIVO_TRY(output.WriteAt(0, plan.ndsHeader));
  if (report.hostPadding == 0) return {};
  return output.WriteAt(report.hostBytes,
                        std::vector<std::byte>(static_cast<std::size_t>(report.hostPadding)));
}

Status WritePadding(OutputFile& output, std::uint64_t at, std::uint64_t end) {
  if (at >= end) return {};
  std::vector<std::byte> padding(
      static_cast<std::size_t>(std::min<std::uint64_t>(PaddingChunkSize, end - at)), PaddingByte);
  while (at < end) {
    auto length = static_cast<std::size_t>(std::min<std::uint64_t>(padding.size(), end - at));
    KIVO_TRY(output.WriteAt(at, ByteSpan(padding.data(), length)));
    at += length;
  }
  return {};
}

Status WriteOutput(OutputFile& output, const Inputs& inputs, const Plan& plan,
                   std::uint64_t streamed) {
  KIVO_TRY(WriteHost(output, *inputs.front().file, plan, streamed));
  std::uint64_t at = plan.report.hostBytes + plan.report.hostPadding;
  for (const Input& drive : Drives(inputs)) {
    KIVO_TRY(output.CopyFrom(drive.file->file(), 0, drive.size, at));
    at += drive.size;
  }
  return WritePadding(output, at, plan.report.outputSize);
}

}  // namespace

std::uint64_t NextPowerOfTwo(std::uint64_t size) {
  std::uint64_t power = 1;
  while (power < size) power <<= 1;
  return power;
}

Result<AttachReport> AttachDrives(const AttachRequest& request) {
  KIVO_TRY(CheckRequest(request));
  auto inputs = OpenInputs(request);
  KIVO_TRY(inputs);
  // The output is made before the search so that the host's bytes go to it as they are read,
  // but its failure is reported where it always was, after the checks; a failed attach drops
  // it.
  Result<OutputFile> output = OutputFile::Create(request.output);
  StreamedHost streamed;
  auto blockOffset = FindBlock(inputs->front(), output, streamed);
  KIVO_TRY(blockOffset);
  auto plan = PlanOutput(request, *inputs, *blockOffset);
  KIVO_TRY(plan);
  KIVO_TRY(output);
  KIVO_TRY(streamed.status);
  KIVO_TRY(WriteOutput(*output, *inputs, *plan, streamed.end));
  // Closed before the rename: Windows cannot replace a file that is still open, and the
  // output may be one of the inputs.
  inputs->clear();
  KIVO_TRY(output->Commit());
  return std::move(plan->report);
}

}  // namespace kivo::rom
