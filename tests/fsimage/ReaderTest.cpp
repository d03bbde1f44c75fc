#include "fsimage/Reader.h"

#include <random>

#include <gtest/gtest.h>

#include "fsimage/Extract.h"
#include "fsimage/Summary.h"
#include "fsimage/Verify.h"
#include "tests/fsimage/ImageComposer.h"

namespace kivo::fs {
namespace {

using testing::Compose;
using testing::Dir;
using testing::File;
using testing::Get32;
using testing::Put32;
using testing::PutByte;

std::vector<std::string> WalkPaths(const ImageReader& reader) {
  std::vector<std::string> paths;
  Status walked = reader.Walk([&](const Located& item) -> Status {
    paths.push_back(item.path);
    return {};
  });
  EXPECT_TRUE(walked.ok()) << walked.error().message;
  return paths;
}

ImageReader OpenOrDie(const std::vector<std::byte>& image) {
  auto reader = ImageReader::Open(image, "'t.kid'");
  EXPECT_TRUE(reader.ok());
  return std::move(reader).value();
}

// The composer must lay the worked example out exactly as the format describes it, or
// every other test here would prove nothing.
TEST(ComposerTest, LaysOutTheWorkedExample) {
  auto image = Compose(testing::WorkedExampleTree());
  ASSERT_EQ(image.size(), 11776u);
  EXPECT_EQ(Get32(image, 20), 11776u);
  EXPECT_EQ(Get32(image, 28), 512u);
  EXPECT_EQ(Get32(image, 36), 6656u);
  EXPECT_EQ(Get32(image, 44), 1024u);
  EXPECT_EQ(Get32(image, 48), 5120u);
  std::vector<std::uint32_t> table;
  for (std::size_t n = 0; n < 128; ++n) table.push_back(Get32(image, 512 + 4 * n));
  std::vector<std::uint32_t> expected(128, 0);
  for (int n = 0; n <= 9; ++n) expected[n] = 0xCCCCCCCC;
  for (int n = 10; n <= 16; ++n) expected[n] = n + 1;
  expected[17] = 0xFFFFFFFF;
  expected[18] = 19;
  expected[19] = 20;
  expected[20] = 0xFFFFFFFF;
  expected[21] = 22;
  expected[22] = 0xFFFFFFFF;
  EXPECT_EQ(table, expected);
  EXPECT_EQ(Get32(image, 1024 + 20), 10u);  // docs
  EXPECT_EQ(Get32(image, 5120 + 20), 10u);  // "."
  EXPECT_EQ(Get32(image, 5155 + 20), 2u);   // ".."
  EXPECT_EQ(Get32(image, 5190 + 20), 18u);  // a.bin
  EXPECT_EQ(Get32(image, 1059 + 20), 21u);  // readme.txt
  EXPECT_EQ(image[10752], std::byte{'r'});
  const unsigned stamp[] = {0x6F, 0x27, 0xD6, 0x0E, 0x05, 0x09, 0x20};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(image[1024 + 28 + i], std::byte(stamp[i]));
}

TEST(ReaderTest, ParsesTheHeader) {
  auto image = Compose(testing::WorkedExampleTree());
  ImageReader reader = OpenOrDie(image);
  const ImageHeader& h = reader.header();
  EXPECT_EQ(h.version, 100);
  EXPECT_EQ(h.driveName, "Kivo Rom Drive");
  EXPECT_EQ(h.driveSize, 11776u);
  EXPECT_EQ(h.bootSize, 512u);
  EXPECT_EQ(h.fatSize, 512u);
  EXPECT_EQ(h.rootSize, 4096u);
  EXPECT_EQ(h.dataSize, 6656u);
  EXPECT_EQ(h.fatStart, 512u);
  EXPECT_EQ(h.rootStart, 1024u);
  EXPECT_EQ(h.dataStart, 5120u);
  EXPECT_EQ(reader.TableEntryCount(), 128u);
  EXPECT_EQ(reader.TableEntry(10), 11u);
  EXPECT_EQ(reader.TableEntry(17), EndOfChain);
  EXPECT_EQ(reader.TableEntry(128), std::nullopt);
}

TEST(ReaderTest, RefusesBytesTooShortForAHeader) {
  std::vector<std::byte> bytes(51);
  auto reader = ImageReader::Open(bytes, "'t.kid'");
  ASSERT_FALSE(reader.ok());
  EXPECT_EQ(reader.error().message, "'t.kid' is too short to be a drive image (51 bytes)");
}

TEST(ReaderTest, DecodesAnEntryAndItsPackedDate) {
  auto image = Compose(testing::WorkedExampleTree());
  DirEntry e = DecodeDirEntry(ByteSpan(image).subspan(1059, DirEntrySize));
  EXPECT_EQ(e.name, "readme.txt");
  EXPECT_EQ(e.size, 100u);
  EXPECT_EQ(e.firstCluster, 21u);
  EXPECT_EQ(e.kind, KindFile);
  EXPECT_EQ(e.date, 0x6F27D6u);
  EXPECT_EQ(e.hour, 14);
  EXPECT_EQ(e.minute, 5);
  EXPECT_EQ(e.second, 9);
  EXPECT_EQ(e.flags, 0x20);
  EntryDate date = e.Date();
  EXPECT_EQ(date.weekday, 3u);
  EXPECT_EQ(WeekdayName(date.weekday), "Wed");
  EXPECT_EQ(date.day, 15u);
  EXPECT_EQ(date.month, 2u);
  EXPECT_EQ(date.year, 2006u);
}

TEST(ReaderTest, UnpacksEveryField) {
  // Saturday 31 December 4095: every field at its largest.
  EntryDate date = UnpackDate((((6u * 32 + 31) * 16 + 11) << 12) + 4095);
  EXPECT_EQ(date.weekday, 6u);
  EXPECT_EQ(date.day, 31u);
  EXPECT_EQ(date.month, 11u);
  EXPECT_EQ(date.year, 4095u);
  EXPECT_EQ(WeekdayName(7), "???");
}

TEST(ReaderTest, WalksDepthFirstInSlotOrder) {
  auto image = Compose({Dir("b", {Dir("c", {File("d", "x")}), File("e", "")}), File("a", "y"),
                        Dir("f")});
  ImageReader reader = OpenOrDie(image);
  EXPECT_EQ(WalkPaths(reader),
            (std::vector<std::string>{"b", "b/c", "b/c/d", "b/e", "a", "f"}));
}

struct ResolveCase {
  const char* path;
  const char* found;  // nullptr: not found
};

class ResolveTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, MatchesNamesIgnoringCase) {
  auto image = Compose({Dir("Docs", {File("A.bin", "1234"), Dir("sub", {File("x", "")})}),
                        File("ABCDEFGHIJKLMNOPQR", "long"), File("readme.txt", "r")});
  ImageReader reader = OpenOrDie(image);
  auto found = reader.Resolve(GetParam().path);
  if (GetParam().found == nullptr) {
    EXPECT_FALSE(found.ok()) << GetParam().path;
  } else {
    ASSERT_TRUE(found.ok()) << GetParam().path << ": " << found.error().message;
    EXPECT_EQ(found->path, GetParam().found);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ResolveTest,
    ::testing::Values(ResolveCase{"", ""}, ResolveCase{"/", ""}, ResolveCase{".", ""},
                      ResolveCase{"docs", "Docs"}, ResolveCase{"DOCS/a.BIN", "Docs/A.bin"},
                      ResolveCase{"/docs/sub/X", "Docs/sub/x"},
                      ResolveCase{"\\docs\\sub\\", "Docs/sub"},
                      ResolveCase{"docs//./sub", "Docs/sub"},
                      ResolveCase{"abcdefghijklmnop", "ABCDEFGHIJKLMNOP"},
                      // a longer name finds what was stored of it
                      ResolveCase{"abcdefghijklmnopqr", "ABCDEFGHIJKLMNOP"},
                      ResolveCase{"abcdefghijklmno", nullptr}, ResolveCase{"docs/x", nullptr},
                      ResolveCase{"readme.txt/x", nullptr}, ResolveCase{"nothing", nullptr},
                      ResolveCase{"docs/..", nullptr}, ResolveCase{"docs/.", "Docs"}));

TEST(ReaderTest, ResolvingThroughAFileSaysItIsNoDirectory) {
  auto image = Compose({File("f", "1")});
  auto found = OpenOrDie(image).Resolve("f/g");
  ASSERT_FALSE(found.ok());
  EXPECT_EQ(found.error().message, "'t.kid': 'f' is not a directory");
}

TEST(ReaderTest, ASixteenByteNameStopsAtSixteenBytes) {
  // The size field right after the name starts with a non-zero byte here.
  auto image = Compose({File("ABCDEFGHIJKLMNOP", std::string(0x41, 'z'))});
  ImageReader reader = OpenOrDie(image);
  auto root = reader.ListRoot();
  ASSERT_TRUE(root.ok());
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ((*root)[0].entry.name, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ((*root)[0].entry.size, 0x41u);
}

TEST(ReaderTest, ListingStopsAtTheFirstEmptySlot) {
  auto image = Compose({File("a", ""), File("b", ""), File("c", "")});
  PutByte(image, Get32(image, header::RootStart) + DirEntrySize, 0);
  auto root = OpenOrDie(image).ListRoot();
  ASSERT_TRUE(root.ok());
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ((*root)[0].entry.name, "a");
}

TEST(ReaderTest, AFullRootHolds117ItemsAndNoMore) {
  std::vector<testing::Node> nodes;
  for (int i = 0; i < 117; ++i) nodes.push_back(File("f" + std::to_string(i), ""));
  auto image = Compose(nodes);
  // A 118th slot would begin on the region's last byte.
  PutByte(image, Get32(image, header::RootStart) + RootSize - 1, 'X');
  auto root = OpenOrDie(image).ListRoot();
  ASSERT_TRUE(root.ok());
  EXPECT_EQ(root->size(), 117u);
  EXPECT_EQ(root->back().entry.name, "f116");
}

TEST(ReaderTest, AFullDirectoryHolds115Items) {
  std::vector<testing::Node> nodes;
  for (int i = 0; i < 115; ++i) nodes.push_back(File("f" + std::to_string(i), ""));
  auto image = Compose({Dir("d", nodes)});
  ImageReader reader = OpenOrDie(image);
  auto d = reader.Resolve("d");
  ASSERT_TRUE(d.ok());
  auto items = reader.List(*d);
  ASSERT_TRUE(items.ok());
  EXPECT_EQ(items->size(), 115u);
  EXPECT_EQ(items->front().index, 2u);
  EXPECT_EQ(items->back().index, 116u);
}

TEST(ReaderTest, FileContentsAreItsSizeFromItsFirstCluster) {
  auto image = Compose(testing::WorkedExampleTree());
  ImageReader reader = OpenOrDie(image);
  auto a = reader.Resolve("docs/a.bin");
  ASSERT_TRUE(a.ok());
  auto contents = reader.FileContents(a->entry, a->path);
  ASSERT_TRUE(contents.ok());
  EXPECT_EQ(testing::ToString(*contents), testing::WorkedExampleTree()[0].children[0].contents);
  EXPECT_EQ(contents->data(), image.data() + 9216);
}

TEST(ReaderTest, FileContentsOutsideTheImageAreRefused) {
  auto image = Compose(testing::WorkedExampleTree());
  ImageReader reader = OpenOrDie(image);
  DirEntry e = reader.Resolve("readme.txt")->entry;
  e.size = 11776 - 10752 + 1;
  EXPECT_FALSE(reader.FileContents(e, "readme.txt").ok());
  e.size = 11776 - 10752;
  EXPECT_TRUE(reader.FileContents(e, "readme.txt").ok());
  e.firstCluster = 0xFFFFFFFF;
  e.size = 0xFFFFFFFF;
  EXPECT_FALSE(reader.FileContents(e, "readme.txt").ok());
}

TEST(ReaderTest, ADirectoryOutsideTheImageIsAnError) {
  auto image = Compose(testing::WorkedExampleTree());
  Put32(image, 1024 + entry::FirstCluster, 0xFFFFFFF0u);
  ImageReader reader = OpenOrDie(image);
  auto items = reader.List(*reader.Resolve("docs"));
  ASSERT_FALSE(items.ok());
  EXPECT_NE(items.error().message.find("lies outside the image"), std::string::npos);
  EXPECT_FALSE(reader.Walk([](const Located&) { return Status(); }).ok());
}

struct LoopCase {
  const char* what;
  std::function<void(std::vector<std::byte>&)> corrupt;
};

class WalkLoopTest : public ::testing::TestWithParam<LoopCase> {};

TEST_P(WalkLoopTest, EndsWithAnError) {
  // a (cluster 10) holds b (cluster 18) holds c (cluster 26); x (cluster 34) in the root.
  auto image = Compose({Dir("a", {Dir("b", {Dir("c")})}), Dir("x")});
  GetParam().corrupt(image);
  ImageReader reader = OpenOrDie(image);
  int visits = 0;
  Status walked = reader.Walk([&](const Located&) -> Status {
    ++visits;
    return {};
  });
  ASSERT_FALSE(walked.ok()) << GetParam().what;
  EXPECT_NE(walked.error().message.find("loops or shares"), std::string::npos);
  EXPECT_LT(visits, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, WalkLoopTest,
    ::testing::Values(
        LoopCase{"a directory holding itself",
                 [](std::vector<std::byte>& image) {
                   // b's entry lies in a's block (cluster 10), slot 2.
                   Put32(image, 10 * 512 + 2 * 35 + entry::FirstCluster, 10);
                 }},
        LoopCase{"a grandchild holding its grandparent",
                 [](std::vector<std::byte>& image) {
                   Put32(image, 18 * 512 + 2 * 35 + entry::FirstCluster, 10);
                 }},
        LoopCase{"two entries sharing a block",
                 [](std::vector<std::byte>& image) {
                   Put32(image, 1024 + 35 + entry::FirstCluster, 18);
                 }},
        LoopCase{"a directory holding the root",
                 [](std::vector<std::byte>& image) {
                   Put32(image, 1024 + 35 + entry::FirstCluster, 2);
                 }}));

// Every function that reads an image, on the given bytes: none may read out of bounds,
// crash or hang, whatever they hold.
void ReadEverything(ByteSpan bytes) {
  (void)SummariseImage(bytes, SizeUnit::Kilobytes);
  (void)VerifyImage(bytes, "'t.kid'");
  auto reader = ImageReader::Open(bytes, "'t.kid'");
  if (!reader) return;
  (void)reader->Resolve("docs/a.bin");
  (void)reader->Walk([&](const Located& item) -> Status {
    if (item.entry.IsFile()) (void)reader->FileContents(item.entry, item.path);
    return {};
  });
  for (std::uint64_t c = 0; c < 64; ++c) (void)reader->TableEntry(c);
}

TEST(ReaderRobustnessTest, EveryPrefixOfAnImageIsReadSafely) {
  auto image = Compose(testing::WorkedExampleTree());
  for (std::size_t length = 0; length <= image.size(); ++length) {
    ReadEverything(ByteSpan(image).first(length));
  }
}

TEST(ReaderRobustnessTest, RandomlyCorruptedImagesAreReadSafely) {
  auto pristine = Compose({Dir("docs", {File("a.bin", std::string(1000, 'a')),
                                        Dir("img", {Dir("raw", {File("p", "q")})})}),
                           File("readme.txt", std::string(100, 'r')), Dir("empty")});
  std::mt19937 random(12345);
  const std::uint32_t interesting[] = {0, 1, 2, 9, 10, 18, 0xCCCCCCCC, 0xFFFFFFFF, 0x7FFFFFFF,
                                       0x80000000, 4096, 512};
  for (int round = 0; round < 3000; ++round) {
    auto image = pristine;
    int changes = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < changes; ++i) {
      std::size_t at = random() % (image.size() - 4);
      // Mostly where the structure lives: header, table, root and directory blocks.
      if (random() % 4 != 0) at = random() % 9000;
      if (random() % 2) {
        Put32(image, at, interesting[random() % std::size(interesting)]);
      } else {
        PutByte(image, at, random() % 256);
      }
    }
    ReadEverything(image);
  }
}

TEST(ReaderTest, PrintableNameEscapesControlBytes) {
  EXPECT_EQ(PrintableName("a\x01" "b\x7F"), "a\\x01b\\x7F");
  EXPECT_EQ(PrintableName("caf\xC3\xA9"), "caf\xC3\xA9");
}

TEST(MappedFileTest, MapsAFileAndRefusesWhatIsNone) {
  testing::TempDir dir;
  auto image = Compose(testing::WorkedExampleTree());
  testing::WriteFile(dir / "a.kid", image);
  auto mapped = MappedFile::Open(dir / "a.kid");
  ASSERT_TRUE(mapped.ok());
  ASSERT_EQ(mapped->bytes().size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), mapped->bytes().begin()));

  testing::WriteFile(dir / "empty", {});
  auto empty = MappedFile::Open(dir / "empty");
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->bytes().empty());

  auto missing = MappedFile::Open(dir / "none");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::NotFound);
  EXPECT_FALSE(MappedFile::Open(dir.path()).ok());
}

}  // namespace
}  // namespace kivo::fs
