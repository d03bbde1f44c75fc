// The drive image's structures as values, and their bytes (laid out in Format.h): the header
// block, a directory entry and its packed date. Beside them the rules every writer and reader
// of names shares: how a drive name is stored, and the ASCII case fold of entry names.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "base/Bytes.h"
#include "base/Result.h"
#include "fsimage/Format.h"

namespace kivo::fs {

// The values of the header block.
struct ImageHeader {
  std::int32_t version = FormatVersion;
  std::string driveName;  // up to the first zero byte, at most 16 bytes
  std::uint32_t driveSize = 0;
  std::uint32_t bootSize = 0;
  std::uint32_t fatSize = 0;
  std::uint32_t rootSize = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t fatStart = 0;
  std::uint32_t rootStart = 0;
  std::uint32_t dataStart = 0;

  std::uint32_t firstDataCluster() const { return dataStart / ClusterSize; }
  // The header block's, the table's and the root directory's clusters: all before the data.
  std::uint32_t reservedEntries() const { return dataStart / ClusterSize; }
  std::uint32_t tableEntries() const { return fatSize / FatEntrySize; }
};

// Writes the 512-byte header block into `block` (at least BootSize bytes); the drive name is
// stored as StoredDriveName() keeps it.
void EncodeHeader(const ImageHeader& header, MutableByteSpan block);
// Reads the header fields: Format "<source> is too short to be a drive image (N bytes)" when
// the bytes cannot hold them.
Result<ImageHeader> DecodeHeader(ByteSpan bytes, std::string_view source);
// Whether `bytes` (a whole image, or at least its first 52 bytes) begin with the header of a
// drive image of `length` bytes: the version, the fixed sizes and offsets, the regions one
// after another on cluster boundaries and adding up to `length`.
bool LooksLikeDriveImage(ByteSpan bytes, std::uint64_t length);

struct EntryDate {
  unsigned weekday = 0;  // 0 = Sunday
  unsigned day = 0;      // 1 to 31
  unsigned month = 0;    // 0 = January
  unsigned year = 0;
};

// The 24-bit date value: weekday in bits 21-23, day in 16-20, month in 12-15, year in 0-11.
std::uint32_t PackedDateValue(const std::tm& time);
EntryDate UnpackDate(std::uint32_t packed);
// "Sun" to "Sat", "???" for the two values no weekday has.
std::string_view WeekdayName(unsigned weekday);

// Fills the date (3 bytes, most significant first), hour, minute and second of the 35-byte
// entry `record` from a broken-down time, and nothing else.
void PackDate(const std::tm& time, MutableByteSpan record);

struct DirEntry {
  std::string name;  // up to the first zero byte, at most 16 bytes
  std::uint32_t size = 0;
  std::uint32_t firstCluster = 0;
  std::int32_t kind = 0;
  std::uint32_t date = 0;  // the 24-bit packed value
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t flags = 0;

  bool IsDirectory() const { return kind == KindDirectory; }
  bool IsFile() const { return kind == KindFile; }
  EntryDate Date() const { return UnpackDate(date); }
};

// The 35 bytes of one slot, both ways; `slot` holds at least DirEntrySize bytes. A name of
// 16 bytes or more is stored as its first 16, without a terminator.
void EncodeDirEntry(const DirEntry& entry, MutableByteSpan slot);
DirEntry DecodeDirEntry(ByteSpan slot);

// What the program in the ROM finds a name by: its stored 16 bytes, with ASCII letters folded
// to lower case.
std::string StoredNameKey(std::string_view name);
// Whether two names meet in that key: a path component finds the entry whose stored name it
// matches so.
bool SameStoredName(std::string_view a, std::string_view b);

// The drive name as it is stored: at most 15 bytes (the field keeps a terminating zero byte),
// cut so that no UTF-8 character is split.
std::string StoredDriveName(std::string_view name);
// Whether storing `name` would cut it.
bool DriveNameTooLong(std::string_view name);

}  // namespace kivo::fs
