// Drives the real kivofs-utils on the virtual display as a person would: the program runs in the
// background, xdotool finds its windows, moves the pointer, clicks and types. Control positions
// come from the dialog templates, computed with the same toolkit and font as the program's.
// Tests that include this define KIVOFS_UTILS_BIN.
#pragma once

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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "res/Templates.h"
#include "ui/DialogTemplate.h"

namespace kivofs_test::xdo {

struct Output {
  int status = -1;
  std::string text;
};

enum class Errors { kMerged, kDiscarded };

// Runs a shell command and collects its standard output, and its standard error unless discarded.
inline Output Shell(const std::string& command, Errors errors = Errors::kMerged) {
  using namespace std::string_literals;
  Output output;
  FILE* pipe = ::popen((command + (errors == Errors::kMerged ? " 2>&1"s : " 2>/dev/null"s)).c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.text.append(buffer, got);
  const int status = ::pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// kivofs-utils in the background. Its standard output goes to `out`; its standard error to `err`,
// or to `out` as well when `err` is empty.
class Program {
 public:
  explicit Program(const std::filesystem::path& out, const std::filesystem::path& err = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err.empty()) {
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else {
      posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    char* const argv[] = {const_cast<char*>(KIVOFS_UTILS_BIN), nullptr};
    if (posix_spawn(&m_pid, KIVOFS_UTILS_BIN, &actions, nullptr, argv, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    using namespace std::chrono_literals;
    if (m_pid > 0 && Wait(0ms) == -1) {
      ::kill(m_pid, SIGTERM);
      Wait(5s);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return m_pid > 0; }
  // Waits for the program to end: its exit status, or -1 while it still runs after `limit`.
  int Wait(std::chrono::milliseconds limit) {
    using namespace std::chrono_literals;
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

// Only the numeric window ids: xdotool's own remarks on standard error are mixed in.
inline std::vector<std::string> WindowsNamed(const std::string& title) {
  std::istringstream ids(Shell("xdotool search --onlyvisible --name " + Quote("^" + title + "$")).text);
  std::vector<std::string> found;
  for (std::string id; ids >> id;) {
    if (id.find_first_not_of("0123456789") == std::string::npos) found.push_back(id);
  }
  return found;
}

// The first visible window with that title that is not one of `known`, waiting for it.
inline std::string WaitForWindow(const std::string& title, const std::vector<std::string>& known = {}) {
  using namespace std::chrono_literals;
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

inline bool WaitForWindowGone(const std::string& id) {
  using namespace std::chrono_literals;
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
inline wxPoint ControlCentre(int templateId, int controlId) {
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

inline wxPoint DialogPoint(int x, int y) {
  wxDialog probe(nullptr, wxID_ANY, "probe");
  probe.SetFont(ui::TemplateFont());
  return probe.ConvertDialogToPixels(wxPoint(x, y));
}

inline void ClickAt(const std::string& window, wxPoint at, int button = 1) {
  using namespace std::chrono_literals;
  ASSERT_EQ(0, Shell("xdotool mousemove --sync --window " + window + " " + std::to_string(at.x) + " " +
                     std::to_string(at.y) + " click " + std::to_string(button))
                   .status);
  std::this_thread::sleep_for(150ms);
}

inline void ClickControl(const std::string& window, int templateId, int controlId) {
  ClickAt(window, ControlCentre(templateId, controlId));
}

inline void Focus(const std::string& window) { Shell("xdotool windowfocus --sync " + window); }

inline void TypeInto(const std::string& window, int templateId, int controlId, const std::string& text) {
  using namespace std::chrono_literals;
  ClickControl(window, templateId, controlId);
  Focus(window);
  Shell("xdotool key --clearmodifiers ctrl+a BackSpace");
  ASSERT_EQ(0, Shell("xdotool type --delay 2 --clearmodifiers " + Quote(text)).status);
  std::this_thread::sleep_for(100ms);
}

inline void Keys(const std::string& window, const std::string& keys) {
  using namespace std::chrono_literals;
  Focus(window);
  Shell("xdotool key --clearmodifiers " + keys);
  std::this_thread::sleep_for(200ms);
}

}  // namespace kivofs_test::xdo
