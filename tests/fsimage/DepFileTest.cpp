#include "fsimage/DepFile.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

// Each spelling was checked against GNU make: the prerequisite and the empty rule name the
// same file, also once it is gone. A refused name has the error's reason instead.
TEST(DepFile, EscapesAsMakeReadsNames) {
  const struct {
    std::string name, prerequisite, target;
  } cases[] = {
      {"gfx/title.pal", "gfx/title.pal", "gfx/title.pal"},
      {"a b#c$d:e", "a\\ b\\#c$$d\\:e", "a\\ b\\#c$$d\\:e"},
      {"100%|v", "100%\\|v", "100\\%|v"},
      {"st*r?[1]", "st\\*r\\?\\[1]", "st\\*r\\?\\[1]"},
      {"bs\\x", "bs\\x", "bs\\x"},
      {"bs\\ y", "bs\\\\\\ y", "bs\\\\\\ y"},
      {"a\\b*c", "a\\\\b\\*c", "a\\\\b\\*c"},
      {"song(1).mod", "song(1).mod", "song(1).mod"},
      {"a\nb", "make cannot read the name 'a\\nb' back (it holds a newline)", ""},
      {"k=v", "'='", ""},
      {"~x", "a leading '~'", ""},
      {"tr\\", "a trailing backslash", ""},
      {"lib(m)", "archive(member)", ""},
  };
  for (const auto& c : cases) {
    auto asPrerequisite = EscapeForMake(c.name, MakeRole::Prerequisite);
    auto asTarget = EscapeForMake(c.name, MakeRole::Target);
    if (c.target.empty()) {
      ASSERT_FALSE(asPrerequisite || asTarget) << c.name;
      EXPECT_NE(asTarget.error().message.find(c.prerequisite), std::string::npos) << c.name;
    } else {
      ASSERT_TRUE(asPrerequisite && asTarget) << c.name;
      EXPECT_EQ(*asPrerequisite, c.prerequisite) << c.name;
      EXPECT_EQ(*asTarget, c.target) << c.name;
    }
  }
}

}  // namespace
}  // namespace kivo
