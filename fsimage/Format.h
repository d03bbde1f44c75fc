// On-disk layout of a Kivo drive image. Every byte here is read by the
// program inside the ROM, so nothing may move.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kivo::fs {

inline constexpr std::uint32_t ClusterSize = 512;
inline constexpr std::int32_t FormatVersion = 100;

inline constexpr std::uint32_t BootSize = 512;
inline constexpr std::uint32_t FatStart = 512;
inline constexpr std::uint32_t RootSize = 4096;
// Header block, the 8 root directory clusters: what precedes the data area besides the table.
inline constexpr std::uint32_t FixedOverhead = BootSize + RootSize;

inline constexpr std::uint32_t DirEntrySize = 35;
inline constexpr std::uint32_t SlotsPerDirectory = 117;
inline constexpr std::uint32_t DirectoryClusters = 8;
inline constexpr std::uint32_t DirectoryBlockSize = DirectoryClusters * ClusterSize;
// A directory block spends slots 0 and 1 on "." and "..".
inline constexpr std::uint32_t RootCapacity = SlotsPerDirectory;
inline constexpr std::uint32_t SubdirCapacity = SlotsPerDirectory - 2;

inline constexpr std::uint32_t FreeCluster = 0;
inline constexpr std::uint32_t ReservedCluster = 0xCCCCCCCCu;
inline constexpr std::uint32_t EndOfChain = 0xFFFFFFFFu;
inline constexpr std::uint32_t FatEntrySize = 4;
inline constexpr std::uint32_t FatEntriesPerCluster = ClusterSize / FatEntrySize;

inline constexpr std::int32_t KindDirectory = -1;
inline constexpr std::int32_t KindFile = -2;
inline constexpr std::int32_t KindLink = -3;
inline constexpr std::uint8_t EntryFlags = 0x20;

inline constexpr std::string_view DefaultDriveName = "Kivo Rom Drive";
inline constexpr std::size_t DriveNameSize = 16;
// A stored name keeps at least one terminating zero byte.
inline constexpr std::size_t MaxDriveNameLength = DriveNameSize - 1;

// Sizes and offsets are signed 32-bit in the format: an image stays below 2 GiB.
inline constexpr std::uint64_t MaxImageSize = 0x7FFFFFFFu;

namespace header {
inline constexpr std::size_t Version = 0;
inline constexpr std::size_t DriveName = 4;
inline constexpr std::size_t DriveSize = 20;
inline constexpr std::size_t BootSize = 24;
inline constexpr std::size_t FatSize = 28;
inline constexpr std::size_t RootSize = 32;
inline constexpr std::size_t DataSize = 36;
inline constexpr std::size_t FatStart = 40;
inline constexpr std::size_t RootStart = 44;
inline constexpr std::size_t DataStart = 48;
inline constexpr std::size_t End = 52;  // zero up to the end of the 512-byte block
}  // namespace header

namespace entry {
inline constexpr std::size_t Name = 0;
inline constexpr std::size_t NameSize = 16;
inline constexpr std::size_t Size = 16;
inline constexpr std::size_t FirstCluster = 20;
inline constexpr std::size_t Kind = 24;
inline constexpr std::size_t Date = 28;  // 3 bytes, most significant first
inline constexpr std::size_t Hour = 31;
inline constexpr std::size_t Minute = 32;
inline constexpr std::size_t Second = 33;
inline constexpr std::size_t Flags = 34;
}  // namespace entry

static_assert(header::DriveName + DriveNameSize == header::DriveSize);
static_assert(header::DataStart + 4 == header::End);
static_assert(header::End <= BootSize);
static_assert(entry::Name + entry::NameSize == entry::Size);
static_assert(entry::Flags + 1 == DirEntrySize);
static_assert(SlotsPerDirectory * DirEntrySize == RootSize - 1,
              "the last byte of a directory region belongs to no slot");
static_assert(DirectoryBlockSize == RootSize);
static_assert(FixedOverhead % ClusterSize == 0);

// Chain length of a file of `length` bytes: always one spare cluster, even for empty files.
constexpr std::uint64_t FileClusters(std::uint64_t length) { return length / ClusterSize + 2; }
constexpr std::uint64_t FileSpace(std::uint64_t length) { return FileClusters(length) * ClusterSize; }
static_assert(FileSpace(0) == 1024 && FileSpace(512) == 1536 && FileSpace(1000) == 1536 &&
              FileSpace(1024) == 2048);

}  // namespace kivo::fs
