#include "fsimage/Extract.h"

#include <map>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/fsimage/BuildFixture.h"
#include "tests/fsimage/ImageComposer.h"

namespace kivo::fs {
namespace {

namespace stdfs = std::filesystem;
using testing::Compose;
using testing::Dir;
using testing::File;
using testing::Put32;
using testing::PutByte;
using testing::TempDir;
using Image = std::vector<std::byte>;

// A tree as relative path -> contents, with "/" for a directory.
using TreeDump = std::map<std::string, std::string>;

TreeDump DumpTree(const stdfs::path& root) {
  TreeDump dump;
  for (const auto& item : stdfs::recursive_directory_iterator(root)) {
    std::string relative = stdfs::relative(item.path(), root).string();
    if (item.is_symlink()) {
      dump[relative] = "<link>";
    } else if (item.is_directory()) {
      dump[relative] = "/";
    } else {
      dump[relative] = testing::ToString(testing::ReadFile(item.path()));
    }
  }
  return dump;
}

Result<ExtractStats> ExtractBytes(const Image& image, const stdfs::path& destination) {
  auto reader = ImageReader::Open(image, "'t.kid'");
  if (!reader) return reader.error();
  return ExtractImage(*reader, destination);
}

TEST(ExtractTest, WritesTheComposedTree) {
  TempDir dir;
  auto image = Compose({Dir("docs", {File("a.bin", std::string(1000, 'a')), Dir("empty"),
                                     File("zero", "")}),
                        File("ABCDEFGHIJKLMNOP", "sixteen"), File("readme.txt", "hello")});
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_TRUE(stats.ok()) << stats.error().message;
  EXPECT_EQ(stats->directories, 2u);
  EXPECT_EQ(stats->files, 4u);
  EXPECT_EQ(stats->bytes, 1000u + 7 + 5);
  TreeDump expected = {{"docs", "/"},
                       {"docs/a.bin", std::string(1000, 'a')},
                       {"docs/empty", "/"},
                       {"docs/zero", ""},
                       {"ABCDEFGHIJKLMNOP", "sixteen"},
                       {"readme.txt", "hello"}};
  EXPECT_EQ(DumpTree(dir / "out"), expected);
}

TEST(ExtractTest, RoundTripThroughTheBuilderReproducesTheTree) {
  testing::TempTree tree;
  std::mt19937 random(2024);
  // Sizes around the cluster boundaries, and a few random ones.
  std::vector<std::size_t> sizes = {0, 1, 511, 512, 513, 1023, 1024, 1025, 4096, 70000};
  for (int i = 0; i < 12; ++i) sizes.push_back(random() % 20000);
  int n = 0;
  for (std::size_t size : sizes) {
    std::string folder = n % 3 == 0 ? "" : n % 3 == 1 ? "a/" : "a/b c/";
    std::string contents(size, '\0');
    for (char& c : contents) c = static_cast<char>(random() % 256);
    tree.File(folder + "file" + std::to_string(n++) + ".bin", contents);
  }
  tree.Dir("empty dir");
  tree.Dir("a/b c/deeper/still");
  tree.File("Sixteen_chars.xy", "16");
  std::ostringstream out;
  DriveBuilder builder(out, testing::FixedOptions());
  ASSERT_EQ(testing::ScanAndBuild(builder, tree.srcText(), tree.out()), BuildOk) << out.str();

  auto mapped = MappedFile::Open(tree.out());
  ASSERT_TRUE(mapped.ok());
  auto reader = ImageReader::Open(mapped->bytes(), "'out.kid'");
  ASSERT_TRUE(reader.ok());
  auto stats = ExtractImage(*reader, tree.base() / "extracted");
  ASSERT_TRUE(stats.ok()) << stats.error().message;
  EXPECT_EQ(DumpTree(tree.base() / "extracted"), DumpTree(tree.src()));
}

TEST(ExtractTest, ExtractingAgainReplacesFilesAndKeepsDirectories) {
  TempDir dir;
  ASSERT_TRUE(ExtractBytes(Compose({Dir("d", {File("f", "old contents")})}), dir.path()).ok());
  ASSERT_TRUE(ExtractBytes(Compose({Dir("d", {File("f", "new")})}), dir.path()).ok());
  EXPECT_EQ(DumpTree(dir.path()), (TreeDump{{"d", "/"}, {"d/f", "new"}}));
}

struct BadNameCase {
  std::string name;
  const char* reason;
};

class UnsafeNameTest : public ::testing::TestWithParam<BadNameCase> {};

TEST_P(UnsafeNameTest, IsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  // The bad name is the last item, so a writer that went item by item would have
  // written the others first.
  auto image = Compose({Dir("docs", {File("a", "1")}), File("readme.txt", "2")});
  std::size_t slot = 1024 + 35;
  std::string field = GetParam().name;
  field.resize(16, '\0');
  for (std::size_t i = 0; i < 16; ++i) PutByte(image, slot + i, static_cast<unsigned char>(field[i]));
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find(GetParam().reason), std::string::npos)
      << stats.error().message;
  EXPECT_NE(stats.error().message.find("refusing to extract '" + PrintableName(GetParam().name)),
            std::string::npos)
      << stats.error().message;
  EXPECT_FALSE(stdfs::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeNameTest,
    ::testing::Values(BadNameCase{"..", "the name is '.' or '..'"},
                      BadNameCase{".", "the name is '.' or '..'"},
                      BadNameCase{"/etc", "holds a '/' or '\\'"},
                      BadNameCase{"../../x", "holds a '/' or '\\'"},
                      BadNameCase{"a\\b", "holds a '/' or '\\'"},
                      BadNameCase{"bell\x07", "holds a control character"},
                      BadNameCase{"\x1b[2J", "holds a control character"},
                      BadNameCase{"del\x7F", "holds a control character"},
                      BadNameCase{"new\nline", "holds a control character"}));

TEST(UnsafeNameReasonTest, AcceptsOrdinaryNames) {
  for (const char* name : {"a", "...", ".hidden", "a b", "caf\xC3\xA9", "ABCDEFGHIJKLMNOP"}) {
    EXPECT_EQ(UnsafeNameReason(name), "") << name;
  }
  EXPECT_EQ(UnsafeNameReason(""), "the name is empty");
}

TEST(ExtractTest, RefusesToFollowADirectoryLinkInTheDestination) {
  TempDir dir;
  stdfs::create_directories(dir / "out");
  stdfs::create_directories(dir / "elsewhere");
  stdfs::create_directory_symlink(dir / "elsewhere", dir / "out" / "docs");
  auto stats = ExtractBytes(Compose({Dir("docs", {File("a", "1")})}), dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("refusing to write through the symbolic link"),
            std::string::npos);
  EXPECT_TRUE(stdfs::is_empty(dir / "elsewhere"));
}

TEST(ExtractTest, RefusesToFollowAFileLinkInTheDestination) {
  TempDir dir;
  stdfs::create_directories(dir / "out");
  testing::WriteFile(dir / "victim", testing::ToBytes("keep me"));
  stdfs::create_symlink(dir / "victim", dir / "out" / "readme.txt");
  auto stats = ExtractBytes(Compose({File("readme.txt", "overwrite")}), dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("symbolic link"), std::string::npos);
  EXPECT_EQ(testing::ToString(testing::ReadFile(dir / "victim")), "keep me");
  EXPECT_TRUE(stdfs::is_symlink(dir / "out" / "readme.txt"));
}

TEST(ExtractTest, RefusesAFileWhereADirectoryShouldGo) {
  TempDir dir;
  testing::WriteFile(dir / "docs", testing::ToBytes("x"));
  auto stats = ExtractBytes(Compose({Dir("docs")}), dir.path());
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("is not a directory"), std::string::npos);
}

TEST(ExtractTest, RefusesADestinationThatIsAFile) {
  TempDir dir;
  testing::WriteFile(dir / "file", testing::ToBytes("x"));
  EXPECT_FALSE(ExtractBytes(Compose({File("a", "1")}), dir / "file").ok());
}

TEST(ExtractTest, FailsCleanlyOnADirectoryCycle) {
  TempDir dir;
  auto image = Compose({Dir("a", {Dir("b")})});
  Put32(image, 10 * 512 + 2 * 35 + entry::FirstCluster, 10);  // b's block is a's
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("loops"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(dir / "out"));
}

TEST(ExtractTest, RefusesTwoItemsOfTheSameName) {
  TempDir dir;
  auto image = Compose({File("same", "1"), File("other", "2")});
  StoreFixedString(image, 1024 + 35, 16, "same");
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("'same' appears twice"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(dir / "out"));
}

TEST(ExtractTest, RefusesAFileReachingPastTheImage) {
  TempDir dir;
  auto image = Compose({File("a", "1"), File("b", "2")});
  Put32(image, 1024 + 35 + entry::Size, 0x7FFFFFFF);
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("lies outside the image"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(dir / "out"));
}

TEST(ExtractTest, RefusesAnUnknownKind) {
  TempDir dir;
  auto image = Compose({File("a", "1")});
  Put32(image, 1024 + entry::Kind, 0xFFFFFFFD);
  auto stats = ExtractBytes(image, dir / "out");
  ASSERT_FALSE(stats.ok());
  EXPECT_NE(stats.error().message.find("unknown kind -3"), std::string::npos);
}

TEST(ExtractTest, LeavesNoTemporaryFilesBehind) {
  TempDir dir;
  ASSERT_TRUE(ExtractBytes(Compose(testing::WorkedExampleTree()), dir.path()).ok());
  for (const auto& item : stdfs::recursive_directory_iterator(dir.path())) {
    EXPECT_EQ(item.path().filename().string().find(".tmp"), std::string::npos) << item.path();
  }
}

}  // namespace
}  // namespace kivo::fs
