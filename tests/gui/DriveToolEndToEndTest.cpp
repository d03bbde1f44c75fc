// The drive tool inside the real kivofs-utils, driven through xdotool on the virtual display:
// what the program prints while it builds, and a rename, checked against the command line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "res/Templates.h"
#include "tests/gui/XdoDriver.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace kivofs_test::xdo;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DriveToolEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    m_work = fs::path(KIVOFS_BINARY_DIR) / "gui-work" / "drive-tool-end-to-end";
    fs::remove_all(m_work);
    fs::create_directories(m_work);
    ASSERT_EQ(0, Shell("command -v xdotool").status) << "xdotool is needed";
  }
  fs::path m_work;
};

TEST_F(DriveToolEndToEnd, BuildPrintsWhatTheCommandLinePrintsInHostOrderWithTrace) {
  // A directory two levels down gives the lookup lines as well as the case lines.
  const fs::path tree = m_work / "tree";
  WriteFile(tree / "docs" / "a.bin", std::string(1000, 'a'));
  WriteFile(tree / "docs" / "img" / "p.png", std::string(10, 'p'));
  WriteFile(tree / "docs" / "img" / "raw" / "q.bin", std::string(600, 'q'));
  WriteFile(tree / "readme.txt", std::string(100, 'r'));
  const fs::path image = m_work / "drive.kid";

  Program program(m_work / "stdout.txt", m_work / "stderr.txt");
  ASSERT_TRUE(program.Started());
  const std::string launcher = WaitForWindow("Kivo FS Utils");
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1001);
  const std::string tool = WaitForWindow("Kivo RomFS");
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";

  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1009, tree.string());
  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1011, image.string());
  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1004);
  for (int i = 0; i < 50 && !fs::exists(image); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(fs::exists(image)) << "no image written";

  // A new name through the "Re-Name Drive" group.
  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1013, image.string());
  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1001, "Level Pack");
  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1007);
  std::this_thread::sleep_for(300ms);

  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1005);  // Exit
  EXPECT_TRUE(WaitForWindowGone(tool));
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1);
  ASSERT_EQ(0, program.Wait(10s));

  const Output cli = Shell(Quote(KIVOFS_BIN) + " build " + Quote(tree.string()) + " -o " +
                               Quote((m_work / "cli.kid").string()) + " --host-order --trace",
                           Errors::kDiscarded);
  ASSERT_EQ(0, cli.status);
  EXPECT_EQ(ReadText(m_work / "stdout.txt"), cli.text);
  EXPECT_NE(cli.text.find("sub dir\n"), std::string::npos) << cli.text;
  EXPECT_NE(cli.text.find(" * img-*-raw\n"), std::string::npos) << "lookup lines expected in\n" << cli.text;

  const Output info = Shell(Quote(KIVOFS_BIN) + " info " + Quote(image.string()), Errors::kDiscarded);
  ASSERT_EQ(0, info.status);
  EXPECT_NE(info.text.find("Level Pack"), std::string::npos) << info.text;
  const Output verify = Shell(Quote(KIVOFS_BIN) + " verify " + Quote(image.string()), Errors::kDiscarded);
  EXPECT_EQ(0, verify.status) << verify.text;
}

}  // namespace
