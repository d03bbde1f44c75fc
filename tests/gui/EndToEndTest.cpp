// The real kivofs-utils on the virtual display, driven as a person drives it: xdotool moves the
// pointer, clicks and types (nothing is typed into a native file picker). What the dialogs do is
// the dialogs' tests'; here the program starts, its windows open and close each other, and what
// its drive tool prints is what the real kivofs prints.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <wx/dialog.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <sstream>
#include <thread>

#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "ui/DialogTemplate.h"

using namespace kivofs_test;
using namespace std::chrono_literals;

namespace {

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs a shell command; its exit status, and its standard output in `out` when given.
int Shell(const std::string& command, std::string* out = nullptr) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  char buffer[4096];
  for (size_t got; pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    if (out != nullptr) out->append(buffer, got);
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The ids of the visible windows with that title.
std::string Windows(const std::string& title) {
  std::string ids;
  Shell("xdotool search --onlyvisible --name '^" + title + "$'", &ids);
  return ids;
}

// A visible window with that title, once it shows; empty when none does.
std::string WaitForWindow(const std::string& title) {
  for (int i = 0; i < 150; ++i, std::this_thread::sleep_for(100ms)) {
    std::istringstream in(Windows(title));
    if (std::string id; in >> id) {
      std::this_thread::sleep_for(300ms);  // let it paint
      return id;
    }
  }
  return "";
}

bool Closed(const std::string& title, const std::string& id) {
  for (int i = 0; i < 150; ++i, std::this_thread::sleep_for(100ms)) {
    if (("\n" + Windows(title)).find("\n" + id + "\n") == std::string::npos) return true;
  }
  return false;
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
  EXPECT_EQ(0, Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(at.x) +
                     " " + std::to_string(at.y) + " click " + std::to_string(button)));
  std::this_thread::sleep_for(150ms);
}

// Keys, or text to type, while `window` has the focus.
void Keys(const std::string& window, const std::string& keys, const char* how = "key") {
  Shell("xdotool windowfocus --sync " + window + " " + how + " --clearmodifiers " + keys);
  std::this_thread::sleep_for(200ms);
}

TEST(EndToEnd, LauncherOpensTheDriveToolAndTheAboutBoxAndCloses) {
  using namespace res;
  ASSERT_EQ(0, Shell("command -v xdotool")) << "xdotool is needed";
  const fs::path work = ScratchFolder();
  const fs::path tree = work / "tree";
  WriteFile(tree / "docs" / "a.bin", std::string(1000, 'a'));
  WriteFile(tree / "readme.txt", std::string(100, 'r'));
  const fs::path image = work / "drive.kid";
  const auto type = [](const std::string& window, wxPoint field, const fs::path& path) {
    ClickAt(window, field);
    Keys(window, Quoted(path), "type");
  };

  std::future<int> program = std::async(std::launch::async, [&] {
    return Shell("timeout 120 " + Quoted(KIVOFS_UTILS_BIN) + " >" + Quoted(work / "stdout.txt"));
  });
  const std::string launcher = WaitForWindow(kCaption);
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_CREATE_DRIVE));
  const std::string tool = WaitForWindow(kDriveToolCaption);
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";
  type(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_SOURCE_DIR), tree);
  type(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_IMAGE_PATH), image);
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_CREATE_DRIVE));
  for (int i = 0; i < 50 && !fs::exists(image); ++i) std::this_thread::sleep_for(100ms);
  ClickAt(tool, Centre(IDD_ROMFS_DIALOG, romfs::IDC_EXIT));
  ASSERT_TRUE(Closed(kDriveToolCaption, tool));

  // A right click opens the launcher's menu; About is its last entry.
  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, launcher::IDC_BLANK_LEFT), 3);
  std::this_thread::sleep_for(400ms);
  Shell("xdotool key --clearmodifiers Up Return");
  const std::string about = WaitForWindow(kAboutCaption);
  ASSERT_FALSE(about.empty()) << "the about box did not open";
  Keys(about, "Return");
  ASSERT_TRUE(Closed(kAboutCaption, about));

  ClickAt(launcher, Centre(IDD_KIVOFSUTILS_DIALOG, ui::IDOK));
  ASSERT_EQ(std::future_status::ready, program.wait_for(10s))
      << "closing the launcher ends the program";
  EXPECT_EQ(0, program.get());
  std::string printed;
  const std::string build = " build " + Quoted(tree) + " -o " + Quoted(work / "cli.kid");
  ASSERT_EQ(0, Shell(Quoted(KIVOFS_BIN) + build + " --host-order --trace", &printed));
  EXPECT_EQ(printed, ReadFile(work / "stdout.txt"));
}

}  // namespace
