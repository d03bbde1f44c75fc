#include "romattach/AttachDrives.h"

#include <algorithm>
#include <vector>

#include "fsimage/FileIO.h"
#include "romattach/Marker.h"
#include "romattach/RomFile.h"

namespace kivo::rom {
namespace {

constexpr std::size_t PaddingChunkSize = std::size_t{1} << 20;
constexpr std::byte PaddingByte{0xFF};

AttachError Fail(AttachStage stage, ErrorKind kind, std::string message) {
  return AttachError{stage, MakeError(kind, std::move(message))};
}

AttachError Fail(AttachStage stage, Error error) { return AttachError{stage, std::move(error)}; }

// A failed copy is an input's fault when the source could not be opened, read, or shrank;
// anything else is the output's.
AttachStage CopyFailureStage(const Error& error) {
  if (error.kind == ErrorKind::Changed) return AttachStage::Open;
  if (error.message.starts_with("cannot open ") || error.message.starts_with("cannot read ")) {
    return AttachStage::Open;
  }
  return AttachStage::Write;
}

struct Input {
  std::filesystem::path path;
  std::uint64_t size = 0;
};

}  // namespace

std::uint64_t NextPowerOfTwo(std::uint64_t size) {
  std::uint64_t power = 1;
  while (power < size) power <<= 1;
  return power;
}

std::string SaveMessage(const AttachError& failure) {
  switch (failure.stage) {
    case AttachStage::NoOutputPath:
      return "The Save path for the new rom needs to be filled out";
    case AttachStage::NoDrive:
      return "one of the drive paths must be filled in to proceed";
    case AttachStage::Size:
      return "Error reading rom file";
    case AttachStage::Open:
    case AttachStage::Write:
      return "Error could't open file";
    case AttachStage::Marker:
    case AttachStage::Replace:
    case AttachStage::NdsHeader:
    case AttachStage::TooLarge:
      break;
  }
  return failure.error.message;
}

AttachResult AttachDrives(const AttachRequest& request) {
  if (request.output.empty()) {
    return Fail(AttachStage::NoOutputPath, ErrorKind::Invalid, "no output ROM given");
  }
  if (request.drive0.empty() && request.drive1.empty()) {
    return Fail(AttachStage::NoDrive, ErrorKind::Invalid, "no drive image given");
  }
  if (request.host.empty()) {
    return Fail(AttachStage::Size, ErrorKind::Invalid, "no host ROM given");
  }

  // Every size first, as Save does: nothing is opened before all of them are known.
  Input host{request.host};
  std::optional<Input> drive0;
  std::optional<Input> drive1;
  if (!request.drive0.empty()) drive0 = Input{request.drive0};
  if (!request.drive1.empty()) drive1 = Input{request.drive1};
  for (Input* input : {&host, drive0 ? &*drive0 : nullptr, drive1 ? &*drive1 : nullptr}) {
    if (input == nullptr) continue;
    auto size = FileSize(input->path);
    if (!size) return Fail(AttachStage::Size, size.error());
    input->size = *size;
  }
  if (host.size > MaxRomSize) {
    return Fail(AttachStage::TooLarge, ErrorKind::Capacity,
                Quoted(host.path) + " is " + std::to_string(host.size) +
                    " bytes; a ROM must stay below 2 GiB");
  }

  // Open every input before deciding anything, so an unreadable one stops the attach.
  auto hostFile = RomFile::Open(host.path);
  if (!hostFile) return Fail(AttachStage::Open, hostFile.error());
  for (const std::optional<Input>* drive : {&drive0, &drive1}) {
    if (!*drive) continue;
    auto file = RomFile::Open((*drive)->path);
    if (!file) return Fail(AttachStage::Open, file.error());
  }
  if (hostFile->size() != host.size) {
    return Fail(AttachStage::Open, ErrorKind::Changed,
                Quoted(host.path) + " changed size while it was read (" +
                    std::to_string(host.size) + " -> " + std::to_string(hostFile->size()) +
                    " bytes)");
  }

  auto found = hostFile->FindParamBlock();
  if (!found) return Fail(AttachStage::Open, found.error());
  if (!*found) {
    return Fail(AttachStage::Marker, ErrorKind::Format,
                "no usable KivoFSDrive marker in " + Quoted(host.path) + ": none found");
  }
  AttachReport report;
  report.blockOffset = **found;
  report.markerOffset = report.blockOffset - MarkerSize;
  if (!IsUsableBlock(host.size, report.blockOffset)) {
    return Fail(AttachStage::Marker, ErrorKind::Format,
                "no usable KivoFSDrive marker in " + Quoted(host.path) +
                    ": the first one, at offset " + std::to_string(report.markerOffset) +
                    ", leaves no room for the 17-byte parameter block before the end (" +
                    std::to_string(host.size) + " bytes)");
  }
  auto blockBytes = hostFile->Read(report.blockOffset, BlockSize);
  if (!blockBytes) return Fail(AttachStage::Open, blockBytes.error());
  ParamBlock previous = *DecodeParamBlock(*blockBytes, 0);

  // A filled block points at drives already appended to this host.
  report.hostBytes = host.size;
  if (previous.slot1Start != 0 && previous.slot1Start < host.size) {
    report.previousBlock = previous;
    if (request.replace) {
      if (!IsUsableBlock(previous.slot1Start, report.blockOffset)) {
        return Fail(AttachStage::Replace, ErrorKind::Format,
                    "cannot cut the old drives off " + Quoted(host.path) + ": slot 1 starts at " +
                        std::to_string(previous.slot1Start) +
                        ", before the end of the parameter block (" +
                        std::to_string(report.blockOffset + BlockSize) + ")");
      }
      report.hostBytes = previous.slot1Start;
      report.replaced = true;
    }
  }

  std::uint64_t size0 = drive0 ? drive0->size : 0;
  std::uint64_t size1 = drive1 ? drive1->size : 0;
  std::uint64_t total = report.hostBytes + size0 + size1;
  report.outputSize = request.padPow2 ? NextPowerOfTwo(total) : total;
  report.paddingBytes = report.outputSize - total;
  if (report.outputSize > MaxRomSize) {
    return Fail(AttachStage::TooLarge, ErrorKind::Capacity,
                "the output ROM " + Quoted(request.output) + " would be " +
                    std::to_string(report.outputSize) + " bytes; it must stay below 2 GiB");
  }
  report.block = ComputeSlots(report.hostBytes, drive0 ? std::optional(size0) : std::nullopt,
                              drive1 ? std::optional(size1) : std::nullopt, request.saveFlash);
  BlockBytes block = EncodeParamBlock(report.block);

  // The header as the output will hold it: the host's, with the part of the block that
  // falls inside it, then the used size (the drives' end; padding is not used) and the CRC.
  std::vector<std::byte> ndsHeader;
  if (request.ndsHeader) {
    auto refuse = [&](const std::string& why) {
      return Fail(AttachStage::NdsHeader, ErrorKind::Format,
                  "cannot update the NDS header of " + Quoted(host.path) + ": " + why);
    };
    if (report.hostBytes < nds::HeaderSize) {
      return refuse("the host ROM has " + std::to_string(report.hostBytes) +
                    " bytes; the header needs " + std::to_string(nds::HeaderSize));
    }
    auto overlaps = [&](std::uint64_t field, std::uint64_t size) {
      return report.blockOffset < field + size && field < report.blockOffset + BlockSize;
    };
    if (overlaps(nds::UsedRomSize, 4) || overlaps(nds::HeaderCrc, 2)) {
      return refuse("the parameter block at " + std::to_string(report.blockOffset) +
                    " overlaps the header's used size (0x80) or CRC (0x15E)");
    }
    auto header = hostFile->Read(0, nds::HeaderSize);
    if (!header) return Fail(AttachStage::Open, header.error());
    ndsHeader = std::move(*header);
    for (std::size_t i = 0; i < BlockSize && report.blockOffset + i < nds::HeaderSize; ++i) {
      ndsHeader[static_cast<std::size_t>(report.blockOffset) + i] = block[i];
    }
    report.ndsUsedSize = static_cast<std::uint32_t>(total);
    UpdateNdsHeader(ndsHeader, *report.ndsUsedSize);
    report.ndsHeaderCrc = LoadLE16(ndsHeader, nds::HeaderCrc);
  }

  auto output = OutputFile::Create(request.output);
  if (!output) return Fail(AttachStage::Write, output.error());
  auto copy = [&](const std::filesystem::path& source, std::uint64_t length,
                  std::uint64_t at) -> std::optional<AttachError> {
    Status copied = output->CopyFrom(source, 0, length, at);
    if (copied) return std::nullopt;
    return Fail(CopyFailureStage(copied.error()), copied.error());
  };
  if (auto failed = copy(host.path, report.hostBytes, 0)) return *failed;
  if (Status written = output->WriteAt(report.blockOffset, block); !written) {
    return Fail(AttachStage::Write, written.error());
  }
  if (!ndsHeader.empty()) {
    if (Status written = output->WriteAt(0, ndsHeader); !written) {
      return Fail(AttachStage::Write, written.error());
    }
  }
  std::uint64_t at = report.hostBytes;
  if (drive0) {
    if (auto failed = copy(drive0->path, size0, at)) return *failed;
    at += size0;
  }
  if (drive1) {
    if (auto failed = copy(drive1->path, size1, at)) return *failed;
    at += size1;
  }
  if (report.paddingBytes > 0) {
    std::vector<std::byte> padding(
        static_cast<std::size_t>(std::min<std::uint64_t>(PaddingChunkSize, report.paddingBytes)),
        PaddingByte);
    while (at < report.outputSize) {
      auto length = static_cast<std::size_t>(
          std::min<std::uint64_t>(padding.size(), report.outputSize - at));
      if (Status written = output->WriteAt(at, ByteSpan(padding.data(), length)); !written) {
        return Fail(AttachStage::Write, written.error());
      }
      at += length;
    }
  }
  if (Status committed = output->Commit(); !committed) {
    return Fail(AttachStage::Write, committed.error());
  }
  return report;
}

}  // namespace kivo::rom
