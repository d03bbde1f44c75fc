// The verifier: sound images pass with their counts, and each rule broken in the worked
// example is named.
#include <functional>

#include <gtest/gtest.h>

#include "fsimage/Verify.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::fs::test {
namespace {

std::string Lines(const VerifyReport& report) {
  std::string text;
  for (const std::string& line : report.problems) text += line + "\n";
  return text;
}

TEST(Verify, PassesSoundImagesAndCountsThem) {
  auto report = VerifyImage(Span(Image(WorkedExample())), "'t.kid'");
  EXPECT_EQ(Lines(report), "");
  EXPECT_EQ(std::vector({report.directories, report.files, report.clusters}), std::vector<std::uint64_t>({1, 2, 23}));
  const Tree trees[] = {
      {{"empty/", ""}}, {{"a/b/c/d", Pattern(513)}, {"a/e", ""}, {"a/b/f/", ""}, {"ABCDEFGHIJKLMNOPQ", Pattern(1024)}},
      {{"big", Pattern(117 * 512)}},  // 119 data clusters: the table grows past 128 entries
  };
  for (const Tree& tree : trees) EXPECT_EQ(Lines(VerifyImage(Span(Image(tree)), "'t.kid'")), "");
}

using Bytes = std::string;
void Entry(Bytes& i, std::size_t cluster, std::uint32_t value) { Put32(i, 512 + 4 * cluster, value); }
void Name(Bytes& i, std::size_t at, std::string name) {
  name.resize(16, '\0');
  i.replace(at, 16, name);
}

TEST(Verify, NamesEachBrokenRule) {
  const std::pair<std::function<void(Bytes&)>, const char*> cases[] = {
      {[](Bytes& i) { i.resize(40); }, "'t.kid' is too short to be a drive image (40 bytes)"},
      {[](Bytes& i) { Put32(i, 0, 99); }, "header: version is 99, expected 100"},
      {[](Bytes& i) { Put32(i, 24, 511); }, "header: bootSize is 511, expected 512"},
      {[](Bytes& i) { Put32(i, 28, 1000); }, "header: fatSize 1000 is not a positive multiple of 512"},
      {[](Bytes& i) { Put32(i, 32, 4000); }, "header: rootSize is 4000, expected 4096"},
      {[](Bytes& i) { Put32(i, 36, 6600); }, "header: dataSize 6600 is not a multiple of 512"},
      {[](Bytes& i) { Put32(i, 40, 0); }, "header: fatStart is 0, expected 512"},
      {[](Bytes& i) { Put32(i, 44, 1536); }, "header: rootStart is 1536, expected 1024 (fatStart + fatSize)"},
      {[](Bytes& i) { Put32(i, 48, 5632); }, "header: dataStart is 5632, expected 5120 (rootStart + rootSize)"},
      {[](Bytes& i) { Put32(i, 20, 12288); }, "header: driveSize is 12288, expected 11776 (dataStart + dataSize)"},
      {[](Bytes& i) { i.resize(11264); }, "header: driveSize is 11776 but the file holds 11264 bytes"},
      {[](Bytes& i) { i.resize(11777); }, "the file length 11777 is not a multiple of 512"},
      {[](Bytes& i) { i[300] = 1; }, "header: bytes 52 to 511 should be zero, byte 300 is not"},
      {[](Bytes& i) { Put32(i, 44, 0x7FFFFE00); }, "the root directory (4096 bytes at offset 2147483136) lies outside"},
      {[](Bytes& i) { i.resize(130 * 512), Put32(i, 20, 130 * 512), Put32(i, 36, 130 * 512 - 5120); },
       "allocation table: 128 entries cannot describe the 130 clusters"},
      {[](Bytes& i) { Entry(i, 3, 0); }, "entry 3 (header block, table, root directory) should hold 0xCCCCCCCC"},
      {[](Bytes& i) { Entry(i, 40, 0xCCCCCCCC); }, "entry 40 hold 0xCCCCCCCC but lie past the reserved clusters"},
      {[](Bytes& i) { Entry(i, 50, 7); }, "entry 50 describe clusters past the end of the image but are not free"},
      {[](Bytes& i) { Entry(i, 18, 20); }, "'docs/a.bin': cluster 18 of its chain links to 0x00000014, expected 19"},
      {[](Bytes& i) { Entry(i, 22, 23); }, "'readme.txt': its chain does not end at cluster 22"},
      {[](Bytes& i) { Entry(i, 19, 0xFFFFFFFF); }, "'docs/a.bin': its chain ends at cluster 19 after 2 clusters; its size needs 3"},
      {[](Bytes& i) { Entry(i, 16, 0); }, "'docs': cluster 16 of its chain is marked free"},
      {[](Bytes& i) { Put32(i, Readme + 20, 19); }, "cluster 19 belongs to the chains of both 'readme.txt' and 'docs/a.bin'"},
      {[](Bytes& i) { Put32(i, ABin + 16, 0); }, "allocation table: cluster 20 is marked in use but owned by no item"},
      {[](Bytes& i) { i.resize(12288), Put32(i, 20, 12288), Put32(i, 36, 7168); },
       "data area: cluster 23 belongs to no item (a gap between chains)"},
      {[](Bytes& i) { Put32(i, Readme + 16, 600); }, "'readme.txt': its chain ends at cluster 22 after 2 clusters; its size needs 3"},
      {[](Bytes& i) { Put32(i, Readme + 20, 5); },
       "'readme.txt': its chain (clusters 5 to 6) does not lie inside the data area (clusters 10 to 22)"},
      {[](Bytes& i) { Put32(i, Readme + 20, 22); }, "'readme.txt': its chain (clusters 22 to 23) does not lie inside"},
      {[](Bytes& i) { i[Docs] = 0; }, "root directory: slot 1 is used after the empty slot 0"},
      {[](Bytes& i) { i[DocsBlock + 5 * 35] = 'z'; }, "'docs': slot 5 is used after the empty slot 3"},
      {[](Bytes& i) { Put32(i, DocsBlock + 20, 11); }, "'docs': slot 0 should be the '.' entry (kind -3, cluster 10"},
      {[](Bytes& i) { Put32(i, DocsBlock + 35 + 20, 3); }, "'docs': slot 1 should be the '..' entry (kind -3, cluster 2"},
      {[](Bytes& i) { i[DocsBlock + 35 + 31] = 1; }, "cluster 2, non-zero fields"},
      {[](Bytes& i) { Put32(i, Docs + 16, 4095); }, "'docs': a directory's size should be 4096, it is 4095"},
      {[](Bytes& i) { Put32(i, Readme + 24, 7); }, "'readme.txt': kind 7 is neither a directory (-1) nor a file (-2)"},
      {[](Bytes& i) { Put32(i, Readme + 24, 0xFFFFFFFD); }, "'readme.txt': kind -3 is neither"},
      {[](Bytes& i) { Name(i, Readme, "DOCS"); }, "root directory: the names 'docs' and 'DOCS' are equal ignoring case"},
      {[](Bytes& i) { Name(i, Readme, "a/b"); }, "'a/b': the name holds a '/' or '\\'"},
      {[](Bytes& i) { Name(i, Readme, ".."); }, "'..': the name is '.' or '..'"},
      {[](Bytes& i) { i[Readme + 31] = 24; }, "'readme.txt': the time stamp is not a valid date and time"},
      {[](Bytes& i) { i[10752 + 100] = 'x'; },
       "'readme.txt': the rest of its chain after its 100 bytes should be zero, byte 10852 is not"},
      {[](Bytes& i) { i[Docs + 4095] = 1; }, "root directory: the last byte of the region belongs to no slot"},
      {[](Bytes& i) { i[DocsBlock + 4095] = 1; }, "'docs': the last byte of the region belongs to no slot"},
      {[](Bytes& i) { Put32(i, ABin + 16, 4096), Put32(i, ABin + 20, 10), Put32(i, ABin + 24, 0xFFFFFFFF); },
       "'docs/a.bin': its block at cluster 10 is that of 'docs' (the tree loops"},
  };
  const Bytes example = Image(WorkedExample());
  for (const auto& [corrupt, expected] : cases) {
    Bytes image = example;
    corrupt(image);
    std::string lines = Lines(VerifyImage(Span(image), "'t.kid'"));
    EXPECT_NE(lines.find(expected), std::string::npos) << "expected \"" << expected << "\" in\n" << lines;
  }
}

TEST(Verify, ListsAtMostTwoHundredProblems) {
  Bytes image = Image(WorkedExample());
  for (std::size_t slot = 0; slot < 117; ++slot) {
    Name(image, Docs + 35 * slot, "n" + std::to_string(slot));
    Put32(image, Docs + 35 * slot + 24, 9);
  }
  auto report = VerifyImage(Span(image), "'t.kid'");
  ASSERT_EQ(report.problems.size(), 201u);
  EXPECT_EQ(report.problems.back(), "... and " + std::to_string(report.problemCount - 200) + " more problems");
}

}  // namespace
}  // namespace kivo::fs::test
