// The real kivofs-utils on the virtual display, driven as a person drives it: xdotool moves the
// pointer, clicks and types (nothing is typed into a native file picker). What the dialogs do is
// the dialogs' tests'; here the program starts, its windows open and close each other, and what
// its drive tool prints is what the real kivofs prints.
#include <wx/dialog.h>

#include <chrono>
#include <future>
#include <thread>

#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "ui/DialogTemplate.h"

using namespace kivofs_test;
using namespace std::chrono_literals;
using kivo::test::Outcome;

namespace {

Outcome Xdotool(const std::vector<std::string>& args) {
  return kivo::test::Run("/usr/bin/xdotool", args);
}

// Waits up to 15 s for a visible window with that title to show and returns its id once it
// has painted (empty when none shows); with `gone`, for none to be left (empty when so).
std::string WaitFor(const std::string& title, bool gone = false) {
  for (int i = 0; i < 150; ++i, std::this_thread::sleep_for(100ms)) {
    const std::string ids = Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).out;
    if (ids.empty() != gone) continue;
    if (!gone) std::this_thread::sleep_for(300ms);
    return ids.substr(0, ids.find('\n'));
  }
  return gone ? "still open" : "";
}

// Where the middle of a control lies in its dialog's window, computed with the program's font.
wxPoint Centre(int templateId, int controlId) {
  wxDialog probe(nullptr, wxID_ANY, "never shown");
  probe.SetFont(ui::TemplateFont());
  for (const res::ControlTemplate& control : res::FindDialogTemplate(templateId)->controls) {
    if (control.id == controlId) {
      const wxPoint middle(control.x + control.cx / 2, control.y + control.cy / 2);
      return probe.ConvertDialogToPixels(middle);
    }
  }
  ADD_FAILURE() << "no control " << controlId << " in template " << templateId;
  return {};
}

void ClickAt(const std::string& window, wxPoint at, int button = 1) {
  EXPECT_EQ(0, Xdotool({"mousemove", "--sync", "--window", window, std::to_string(at.x),
                        std::to_string(at.y), "click", std::to_string(button)})
                   .exitCode);
  std::this_thread::sleep_for(150ms);
}

// Keys pressed (`how` "key") or text typed ("type") while `window` has the focus.
void Keys(const std::string& window, const char* how, const std::string& keys) {
  Xdotool({"windowfocus", "--sync", window, how, "--clearmodifiers", keys});
  std::this_thread::sleep_for(200ms);
}

TEST(EndToEnd, LauncherOpensTheDriveToolAndTheAboutBoxAndCloses) {
  using namespace res;
  ASSERT_TRUE(fs::exists("/usr/bin/xdotool")) << "xdotool is needed";
  const kivo::test::TempDir work;
  const fs::path tree = work / "tree";
  WriteFile(tree / "docs" / "a.bin", std::string(1000, 'a'));
  WriteFile(tree / "readme.txt", std::string(100, 'r'));
  const fs::path image = work / "drive.kid";

  std::future<Outcome> program =
      std::async(std::launch::async, [] { return kivo::test::Run(KIVOFS_UTILS_BIN, {}); });
  const std::string launcher = WaitFor(kCaption);
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_CREATE_DRIVE));
  const std::string tool = WaitFor(kDriveToolCaption);
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";
  for (const auto& [field, path] : {std::pair(romfs::IDC_SOURCE_DIR, tree),
                                    std::pair(romfs::IDC_IMAGE_PATH, image)}) {
    ClickAt(tool, Centre(IDD_ROMFS_DIALOG, field));
    Keys(tool, "type", path.string());
  }
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_CREATE_DRIVE));
  for (int i = 0; i < 50 && !fs::exists(image); ++i) std::this_thread::sleep_for(100ms);
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_EXIT));
  ASSERT_EQ("", WaitFor(kDriveToolCaption, true));

  // A right click opens the launcher's menu; About is its last entry.
  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_BLANK_LEFT), 3);
  std::this_thread::sleep_for(400ms);
  Xdotool({"key", "--clearmodifiers", "Up", "Return"});
  const std::string about = WaitFor(kAboutCaption);
  ASSERT_FALSE(about.empty()) << "the about box did not open";
  Keys(about, "key", "Return");
  ASSERT_EQ("", WaitFor(kAboutCaption, true));

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, ui::IDOK));
  ASSERT_EQ(std::future_status::ready, program.wait_for(10s))
      << "closing the launcher ends the program";
  const Outcome ended = program.get();
  EXPECT_EQ(0, ended.exitCode);
  const Outcome cli = kivo::test::Kivofs({"build", tree.string(), "-o", (work / "cli.kid").string(),
                                          "--host-order", "--trace"});
  ASSERT_EQ(0, cli.exitCode);
  EXPECT_EQ(cli.out, ended.out);
}

}  // namespace
