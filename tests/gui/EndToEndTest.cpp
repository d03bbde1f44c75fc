// The real kivofs-utils on the virtual display, driven as a person drives it: xdotool moves the
// pointer, clicks and types (nothing is typed into a native file picker). What it prints and
// writes is checked against the real kivofs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <wx/dialog.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <iterator>
#include <sstream>
#include <thread>

#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "ui/DialogTemplate.h"

using namespace kivofs_test;
using namespace std::chrono_literals;

namespace {

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs a shell command with its standard output into `out`; its exit status.
int Shell(const std::string& command, const fs::path& out = "/dev/null") {
  const int status = std::system((command + " >" + Quoted(out) + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 150; ++i, std::this_thread::sleep_for(100ms)) {
    if (done()) return true;
  }
  return false;
}

// The ids of the visible windows with that title.
std::vector<std::string> Windows(const std::string& title) {
  const fs::path ids = ScratchFolder() / "windows";
  Shell("xdotool search --onlyvisible --name '^" + title + "$'", ids);
  std::istringstream in(ReadFile(ids));
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A visible window with that title other than `other`, once it shows; empty when none does.
std::string WaitForWindow(const std::string& title, const std::string& other = "") {
  std::string found;
  Eventually([&] {
    for (const std::string& id : Windows(title)) found = id != other ? id : found;
    return !found.empty();
  });
  std::this_thread::sleep_for(300ms);  // let it paint
  return found;
}

bool Closed(const std::string& title, const std::string& id) {
  return Eventually([&] { return std::ranges::count(Windows(title), id) == 0; });
}

// Where the middle of a control lies in its dialog's window, computed with the program's font.
wxPoint Centre(int templateId, int controlId) {
  wxDialog probe(nullptr, wxID_ANY, "never shown");
  probe.SetFont(ui::TemplateFont());
  for (const res::ControlTemplate& control : res::FindDialogTemplate(templateId)->controls) {
    if (control.id == controlId) {
      return probe.ConvertDialogToPixels(wxPoint(control.x + control.cx / 2, control.y + control.cy / 2));
    }
  }
  ADD_FAILURE() << "no control " << controlId << " in template " << templateId;
  return {};
}

void ClickAt(const std::string& window, wxPoint at, int button = 1) {
  EXPECT_EQ(0, Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(at.x) + " " +
                   std::to_string(at.y) + " click " + std::to_string(button)));
  std::this_thread::sleep_for(150ms);
}

// Keys, or text to type, while `window` has the focus.
void Keys(const std::string& window, const std::string& keys, const char* how = "key") {
  Shell("xdotool windowfocus --sync " + window + " " + how + " --clearmodifiers " + keys);
  std::this_thread::sleep_for(200ms);
}

TEST(EndToEnd, DriveToolRomAttachAndAboutBoxOfTheRealProgram) {
  using namespace res;
  ASSERT_EQ(0, Shell("command -v xdotool")) << "xdotool is needed";
  const fs::path work = ScratchFolder();
  // A directory two levels down gives the lookup lines as well as the case lines.
  const fs::path tree = work / "tree";
  WriteFile(tree / "docs" / "a.bin", std::string(1000, 'a'));
  WriteFile(tree / "docs" / "img" / "p.png", std::string(10, 'p'));
  WriteFile(tree / "docs" / "img" / "raw" / "q.bin", std::string(600, 'q'));
  WriteFile(tree / "readme.txt", std::string(100, 'r'));
  WriteFile(work / "host.nds", std::string(4096, '\x11').replace(512, 11, "KivoFSDrive"));
  const fs::path image = work / "drive.kid";
  const auto type = [](const std::string& window, wxPoint field, const fs::path& path) {
    ClickAt(window, field);
    Keys(window, Quoted(path), "type");
  };

  std::future<int> program = std::async(std::launch::async, [&] {
    return Shell("timeout 120 " + Quoted(KIVOFS_UTILS_BIN), work / "stdout.txt");
  });
  const std::string launcher = WaitForWindow("Kivo FS Utils");
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_CREATE_DRIVE));
  const std::string tool = WaitForWindow("Kivo RomFS");
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";
  type(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_SOURCE_DIR), tree);
  type(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_IMAGE_PATH), image);
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_CREATE_DRIVE));
  EXPECT_TRUE(Eventually([&] { return fs::exists(image); }));
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_EXIT));
  EXPECT_TRUE(Closed("Kivo RomFS", tool));

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_ADD_DRIVES));
  const std::string attach = WaitForWindow("AddKivoFS");
  ASSERT_FALSE(attach.empty()) << "the ROM attach tool did not open";
  type(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_HOST), work / "host.nds");
  type(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_DRIVE0), image);
  type(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_OUTPUT), work / "game.nds");
  ClickAt(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_SAVE_FLASH));
  ClickAt(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_SAVE));
  const std::string saved = WaitForWindow("Kivo FS Utils", launcher);
  ASSERT_FALSE(saved.empty()) << "no box after Save";
  Keys(saved, "Return");
  // Enter in a path field closes the tool, as its default button Exit does.
  ClickAt(attach, Centre(IDD_ADDKIVOFS_DIALOG, addkivofs::IDC_HOST));
  Keys(attach, "Return");
  EXPECT_TRUE(Closed("AddKivoFS", attach));

  // A right click opens the launcher's menu; About is its last entry.
  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_BLANK_LEFT), 3);
  std::this_thread::sleep_for(400ms);
  Shell("xdotool key --clearmodifiers Up Return");
  const std::string about = WaitForWindow("About Kivo FS Utils");
  ASSERT_FALSE(about.empty()) << "the about box did not open";
  Keys(about, "Return");
  EXPECT_TRUE(Closed("About Kivo FS Utils", about));

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, ui::IDOK));
  ASSERT_EQ(std::future_status::ready, program.wait_for(10s)) << "closing the launcher ends the program";
  EXPECT_EQ(0, program.get());

  // What the program printed and wrote is what the command line prints and writes.
  const std::string kivofs = Quoted(KIVOFS_BIN);
  ASSERT_EQ(0, Shell(kivofs + " build " + Quoted(tree) + " -o " + Quoted(work / "cli.kid") + " --host-order --trace",
                   work / "cli.txt"));
  EXPECT_EQ(ReadFile(work / "cli.txt"), ReadFile(work / "stdout.txt"));
  ASSERT_EQ(0, Shell(kivofs + " attach " + Quoted(work / "host.nds") + " --drive0 " + Quoted(image) + " --saveflash -o " +
                   Quoted(work / "cli.nds")));
  EXPECT_EQ(ReadFile(work / "cli.nds"), ReadFile(work / "game.nds"));
}

}  // namespace
