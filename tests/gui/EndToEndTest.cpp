// End-to-end runs of the real kivofs-utils on the virtual display, driven as a person drives it:
// xdotool moves the pointer, clicks and types; nothing is typed into a native file picker. The
// files it writes are checked with the real kivofs. Every step leaves a screenshot under
// <build>/screenshots/.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dialog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "res/Templates.h"
#include "tests/gui/ModalHook.h"
#include "ui/DialogTemplate.h"
#include "ui/WxText.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Output {
  int status = -1;
  std::string text;
};

// Runs a shell command and collects its standard output.
Output Shell(const std::string& command) {
  Output output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.text.append(buffer, got);
  const int status = ::pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The program under test, started in the background with its output in a log file.
class Program {
 public:
  explicit Program(const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    char* const argv[] = {const_cast<char*>(KIVOFS_UTILS_BIN), nullptr};
    if (posix_spawn(&m_pid, KIVOFS_UTILS_BIN, &actions, nullptr, argv, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (m_pid > 0 && Wait(0ms) == -1) {
      ::kill(m_pid, SIGTERM);
      Wait(5s);
    }
  }
  bool Started() const { return m_pid > 0; }
  // Waits for the program to end: its exit status, or -1 while it still runs.
  int Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
      if (m_exit != -1) return m_exit;
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_exit;
      }
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return -1;
  }

 private:
  pid_t m_pid = -1;
  int m_exit = -1;
};

std::vector<std::string> WindowsNamed(const std::string& title) {
  std::istringstream ids(Shell("xdotool search --onlyvisible --name " + Quote("^" + title + "$")).text);
  std::vector<std::string> found;
  for (std::string id; ids >> id;) {
    if (id.find_first_not_of("0123456789") == std::string::npos) found.push_back(id);
  }
  return found;
}

// The first visible window with that title that is not one of `known`, waiting for it.
std::string WaitForWindow(const std::string& title, const std::vector<std::string>& known = {}) {
  for (int i = 0; i < 150; ++i) {
    for (const std::string& id : WindowsNamed(title)) {
      if (std::find(known.begin(), known.end(), id) == known.end()) {
        std::this_thread::sleep_for(300ms);  // let it paint
        return id;
      }
    }
    std::this_thread::sleep_for(100ms);
  }
  return {};
}

bool WaitForWindowGone(const std::string& id) {
  for (int i = 0; i < 100; ++i) {
    std::istringstream ids(Shell("xdotool search --onlyvisible --name .").text);
    bool visible = false;
    for (std::string other; ids >> other;) visible = visible || other == id;
    if (!visible) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Where a control of a template lies in its dialog's window, in pixels, as the program computes
// it: same toolkit, same font, same display.
wxPoint ControlCentre(int templateId, int controlId) {
  const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(templateId);
  wxDialog probe(nullptr, wxID_ANY, "probe");
  probe.SetFont(ui::TemplateFont());
  for (const res::ControlTemplate& control : dialogTemplate->controls) {
    if (control.id != controlId) continue;
    const wxPoint pos = probe.ConvertDialogToPixels(wxPoint(control.x, control.y));
    const wxSize size = probe.ConvertDialogToPixels(wxSize(control.cx, control.cy));
    return wxPoint(pos.x + size.x / 2, pos.y + size.y / 2);
  }
  ADD_FAILURE() << "no control " << controlId << " in template " << templateId;
  return wxPoint();
}

wxPoint DialogPoint(int x, int y) {
  wxDialog probe(nullptr, wxID_ANY, "probe");
  probe.SetFont(ui::TemplateFont());
  return probe.ConvertDialogToPixels(wxPoint(x, y));
}

void ClickAt(const std::string& window, wxPoint at, int button = 1) {
  ASSERT_EQ(0, Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(at.x) + " " +
                   std::to_string(at.y) + " click " + std::to_string(button))
                   .status);
  std::this_thread::sleep_for(150ms);
}

void ClickControl(const std::string& window, int templateId, int controlId) {
  ClickAt(window, ControlCentre(templateId, controlId));
}

void Focus(const std::string& window) { Shell("xdotool windowfocus --sync " + window); }

void TypeInto(const std::string& window, int templateId, int controlId, const std::string& text) {
  ClickControl(window, templateId, controlId);
  Focus(window);
  Shell("xdotool key --clearmodifiers ctrl+a BackSpace");
  ASSERT_EQ(0, Shell("xdotool type --delay 2 --clearmodifiers " + Quote(text)).status);
  std::this_thread::sleep_for(100ms);
}

void Keys(const std::string& window, const std::string& keys) {
  Focus(window);
  Shell("xdotool key --clearmodifiers " + keys);
  std::this_thread::sleep_for(200ms);
}

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
