#include "fsimage/NameStore.h"

#include "fsimage/Codec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fsimage/Summary.h"
#include "tests/fsimage/ImageComposer.h"
#include "tests/support/OrdinaryUser.h"

namespace kivo::fs {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using testfiles::AsOrdinaryUser;
using testfiles::GiveToOrdinaryUser;

TEST(NameStoreTest, TooLongMeansMoreThanFifteenBytes) {
  EXPECT_FALSE(DriveNameTooLong(""));
  EXPECT_FALSE(DriveNameTooLong("ABCDEFGHIJKLMNO"));
  EXPECT_TRUE(DriveNameTooLong("ABCDEFGHIJKLMNOP"));
  // Lengths count bytes: seven two-byte letters and a blank make 15, one more makes 17.
  EXPECT_FALSE(DriveNameTooLong("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9 "));
  EXPECT_TRUE(DriveNameTooLong("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
}

struct StoreCase {
  const char* typed;
  std::string field;  // the 16 bytes expected at offset 4
};

class StoreDriveNameTest : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StoreDriveNameTest, ChangesOnlyTheNameField) {
  TempDir dir;
  // A 16-byte old name, so that any byte left behind would show.
  auto before = testing::Compose(testing::WorkedExampleTree(),
                                 testing::ComposeOptions{.driveName = "0123456789abcdef"});
  WriteFile(dir / "a.kid", before);
  ASSERT_TRUE(StoreDriveName(dir / "a.kid", GetParam().typed).ok());
  auto after = ReadFile(dir / "a.kid");
  ASSERT_EQ(after.size(), before.size());
  auto expected = before;
  for (std::size_t i = 0; i < DriveNameSize; ++i) {
    expected[header::DriveName + i] = static_cast<std::byte>(GetParam().field[i]);
  }
  EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StoreDriveNameTest,
    ::testing::Values(StoreCase{"", std::string(16, '\0')},
                      StoreCase{"Level Pack 2", std::string("Level Pack 2\0\0\0\0", 16)},
                      StoreCase{"ABCDEFGHIJKLMNO", std::string("ABCDEFGHIJKLMNO\0", 16)},
                      StoreCase{"ABCDEFGHIJKLMNOP", std::string("ABCDEFGHIJKLMNO\0", 16)},
                      StoreCase{"a much longer name than fits",
                                std::string("a much longer n\0", 16)},
                      // A character split by the cut goes whole; bytes that are no UTF-8
                      // are cut where they are.
                      StoreCase{"ABCDEFGHIJKLMN\xC3\xA9", std::string("ABCDEFGHIJKLMN\0\0", 16)},
                      StoreCase{"ABCDEFGHIJKL\xF0\x9F\x98\x80", std::string("ABCDEFGHIJKL\0\0\0\0", 16)},
                      StoreCase{"ABCDEFGHIJKLMNO\x80", std::string("ABCDEFGHIJKLMNO\0", 16)}));

TEST(StoreDriveNameTest, TheSummaryShowsTheStoredName) {
  TempDir dir;
  WriteFile(dir / "a.kid", testing::Compose({}));
  ASSERT_TRUE(StoreDriveName(dir / "a.kid", "My Game but longer").ok());
  auto summary = ReadImageSummary(dir / "a.kid", SizeUnit::Bytes, true);
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->driveName, "My Game but lon");
}

TEST(StoreDriveNameTest, WritesIntoAnyFileLongEnough) {
  TempDir dir;
  for (std::size_t size : {20u, 21u, 100u}) {
    std::vector<std::byte> before(size, std::byte{0xAA});
    WriteFile(dir / "f", before);
    ASSERT_TRUE(StoreDriveName(dir / "f", "xy").ok()) << size;
    auto after = ReadFile(dir / "f");
    ASSERT_EQ(after.size(), size);
    for (std::size_t i = 0; i < size; ++i) {
      std::byte want = i < 4 || i >= 20 ? std::byte{0xAA}
                       : i == 4         ? std::byte{'x'}
                       : i == 5         ? std::byte{'y'}
                                        : std::byte{0};
      EXPECT_EQ(after[i], want) << "size " << size << " byte " << i;
    }
  }
}

TEST(StoreDriveNameTest, RefusesAFileTooShortAndLeavesItAlone) {
  TempDir dir;
  for (std::size_t size : {0u, 4u, 19u}) {
    std::vector<std::byte> before(size, std::byte{0x11});
    WriteFile(dir / "short", before);
    Status stored = StoreDriveName(dir / "short", "name");
    ASSERT_FALSE(stored.ok()) << size;
    EXPECT_EQ(stored.error().kind, ErrorKind::Format);
    EXPECT_NE(stored.error().message.find("too short"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "short"), before);
  }
}

TEST(StoreDriveNameTest, RefusesAMissingFileWithoutCreatingIt) {
  TempDir dir;
  Status stored = StoreDriveName(dir / "none.kid", "name");
  ASSERT_FALSE(stored.ok());
  EXPECT_EQ(stored.error().kind, ErrorKind::NotFound);
  EXPECT_NE(stored.error().message.find("none.kid"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "none.kid"));
}

TEST(StoreDriveNameTest, RefusesADirectory) {
  TempDir dir;
  EXPECT_FALSE(StoreDriveName(dir.path(), "name").ok());
}

TEST(StoreDriveNameTest, RefusesAReadOnlyFile) {
  TempDir dir;
  auto before = testing::Compose({});
  WriteFile(dir / "ro.kid", before);
  ASSERT_EQ(::chmod((dir / "ro.kid").c_str(), 0444), 0);
  GiveToOrdinaryUser(dir.path());
  AsOrdinaryUser ordinaryUser;
  Status stored = StoreDriveName(dir / "ro.kid", "name");
  ASSERT_FALSE(stored.ok());
  EXPECT_EQ(stored.error().kind, ErrorKind::CannotOpen);
  EXPECT_EQ(ReadFile(dir / "ro.kid"), before);
}

TEST(StoreDriveNameTest, RefusesADeviceFile) {
  Status stored = StoreDriveName("/dev/full", "name");
  ASSERT_FALSE(stored.ok());
  EXPECT_NE(stored.error().message.find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace kivo::fs
