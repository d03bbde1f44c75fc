#include <sstream>

#include <sys/stat.h>

#include "tests/fsimage/BuildFixture.h"

namespace kivo::fs {
namespace {

using testing::TempTree;

struct Expected {
  std::string name;
  std::string parentPath;
  bool isDirectory;
};

std::vector<Expected> Summarise(const DriveBuilder& builder) {
  std::vector<Expected> found;
  for (const ScanRecord& r : builder.records()) found.push_back({r.name, r.parentPath, r.isDirectory});
  return found;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.name == b.name && a.parentPath == b.parentPath && a.isDirectory == b.isDirectory;
}
std::ostream& operator<<(std::ostream& os, const Expected& e) {
  return os << e.name << " in " << e.parentPath << (e.isDirectory ? " (dir)" : "");
}

class ScanTest : public ::testing::Test {
 protected:
  void Scan(const std::string& root, BuilderOptions options = testing::FixedOptions()) {
    builder_ = std::make_unique<DriveBuilder>(out_, std::move(options));
    builder_->ResetScan();
    builder_->SetRootPathLength(root.size());
    builder_->ScanSource(root, "*");
  }
  TempTree tree_;
  std::ostringstream out_;
  std::unique_ptr<DriveBuilder> builder_;
};

TEST_F(ScanTest, DepthFirstPreOrderWithParentPaths) {
  tree_.File("a/m", "x");
  tree_.File("a/n/y", "yy");
  tree_.File("z.txt", "");
  const std::vector<Expected> expected = {
      {"a", "\\", true},
      {"m", "\\a\\", false},
      {"n", "\\a\\", true},
      {"y", "\\a\\n\\", false},
      {"z.txt", "\\", false},
  };
  // The parent paths do not depend on how the source root is written.
  for (const std::string& root : {tree_.srcText(), tree_.srcText() + "/", tree_.srcText() + "//"}) {
    SCOPED_TRACE(root);
    Scan(root);
    EXPECT_EQ(Summarise(*builder_), expected);
  }
  Scan(tree_.srcText());
  EXPECT_EQ(builder_->records()[3].fullPath, (tree_.src() / "a" / "n" / "y").string());
}

TEST_F(ScanTest, HostOrderFollowsTheListing) {
  for (const char* name : {"delta", "alpha", "charlie", "bravo", "echo"}) tree_.File(name, name);
  BuilderOptions options = testing::FixedOptions();
  options.sortByName = false;
  Scan(tree_.srcText(), options);
  std::vector<std::string> listed;
  for (const auto& item : std::filesystem::directory_iterator(tree_.src())) {
    listed.push_back(item.path().filename().string());
  }
  std::vector<std::string> scanned;
  for (const ScanRecord& r : builder_->records()) scanned.push_back(r.name);
  EXPECT_EQ(scanned, listed);
}

TEST_F(ScanTest, SortsByByteOrderNotLocale) {
  for (const char* name : {"b", "B", "a", "_x", "\xC3\xA9t\xC3\xA9", "Z"}) tree_.File(name, "1");
  Scan(tree_.srcText());
  std::vector<std::string> scanned;
  for (const ScanRecord& r : builder_->records()) scanned.push_back(r.name);
  EXPECT_EQ(scanned, (std::vector<std::string>{"B", "Z", "_x", "a", "b", "\xC3\xA9t\xC3\xA9"}));
}

TEST_F(ScanTest, EmptyAndDotOnlyTreesFindNothing) {
  Scan(tree_.srcText());
  EXPECT_EQ(builder_->scanCount(), 0);
  tree_.File(".hidden", "abc");
  tree_.File(".git/config", "abc");
  tree_.Dir(".cache/deep/er");
  Scan(tree_.srcText());
  EXPECT_EQ(builder_->scanCount(), 0);
  const ScanTotals& t = builder_->totals();
  EXPECT_EQ(t.fileCount + t.dirCount + t.byteCount + t.fileSpace + t.dirSpace, 0);
}

struct SizeCase {
  std::size_t size;
  std::int64_t fileSpace;
};

class ScanFileSizes : public ScanTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ScanFileSizes, ReservesTheChainOfEachFile) {
  tree_.FileOfSize("f.bin", GetParam().size);
  tree_.Dir("d");
  Scan(tree_.srcText());
  const ScanTotals& t = builder_->totals();
  EXPECT_EQ(t.fileCount, 1);
  EXPECT_EQ(t.dirCount, 1);
  EXPECT_EQ(t.byteCount, static_cast<std::int64_t>(GetParam().size));
  EXPECT_EQ(t.fileSpace, GetParam().fileSpace);
  EXPECT_EQ(t.dirSpace, 4096);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScanFileSizes,
                         ::testing::Values(SizeCase{0, 1024}, SizeCase{1, 1024}, SizeCase{511, 1024},
                                           SizeCase{512, 1536}, SizeCase{1000, 1536},
                                           SizeCase{1023, 1536}, SizeCase{1024, 2048}));

TEST(FileExtension, IsThePartAfterTheLastDot) {
  EXPECT_EQ(FileExtension("README"), "README");
  EXPECT_EQ(FileExtension("archive.tar.gz"), "gz");
  EXPECT_EQ(FileExtension("a.TXT"), "TXT");
  EXPECT_EQ(FileExtension("trailing."), "");
}

TEST_F(ScanTest, FilterRecordsOnlyMatchingFilesAndTotalsCoverExactlyThem) {
  tree_.File("a.txt", "12345");
  tree_.File("b.TXT", "123");
  tree_.File("sub/c.txt", "1");
  tree_.File("sub/d.bin", "1234567");
  builder_ = std::make_unique<DriveBuilder>(out_, testing::FixedOptions());
  builder_->ResetScan();
  builder_->ScanSource(tree_.srcText(), "txt");
  const std::vector<Expected> expected = {
      {"a.txt", "\\", false}, {"sub", "\\", true}, {"c.txt", "\\sub\\", false}};
  EXPECT_EQ(Summarise(*builder_), expected);
  EXPECT_EQ(builder_->totals().fileCount, 2);
  EXPECT_EQ(builder_->totals().byteCount, 6);
}

TEST_F(ScanTest, ExcludedNamesLeaveOutTheirContents) {
  tree_.File("keep.txt", "k");
  tree_.File("old.bak", "b");
  tree_.File("tmp/inner.txt", "i");
  tree_.File("gfx/x.bak", "x");
  BuilderOptions options = testing::FixedOptions();
  options.excludes = {"*.bak", "tmp"};
  Scan(tree_.srcText(), options);
  const std::vector<Expected> expected = {{"gfx", "\\", true}, {"keep.txt", "\\", false}};
  EXPECT_EQ(Summarise(*builder_), expected);
}

TEST_F(ScanTest, ResetStartsAfresh) {
  tree_.File("a/b", "123");
  Scan(tree_.srcText());
  builder_->ScanSource(tree_.srcText(), "*");  // without a reset, the records add up
  EXPECT_EQ(builder_->scanCount(), 4);
  EXPECT_EQ(builder_->totals().byteCount, 6);
  builder_->ResetScan();
  EXPECT_EQ(builder_->scanCount(), 0);
  EXPECT_EQ(builder_->totals().fileSpace, 0);
  builder_->ScanSource(tree_.srcText(), "*");
  EXPECT_EQ(builder_->scanCount(), 2);
  EXPECT_EQ(builder_->totals().byteCount, 3);
}

TEST_F(ScanTest, SpecialFilesAreSkippedWithAWarning) {
  tree_.File("real.txt", "r");
  ASSERT_EQ(::mkfifo((tree_.src() / "pipe").c_str(), 0600), 0);
  Scan(tree_.srcText());
  const std::vector<Expected> expected = {{"real.txt", "\\", false}};
  EXPECT_EQ(Summarise(*builder_), expected);
  EXPECT_EQ(out_.str(), "warning: skipping '" + (tree_.src() / "pipe").string() + "': a named pipe\n");
}

TEST_F(ScanTest, LinksToFilesAndDirectoriesAreFollowed) {
  tree_.FileOfSize("data/level.bin", 700);
  std::filesystem::create_symlink(tree_.src() / "data" / "level.bin", tree_.src() / "alias.bin");
  std::filesystem::create_directory_symlink(tree_.src() / "data", tree_.src() / "more");
  Scan(tree_.srcText());
  const std::vector<Expected> expected = {{"alias.bin", "\\", false},
                                          {"data", "\\", true},
                                          {"level.bin", "\\data\\", false},
                                          {"more", "\\", true},
                                          {"level.bin", "\\more\\", false}};
  EXPECT_EQ(Summarise(*builder_), expected);
  EXPECT_EQ(builder_->records()[0].size, 700u);
  EXPECT_EQ(builder_->totals().byteCount, 2100);
}

}  // namespace
}  // namespace kivo::fs
