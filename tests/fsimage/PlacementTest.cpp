#include <array>
#include <sstream>

#include "tests/fsimage/BuildFixture.h"

namespace kivo::fs {
namespace {

using testing::Le32;
using testing::ReadBytes;
using testing::TempTree;

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& image, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One directory entry as the format lays it out, with the fixed clock's date bytes.
void PutEntry(Bytes& image, std::size_t offset, const std::string& name, std::uint32_t size,
              std::uint32_t firstCluster, std::uint32_t kind) {
  for (std::size_t i = 0; i < 16 && i < name.size(); ++i) image[offset + i] = name[i];
  Put32(image, offset + 16, size);
  Put32(image, offset + 20, firstCluster);
  Put32(image, offset + 24, kind);
  if (kind != 0xFFFFFFFDu) {
    const std::array<std::uint8_t, 7> stamp = {0x6F, 0x27, 0xD6, 0x0E, 0x05, 0x09, 0x20};
    std::copy(stamp.begin(), stamp.end(), image.begin() + static_cast<std::ptrdiff_t>(offset + 28));
  }
}

class PlacementTest : public ::testing::Test {
 protected:
  int Build(BuilderOptions options = testing::FixedOptions()) {
    builder_ = std::make_unique<DriveBuilder>(out_, std::move(options));
    return testing::ScanAndBuild(*builder_, tree_.srcText(), tree_.out());
  }
  std::string Slot(const Bytes& image, std::size_t offset) const {
    return std::string(image.begin() + static_cast<std::ptrdiff_t>(offset),
                       image.begin() + static_cast<std::ptrdiff_t>(offset + 16));
  }
  TempTree tree_;
  std::ostringstream out_;
  std::unique_ptr<DriveBuilder> builder_;
};

TEST_F(PlacementTest, WorkedExampleByteForByte) {
  std::string aBin = tree_.FileOfSize("docs/a.bin", 1000);
  std::string readme = tree_.FileOfSize("readme.txt", 100);
  ASSERT_EQ(Build(), BuildOk) << testing::ProblemText(*builder_);

  Bytes expected(11776, 0);
  const std::array<std::uint8_t, 52> header = {
      0x64, 0, 0, 0, 'K', 'i', 'v', 'o', ' ', 'R', 'o', 'm', ' ', 'D', 'r', 'i', 'v', 'e', 0, 0,
      0x00, 0x2E, 0, 0, 0x00, 0x02, 0, 0, 0x00, 0x02, 0, 0, 0x00, 0x10, 0, 0,
      0x00, 0x1A, 0, 0, 0x00, 0x02, 0, 0, 0x00, 0x04, 0, 0, 0x00, 0x14, 0, 0};
  std::copy(header.begin(), header.end(), expected.begin());
  for (std::uint32_t n = 0; n <= 9; ++n) Put32(expected, 512 + 4 * n, 0xCCCCCCCCu);
  for (std::uint32_t n = 10; n <= 16; ++n) Put32(expected, 512 + 4 * n, n + 1);
  Put32(expected, 512 + 4 * 17, 0xFFFFFFFFu);
  Put32(expected, 512 + 4 * 18, 19);
  Put32(expected, 512 + 4 * 19, 20);
  Put32(expected, 512 + 4 * 20, 0xFFFFFFFFu);
  Put32(expected, 512 + 4 * 21, 22);
  Put32(expected, 512 + 4 * 22, 0xFFFFFFFFu);
  PutEntry(expected, 1024, "docs", 4096, 10, 0xFFFFFFFFu);
  PutEntry(expected, 1059, "readme.txt", 100, 21, 0xFFFFFFFEu);
  PutEntry(expected, 5120, ".", 0, 10, 0xFFFFFFFDu);
  PutEntry(expected, 5155, "..", 0, 2, 0xFFFFFFFDu);
  PutEntry(expected, 5190, "a.bin", 1000, 18, 0xFFFFFFFEu);
  std::copy(aBin.begin(), aBin.end(), expected.begin() + 9216);
  std::copy(readme.begin(), readme.end(), expected.begin() + 10752);

  Bytes image = ReadBytes(tree_.out());
  ASSERT_EQ(image.size(), expected.size());
  for (std::size_t i = 0; i < image.size(); ++i) {
    ASSERT_EQ(image[i], expected[i]) << "first difference at offset " << i;
  }
  EXPECT_EQ(out_.str(),
            "num of files = 2\nnum of dir's = 1\nactual total space taken by files = 1100\n"
            "disk data space (files) = 2560\ndisk data space (dir) = 4096\nboot size = 512\n"
            "fat size = 512\nroot size = 4096\ndata size = 6656\nrom drive size = 11776\n"
            "fat start = 512\nroot start = 1024\ndata start = 5120\n"
            "root dir\nfile\nroot file\nee\n");
}

TEST_F(PlacementTest, SubDirectoryLookupLinesAndCaseLines) {
  tree_.Dir("docs/img/raw");
  BuilderOptions options = testing::FixedOptions();
  options.statistics = false;
  ASSERT_EQ(Build(options), BuildOk) << testing::ProblemText(*builder_);
  EXPECT_EQ(out_.str(),
            "root dir\n"
            "sub dir\n"  // img: docs is found in the root without a line
            "sub dir\n"
            ". * img-*-raw\n"
            ".. * img-*-raw\n"
            "img * img-*-raw\n"
            "ee\n");
}

TEST_F(PlacementTest, WithoutTraceOnlyStatisticsAndEe) {
  tree_.File("docs/img/a.txt", "a");
  BuilderOptions options = testing::FixedOptions();
  options.trace = false;
  ASSERT_EQ(Build(options), BuildOk);
  std::string text = out_.str();
  EXPECT_EQ(text.find("dir\n"), std::string::npos);
  EXPECT_EQ(text.find(" * "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 21), "data start = 5120\nee\n");
}

TEST_F(PlacementTest, DotDotPointsToTheHoldingDirectory) {
  tree_.Dir("a/b");
  ASSERT_EQ(Build(), BuildOk);
  Bytes image = ReadBytes(tree_.out());
  const std::uint32_t a = 10, b = 18;  // dataStart 5120 / 512, then 8 clusters for a
  EXPECT_EQ(Le32(image, 1024 + 20), a);
  EXPECT_EQ(Le32(image, a * 512 + 20), a);              // "." of a
  EXPECT_EQ(Le32(image, a * 512 + 35 + 20), 1024u / 512);  // ".." of a: the root
  EXPECT_EQ(Slot(image, a * 512 + 70).substr(0, 2), std::string("b\0", 2));
  EXPECT_EQ(Le32(image, a * 512 + 70 + 20), b);
  EXPECT_EQ(Le32(image, b * 512 + 20), b);
  EXPECT_EQ(Le32(image, b * 512 + 35 + 20), a);
  EXPECT_EQ(image[b * 512 + 70], 0) << "an empty directory holds only . and ..";
}

TEST_F(PlacementTest, ConsecutiveFilesTakeConsecutiveChains) {
  std::string first = tree_.FileOfSize("a.bin", 100);
  std::string second = tree_.FileOfSize("b.bin", 100);
  tree_.FileOfSize("c.bin", 0);
  tree_.FileOfSize("d.bin", 512);
  ASSERT_EQ(Build(), BuildOk);
  Bytes image = ReadBytes(tree_.out());
  const std::uint32_t k = 10;
  const std::vector<std::uint32_t> firsts = {k, k + 2, k + 4, k + 6};
  for (std::size_t i = 0; i < firsts.size(); ++i) {
    EXPECT_EQ(Le32(image, 1024 + 35 * i + 20), firsts[i]) << "slot " << i;
  }
  EXPECT_EQ(Le32(image, 512 + 4 * k), k + 1);
  EXPECT_EQ(Le32(image, 512 + 4 * (k + 1)), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(image, 512 + 4 * (k + 5)), 0xFFFFFFFFu);  // the empty file has 2 clusters too
  EXPECT_EQ(Le32(image, 512 + 4 * (k + 8)), 0xFFFFFFFFu);  // 512 bytes take 3
  EXPECT_EQ(image.size(), 5120u + 9 * 512);
  EXPECT_EQ(std::string(image.begin() + k * 512, image.begin() + k * 512 + 100), first);
  EXPECT_EQ(std::string(image.begin() + (k + 2) * 512, image.begin() + (k + 2) * 512 + 100), second);
  EXPECT_EQ(image[k * 512 + 100], 0);
}

TEST_F(PlacementTest, NamesOf15And16And17Characters) {
  tree_.File("abcdefghijklmno", "1");     // 15
  tree_.File("abcdefghijklmnop1", "2");   // 17: stored cut to 16
  tree_.File("bbcdefghijklmnop", "3");    // 16
  tree_.File("directory-name-17/inside.txt", "4");
  ASSERT_EQ(Build(), BuildOk) << testing::ProblemText(*builder_);
  Bytes image = ReadBytes(tree_.out());
  EXPECT_EQ(Slot(image, 1024), std::string("abcdefghijklmno\0", 16));
  EXPECT_EQ(Slot(image, 1059), "abcdefghijklmnop");
  EXPECT_EQ(Le32(image, 1059 + 16), 1u) << "size follows the 16 name bytes directly";
  EXPECT_EQ(Slot(image, 1094), "bbcdefghijklmnop");
  EXPECT_EQ(Slot(image, 1129), "directory-name-1");
  // The items of a directory with a long name are found through its stored 16 bytes.
  std::uint32_t dir = Le32(image, 1129 + 20);
  EXPECT_EQ(Slot(image, dir * 512 + 70).substr(0, 11), std::string("inside.txt\0", 11));
}

TEST_F(PlacementTest, ComponentsResolveWithoutRegardToCase) {
  tree_.File("Docs/Img/x.txt", "x");
  ASSERT_EQ(Build(), BuildOk);
  std::optional<std::uint32_t> docs = builder_->ResolveDirectory("\\DOCS\\");
  ASSERT_TRUE(docs.has_value());
  EXPECT_EQ(*docs, 10u);
  EXPECT_EQ(builder_->ResolveDirectory("\\docs\\IMG\\"), std::optional<std::uint32_t>(18u));
  EXPECT_FALSE(builder_->ResolveDirectory("\\nowhere\\").has_value());
  EXPECT_FALSE(builder_->ResolveDirectory("\\docs\\nowhere\\").has_value());
}

TEST_F(PlacementTest, FullRootDirectoryHasNoFreeSlot) {
  for (int i = 0; i < 117; ++i) tree_.File("f" + std::to_string(1000 + i), "");
  ASSERT_EQ(Build(), BuildOk) << testing::ProblemText(*builder_);
  EXPECT_FALSE(builder_->FindFreeSlot(builder_->layout().rootStart).has_value());
  Bytes image = ReadBytes(tree_.out());
  std::size_t root = builder_->layout().rootStart;
  EXPECT_EQ(root, 1536u) << "117 files of 2 clusters need a second table block";
  EXPECT_EQ(Slot(image, root + 116 * 35).substr(0, 5), "f1116");
  EXPECT_EQ(image[root + 4095], 0) << "the last byte of the root belongs to no slot";
}

struct RefusalCase {
  const char* label;
  std::vector<std::string> files;
  std::vector<std::string> messageParts;
};

class Refusals : public PlacementTest, public ::testing::WithParamInterface<RefusalCase> {};

std::vector<std::string> Numbered(const std::string& prefix, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(1000 + i));
  return names;
}

TEST_P(Refusals, NothingIsWritten) {
  for (const std::string& file : GetParam().files) tree_.File(file, "z");
  std::ofstream(tree_.out()) << "old image";
  EXPECT_EQ(Build(), BuildRefused);
  for (const std::string& part : GetParam().messageParts) {
    EXPECT_NE(testing::ProblemText(*builder_).find(part), std::string::npos)
        << "'" << part << "' missing from: " << testing::ProblemText(*builder_);
  }
  EXPECT_EQ(out_.str(), "") << "a refused build prints nothing";
  EXPECT_EQ(testing::ReadText(tree_.out()), "old image");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusals,
    ::testing::Values(
        RefusalCase{"root118", Numbered("r", 118), {"118 items", "at most 117"}},
        RefusalCase{"sub116", Numbered("sub/s", 116), {"sub'", "116 items", "at most 115"}},
        RefusalCase{"caseCollision", {"gfx/Title.png", "gfx/TITLE.PNG"}, {"'TITLE.PNG'", "'Title.png'", "gfx'"}},
        RefusalCase{"cutCollision", {"abcdefghijklmnopXYZ", "ABCDEFGHIJKLMNOPqrs"}, {"abcdefghijklmnopXYZ", "ABCDEFGHIJKLMNOPqrs"}},
        RefusalCase{"backslash", {"back\\slash.txt"}, {"back\\slash.txt", "backslash"}},
        RefusalCase{"control", {"tab\tname"}, {"tab\tname", "control character"}}),
    [](const ::testing::TestParamInfo<RefusalCase>& test) { return std::string(test.param.label); });

TEST_F(PlacementTest, FullSubdirectoryOf115ItemsIsAccepted) {
  for (const std::string& name : Numbered("sub/s", 115)) tree_.File(name, "");
  ASSERT_EQ(Build(), BuildOk) << testing::ProblemText(*builder_);
  std::optional<std::uint32_t> sub = builder_->ResolveDirectory("\\sub\\");
  ASSERT_TRUE(sub.has_value());
  EXPECT_EQ(*sub, builder_->layout().dataStart / 512);
  EXPECT_FALSE(builder_->FindFreeSlot(*sub * 512).has_value());
  Bytes image = ReadBytes(tree_.out());
  EXPECT_EQ(Slot(image, *sub * 512 + 116 * 35).substr(0, 5), "s1114");
}

TEST_F(PlacementTest, EveryProblemIsListedAtOnce) {
  for (const std::string& name : Numbered("a/x", 116)) tree_.File(name, "");
  for (const std::string& name : Numbered("b/y", 117)) tree_.File(name, "");
  tree_.File("c/Same", "1");
  tree_.File("c/sAME", "2");
  EXPECT_EQ(Build(), BuildRefused);
  const std::vector<Error>& problems = builder_->problems();
  ASSERT_EQ(problems.size(), 3u) << testing::ProblemText(*builder_);
  EXPECT_NE(problems[0].message.find("'Same' and 'sAME'"), std::string::npos);
  EXPECT_NE(problems[1].message.find("116 items"), std::string::npos);
  EXPECT_NE(problems[2].message.find("117 items"), std::string::npos);
}

}  // namespace
}  // namespace kivo::fs
