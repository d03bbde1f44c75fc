#include <sstream>

#include <unistd.h>

#include "tests/fsimage/BuildFixture.h"

namespace kivo::fs {
namespace {

using testing::ReadBytes;
using testing::ReadText;
using testing::TempTree;

class BuilderTest : public ::testing::Test {
 protected:
  DriveBuilder& Make(BuilderOptions options = testing::FixedOptions()) {
    builder_ = std::make_unique<DriveBuilder>(out_, std::move(options));
    return *builder_;
  }
  int Build(const std::string& root, const std::filesystem::path& output) {
    return testing::ScanAndBuild(*builder_, root, output);
  }
  std::vector<std::string> FilesBeside(const std::filesystem::path& path) const {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(path.parent_path())) {
      names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempTree tree_;
  std::ostringstream out_;
  std::unique_ptr<DriveBuilder> builder_;
};

TEST_F(BuilderTest, NothingFoundPrintsAndWritesNothing) {
  tree_.File(".only-hidden", "x");
  for (const std::string& root :
       {tree_.srcText(), (tree_.base() / "missing").string(), std::string()}) {
    SCOPED_TRACE(root);
    Make();
    EXPECT_EQ(Build(root, tree_.out()), BuildNothingFound);
    EXPECT_EQ(out_.str(), "");
    EXPECT_FALSE(std::filesystem::exists(tree_.out()));
    EXPECT_NE(testing::ProblemText(*builder_).find("directory empty or not found"), std::string::npos);
    if (!root.empty()) {
      EXPECT_NE(testing::ProblemText(*builder_).find(root), std::string::npos);
    }
  }
}

TEST_F(BuilderTest, EmptyDirectoryGivesTheSmallestImage) {
  tree_.Dir("empty");
  Make();
  ASSERT_EQ(Build(tree_.srcText(), tree_.out()), BuildOk);
  std::vector<std::uint8_t> image = ReadBytes(tree_.out());
  ASSERT_EQ(image.size(), 9216u);
  for (std::size_t n = 0; n < 10; ++n) EXPECT_EQ(testing::Le32(image, 512 + 4 * n), 0xCCCCCCCCu);
  EXPECT_EQ(testing::Le32(image, 512 + 4 * 10), 11u);
  EXPECT_EQ(testing::Le32(image, 512 + 4 * 17), 0xFFFFFFFFu);
  EXPECT_EQ(testing::Le32(image, 512 + 4 * 18), 0u);
}

TEST_F(BuilderTest, BuildingTwiceGivesTheSameStatisticsAndBytes) {
  tree_.FileOfSize("gfx/title.bin", 3000);
  tree_.FileOfSize("levels/one/map.dat", 512);
  tree_.File("readme.txt", "hello");
  DriveBuilder& builder = Make();
  ASSERT_EQ(Build(tree_.srcText(), tree_.base() / "first.kid"), BuildOk);
  std::string firstLines = out_.str();
  out_.str("");
  ASSERT_EQ(Build(tree_.srcText(), tree_.base() / "second.kid"), BuildOk);
  EXPECT_EQ(out_.str(), firstLines);
  EXPECT_EQ(ReadBytes(tree_.base() / "first.kid"), ReadBytes(tree_.base() / "second.kid"));
  EXPECT_EQ(builder.scanCount(), 6);
}

TEST_F(BuilderTest, ReplacesAnExistingOutputAndKeepsNoTemporaryFile) {
  tree_.File("a.txt", "abc");
  std::ofstream(tree_.out()) << std::string(50000, 'o');
  Make();
  ASSERT_EQ(Build(tree_.srcText(), tree_.out()), BuildOk);
  EXPECT_EQ(std::filesystem::file_size(tree_.out()), 5120u + 1024);
  EXPECT_EQ(FilesBeside(tree_.out()), (std::vector<std::string>{"out.kid", "src"}));
}

struct SourceFault {
  const char* label;
  std::function<void(const TempTree&)> change;
  const char* messagePart;
};

class SourceFaults : public BuilderTest, public ::testing::WithParamInterface<SourceFault> {};

TEST_P(SourceFaults, FailTheBuildAndKeepTheOldOutput) {
  tree_.FileOfSize("a.bin", 600);
  tree_.FileOfSize("sub/victim.bin", 1000);
  tree_.FileOfSize("z.bin", 700);
  std::ofstream(tree_.out()) << "old image";
  BuilderOptions options = testing::FixedOptions();
  options.beforePlacement = [this] { GetParam().change(tree_); };
  Make(options);
  EXPECT_EQ(Build(tree_.srcText(), tree_.out()), BuildSourceError);
  std::string lines = out_.str();
  EXPECT_NE(lines.find("\nroot file\nroot dir\nfile\nfile error\nroot file\nee\n"), std::string::npos) << lines;
  EXPECT_EQ(lines.find("\nerror\n"), std::string::npos);
  EXPECT_NE(testing::ProblemText(*builder_).find("victim.bin"), std::string::npos) << testing::ProblemText(*builder_);
  EXPECT_NE(testing::ProblemText(*builder_).find(GetParam().messagePart), std::string::npos)
      << testing::ProblemText(*builder_);
  EXPECT_EQ(ReadText(tree_.out()), "old image");
  EXPECT_EQ(FilesBeside(tree_.out()), (std::vector<std::string>{"out.kid", "src"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceFaults,
    ::testing::Values(
        SourceFault{"removed",
                    [](const TempTree& tree) { std::filesystem::remove(tree.src() / "sub/victim.bin"); },
                    "cannot open"},
        SourceFault{"grew", [](const TempTree& tree) { tree.FileOfSize("sub/victim.bin", 1100); },
                    "1000 -> 1100"},
        SourceFault{"shrank", [](const TempTree& tree) { tree.FileOfSize("sub/victim.bin", 10); },
                    "1000 -> 10"},
        SourceFault{"replacedByDirectory",
                    [](const TempTree& tree) {
                      std::filesystem::remove(tree.src() / "sub/victim.bin");
                      tree.Dir("sub/victim.bin");
                    },
                    "is a directory"}),
    [](const ::testing::TestParamInfo<SourceFault>& test) { return std::string(test.param.label); });

TEST_F(BuilderTest, UnwritableOutputStillPrintsEeThenError) {
  tree_.File("a.txt", "abc");
  Make();
  std::filesystem::path output = tree_.base() / "no-such-dir" / "x.kid";
  EXPECT_EQ(Build(tree_.srcText(), output), BuildOutputError);
  std::string lines = out_.str();
  EXPECT_EQ(lines.substr(lines.size() - 20), "\nroot file\nee\nerror\n");
  EXPECT_NE(testing::ProblemText(*builder_).find("x.kid"), std::string::npos) << testing::ProblemText(*builder_);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(BuilderTest, OutputThatIsADirectoryIsAnOutputError) {
  tree_.File("a.txt", "abc");
  std::filesystem::create_directory(tree_.base() / "taken");
  Make();
  EXPECT_EQ(Build(tree_.srcText(), tree_.base() / "taken"), BuildOutputError);
  EXPECT_NE(testing::ProblemText(*builder_).find("taken"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(tree_.base() / "taken"));
}

TEST_F(BuilderTest, FilesOf2GiBAreRefusedBeforeAnythingIsRead) {
  tree_.File("small.txt", "s");
  // Sparse: no disk space is used and nothing of it is ever read.
  std::filesystem::path huge = tree_.src() / "huge.bin";
  std::ofstream(huge).close();
  std::filesystem::resize_file(huge, std::uint64_t{1} << 31);
  Make();
  EXPECT_EQ(Build(tree_.srcText(), tree_.out()), BuildTooLarge);
  EXPECT_NE(testing::ProblemText(*builder_).find("huge.bin"), std::string::npos);
  EXPECT_NE(testing::ProblemText(*builder_).find("2 GiB"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(std::filesystem::exists(tree_.out()));
}

TEST_F(BuilderTest, ImagesReaching2GiBAreRefused) {
  for (const char* name : {"one.bin", "two.bin"}) {
    std::filesystem::path file = tree_.src() / name;
    std::ofstream(file).close();
    std::filesystem::resize_file(file, std::uint64_t{1} << 30);
  }
  Make();
  EXPECT_EQ(Build(tree_.srcText(), tree_.out()), BuildTooLarge);
  EXPECT_NE(testing::ProblemText(*builder_).find("2 GiB"), std::string::npos) << testing::ProblemText(*builder_);
  EXPECT_FALSE(std::filesystem::exists(tree_.out()));
}

TEST_F(BuilderTest, SymbolicLinkProblemsAreRefusedNamingTheLink) {
  tree_.File("a/b/file.txt", "f");
  std::filesystem::create_directory_symlink(tree_.src() / "a", tree_.src() / "a" / "b" / "up");
  std::filesystem::create_symlink(tree_.src() / "gone", tree_.src() / "dangling");
  Make();
  EXPECT_EQ(Build(tree_.srcText(), tree_.out()), BuildRefused);
  const std::string error = testing::ProblemText(*builder_);
  EXPECT_NE(error.find((tree_.src() / "a/b/up").string() + "' is a symbolic link cycle"),
            std::string::npos) << error;
  EXPECT_NE(error.find((tree_.src() / "dangling").string() + "' is a dangling symbolic link"),
            std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(tree_.out()));
}

TEST_F(BuilderTest, CheckImagePrintsTheLayoutAndWritesNothing) {
  tree_.FileOfSize("docs/a.bin", 1000);
  tree_.FileOfSize("readme.txt", 100);
  Make();
  builder_->ResetScan();
  builder_->ScanSource(tree_.srcText(), "*");
  EXPECT_EQ(builder_->CheckImage(), BuildOk);
  EXPECT_EQ(builder_->layout().driveSize, 11776u);
  EXPECT_NE(out_.str().find("rom drive size = 11776\n"), std::string::npos);
  EXPECT_EQ(out_.str().find("ee\n"), std::string::npos);
  EXPECT_EQ(FilesBeside(tree_.out()), (std::vector<std::string>{"src"}));
}

TEST_F(BuilderTest, DriveNameAndBufferRelease) {
  tree_.File("a.txt", "abc");
  BuilderOptions options = testing::FixedOptions();
  options.driveName = "Level Pack 2";
  Make(options);
  ASSERT_EQ(Build(tree_.srcText(), tree_.out()), BuildOk);
  std::string image = ReadText(tree_.out());
  EXPECT_EQ(image.substr(4, 16), std::string("Level Pack 2\0\0\0\0", 16));
  ASSERT_EQ(builder_->imageHead().size(), 5120u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(builder_->imageHead().data()), 5120),
            image.substr(0, 5120));
  builder_->ReleaseImageBuffer();
  EXPECT_TRUE(builder_->imageHead().empty());
  EXPECT_TRUE(builder_->directoryBlocks().empty());
}

TEST_F(BuilderTest, EntriesCarryTheLocalTimeOfTheBuild) {
  tree_.File("a.txt", "abc");
  Make(BuilderOptions{});  // the real clock
  std::time_t before = 0, after = 1;
  // A build takes milliseconds; one that straddles a second is simply made again.
  for (int attempt = 0; attempt < 5 && before != after; ++attempt) {
    before = std::time(nullptr);
    ASSERT_EQ(Build(tree_.srcText(), tree_.out()), BuildOk);
    after = std::time(nullptr);
  }
  ASSERT_EQ(before, after);
  std::vector<std::uint8_t> image = ReadBytes(tree_.out());
  std::tm local{};
  ::localtime_r(&before, &local);
  EXPECT_EQ(image[1024 + 28], (local.tm_wday << 5) | local.tm_mday);
  EXPECT_EQ(image[1024 + 31], local.tm_hour);
  EXPECT_EQ(image[1024 + 33], local.tm_sec);
}

}  // namespace
}  // namespace kivo::fs
