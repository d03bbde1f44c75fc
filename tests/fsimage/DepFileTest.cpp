#include "fsimage/DepFile.h"

#include <gtest/gtest.h>

#include "tests/support/Assert.h"
#include "tests/support/Support.h"

namespace kivo {
namespace {

// Each spelling was checked against GNU make: the prerequisite and the empty rule name the
// same file, also once it is gone. A name make cannot read back is refused with the reason.
TEST(DepFile, EscapesAsMakeReadsNames) {
  // A name as a prerequisite and as a target; or the reason it is refused, with no target.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"gfx/title.pal", "gfx/title.pal", "gfx/title.pal"}, {"100%|v", "100%\\|v", "100\\%|v"},
      {"a b#c$d:e", "a\\ b\\#c$$d\\:e", "a\\ b\\#c$$d\\:e"}, {"bs\\x", "bs\\x", "bs\\x"},
      {"st*r?[1]", "st\\*r\\?\\[1]", "st\\*r\\?\\[1]"}, {"a\\b*c", "a\\\\b\\*c", "a\\\\b\\*c"},
      {"bs\\ y", "bs\\\\\\ y", "bs\\\\\\ y"}, {"song(1).mod", "song(1).mod", "song(1).mod"},
      {"a\nb", "make cannot read the name 'a\\nb' back (it holds a newline)", ""},
      {"k=v", "'='", ""}, {"~x", "a leading '~'", ""}, {"tr\\", "a trailing backslash", ""},
      {"lib(m)", "the form 'archive(member)'", ""},
  };
  for (const auto& [name, asPrerequisite, asTarget] : cases) {
    auto prerequisite = EscapeForMake(name, MakeRole::Prerequisite);
    auto target = EscapeForMake(name, MakeRole::Target);
    if (asTarget.empty()) {
      EXPECT_FALSE(prerequisite) << name;
      ASSERT_FALSE(target) << name;
      EXPECT_NE(target.error().message.find(asPrerequisite), std::string::npos) << name;
    } else {
      ASSERT_OK(prerequisite);
      ASSERT_OK(target);
      EXPECT_EQ(*prerequisite, asPrerequisite);
      EXPECT_EQ(*target, asTarget);
    }
  }
}

// The characters that CMake 3.25 reads back right under both of its generators, tried one by
// one; everything else goes through a link.
TEST(DepFile, PlainNamesAreTheOnesBuildToolsReadBack) {
  std::vector<std::string_view> plain = {"/home/me/AZaz09/gfx/title-01_b+c,d@e.pal",
                                         "assets/Grüße/level one.map"};
  std::vector<std::string_view> notPlain = {"assets/level one /a", "assets/trailing ", "dir/a:b",
                                            "a|b", "a#b", "a$b", "song(1).mod", "st*r?[1]",
                                            "it's", "k=v;w"};
#ifdef _WIN32
  plain.push_back("C:\\Users\\me\\game\\assets\\title.pal");
  notPlain.push_back("C:/Users/me/game/a:b");
#endif
  for (std::string_view path : plain) EXPECT_TRUE(PlainForBuildTools(path)) << path;
  for (std::string_view path : notPlain) EXPECT_FALSE(PlainForBuildTools(path)) << path;
}

#ifndef _WIN32  // the names below hold ':', which Windows refuses
// A link leads to each name that is not plain, the same link on every run; links of earlier
// runs go, and nothing else in the folder does.
TEST(DepFile, LinksLeadToNamesThatAreNotPlain) {
  test::TempDir dir;
  test::MakeTree(dir.path(),
                 {{"src/plain.txt", "1"}, {"src/we:ird#.bin", "2"}, {"src/Level (1)/", ""}});
  const std::filesystem::path links = dir / "links";
  test::MakeTree(links, {{"keep.txt", "mine"}});
  std::filesystem::create_symlink(dir / "src", links / "kivofs-0000000000000000");
  const std::vector<std::string> paths = {
      Utf8(dir / "src/plain.txt"), Utf8(dir / "src/we:ird#.bin"), Utf8(dir / "src/Level (1)")};

  auto named = LinkUnplainPaths(paths, links);
  ASSERT_OK(named);
  ASSERT_EQ(named->size(), 3u);
  EXPECT_EQ((*named)[0], paths[0]);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ((*named)[i], LinkPathFor(paths[i], links));
    EXPECT_TRUE(PlainForBuildTools((*named)[i])) << (*named)[i];
    EXPECT_EQ(std::filesystem::read_symlink((*named)[i]), paths[i]);
  }
  // "kivofs-" and the path's FNV-1a hash in sixteen hex digits: the same on every run and host.
  EXPECT_EQ(LinkPathFor("a b", links), Utf8(links / "kivofs-e63f991904833892"));
  const auto oldLink = std::filesystem::symlink_status(links / "kivofs-0000000000000000");
  EXPECT_FALSE(std::filesystem::exists(oldLink));
  EXPECT_EQ(test::ReadFile(links / "keep.txt"), "mine");

  auto again = LinkUnplainPaths({paths[1]}, links);
  ASSERT_OK(again);
  EXPECT_EQ(*again, std::vector<std::string>{(*named)[1]});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status((*named)[2])));

  // Where no link can be made (a folder with files is in its place), the nearest folder above
  // the path whose name is plain stands for it.
  test::MakeTree((*named)[2], {{"in-the-way", ""}});
  auto blocked = LinkUnplainPaths({paths[2]}, links);
  ASSERT_OK(blocked);
  EXPECT_EQ(*blocked, std::vector<std::string>{Utf8(dir / "src")});
}
#endif

}  // namespace
}  // namespace kivo
