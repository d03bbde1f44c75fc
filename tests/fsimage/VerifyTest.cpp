#include "fsimage/Verify.h"

#include <algorithm>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/fsimage/BuildFixture.h"
#include "tests/fsimage/ImageComposer.h"

namespace kivo::fs {
namespace {

using testing::Compose;
using testing::Dir;
using testing::File;
using testing::Get32;
using testing::Put32;
using testing::PutByte;
using Image = std::vector<std::byte>;

std::string Lines(const VerifyReport& report) {
  std::string text;
  for (const std::string& line : report.problems) text += line + "\n";
  return text;
}

TEST(VerifyTest, AcceptsSoundComposedImages) {
  std::vector<testing::Node> full;
  for (int i = 0; i < 117; ++i) full.push_back(File("f" + std::to_string(i), "x"));
  const std::vector<std::vector<testing::Node>> trees = {
      {},
      {Dir("empty")},
      testing::WorkedExampleTree(),
      {Dir("a", {Dir("b", {Dir("c", {File("d", std::string(513, 'd'))})}), File("e", "")}),
       File("ABCDEFGHIJKLMNOPQ", std::string(1024, 'q'))},
      full,
      // 119 data clusters: the table has to grow past its first 128 entries.
      {File("big", std::string(117 * 512, 'b'))},
  };
  for (const auto& tree : trees) {
    auto report = VerifyImage(Compose(tree), "'t.kid'");
    EXPECT_TRUE(report.ok()) << Lines(report);
  }
}

TEST(VerifyTest, CountsWhatItChecked) {
  auto report = VerifyImage(Compose(testing::WorkedExampleTree()), "'t.kid'");
  EXPECT_EQ(report.directories, 1u);
  EXPECT_EQ(report.files, 2u);
  EXPECT_EQ(report.clusters, 23u);
}

TEST(VerifyTest, AcceptsWhatTheBuilderMakes) {
  testing::TempTree tree;
  tree.FileOfSize("docs/a.bin", 1000);
  tree.FileOfSize("readme.txt", 100);
  tree.FileOfSize("docs/img/raw/p.bin", 512);
  tree.FileOfSize("docs/img/empty.bin", 0);
  tree.Dir("nothing");
  for (int i = 0; i < 20; ++i) tree.FileOfSize("many/f" + std::to_string(i), i * 97);
  std::ostringstream out;
  DriveBuilder builder(out, testing::FixedOptions());
  ASSERT_EQ(testing::ScanAndBuild(builder, tree.srcText(), tree.out()), BuildOk) << out.str();
  auto image = testing::ReadFile(tree.out());
  auto report = VerifyImage(image, "'out.kid'");
  EXPECT_TRUE(report.ok()) << Lines(report);
  EXPECT_EQ(report.files, 24u);
  EXPECT_EQ(report.directories, 5u);
}

struct CorruptionCase {
  const char* rule;
  std::function<void(Image&)> corrupt;
  const char* expected;  // part of one problem line
};

class VerifyRuleTest : public ::testing::TestWithParam<CorruptionCase> {};

// The worked example: docs (clusters 10-17, root slot 0) holds a.bin (18-20); readme.txt
// (21-22, root slot 1). Table at 512, root at 1024, docs block at 5120.
constexpr std::size_t Docs = 1024;
constexpr std::size_t Readme = 1024 + 35;
constexpr std::size_t DocsBlock = 5120;

void SetEntry(Image& image, std::size_t cluster, std::uint32_t value) {
  Put32(image, 512 + 4 * cluster, value);
}

TEST_P(VerifyRuleTest, FindsTheBrokenRule) {
  auto image = Compose(testing::WorkedExampleTree());
  GetParam().corrupt(image);
  auto report = VerifyImage(image, "'t.kid'");
  ASSERT_FALSE(report.ok()) << GetParam().rule;
  std::string lines = Lines(report);
  EXPECT_NE(lines.find(GetParam().expected), std::string::npos)
      << GetParam().rule << ": expected a line with \"" << GetParam().expected << "\", got\n"
      << lines;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, VerifyRuleTest,
    ::testing::Values(
        CorruptionCase{"too short", [](Image& i) { i.resize(40); },
                       "'t.kid' is too short to be a drive image (40 bytes)"},
        CorruptionCase{"version", [](Image& i) { Put32(i, 0, 99); },
                       "header: version is 99, expected 100"},
        CorruptionCase{"bootSize", [](Image& i) { Put32(i, 24, 511); },
                       "header: bootSize is 511, expected 512"},
        CorruptionCase{"fatSize", [](Image& i) { Put32(i, 28, 1000); },
                       "header: fatSize 1000 is not a positive multiple of 512"},
        CorruptionCase{"rootSize", [](Image& i) { Put32(i, 32, 4000); },
                       "header: rootSize is 4000, expected 4096"},
        CorruptionCase{"dataSize", [](Image& i) { Put32(i, 36, 6600); },
                       "header: dataSize 6600 is not a multiple of 512"},
        CorruptionCase{"fatStart", [](Image& i) { Put32(i, 40, 0); },
                       "header: fatStart is 0, expected 512"},
        CorruptionCase{"rootStart", [](Image& i) { Put32(i, 44, 1536); },
                       "header: rootStart is 1536, expected 1024 (fatStart + fatSize)"},
        CorruptionCase{"dataStart", [](Image& i) { Put32(i, 48, 5632); },
                       "header: dataStart is 5632, expected 5120 (rootStart + rootSize)"},
        CorruptionCase{"driveSize against the regions", [](Image& i) { Put32(i, 20, 12288); },
                       "header: driveSize is 12288, expected 11776 (dataStart + dataSize)"},
        CorruptionCase{"driveSize against the file", [](Image& i) { i.resize(11264); },
                       "header: driveSize is 11776 but the file holds 11264 bytes"},
        CorruptionCase{"file length in clusters", [](Image& i) { i.resize(11777); },
                       "the file length 11777 is not a multiple of 512"},
        CorruptionCase{"header tail", [](Image& i) { PutByte(i, 300, 1); },
                       "header: bytes 52 to 511 should be zero, byte 300 is not"},
        CorruptionCase{"region outside the file", [](Image& i) { Put32(i, 44, 0x7FFFFE00); },
                       "the root directory (4096 bytes at offset 2147483136) lies outside"},
        CorruptionCase{"table too small",
                       [](Image& i) {
                         i.resize(130 * 512);
                         Put32(i, 20, 130 * 512);
                         Put32(i, 36, 130 * 512 - 5120);
                       },
                       "128 entries cannot describe the 130 clusters"},
        CorruptionCase{"reserved entries", [](Image& i) { SetEntry(i, 3, 0); },
                       "entry 3 (header block, table, root directory) should hold 0xCCCCCCCC"},
        CorruptionCase{"reserved value in the data area", [](Image& i) { SetEntry(i, 40, 0xCCCCCCCC); },
                       "entry 40 hold 0xCCCCCCCC but lie past the reserved clusters"},
        CorruptionCase{"entries past the image", [](Image& i) { SetEntry(i, 50, 7); },
                       "entry 50 describe clusters past the end of the image but are not free"},
        CorruptionCase{"chain consecutive", [](Image& i) { SetEntry(i, 18, 20); },
                       "'docs/a.bin': cluster 18 of its chain links to 0x00000014, expected 19"},
        CorruptionCase{"chain terminated", [](Image& i) { SetEntry(i, 22, 23); },
                       "'readme.txt': its chain does not end at cluster 22"},
        CorruptionCase{"chain ends early", [](Image& i) { SetEntry(i, 19, 0xFFFFFFFF); },
                       "'docs/a.bin': its chain ends at cluster 19 after 2 clusters; its size needs 3"},
        CorruptionCase{"chain linked", [](Image& i) { SetEntry(i, 16, 0); },
                       "'docs': cluster 16 of its chain is marked free"},
        CorruptionCase{"no cluster in two chains",
                       [](Image& i) { Put32(i, Readme + 20, 19); },
                       "cluster 19 belongs to the chains of both 'readme.txt' and 'docs/a.bin'"},
        CorruptionCase{"no used entry owned by nothing",
                       [](Image& i) { Put32(i, DocsBlock + 70 + 16, 0); },
                       "allocation table: cluster 20 is marked in use but owned by no item"},
        CorruptionCase{"no gap between chains",
                       [](Image& i) {
                         i.resize(i.size() + 512);
                         Put32(i, 20, 12288);
                         Put32(i, 36, 6656 + 512);
                       },
                       "data area: cluster 23 belongs to no item (a gap between chains)"},
        CorruptionCase{"size matching the chain", [](Image& i) { Put32(i, Readme + 16, 600); },
                       "'readme.txt': its chain ends at cluster 22 after 2 clusters; its size needs 3"},
        CorruptionCase{"chain inside the data area", [](Image& i) { Put32(i, Readme + 20, 5); },
                       "'readme.txt': its chain (clusters 5 to 6) does not lie inside the data area "
                       "(clusters 10 to 22)"},
        CorruptionCase{"chain inside the image", [](Image& i) { Put32(i, Readme + 20, 22); },
                       "'readme.txt': its chain (clusters 22 to 23) does not lie inside"},
        CorruptionCase{"slots without gaps", [](Image& i) { PutByte(i, Docs, 0); },
                       "root directory: slot 1 is used after the empty slot 0"},
        CorruptionCase{"slots without gaps in a block",
                       [](Image& i) {
                         PutByte(i, DocsBlock + 5 * 35, 'z');
                       },
                       "'docs': slot 5 is used after the empty slot 3"},
        CorruptionCase{"the dot entry", [](Image& i) { Put32(i, DocsBlock + 20, 11); },
                       "'docs': slot 0 should be the '.' entry (kind -3, cluster 10"},
        CorruptionCase{"the dot-dot entry", [](Image& i) { Put32(i, DocsBlock + 35 + 20, 3); },
                       "'docs': slot 1 should be the '..' entry (kind -3, cluster 2"},
        CorruptionCase{"zero fields of dot-dot", [](Image& i) { PutByte(i, DocsBlock + 35 + 31, 1); },
                       "cluster 2, non-zero fields"},
        CorruptionCase{"directory size", [](Image& i) { Put32(i, Docs + 16, 4095); },
                       "'docs': a directory's size should be 4096, it is 4095"},
        CorruptionCase{"kind", [](Image& i) { Put32(i, Readme + 24, 7); },
                       "'readme.txt': kind 7 is neither a directory (-1) nor a file (-2)"},
        CorruptionCase{"a link entry among the items",
                       [](Image& i) { Put32(i, Readme + 24, 0xFFFFFFFD); },
                       "kind -3 is neither"},
        CorruptionCase{"names unique ignoring case",
                       [](Image& i) { StoreFixedString(i, Readme, 16, "DOCS"); },
                       "root directory: the names 'docs' and 'DOCS' are equal ignoring case"},
        CorruptionCase{"names a host can hold",
                       [](Image& i) { StoreFixedString(i, Readme, 16, "a/b"); },
                       "'a/b': the name holds a '/' or '\\'"},
        CorruptionCase{"dot dot as a name",
                       [](Image& i) { StoreFixedString(i, Readme, 16, ".."); },
                       "the name is '.' or '..'"},
        CorruptionCase{"time stamp", [](Image& i) { PutByte(i, Readme + 31, 24); },
                       "'readme.txt': the time stamp is not a valid date and time"},
        CorruptionCase{"rest of a file's chain zero", [](Image& i) { PutByte(i, 10752 + 100, 'x'); },
                       "'readme.txt': the rest of its chain after its 100 bytes should be zero, "
                       "byte 10852 is not"},
        CorruptionCase{"last byte of the root", [](Image& i) { PutByte(i, 1024 + 4095, 1); },
                       "root directory: the last byte of the region belongs to no slot"},
        CorruptionCase{"last byte of a block", [](Image& i) { PutByte(i, DocsBlock + 4095, 1); },
                       "'docs': the last byte of the region belongs to no slot"},
        CorruptionCase{"a directory holding itself",
                       [](Image& i) {
                         // Turn a.bin into a directory whose block is that of docs.
                         Put32(i, DocsBlock + 70 + 16, 4096);
                         Put32(i, DocsBlock + 70 + 20, 10);
                         Put32(i, DocsBlock + 70 + 24, 0xFFFFFFFF);
                       },
                       "'docs/a.bin': its block at cluster 10 is that of 'docs' (the tree loops"}));

TEST(VerifyTest, ListsAtMostALimitedNumberOfProblems) {
  auto image = Compose(testing::WorkedExampleTree());
  // Every root slot used, each pointing nowhere sensible.
  for (std::size_t slot = 0; slot < 117; ++slot) {
    std::size_t at = 1024 + 35 * slot;
    StoreFixedString(image, at, 16, "n" + std::to_string(slot));
    Put32(image, at + 24, 9);
  }
  auto report = VerifyImage(image, "'t.kid'");
  ASSERT_EQ(report.problems.size(), MaxListedProblems + 1);
  EXPECT_EQ(report.problems.back(),
            "... and " + std::to_string(report.problemCount - MaxListedProblems) + " more problems");
  EXPECT_GT(report.problemCount, MaxListedProblems);
}

}  // namespace
}  // namespace kivo::fs
