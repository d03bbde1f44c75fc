// The drive tool inside the real kivofs-utils, driven through xdotool on the virtual display:
// what the program prints while it builds, and a rename, checked against the command line.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/dialog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "res/Templates.h"
#include "ui/DialogTemplate.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Output {
  int status = -1;
  std::string text;
};

Output Shell(const std::string& command) {
  Output output;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.text.append(buffer, got);
  const int status = ::pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// kivofs-utils in the background, its standard output in a file of its own.
class Program {
 public:
  Program(const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  // The exit status, or -1 while the program still runs after `limit`.
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

std::string WaitForWindow(const std::string& title) {
  for (int i = 0; i < 150; ++i) {
    std::istringstream ids(Shell("xdotool search --onlyvisible --name " + Quote("^" + title + "$")).text);
    std::string id;
    if (ids >> id) {
      std::this_thread::sleep_for(300ms);  // let it paint
      return id;
    }
    std::this_thread::sleep_for(100ms);
  }
  return {};
}

bool WaitForWindowGone(const std::string& id) {
  for (int i = 0; i < 100; ++i) {
    const std::string visible = Shell("xdotool search --onlyvisible --name .").text;
    std::istringstream ids(visible);
    if (std::none_of(std::istream_iterator<std::string>(ids), std::istream_iterator<std::string>(),
                     [&](const std::string& other) { return other == id; })) {
      return true;
    }
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// The program places a template's controls with this toolkit and font on this display.
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

void ClickControl(const std::string& window, int templateId, int controlId) {
  const wxPoint at = ControlCentre(templateId, controlId);
  ASSERT_EQ(0, Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(at.x) + " " +
                     std::to_string(at.y) + " click 1")
                   .status);
  std::this_thread::sleep_for(150ms);
}

void TypeInto(const std::string& window, int controlId, const std::string& text) {
  ClickControl(window, res::IDD_ROMFS_DIALOG, controlId);
  Shell("xdotool windowfocus --sync " + window);
  Shell("xdotool key --clearmodifiers ctrl+a BackSpace");
  ASSERT_EQ(0, Shell("xdotool type --delay 2 --clearmodifiers " + Quote(text)).status);
  std::this_thread::sleep_for(100ms);
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
  WriteText(tree / "docs" / "a.bin", std::string(1000, 'a'));
  WriteText(tree / "docs" / "img" / "p.png", std::string(10, 'p'));
  WriteText(tree / "docs" / "img" / "raw" / "q.bin", std::string(600, 'q'));
  WriteText(tree / "readme.txt", std::string(100, 'r'));
  const fs::path image = m_work / "drive.kid";

  Program program(m_work / "stdout.txt", m_work / "stderr.txt");
  ASSERT_TRUE(program.Started());
  const std::string launcher = WaitForWindow("Kivo FS Utils");
  ASSERT_FALSE(launcher.empty()) << "the launcher did not appear";
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1001);
  const std::string tool = WaitForWindow("Kivo RomFS");
  ASSERT_FALSE(tool.empty()) << "the drive tool did not open";

  TypeInto(tool, 1009, tree.string());
  TypeInto(tool, 1011, image.string());
  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1004);
  for (int i = 0; i < 50 && !fs::exists(image); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(fs::exists(image)) << "no image written";

  // A new name through the "Re-Name Drive" group.
  TypeInto(tool, 1013, image.string());
  TypeInto(tool, 1001, "Level Pack");
  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1007);
  std::this_thread::sleep_for(300ms);

  ClickControl(tool, res::IDD_ROMFS_DIALOG, 1005);  // Exit
  EXPECT_TRUE(WaitForWindowGone(tool));
  ClickControl(launcher, res::IDD_KIVOFSUTILS_DIALOG, 1);
  ASSERT_EQ(0, program.Wait(10s));

  const Output cli = Shell(Quote(KIVOFS_BIN) + " build " + Quote(tree.string()) + " -o " +
                           Quote((m_work / "cli.kid").string()) + " --host-order --trace");
  ASSERT_EQ(0, cli.status);
  EXPECT_EQ(ReadText(m_work / "stdout.txt"), cli.text);
  EXPECT_NE(cli.text.find("sub dir\n"), std::string::npos) << cli.text;
  EXPECT_NE(cli.text.find(" * img-*-raw\n"), std::string::npos) << "lookup lines expected in\n" << cli.text;

  const Output info = Shell(Quote(KIVOFS_BIN) + " info " + Quote(image.string()));
  ASSERT_EQ(0, info.status);
  EXPECT_NE(info.text.find("Level Pack"), std::string::npos) << info.text;
  const Output verify = Shell(Quote(KIVOFS_BIN) + " verify " + Quote(image.string()));
  EXPECT_EQ(0, verify.status) << verify.text;
}

}  // namespace
