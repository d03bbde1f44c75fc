#include "fsimage/DepFile.h"

#include <tuple>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kivo
