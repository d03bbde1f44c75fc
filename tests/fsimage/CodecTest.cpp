// The format's rules on their own: where the regions lie, the date bytes, how a drive name
// is stored, and what makes bytes look like a drive image.
#include <gtest/gtest.h>

#include "fsimage/Layout.h"
#include "fsimage/NameStore.h"
#include "tests/fsimage/Fixture.h"
#include "tests/support/Assert.h"

namespace kivo::fs::test {
namespace {

TEST(Layout, RegionsFollowEachOther) {
  const struct {
    std::uint32_t data, fat, drive;  // drive 0: refused
  } cases[] = {
      {4096, 512, 9216},                   // one empty directory
      {6656, 512, 11776},                  // the worked example
      {60416, 512, 65536},                 // 128 clusters: the last entry still fits the table
      {60928, 1024, 66560},                // 129 clusters: the table grows
      {65024, 1024, 70656},                // would leave 9 entries in the root directory
      {65536, 1024, 71168}, {131072, 1536, 137216},
      {7733248, 60928, 7798784},           // 118 blocks of 65536 bytes still fit 119 of table
      {7733760, 61440, 7799808},
      {2130701312, 16777216, 2147483136},  // the largest image below 2 GiB
      {2130701824, 0, 0},
  };
  for (const auto& c : cases) {
    Result<ImageHeader> layout = ComputeLayout(c.data);
    if (c.drive == 0) {
      ASSERT_FALSE(layout) << c.data;
      EXPECT_EQ(layout.error().kind, ErrorKind::Capacity);
      EXPECT_EQ(layout.error().message, "the image would take 2147483648 bytes; a drive image "
                                        "must stay below 2 GiB (2147483648 bytes)");
      continue;
    }
    ASSERT_OK(layout);
    const ImageHeader& h = *layout;
    EXPECT_EQ(std::vector({h.bootSize, h.fatStart, h.fatSize, h.rootStart, h.rootSize,
                           h.dataStart, h.dataSize, h.driveSize}),
              std::vector({512u, 512u, c.fat, c.fat + 512, 4096u, c.fat + 4608, c.data, c.drive}))
        << c.data;
  }
}

// The date bytes: (weekday * 32 + day), (month * 16 + year / 256), year % 256, then the time.
TEST(Codec, PackDateFillsOnlyTheDateAndTimeBytes) {
  const std::pair<std::tm, const char*> cases[] = {
      {Time(0, 1, 0, 1980, 0, 0, 0), "0107BC 000000"},
      {FixedTime(), "6F27D6 0E0509"},
      {Time(6, 31, 11, 2099, 23, 59, 59), "DFB833 173B3B"}};
  for (const auto& [time, bytes] : cases) {
    std::string record(35, '\xAA');
    PackDate(time, std::as_writable_bytes(std::span(record)));
    EXPECT_EQ(record, std::string(28, '\xAA') + Hex(bytes) + '\xAA');
    EntryDate date = UnpackDate(PackedDateValue(time));
    EXPECT_EQ(std::vector({date.weekday, date.day, date.month, date.year - 1900}),
              std::vector<unsigned>({unsigned(time.tm_wday), unsigned(time.tm_mday),
                                     unsigned(time.tm_mon), unsigned(time.tm_year)}));
  }
}

// A stored name keeps a terminating zero: at most 15 bytes (not characters), and a UTF-8
// character that the cut would split goes whole. Only bytes 4 to 19 of the file change.
TEST(NameStore, StoresAtMostFifteenBytesInBytes4To19) {
  TempDir dir;
  const std::string before(40, '\xAA');
  const std::string e = "\xC3\xA9";
  const std::string sevenE = e + e + e + e + e + e + e;
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"Level Pack 2", "Level Pack 2"},
      {"ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},
      {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"},
      {sevenE + " ", sevenE + " "},
      {"ABCDEFGHIJKLMN" + e, "ABCDEFGHIJKLMN"},
      {"ABCDEFGHIJKL\xF0\x9F\x98\x80", "ABCDEFGHIJKL"},
      {"ABCDEFGHIJKLMNO\x80", "ABCDEFGHIJKLMNO"},  // no UTF-8: cut where it is
  };
  for (const auto& [typed, stored] : cases) {
    WriteFile(dir / "f", before);
    ASSERT_OK(StoreDriveName(dir / "f", typed));
    const std::string field = stored + std::string(16 - stored.size(), '\0');
    EXPECT_EQ(ReadFile(dir / "f"), before.substr(0, 4) + field + before.substr(20));
  }
}

TEST(Codec, LooksLikeDriveImageNeedsEveryHeaderFieldConsistent) {
  const std::string image = Image(WorkedExample());
  EXPECT_TRUE(LooksLikeDriveImage(Span(image), image.size()));
  EXPECT_FALSE(LooksLikeDriveImage(Span(image), image.size() + 512));
  EXPECT_FALSE(LooksLikeDriveImage(Span(image).first(51), image.size()));
  for (std::size_t field = 0; field <= 48; field += field == 0 ? 20 : 4) {
    std::string broken = image;
    Put32(broken, field, Get32(broken, field) + 512);
    EXPECT_FALSE(LooksLikeDriveImage(Span(broken), broken.size())) << "field at " << field;
  }
}

}  // namespace
}  // namespace kivo::fs::test
