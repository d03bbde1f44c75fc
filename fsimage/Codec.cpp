#include "fsimage/Codec.h"

#include <algorithm>
#include <array>

namespace kivo::fs {
namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The header fields after the name, in the order they follow each other.
constexpr std::array<std::uint32_t ImageHeader::*, 8> LayoutFields{
    &ImageHeader::driveSize, &ImageHeader::bootSize, &ImageHeader::fatSize,
    &ImageHeader::rootSize,  &ImageHeader::dataSize, &ImageHeader::fatStart,
    &ImageHeader::rootStart, &ImageHeader::dataStart};
static_assert(header::DriveSize + 4 * LayoutFields.size() == header::End);

void StoreDate(MutableByteSpan record, std::uint32_t date, unsigned hour, unsigned minute,
               unsigned second) {
  record[entry::Date] = static_cast<std::byte>((date >> 16) & 0xFFu);
  record[entry::Date + 1] = static_cast<std::byte>((date >> 8) & 0xFFu);
  record[entry::Date + 2] = static_cast<std::byte>(date & 0xFFu);
  record[entry::Hour] = static_cast<std::byte>(hour & 0xFFu);
  record[entry::Minute] = static_cast<std::byte>(minute & 0xFFu);
  record[entry::Second] = static_cast<std::byte>(second & 0xFFu);
}

}  // namespace

void EncodeHeader(const ImageHeader& h, MutableByteSpan block) {
  std::fill(block.begin(), block.begin() + BootSize, std::byte{0});
  StoreLE32(block, header::Version, static_cast<std::uint32_t>(h.version));
  StoreFixedString(block, header::DriveName, DriveNameSize, StoredDriveName(h.driveName));
  for (std::size_t i = 0; i < LayoutFields.size(); ++i) {
    StoreLE32(block, header::DriveSize + 4 * i, h.*LayoutFields[i]);
  }
}

Result<ImageHeader> DecodeHeader(ByteSpan bytes, std::string_view source) {
  if (bytes.size() < header::End) {
    return MakeError(ErrorKind::Format, std::string(source) +
                                            " is too short to be a drive image (" +
                                            std::to_string(bytes.size()) + " bytes)");
  }
  ImageHeader h;
  h.version = static_cast<std::int32_t>(LoadLE32(bytes, header::Version));
  h.driveName = *ReadFixedString(bytes, header::DriveName, DriveNameSize);
  for (std::size_t i = 0; i < LayoutFields.size(); ++i) {
    h.*LayoutFields[i] = LoadLE32(bytes, header::DriveSize + 4 * i);
  }
  return h;
}

bool LooksLikeDriveImage(ByteSpan bytes, std::uint64_t length) {
  auto decoded = DecodeHeader(bytes, {});
  if (!decoded) return false;
  const ImageHeader& h = *decoded;
  std::uint64_t regions = std::uint64_t{h.bootSize} + h.fatSize + h.rootSize + h.dataSize;
  return h.version == FormatVersion && h.driveSize == length && h.bootSize == BootSize &&
         h.rootSize == RootSize && h.fatStart == FatStart &&
         h.rootStart == std::uint64_t{FatStart} + h.fatSize &&
         h.dataStart == std::uint64_t{h.rootStart} + RootSize && regions == length &&
         h.fatSize % ClusterSize == 0 && h.dataSize % ClusterSize == 0;
}

std::uint32_t PackedDateValue(const std::tm& time) {
  auto weekday = static_cast<std::uint32_t>(time.tm_wday) & 0x7u;
  auto day = static_cast<std::uint32_t>(time.tm_mday) & 0x1Fu;
  auto month = static_cast<std::uint32_t>(time.tm_mon) & 0xFu;
  auto year = static_cast<std::uint32_t>(time.tm_year + 1900) & 0xFFFu;
  return (((weekday << 5 | day) << 4 | month) << 12) | year;
}

EntryDate UnpackDate(std::uint32_t packed) {
  EntryDate date;
  date.weekday = (packed >> 21) & 0x7u;
  date.day = (packed >> 16) & 0x1Fu;
  date.month = (packed >> 12) & 0xFu;
  date.year = packed & 0xFFFu;
  return date;
}

std::string_view WeekdayName(unsigned weekday) {
  static constexpr std::string_view names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return weekday < 7 ? names[weekday] : std::string_view("???");
}

void PackDate(const std::tm& time, MutableByteSpan record) {
  // A leap second (60) still fits its byte.
  StoreDate(record, PackedDateValue(time), static_cast<unsigned>(time.tm_hour),
            static_cast<unsigned>(time.tm_min), static_cast<unsigned>(time.tm_sec));
}

void EncodeDirEntry(const DirEntry& e, MutableByteSpan slot) {
  StoreFixedString(slot, entry::Name, entry::NameSize, e.name);
  StoreLE32(slot, entry::Size, e.size);
  StoreLE32(slot, entry::FirstCluster, e.firstCluster);
  StoreLE32(slot, entry::Kind, static_cast<std::uint32_t>(e.kind));
  StoreDate(slot, e.date, e.hour, e.minute, e.second);
  slot[entry::Flags] = static_cast<std::byte>(e.flags);
}

DirEntry DecodeDirEntry(ByteSpan slot) {
  DirEntry e;
  e.name = *ReadFixedString(slot, entry::Name, entry::NameSize);
  e.size = LoadLE32(slot, entry::Size);
  e.firstCluster = LoadLE32(slot, entry::FirstCluster);
  e.kind = static_cast<std::int32_t>(LoadLE32(slot, entry::Kind));
  e.date = static_cast<std::uint32_t>(slot[entry::Date]) << 16 |
           static_cast<std::uint32_t>(slot[entry::Date + 1]) << 8 |
           static_cast<std::uint32_t>(slot[entry::Date + 2]);
  e.hour = static_cast<std::uint8_t>(slot[entry::Hour]);
  e.minute = static_cast<std::uint8_t>(slot[entry::Minute]);
  e.second = static_cast<std::uint8_t>(slot[entry::Second]);
  e.flags = static_cast<std::uint8_t>(slot[entry::Flags]);
  return e;
}

bool SameStoredName(std::string_view a, std::string_view b) {
  a = a.substr(0, entry::NameSize);
  b = b.substr(0, entry::NameSize);
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::string StoredNameKey(std::string_view name) {
  std::string key(name.substr(0, entry::NameSize));
  std::transform(key.begin(), key.end(), key.begin(), FoldCase);
  return key;
}

std::string StoredDriveName(std::string_view name) {
  std::size_t cut = std::min(name.size(), MaxDriveNameLength);
  auto continuation = [&](std::size_t i) {
    return (static_cast<unsigned char>(name[i]) & 0xC0u) == 0x80u;
  };
  // A continuation byte (10xxxxxx) right after the cut may belong to a character that began
  // at most three bytes before it: when that character's lead byte says it reaches past the
  // cut, it goes whole. Bytes that are no UTF-8 are cut where they are.
  if (cut < name.size() && continuation(cut)) {
    for (std::size_t lead = cut; lead > 0 && cut - lead < 3;) {
      --lead;
      if (continuation(lead)) continue;
      auto byte = static_cast<unsigned char>(name[lead]);
      std::size_t length = byte >= 0xF0u ? 4 : byte >= 0xE0u ? 3 : byte >= 0xC0u ? 2 : 1;
      if (lead + length > cut) cut = lead;
      break;
    }
  }
  return std::string(name.substr(0, cut));
}

bool DriveNameTooLong(std::string_view name) { return name.size() > MaxDriveNameLength; }

}  // namespace kivo::fs
