// The verifier: sound images pass with their counts, and each rule broken in the worked
// example is named.
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

TEST(Verify, PassesSoundImages) {
  // The counts are the verify command's to print.
  const Tree trees[] = {
      WorkedExample(),
      {{"empty/", ""}},
      {{"a/b/c/d", Pattern(513)}, {"a/e", ""}, {"a/b/f/", ""},
       {"ABCDEFGHIJKLMNOPQ", Pattern(1024)}},
      {{"big", Pattern(117 * 512)}},  // 119 data clusters: the table grows past 128 entries
  };
  for (const Tree& tree : trees) EXPECT_EQ(Lines(VerifyImage(Span(Image(tree)), "'t.kid'")), "");
}

// The worked example with one rule broken, and a line that says so.
TEST(Verify, NamesEachBrokenRule) {
  const std::pair<Damage, const char*> cases[] = {
      {Cut(40), "'t.kid' is too short to be a drive image (40 bytes)"},
      {At(0, 99), "header: version is 99, expected 100"},
      {At(24, 511), "header: bootSize is 511, expected 512"},
      {At(28, 1000), "header: fatSize 1000 is not a positive multiple of 512"},
      {At(32, 4000), "header: rootSize is 4000, expected 4096"},
      {At(36, 6600), "header: dataSize 6600 is not a multiple of 512"},
      {At(40, 0), "header: fatStart is 0, expected 512"},
      {At(44, 1536), "header: rootStart is 1536, expected 1024 (fatStart + fatSize)"},
      {At(48, 5632), "header: dataStart is 5632, expected 5120 (rootStart + rootSize)"},
      {At(20, 12288), "header: driveSize is 12288, expected 11776 (dataStart + dataSize)"},
      {Cut(11264), "header: driveSize is 11776 but the file holds 11264 bytes"},
      {Cut(11777), "the file length 11777 is not a multiple of 512"},
      {Byte(300, 1), "header: bytes 52 to 511 should be zero, byte 300 is not"},
      {At(44, 0x7FFFFE00), "the root directory (4096 bytes at offset 2147483136) lies outside"},
      {All({Cut(130 * 512), At(20, 130 * 512), At(36, 125 * 512)}),
       "allocation table: 128 entries cannot describe the 130 clusters"},
      {Link(3, 0), "entry 3 (header block, table, root directory) should hold 0xCCCCCCCC"},
      {Link(40, 0xCCCCCCCC), "entry 40 hold 0xCCCCCCCC but lie past the reserved clusters"},
      {Link(127, 7), "entry 127 describe clusters past the end of the image but are not free"},
      {Link(18, 20), "'docs/a.bin': cluster 18 of its chain links to 0x00000014, expected 19"},
      {Link(22, 23), "'readme.txt': its chain does not end at cluster 22"},
      {Link(19, 0xFFFFFFFF),
       "'docs/a.bin': its chain ends at cluster 19 after 2 clusters; its size needs 3"},
      {Link(16, 0), "'docs': cluster 16 of its chain is marked free"},
      {At(Readme + 20, 19),
       "cluster 19 belongs to the chains of both 'readme.txt' and 'docs/a.bin'"},
      {At(ABin + 16, 0), "allocation table: cluster 20 is marked in use but owned by no item"},
      {All({Cut(12288), At(20, 12288), At(36, 7168)}),
       "data area: cluster 23 belongs to no item (a gap between chains)"},
      {At(Readme + 16, 600),
       "'readme.txt': its chain ends at cluster 22 after 2 clusters; its size needs 3"},
      {At(Readme + 20, 5), "'readme.txt': its chain (clusters 5 to 6) does not lie inside the "
                           "data area (clusters 10 to 22)"},
      {At(Readme + 20, 22), "'readme.txt': its chain (clusters 22 to 23) does not lie inside"},
      {Byte(Docs, 0), "root directory: slot 1 is used after the empty slot 0"},
      {Byte(DocsBlock + 5 * 35, 'z'), "'docs': slot 5 is used after the empty slot 3"},
      {At(DocsBlock + 20, 11), "'docs': slot 0 should be the '.' entry (kind -3, cluster 10"},
      {At(DocsBlock + 35 + 20, 3), "'docs': slot 1 should be the '..' entry (kind -3, cluster 2"},
      {Byte(DocsBlock + 35 + 31, 1), "cluster 2, non-zero fields"},
      {At(Docs + 16, 4095), "'docs': a directory's size should be 4096, it is 4095"},
      {At(Readme + 24, 7), "'readme.txt': kind 7 is neither a directory (-1) nor a file (-2)"},
      {At(Readme + 24, 0xFFFFFFFD), "'readme.txt': kind -3 is neither"},
      {Name(Readme, "DOCS"), "root directory: the names 'docs' and 'DOCS' are equal ignoring case"},
      {Name(Readme, "a/b"), "'a/b': the name holds a '/' or '\\'"},
      {Name(Readme, ".."), "'..': the name is '.' or '..'"},
      {Byte(Readme + 31, 24), "'readme.txt': the time stamp is not a valid date and time"},
      {Byte(10752 + 100, 'x'), "'readme.txt': the rest of its chain after its 100 bytes should "
                               "be zero, byte 10852 is not"},
      {Byte(Docs + 4095, 1), "root directory: the last byte of the region belongs to no slot"},
      {Byte(DocsBlock + 4095, 1), "'docs': the last byte of the region belongs to no slot"},
      {All({At(ABin + 16, 4096), At(ABin + 20, 10), At(ABin + 24, 0xFFFFFFFF)}),
       "'docs/a.bin': its block at cluster 10 is that of 'docs' (the tree loops"},
  };
  const std::string example = Image(WorkedExample());
  for (const auto& [damage, expected] : cases) {
    std::string image = example;
    damage(image);
    std::string lines = Lines(VerifyImage(Span(image), "'t.kid'"));
    EXPECT_NE(lines.find(expected), std::string::npos) << "expected \"" << expected << "\" in\n"
                                                       << lines;
  }
}

// Every root slot of an unknown kind, the 115 that were empty without a valid date, and the
// clusters of the old items owned by none: 233 problems, of which 200 are listed.
TEST(Verify, ListsAtMostTwoHundredProblems) {
  std::string image = Image(WorkedExample());
  for (std::size_t at = Docs; at < Docs + 117 * 35; at += 35) {
    All({Name(at, "n" + std::to_string(at)), At(at + 24, 9)})(image);
  }
  auto report = VerifyImage(Span(image), "'t.kid'");
  ASSERT_EQ(report.problems.size(), 201u);
  EXPECT_EQ(report.problemCount, 233u);
  EXPECT_EQ(report.problems.back(), "... and 33 more problems");
}

}  // namespace
}  // namespace kivo::fs::test
