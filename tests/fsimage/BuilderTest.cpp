// The builder: scan order, placement, the image bytes and the lines it prints, and the trees
// it refuses before anything is written.
#include <gtest/gtest.h>

#include "fsimage/Verify.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::fs::test {
namespace {

const std::vector<std::string> Sound;  // the verifier's problems of a sound image

TEST(Builder, WorkedExampleByteForByte) {
  Build built(WorkedExample());
  ASSERT_EQ(built.result, BuildOutcome::Built) << built.problems;
  std::string expected(11776, '\0');
  expected.replace(0, 52, Hex("64000000") + "Kivo Rom Drive" +
                              Hex("0000 002E0000 00020000 00020000 00100000 001A0000 00020000 "
                                  "00040000 00140000"));
  // Entries 0-9 reserved; chains 10-17 (docs), 18-20 (a.bin), 21-22 (readme.txt).
  for (std::uint32_t n = 0; n < 23; ++n) {
    const bool chainEnd = n == 17 || n == 20 || n == 22;
    Put32(expected, 512 + 4 * n, n < 10 ? 0xCCCCCCCC : chainEnd ? 0xFFFFFFFF : n + 1);
  }
  auto entry = [&](std::size_t at, std::string name, std::uint32_t size, std::uint32_t cluster,
                   const char* rest) {
    name.resize(16, '\0');
    expected.replace(at, 35, name + Hex("00000000 00000000") + Hex(rest));
    Put32(expected, at + 16, size);
    Put32(expected, at + 20, cluster);
  };
  const char* directory = "FFFFFFFF 6F27D6 0E0509 20";
  const char* file = "FEFFFFFF 6F27D6 0E0509 20";
  const char* link = "FDFFFFFF 000000 000000 00";
  entry(Docs, "docs", 4096, 10, directory);
  entry(Readme, "readme.txt", 100, 21, file);
  entry(DocsBlock, ".", 0, 10, link);
  entry(DocsBlock + 35, "..", 0, 2, link);
  entry(ABin, "a.bin", 1000, 18, file);
  expected.replace(9216, 1000, Pattern(1000));
  expected.replace(10752, 100, std::string(100, 'r'));
  EXPECT_EQ(Mismatch(built.image, expected), -1);
  EXPECT_EQ(built.leftovers, 0u);
}

// Looking for a subdirectory's parent prints every slot it examines after the first
// component, which is found in the root without a line.
TEST(Builder, SubdirectorySearchLines) {
  BuilderOptions options = FixedClock();
  options.statistics = false;
  Build built({{"docs/img/raw/", ""}}, options);
  EXPECT_EQ(built.lines,
            "root dir\nsub dir\nsub dir\n. * img-*-raw\n.. * img-*-raw\nimg * img-*-raw\nee\n");
}

// Depth-first pre-order, each directory by the byte order of its names; names that begin
// with a dot are left out with all they hold.
TEST(Builder, ScanOrderAndParentPaths) {
  Tree tree{{"b", ""}, {"a/n/y", ""}, {"a/m", ""},        {"_x", ""},           {"Z", ""},
            {"B", ""}, {"\xC3\xA9", ""}, {".hidden", ""}, {"a/.git/config", ""}};
  std::string expected =
      "f \\B\nf \\Z\nf \\_x\nd \\a\nf \\a\\m\nd \\a\\n\nf \\a\\n\\y\nf \\b\nf \\\xC3\xA9\n";
#ifdef _WIN32  // "B" and "b" are one name there
  tree.erase(tree.begin() + 5);
  expected.erase(0, 5);
#endif
  Build built(tree);
  std::string records;
  for (const ScanRecord& r : built.records) {
    records += (r.isDirectory ? "d " : "f ") + r.parentPath + r.name + "\n";
  }
  EXPECT_EQ(records, expected);
}

// A filter other than "*" keeps only files of that extension (a name without a dot is its
// own extension); directories stay.
TEST(Builder, ScanFilterKeepsFilesOfOneExtension) {
  TempDir dir;
  MakeTree(dir / "src",
           {{"a.bin", ""}, {"b.txt", ""}, {"bin", ""}, {"d/c.bin", ""}, {"d/e.BIN", ""}});
  SourceScan scan = ScanSource((dir / "src").string(), {.filter = "bin", .sortByName = true});
  std::string records;
  for (const ScanRecord& r : scan.records) records += r.name + " ";
  EXPECT_EQ(records, "a.bin bin d c.bin ");
}

// Names are stored as their first 16 bytes, with a terminator only when shorter; every chain
// has floor(size / 512) + 2 clusters, one after the other.
TEST(Builder, NamesAndChains) {
  Build built({{"abcdefghijklmno", "1"},
               {"abcdefghijklmnop1", ""},
               {"bbcdefghijklmnop", Pattern(512)},
               {"directory-name-17/inside.txt", "4"}});
  ASSERT_EQ(built.result, BuildOutcome::Built) << built.problems;
  ASSERT_EQ(built.image.size(), 5120u + 17 * 512);
  // Where each slot lies, the name it stores and its first cluster.
  const std::tuple<std::size_t, std::string, std::uint32_t> slots[] = {
      {1024, std::string("abcdefghijklmno\0", 16), 10}, {1059, "abcdefghijklmnop", 12},
      {1094, "bbcdefghijklmnop", 14}, {1129, "directory-name-1", 17},
      {17 * 512 + 70, std::string("inside.txt\0", 11), 25},
  };
  for (const auto& [offset, name, firstCluster] : slots) {
    EXPECT_EQ(built.image.substr(offset, name.size()), name);
    EXPECT_EQ(Get32(built.image, offset + 20), firstCluster) << name;
  }
  EXPECT_EQ(built.image.substr(14 * 512, 512), Pattern(512));
  EXPECT_EQ(VerifyImage(Span(built.image), "t.kid").problems, Sound);
}

// A full root (117 items) and a full subdirectory (115) are built; one item more, names the
// program in the ROM could not tell apart and names no host could hold refuse the build,
// every problem at once, before anything is printed or written.
TEST(Builder, CapacityAndNameRefusals) {
  Tree full;
  for (int i = 0; i < 116; ++i) full.emplace_back("r" + std::to_string(1000 + i), "");
  for (int i = 0; i < 115; ++i) full.emplace_back("sub/s" + std::to_string(1000 + i), "");
  Build accepted(full);
  ASSERT_EQ(accepted.result, BuildOutcome::Built) << accepted.problems;
  EXPECT_EQ(accepted.image.size(), 247296u);
  EXPECT_EQ(VerifyImage(Span(accepted.image), "t.kid").problems, Sound);

  full.insert(full.end(), {{"sub/s1115", ""},
                           {"c/ABCDEFGHIJKLMNOPqrs", ""},
                           {"c/abcdefghijklmnopXYZ", ""}});
  const std::string same =
      " have the same stored name ignoring case (a name is stored as its first 16 bytes)\n";
  const std::string longNames = "'ABCDEFGHIJKLMNOPqrs' and 'abcdefghijklmnopXYZ' in 'src/c'";
  std::string problems =
      longNames + same + "'src' holds 118 items; the root directory holds at most 117\n";
#ifndef _WIN32  // names that Windows cannot hold, or holds as one
  full.insert(full.end(),
              {{"back\\slash.txt", ""}, {"tab\tname", ""}, {"c/Same", ""}, {"c/sAME", ""}});
  const std::string forbidden = ": a name may not hold a backslash or a control character\n";
  problems = "'src/back\\slash.txt'" + forbidden + longNames + same +
             "'Same' and 'sAME' in 'src/c'" + same + "'src/tab\tname'" + forbidden +
             "'src' holds 120 items; the root directory holds at most 117\n";
#endif
  Build refused(full);
  EXPECT_EQ(refused.result, BuildOutcome::Refused);
  EXPECT_EQ(refused.problems,
            problems + "'src/sub' holds 116 items; a subdirectory holds at most 115\n");
  EXPECT_EQ(refused.lines, "");
  EXPECT_EQ(refused.image, "old image");
}

// Nothing found and files or images of 2 GiB: nothing is printed, the old output stays.
TEST(Builder, NothingFoundAndTooLarge) {
  auto huge = [](std::uint64_t size, int count) {
    return [=](const stdfs::path& src) {
      for (int i = 0; i < count; ++i) {
        WriteFile(src / std::to_string(i), "");
        stdfs::resize_file(src / std::to_string(i), size);  // sparse
      }
    };
  };
  const std::string empty = "'src': directory empty or not found";
  const std::string tooLarge = "the image would take 2164400128 bytes; a drive image must stay "
                               "below 2 GiB (2147483648 bytes)";
  using Prepare = std::function<void(const stdfs::path&)>;
  const std::tuple<Tree, Prepare, BuildOutcome, std::string> cases[] = {
      {{}, {}, BuildOutcome::NothingFound, empty},
      {{{".hidden", "x"}, {".git/config", "x"}}, {}, BuildOutcome::NothingFound, empty},
      {{}, [](const stdfs::path& src) { stdfs::remove(src); }, BuildOutcome::NothingFound,
       empty + " (No such file or directory)"},
      {{{"small", "s"}}, huge(1u << 31, 1), BuildOutcome::TooLarge,
       "'src/0' is too large (2147483648 bytes); a file must be smaller than 2 GiB"},
      {{}, huge(1u << 30, 2), BuildOutcome::TooLarge, tooLarge},
  };
  for (const auto& [tree, prepare, result, problem] : cases) {
    Build built(tree, {}, prepare);
    EXPECT_EQ(built.result, result) << problem;
    EXPECT_EQ(built.problems, problem + "\n");
    EXPECT_EQ(built.lines, "") << problem;
    EXPECT_EQ(built.image, "old image") << problem;
  }
}

// Without a clock the entries carry the local time at which the build made them.
TEST(Builder, EntriesCarryTheLocalTimeOfTheBuild) {
  std::string image;
  std::time_t before = 0;
  std::time_t after = 1;
  for (int attempt = 0; attempt < 5 && before != after; ++attempt) {  // a second may pass
    before = std::time(nullptr);
    image = Build(WorkedExample(), BuilderOptions{}).image;
    after = std::time(nullptr);
  }
  // The byte layout of a date is the codec's; here only which time it packs matters.
  std::string stamp(35, '\0');
  PackDate(*std::localtime(&before), std::as_writable_bytes(std::span(stamp)));
  EXPECT_EQ(image.substr(Docs + 28, 6), stamp.substr(28, 6));
}

}  // namespace
}  // namespace kivo::fs::test
