#include "fsimage/Summary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/fsimage/ImageComposer.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::fs {
namespace {

using testing::Compose;
using testing::Dir;
using testing::File;
using testing::Put32;
using testing::PutByte;
using testing::TempDir;

struct VersionCase {
  std::int32_t version;
  const char* shown;
};

class FsVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FsVersionTest, FormatsLikeTheDriveTool) {
  EXPECT_EQ(FormatFsVersion(GetParam().version), GetParam().shown);
  auto image = Compose({});
  Put32(image, 0, static_cast<std::uint32_t>(GetParam().version));
  auto summary = SummariseImage(image, SizeUnit::Kilobytes);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->fsVersion, GetParam().shown);
}

// Integer division and remainder truncate toward zero, and "%02i" pads only to two
// characters, so negative versions show a minus sign after the point.
INSTANTIATE_TEST_SUITE_P(Versions, FsVersionTest,
                         ::testing::Values(VersionCase{100, "1.00"}, VersionCase{7, "0.07"},
                                           VersionCase{1234, "12.34"}, VersionCase{0, "0.00"},
                                           VersionCase{-5, "0.-5"}, VersionCase{-105, "-1.-5"},
                                           VersionCase{-2147483647 - 1, "-21474836.-48"},
                                           VersionCase{2147483647, "21474836.47"}));

struct SizeCase {
  std::uint64_t bytes;
  const char* kilobytes;
};

class DriveSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DriveSizeTest, KilobytesAreCutOffNotRounded) {
  EXPECT_EQ(FormatDriveSize(GetParam().bytes, SizeUnit::Kilobytes), GetParam().kilobytes);
  EXPECT_EQ(FormatDriveSize(GetParam().bytes, SizeUnit::Bytes), std::to_string(GetParam().bytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DriveSizeTest,
                         ::testing::Values(SizeCase{1023, "0.9"}, SizeCase{1024, "1.0"},
                                           SizeCase{1536, "1.5"}, SizeCase{10239, "9.9"},
                                           SizeCase{9216, "9.0"}, SizeCase{0, "0.0"},
                                           SizeCase{11776, "11.5"},
                                           // size * 10 overflows 32 bits here.
                                           SizeCase{2147483647, "2097151.9"},
                                           SizeCase{4294967295u, "4194303.9"}));

TEST(SummaryTest, SummarisesTheWorkedExample) {
  auto image = Compose(testing::WorkedExampleTree());
  auto summary = SummariseImage(image, SizeUnit::Kilobytes);
  ASSERT_TRUE(summary.ok()) << summary.error().message;
  EXPECT_EQ(summary->fsVersion, "1.00");
  EXPECT_EQ(summary->rootEntries, "2");
  EXPECT_EQ(summary->driveSize, "11.5");
  EXPECT_EQ(summary->driveName, "Kivo Rom Drive");
  EXPECT_EQ(summary->fileSize, 11776u);
  auto inBytes = SummariseImage(image, SizeUnit::Bytes);
  ASSERT_TRUE(inBytes.ok());
  EXPECT_EQ(inBytes->driveSize, "11776");
}

TEST(SummaryTest, CountsEveryUsedSlotPastAHole) {
  auto image = Compose({File("a", "1"), File("b", "2"), File("c", "3")});
  std::size_t root = testing::Get32(image, header::RootStart);
  PutByte(image, root + DirEntrySize, 0);  // empty the middle slot
  PutByte(image, root + DirEntrySize * 100, 'z');
  auto summary = SummariseImage(image, SizeUnit::Bytes);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->rootEntries, "3");
}

TEST(SummaryTest, CountsTheLastByteOfTheRootRegionAsAPosition) {
  // 118 positions: the last one is the region's final byte, where no slot fits.
  auto image = Compose({});
  std::size_t root = testing::Get32(image, header::RootStart);
  PutByte(image, root + RootSize - 1, 1);
  auto summary = SummariseImage(image, SizeUnit::Bytes);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->rootEntries, "1");
}

struct NameCase {
  std::string field;  // the 16 bytes as stored
  std::string shown;
};

class DriveNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DriveNameTest, ShowsTheBytesBeforeTheFirstZero) {
  auto image = Compose({});
  for (std::size_t i = 0; i < DriveNameSize; ++i) {
    PutByte(image, header::DriveName + i, static_cast<unsigned char>(GetParam().field[i]));
  }
  auto summary = SummariseImage(image, SizeUnit::Bytes);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->driveName, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DriveNameTest,
    ::testing::Values(NameCase{std::string("ABCDEFGHIJKLMNOP", 16), "ABCDEFGHIJKLMNOP"},
                      NameCase{std::string("ABCDEFGHIJKLMNO\0", 16), "ABCDEFGHIJKLMNO"},
                      NameCase{std::string(16, '\0'), ""},
                      NameCase{std::string("AB\0DEFGHIJKLMNOP", 16), "AB"}));

TEST(SummaryTest, RefusesFilesTooShortForTheHeader) {
  for (std::size_t size : {0u, 10u, 51u}) {
    std::vector<std::byte> bytes(size, std::byte{0});
    auto summary = SummariseImage(bytes, SizeUnit::Bytes, "'x.kid'");
    ASSERT_FALSE(summary.ok()) << size;
    EXPECT_EQ(summary.error().kind, ErrorKind::Format);
    EXPECT_EQ(summary.error().message,
              "'x.kid' is too short to be a drive image (" + std::to_string(size) + " bytes)");
  }
}

struct RootCase {
  std::uint32_t rootStart;
  std::uint32_t rootSize;
};

class ForeignRootTest : public ::testing::TestWithParam<RootCase> {};

TEST_P(ForeignRootTest, RefusesARootRegionOutsideTheFile) {
  auto image = Compose({Dir("empty")});  // 9216 bytes
  Put32(image, header::RootStart, GetParam().rootStart);
  Put32(image, header::RootSize, GetParam().rootSize);
  auto summary = SummariseImage(image, SizeUnit::Bytes, "'x.kid'");
  ASSERT_FALSE(summary.ok());
  EXPECT_NE(summary.error().message.find("root directory region"), std::string::npos);
  EXPECT_NE(summary.error().message.find("lies outside the file of 9216 bytes"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Regions, ForeignRootTest,
                         ::testing::Values(RootCase{9216, 1}, RootCase{5121, 4096},
                                           RootCase{0xFFFFFFFFu, 4096}, RootCase{1024, 0xFFFFFFFFu},
                                           RootCase{0xFFFFFF00u, 0x200u}));

TEST(SummaryTest, SummarisesAForeignFileWhoseFieldsFit) {
  // No check that the bytes are a drive image: what fits is shown.
  std::vector<std::byte> bytes(100, std::byte{'x'});
  Put32(bytes, header::RootStart, 60);
  Put32(bytes, header::RootSize, 40);
  auto summary = SummariseImage(bytes, SizeUnit::Bytes);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->rootEntries, "2");  // offsets 60 and 95
  EXPECT_EQ(summary->driveName, "xxxxxxxxxxxxxxxx");
}

TEST(ReadImageSummaryTest, MatchesTheInMemorySummary) {
  TempDir dir;
  auto image = Compose(testing::WorkedExampleTree());
  PutByte(image, testing::Get32(image, header::RootStart) + DirEntrySize * 50, 'q');
  testing::WriteFile(dir / "a.kid", image);
  for (SizeUnit unit : {SizeUnit::Kilobytes, SizeUnit::Bytes}) {
    for (bool writable : {false, true}) {
      auto fromFile = ReadImageSummary(dir / "a.kid", unit, writable);
      auto fromBytes = SummariseImage(image, unit);
      ASSERT_TRUE(fromFile.ok()) << fromFile.error().message;
      EXPECT_EQ(fromFile->fsVersion, fromBytes->fsVersion);
      EXPECT_EQ(fromFile->rootEntries, "3");
      EXPECT_EQ(fromFile->driveSize, fromBytes->driveSize);
      EXPECT_EQ(fromFile->driveName, fromBytes->driveName);
    }
  }
}

TEST(ReadImageSummaryTest, ReadsAHugeClaimedRootRegionInPieces) {
  TempDir dir;
  std::vector<std::byte> bytes(300000, std::byte{0});
  Put32(bytes, header::RootStart, 52);
  Put32(bytes, header::RootSize, 299948);
  for (std::size_t offset = 52; offset < bytes.size(); offset += DirEntrySize * 1000) {
    PutByte(bytes, offset, 1);
  }
  testing::WriteFile(dir / "big.bin", bytes);
  auto fromFile = ReadImageSummary(dir / "big.bin", SizeUnit::Bytes, false);
  auto fromBytes = SummariseImage(bytes, SizeUnit::Bytes);
  ASSERT_TRUE(fromFile.ok()) << fromFile.error().message;
  ASSERT_TRUE(fromBytes.ok());
  EXPECT_EQ(fromFile->rootEntries, fromBytes->rootEntries);
  EXPECT_EQ(fromFile->rootEntries, "9");
}

TEST(ReadImageSummaryTest, ReportsShortAndForeignFilesByName) {
  TempDir dir;
  testing::WriteFile(dir / "short.kid", std::vector<std::byte>(10, std::byte{1}));
  auto shortOne = ReadImageSummary(dir / "short.kid", SizeUnit::Bytes, false);
  ASSERT_FALSE(shortOne.ok());
  EXPECT_EQ(shortOne.error().message,
            "'" + (dir / "short.kid").string() + "' is too short to be a drive image (10 bytes)");

  testing::WriteFile(dir / "text.txt", testing::ToBytes(std::string(200, 'A')));
  auto foreign = ReadImageSummary(dir / "text.txt", SizeUnit::Bytes, false);
  ASSERT_FALSE(foreign.ok());
  EXPECT_NE(foreign.error().message.find("root directory region"), std::string::npos);
}

TEST(ReadImageSummaryTest, MissingFileIsNotFound) {
  TempDir dir;
  for (bool writable : {false, true}) {
    auto summary = ReadImageSummary(dir / "none.kid", SizeUnit::Bytes, writable);
    ASSERT_FALSE(summary.ok());
    EXPECT_EQ(summary.error().kind, ErrorKind::NotFound);
    EXPECT_NE(summary.error().message.find("none.kid"), std::string::npos);
  }
}

TEST(ReadImageSummaryTest, ADirectoryIsRefused) {
  TempDir dir;
  auto summary = ReadImageSummary(dir.path(), SizeUnit::Bytes, false);
  ASSERT_FALSE(summary.ok());
  EXPECT_EQ(summary.error().kind, ErrorKind::NotRegular);
}

TEST(ReadImageSummaryTest, AReadOnlyFileFailsOnlyWhenWritingIsRequired) {
  TempDir dir;
  testing::WriteFile(dir / "ro.kid", Compose({}));
  ASSERT_EQ(::chmod((dir / "ro.kid").c_str(), 0444), 0);
  testfiles::GiveToOrdinaryUser(dir.path());
  testfiles::AsOrdinaryUser ordinaryUser;
  EXPECT_TRUE(ReadImageSummary(dir / "ro.kid", SizeUnit::Bytes, false).ok());
  auto summary = ReadImageSummary(dir / "ro.kid", SizeUnit::Bytes, true);
  ASSERT_FALSE(summary.ok());
  EXPECT_EQ(summary.error().kind, ErrorKind::CannotOpen);
}

}  // namespace
}  // namespace kivo::fs
