// Reading an image back: paths, listings and the root entry count of the summary.
#include <gtest/gtest.h>

#include "fsimage/Reader.h"
#include "fsimage/Summary.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::fs::test {
namespace {

// Components are matched ignoring ASCII case, against the 16 bytes that were stored.
TEST(Reader, ResolvesPathsIgnoringCase) {
  const std::string image =
      Image({{"Docs/A.bin", "1234"}, {"Docs/sub/x", ""}, {"ABCDEFGHIJKLMNOPQR", "long"}, {"readme.txt", "r"}});
  auto reader = ImageReader::Open(Span(image), "'t.kid'");
  ASSERT_TRUE(reader.ok());
  const std::pair<const char*, std::string> cases[] = {
      {"", ""}, {"/", ""}, {".", ""}, {"docs", "Docs"}, {"DOCS/a.BIN", "Docs/A.bin"},
      {"/docs/sub/X", "Docs/sub/x"}, {"\\docs\\sub\\", "Docs/sub"}, {"docs//./sub", "Docs/sub"},
      {"docs/.", "Docs"}, {"abcdefghijklmnop", "ABCDEFGHIJKLMNOP"}, {"abcdefghijklmnopqr", "ABCDEFGHIJKLMNOP"},
      {"abcdefghijklmno", "'t.kid': no 'abcdefghijklmno' in the root directory"},
      {"docs/x", "'t.kid': no 'x' in 'Docs'"},
      {"docs/..", "'t.kid': no '..' in 'Docs'"},
      {"readme.txt/x", "'t.kid': 'readme.txt' is not a directory"},
  };
  for (const auto& [path, found] : cases) {
    auto located = reader->Resolve(path);
    EXPECT_EQ(located ? located->path : located.error().message, found) << path;
  }
  auto a = reader->Resolve("docs/a.bin");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(reader->FileContents(a->entry, a->path)->data()), 4), "1234");
}

// A listing ends at the first empty slot and has no 118th slot; the summary counts every
// used 35-byte position of the root region, past a hole and on the region's last byte.
TEST(Reader, ListingEndsAtTheFirstEmptySlotWhileTheSummaryCountsOn) {
  std::string image = Image({{"a", ""}, {"b", ""}, {"c", ""}});
  image[Docs + 35] = '\0';
  image[Docs + 4095] = 'X';
  auto root = ImageReader::Open(Span(image), "t")->ListRoot();
  ASSERT_TRUE(root.ok());
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ((*root)[0].entry.name, "a");
  EXPECT_EQ(SummariseImage(Span(image), SizeUnit::Bytes)->rootEntries, "3");
}

}  // namespace
}  // namespace kivo::fs::test
