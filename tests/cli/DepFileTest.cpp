#include "fsimage/DepFile.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

struct EscapeCase {
  std::string name;
  std::string prerequisite;  // or the error's reason
  std::string target;        // empty: refused
};

// Each spelling was checked against GNU make: the prerequisite and the empty rule name the
// same file, also once it is gone.
TEST(DepFile, EscapesAsMakeReadsNames) {
  const EscapeCase cases[] = {
      {"gfx/title.pal", "gfx/title.pal", "gfx/title.pal"},
      {"a b#c", "a\\ b\\#c", "a\\ b\\#c"},
      {"d$x", "d$$x", "d$$x"},
      {"c:o", "c\\:o", "c\\:o"},
      {"100%|v", "100%\\|v", "100\\%|v"},
      {"st*r?[1]", "st\\*r\\?\\[1]", "st\\*r\\?\\[1]"},
      {"bs\\x", "bs\\x", "bs\\x"},
      {"bs\\ y", "bs\\\\\\ y", "bs\\\\\\ y"},
      {"a\\b*c", "a\\\\b\\*c", "a\\\\b\\*c"},
      {"song(1).mod", "song(1).mod", "song(1).mod"},
      {"a\nb", "a newline", ""},
      {"a\tb", "a tab", ""},
      {"k=v", "'='", ""},
      {"a;b", "';'", ""},
      {"~x", "a leading '~'", ""},
      {"tr\\", "a trailing backslash", ""},
      {"lib(m)", "archive(member)", ""},
  };
  for (const EscapeCase& c : cases) {
    auto asPrerequisite = EscapeForMake(c.name, MakeRole::Prerequisite);
    auto asTarget = EscapeForMake(c.name, MakeRole::Target);
    if (c.target.empty()) {
      ASSERT_FALSE(asPrerequisite) << c.name;
      EXPECT_NE(asPrerequisite.error().message.find(c.prerequisite), std::string::npos)
          << asPrerequisite.error().message;
      EXPECT_FALSE(asTarget) << c.name;
    } else {
      ASSERT_TRUE(asPrerequisite && asTarget) << c.name;
      EXPECT_EQ(*asPrerequisite, c.prerequisite) << c.name;
      EXPECT_EQ(*asTarget, c.target) << c.name;
    }
  }
  auto shown = EscapeForMake("a\nb", MakeRole::Target);
  EXPECT_EQ(shown.error().message, "make cannot read the name 'a\\nb' back (it holds a newline)");
}

}  // namespace
}  // namespace kivo
