// The image summary of the drive tool: its four strings, from memory or from a file, and how
// it counts root entries apart from a listing.
#include <climits>

#include <gtest/gtest.h>

#include "fsimage/Reader.h"
#include "fsimage/Summary.h"
#include "tests/fsimage/Fixture.h"
#include "tests/support/Assert.h"

namespace kivo::fs::test {
namespace {

TEST(Summary, VersionAndSizeFormats) {
  // "%i.%02i" of version / 100 and version % 100, both truncating toward zero.
  const std::pair<std::int32_t, const char*> versions[] = {
      {100, "1.00"}, {7, "0.07"}, {1234, "12.34"}, {0, "0.00"}, {-5, "0.-5"}, {-105, "-1.-5"},
      {INT_MIN, "-21474836.-48"}, {INT_MAX, "21474836.47"}};
  for (auto [version, shown] : versions) EXPECT_EQ(FormatFsVersion(version), shown);
  // Kilobytes with one decimal, cut off and not rounded; bytes as they are.
  const std::pair<std::uint64_t, const char*> sizes[] = {
      {0, "0.0"}, {1023, "0.9"}, {1024, "1.0"}, {1536, "1.5"}, {9216, "9.0"}, {10239, "9.9"},
      {11776, "11.5"}, {2147483647, "2097151.9"}, {4294967295, "4194303.9"}};
  for (auto [bytes, kilobytes] : sizes) {
    EXPECT_EQ(FormatDriveSize(bytes, SizeUnit::Kilobytes), kilobytes);
    EXPECT_EQ(FormatDriveSize(bytes, SizeUnit::Bytes), std::to_string(bytes));
  }
}

// Any bytes are summarised whose header and root region fit; the file is read in pieces, so
// a huge root region costs no memory.
TEST(Summary, FromMemoryAndFromAFile) {
  TempDir dir;
  auto root = [](std::string bytes, std::uint32_t start, std::uint32_t size) {
    Put32(bytes, 44, start);
    Put32(bytes, 32, size);
    return bytes;
  };
  const std::string example = Image(WorkedExample());
  std::string huge(300000, '\0');
  for (std::size_t at = 52; at < huge.size(); at += 35000) huge[at] = 1;
  const std::string outside = "X: root directory region (";
  const std::string ofExample = " lies outside the file of 11776 bytes";
  const std::pair<std::string, std::string> cases[] = {
      {example, "1.00 2 11776 11.5 Kivo Rom Drive"},
      // A name field without a zero byte is all 16 bytes.
      {root(std::string(100, 'x'), 60, 40), "20211610.80 2 100 0.0 xxxxxxxxxxxxxxxx"},
      {root(huge, 52, 299948), "0.00 9 300000 292.9 "},
      {"", "X is too short to be a drive image (0 bytes)"},
      {std::string(51, '\0'), "X is too short to be a drive image (51 bytes)"},
      {root(example, 7681, 4096), outside + "4096 bytes at offset 7681)" + ofExample},
      {root(example, 0xFFFFFFFF, 4096), outside + "4096 bytes at offset 4294967295)" + ofExample},
      {root(example, 1024, 0xFFFFFFFF), outside + "4294967295 bytes at offset 1024)" + ofExample},
      {root(example, 0xFFFFFF00, 512), outside + "512 bytes at offset 4294967040)" + ofExample},
  };
  auto text = [](const Result<ImageSummary>& s) {
    if (!s) return s.error().message;
    return s->fsVersion + " " + s->rootEntries + " " + std::to_string(s->fileSize) + " " +
           s->driveSize + " " + s->driveName;
  };
  const std::string quoted = "'" + (dir / "a.kid").string() + "'";
  for (const auto& [bytes, summary] : cases) {
    WriteFile(dir / "a.kid", bytes);
    EXPECT_EQ(text(SummariseImage(Span(bytes), SizeUnit::Kilobytes, "X")), summary);
    std::string fromFile = text(ReadImageSummary(dir / "a.kid", SizeUnit::Kilobytes, false));
    if (fromFile.starts_with(quoted)) fromFile.replace(0, quoted.size(), "X");
    EXPECT_EQ(fromFile, summary);
  }
}

// A listing ends at the first empty slot and has no 118th slot; the summary counts every
// used 35-byte position of the root region, past a hole and on the region's last byte.
TEST(Summary, CountsRootPositionsWhereAListingStops) {
  std::string image = Image({{"a", ""}, {"b", ""}, {"c", ""}});
  image[Docs + 35] = '\0';
  image[Docs + 4095] = 'X';
  auto root = ImageReader::Open(Span(image), "t")->ListRoot();
  ASSERT_OK(root);
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ((*root)[0].entry.name, "a");
  EXPECT_EQ(SummariseImage(Span(image), SizeUnit::Bytes)->rootEntries, "3");
}

}  // namespace
}  // namespace kivo::fs::test
