// Names Windows cannot hold: which ones, and that extract refuses them there (and only there).
#include <gtest/gtest.h>

#include "fsimage/Extract.h"
#include "tests/fsimage/Fixture.h"
#include "tests/support/Assert.h"

namespace kivo::fs::test {
namespace {

TEST(Extract, NamesWindowsCannotHold) {
  const struct {
    std::string reason;
    std::vector<const char*> names;
  } groups[] = {
      {"the name is a device on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)",
       {"CON", "nul.txt", "Aux.tar.gz", "com1", "LPT9.bin", "COM\xC2\xB9", "NUL .txt", "conout$"}},
      {"Windows drops a trailing dot or space from a name", {"a.", "a "}},
      {"Windows does not allow < > : \" | ? * in a name",
       {"a:b", "what?", "x*y", "a<b>", "\"q\"", "p|q"}},
      {"", {"CONSOLE", "COM0", "COM10", "LPT", "nul_x", "x.nul", ".a", "a.b", "\xC3\xA9t\xC3\xA9"}},
  };
  for (const auto& group : groups) {
    for (const char* name : group.names) EXPECT_EQ(WindowsNameReason(name), group.reason) << name;
  }
}

// Before anything is written: a device name, and a name that differs from another only in case.
TEST(Extract, RefusesOnWindowsOnlyWhatWindowsCannotHold) {
  const std::pair<std::string, std::string> cases[] = {
      {"NUL.txt", "refusing to extract 'NUL.txt': " + std::string(WindowsNameReason("NUL.txt"))},
      {"DOCS", "'DOCS' appears twice in its directory"}};
  for (const auto& [name, problem] : cases) {
    std::string image = Image(WorkedExample());
    image.replace(Readme, 16, name + std::string(16 - name.size(), '\0'));
    auto reader = ImageReader::Open(Span(image), "'t.kid'");
    ASSERT_OK(reader);
    TempDir dir;
    auto extracted = ExtractImage(*reader, dir / "out");
#ifdef _WIN32
    EXPECT_EQ(extracted.ok() ? "" : extracted.error().message, "'t.kid': " + problem);
    EXPECT_FALSE(stdfs::exists(dir / "out"));
#else
    ASSERT_OK(extracted);
    EXPECT_EQ(ReadFile(dir / "out" / name), std::string(100, 'r'));
#endif
  }
}

}  // namespace
}  // namespace kivo::fs::test
