// End-to-end runs of the real kivofs-utils on the virtual display, driven as a person drives it:
// xdotool moves the pointer, clicks and types; nothing is typed into a native file picker. The
// files it writes are checked with the real kivofs. Every step leaves a screenshot under
// <build>/screenshots/.
#include <gtest/gtest.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "res/Templates.h"
#include "tests/gui/XdoDriver.h"
#include "ui/WxText.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace kivofs_test::xdo;

namespace {

// The text of an edit, taken the way a user copies it: select all in the field, then read the
// primary selection that the program now owns.
std::string ReadField(const std::string& window, int templateId, int controlId) {
  ClickControl(window, templateId, controlId);
  Keys(window, "ctrl+a");
  std::string text;
  wxTheClipboard->UsePrimarySelection(true);
  if (wxTheClipboard->Open()) {
    wxTextDataObject data;
    if (wxTheClipboard->GetData(data)) text = ui::FromWx(data.GetText());
    wxTheClipboard->Close();
  }
  wxTheClipboard->UsePrimarySelection(false);
  return text;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    work = fs::path(KIVOFS_BINARY_DIR) / "gui-work" / "end-to-end";
    shots = fs::path(KIVOFS_BINARY_DIR) / "screenshots";
    fs::remove_all(work);
    fs::create_directories(work);
    fs::create_directories(shots);
    ASSERT_EQ(0, Shell("command -v xdotool").status) << "xdotool is needed";
  }

  void Shot(const std::string& window, const std::string& name) {
    const fs::path path = shots / (name + ".png");
    fs::remove(path);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(0, Shell("import -window " + window + " " + Quote(path.string())).status) << name;
    EXPECT_TRUE(fs::exists(path)) << name;
  }

  fs::path work;
  fs::path shots;
};

TEST_F(EndToEnd, CreateDriveThenAttachItToARom) {
  // A source tree of two top-level items, three files and a subfolder chain.
  const fs::path tree = work / "tree";
  WriteFile(tree / "readme.txt", "hello from the drive\n");
  WriteFile(tree / "levels" / "one.map", std::string(1500, 'x'));
  WriteFile(tree / "levels" / "deep" / "two.map", std::string(700, 'y'));
  // A host ROM with the marker at 512 and room for its block.
  std::string rom(4096, '\x11');
  rom.replace(512, 11, "KivoFSDrive");
  WriteFile(work / "host.nds", rom);
  const fs::path image = work / "drive.kid";
  const fs::path outRom = work / "game_fs.nds";

  Program program(work / "kivofs-utils.log");
  ASSERT_TRUE(program.Started());
  const std::string launcher = WaitForWindow("Kivo FS Utils");
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";
  Shot(launcher, "01-launcher");

  // Drive tool: type the source and output paths, build.
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1001);
  const std::string tool = WaitForWindow("Kivo RomFS");
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";
  Shot(tool, "02-drive-tool-open");
  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1009, tree.string());
  TypeInto(tool, res::IDD_ROMFS_DIALOG, 1011, image.string());
  Shot(tool, "03-drive-tool-paths-typed");
  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1004);
  for (int i = 0; i < 50 && !fs::exists(image); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(fs::exists(image)) << "no image written";
  // The summary is filled once the image has been read back; on a busy machine that takes a
  // moment after the file appears.
  for (int i = 0; i < 25 && ReadField(tool, res::IDD_ROMFS_DIALOG, 1000).empty(); ++i) {
    std::this_thread::sleep_for(200ms);
  }
  Shot(tool, "04-drive-tool-after-build");

  const Output verify = Shell(Quote(KIVOFS_BIN) + " verify " + Quote(image.string()));
  EXPECT_EQ(0, verify.status) << verify.text;
  const Output info = Shell(Quote(KIVOFS_BIN) + " info --json " + Quote(image.string()));
  ASSERT_EQ(0, info.status) << info.text;
  auto jsonField = [&](const std::string& key) {
    std::smatch match;
    const std::regex pattern("\"" + key + "\": \"?([^\",\n]*)\"?");
    return std::regex_search(info.text, match, pattern) ? match[1].str() : std::string("?");
  };
  EXPECT_EQ("2", jsonField("rootEntries"));
  EXPECT_EQ(jsonField("fsVersion"), ReadField(tool, res::IDD_ROMFS_DIALOG, 1000));
  EXPECT_EQ(jsonField("rootEntries"), ReadField(tool, res::IDD_ROMFS_DIALOG, 1006));
  EXPECT_EQ(jsonField("sizeKilobytes"), ReadField(tool, res::IDD_ROMFS_DIALOG, 1002));
  EXPECT_EQ(jsonField("driveName"), ReadField(tool, res::IDD_ROMFS_DIALOG, 1001));
  EXPECT_EQ("Kivo Rom Drive", jsonField("driveName"));

  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1005);  // Exit
  EXPECT_TRUE(WaitForWindowGone(tool));
  Shot(launcher, "05-back-at-the-launcher");

  // Held down, "Add drives to Rom" shows its pressed picture; let go outside, it does nothing.
  const wxPoint held = ControlCentre(res::IDD_KIVOFSUTILS_DIALOG, 1002);
  Shell("xdotool mousemove --sync --window " + launcher + " " + std::to_string(held.x) + " " +
        std::to_string(held.y) + " mousedown 1");
  std::this_thread::sleep_for(300ms);
  Shot(launcher, "05b-launcher-button-held");
  Shell("xdotool mousemove --sync --window " + launcher + " 3 3 mouseup 1");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(WindowsNamed("AddKivoFS").empty()) << "letting go outside the button opened the tool";

  // ROM attach tool: host ROM, drive 0 and the output, Save.
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1002);
  const std::string attach = WaitForWindow("AddKivoFS");
  ASSERT_FALSE(attach.empty()) << "the ROM attach tool did not open";
  Shot(attach, "06-rom-attach-open");
  TypeInto(attach, res::IDD_ADDKIVOFS_DIALOG, 1007, (work / "host.nds").string());
  TypeInto(attach, res::IDD_ADDKIVOFS_DIALOG, 1006, image.string());
  TypeInto(attach, res::IDD_ADDKIVOFS_DIALOG, 1010, outRom.string());
  ClickControl(attach, res::IDD_ADDKIVOFS_DIALOG, 1013);  // save flash as a RAM drive
  Shot(attach, "07-rom-attach-filled");
  ClickControl(attach, res::IDD_ADDKIVOFS_DIALOG, 1014);  // Save
  const std::string saved = WaitForWindow("Kivo FS Utils", {launcher});
  ASSERT_FALSE(saved.empty()) << "no message box after Save";
  Shot(saved, "08-rom-attach-saved-message");
  Keys(saved, "Return");
  EXPECT_TRUE(WaitForWindowGone(saved));

  const Output rominfo = Shell(Quote(KIVOFS_BIN) + " rominfo " + Quote(outRom.string()));
  ASSERT_EQ(0, rominfo.status) << rominfo.text;
  const auto imageSize = fs::file_size(image);
  EXPECT_NE(std::string::npos, rominfo.text.find("marker:       512\n")) << rominfo.text;
  EXPECT_NE(std::string::npos, rominfo.text.find("slot 1 start: 4096\n")) << rominfo.text;
  EXPECT_NE(std::string::npos, rominfo.text.find("slot 1 end:   " + std::to_string(4096 + imageSize - 1) + "\n"))
      << rominfo.text;
  EXPECT_NE(std::string::npos, rominfo.text.find("slot 2 start: 0\n")) << rominfo.text;
  EXPECT_NE(std::string::npos, rominfo.text.find("saveflash:    1\n")) << rominfo.text;
  EXPECT_NE(std::string::npos, rominfo.text.find("drive image")) << rominfo.text;
  EXPECT_EQ(4096 + imageSize, fs::file_size(outRom));

  // Enter in a path field closes the tool as Exit does.
  ClickControl(attach, res::IDD_ADDKIVOFS_DIALOG, 1007);
  Keys(attach, "Return");
  EXPECT_TRUE(WaitForWindowGone(attach));

  // The About entry, from the launcher's context menu (a right click on its background): the
  // menu's last item.
  ClickAt(launcher, DialogPoint(20, 150), 3);
  std::this_thread::sleep_for(400ms);
  Shot("root", "09-launcher-context-menu");
  Shell("xdotool key --clearmodifiers Up Return");
  const std::string about = WaitForWindow("About Kivo FS Utils");
  ASSERT_FALSE(about.empty()) << "the about box did not open";
  Shot(about, "10-about-box");
  Keys(about, "Return");
  EXPECT_TRUE(WaitForWindowGone(about));

  // Closing the launcher ends the program.
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1);
  EXPECT_EQ(0, program.Wait(10s));
}

}  // namespace
