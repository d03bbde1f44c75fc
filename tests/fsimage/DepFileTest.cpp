#include "fsimage/DepFile.h"

#include <tuple>

#include <gtest/gtest.h>

#include "tests/support/Support.h"

namespace kivo {
namespace {

// Each spelling was checked against GNU make: the prerequisite and the empty rule name the
// same file, also once it is gone. A name make cannot read back is refused with the reason.
TEST(DepFile, EscapesAsMakeReadsNames) {
  const std::tuple<std::string, std::string, std::string> cases[] = {  // name, as a prerequisite, as a target
      {"gfx/title.pal", "gfx/title.pal", "gfx/title.pal"}, {"a b#c$d:e", "a\\ b\\#c$$d\\:e", "a\\ b\\#c$$d\\:e"},
      {"100%|v", "100%\\|v", "100\\%|v"}, {"st*r?[1]", "st\\*r\\?\\[1]", "st\\*r\\?\\[1]"}, {"bs\\x", "bs\\x", "bs\\x"},
      {"bs\\ y", "bs\\\\\\ y", "bs\\\\\\ y"}, {"a\\b*c", "a\\\\b\\*c", "a\\\\b\\*c"}, {"song(1).mod", "song(1).mod", "song(1).mod"},
      {"a\nb", "make cannot read the name 'a\\nb' back (it holds a newline)", ""}, {"k=v", "'='", ""},
      {"~x", "a leading '~'", ""}, {"tr\\", "a trailing backslash", ""}, {"lib(m)", "the form 'archive(member)'", ""},
  };
  for (const auto& [name, prerequisite, target] : cases) {
    auto asPrerequisite = EscapeForMake(name, MakeRole::Prerequisite), asTarget = EscapeForMake(name, MakeRole::Target);
    if (target.empty()) {
      ASSERT_FALSE(asPrerequisite || asTarget) << name;
      EXPECT_NE(asTarget.error().message.find(prerequisite), std::string::npos) << name;
    } else {
      ASSERT_TRUE(asPrerequisite && asTarget) << name;
      EXPECT_EQ(*asPrerequisite + " " + *asTarget, prerequisite + " " + target);
    }
  }
}

// The characters that CMake 3.25 reads back right under both of its generators, tried one by
// one; everything else goes through a link.
TEST(DepFile, PlainNamesAreTheOnesBuildToolsReadBack) {
  const struct {
    std::string_view path;
    bool plain;
  } cases[] = {
      {.path = "/home/me/game/assets/gfx/title-01_b+c,d@e.pal", .plain = true},
      {.path = "assets/Grüße/level one.map", .plain = true},
      {.path = "assets/level one /a", .plain = false},
      {.path = "assets/trailing ", .plain = false},
      {.path = "dir/a:b", .plain = false},
      {.path = "a|b", .plain = false},
      {.path = "a#b", .plain = false},
      {.path = "a$b", .plain = false},
      {.path = "song(1).mod", .plain = false},
      {.path = "st*r?[1]", .plain = false},
      {.path = "it's", .plain = false},
      {.path = "k=v;w", .plain = false},
#ifdef _WIN32
      {.path = "C:\\Users\\me\\game\\assets\\title.pal", .plain = true},
      {.path = "C:/Users/me/game/a:b", .plain = false},
#endif
  };
  for (const auto& row : cases) EXPECT_EQ(PlainForBuildTools(row.path), row.plain) << row.path;
}

#ifndef _WIN32  // the names below hold ':', which Windows refuses
// A link leads to each name that is not plain, the same link on every run; links of earlier
// runs go, and nothing else in the folder does.
TEST(DepFile, LinksLeadToNamesThatAreNotPlain) {
  test::TempDir dir;
  test::MakeTree(dir.path(), {{"src/plain.txt", "1"}, {"src/we:ird#.bin", "2"}, {"src/Level (1)/", ""}});
  const std::filesystem::path links = dir / "links";
  test::MakeTree(links, {{"keep.txt", "mine"}});
  std::filesystem::create_symlink(dir / "src", links / "kivofs-0000000000000000");
  const std::vector<std::string> paths = {Utf8(dir / "src/plain.txt"), Utf8(dir / "src/we:ird#.bin"),
                                          Utf8(dir / "src/Level (1)")};

  auto named = LinkUnplainPaths(paths, links);
  ASSERT_TRUE(named) << named.error().message;
  ASSERT_EQ(named->size(), 3u);
  EXPECT_EQ((*named)[0], paths[0]);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ((*named)[i], LinkPathFor(paths[i], links));
    EXPECT_TRUE(PlainForBuildTools((*named)[i])) << (*named)[i];
    EXPECT_EQ(std::filesystem::read_symlink((*named)[i]), paths[i]);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(links / "kivofs-0000000000000000")));
  EXPECT_EQ(test::ReadFile(links / "keep.txt"), "mine");

  auto again = LinkUnplainPaths({paths[1]}, links);
  ASSERT_TRUE(again) << again.error().message;
  EXPECT_EQ(*again, std::vector<std::string>{(*named)[1]});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status((*named)[2])));
}
#endif

}  // namespace
}  // namespace kivo
