// Names Windows cannot hold: which ones, and that extract refuses them there (and only there)
// before anything is written.
#include <gtest/gtest.h>

#include "fsimage/Extract.h"
#include "tests/fsimage/Fixture.h"

namespace kivo::fs::test {
namespace {

TEST(Extract, NamesWindowsCannotHold) {
  const char* device = "the name is a device on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)";
  const char* trailing = "Windows drops a trailing dot or space from a name";
  const char* character = "Windows does not allow < > : \" | ? * in a name";
  const std::pair<const char*, const char*> cases[] = {
      {"CON", device}, {"nul.txt", device}, {"Aux.tar.gz", device}, {"com1", device}, {"LPT9.bin", device},
      {"COM\xC2\xB9", device}, {"NUL .txt", device}, {"conout$", device}, {"a.", trailing}, {"a ", trailing},
      {"a:b", character}, {"what?", character}, {"x*y", character}, {"a<b>", character}, {"\"q\"", character},
      {"p|q", character}, {"CONSOLE", ""}, {"COM0", ""}, {"COM10", ""}, {"LPT", ""}, {"nul_x", ""},
      {"x.nul", ""}, {".a", ""}, {"a.b", ""}, {"\xC3\xA9t\xC3\xA9", ""}};
  for (const auto& [name, reason] : cases) EXPECT_EQ(WindowsNameReason(name), reason) << name;
}

TEST(Extract, RefusesDeviceNamesOnWindowsOnly) {
  std::string image = Image(WorkedExample());
  image.replace(Readme, 8, std::string("NUL.txt\0", 8));
  auto reader = ImageReader::Open(Span(image), "'t.kid'");
  ASSERT_TRUE(reader.ok());
  TempDir dir;
  auto extracted = ExtractImage(*reader, dir / "out");
#ifdef _WIN32
  ASSERT_FALSE(extracted.ok());
  EXPECT_EQ(extracted.error().message, std::string("'t.kid': refusing to extract 'NUL.txt': ") +
                                           WindowsNameReason("NUL.txt").data());
  EXPECT_FALSE(stdfs::exists(dir / "out"));
#else
  ASSERT_TRUE(extracted.ok()) << extracted.error().message;
  EXPECT_EQ(ReadFile(dir / "out/NUL.txt"), std::string(100, 'r'));
#endif
}

}  // namespace
}  // namespace kivo::fs::test
