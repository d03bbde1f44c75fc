// What the GUI tests share: a hook that answers the modal dialogs a test expects, actions that
// reach a control through its own event, and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/modalhook.h>
#include <wx/textctrl.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/OrdinaryUser.h"
#include "tests/support/Support.h"
#include "ui/Dialog.h"
#include "ui/WxText.h"

namespace kivofs_test {

namespace fs = std::filesystem;
using kivo::test::ReadFile;
using kivo::test::WriteFile;

// The texts the dialogs must show, each written out once. The caption of every message box of
// the drive tool and the ROM attach dialog is the launcher's.
inline constexpr const char* kCaption = "Kivo FS Utils";
inline constexpr const char* kCouldNotOpen = "Error could't open file";
inline constexpr const char* kNoDrive = "one of the drive paths must be filled in to proceed";
inline constexpr const char* kSaveAs = "Save As";
inline constexpr const char* kDriveToolCaption = "Kivo RomFS";
inline constexpr const char* kChooserCaption = "Choose Directory";
inline constexpr const char* kAboutCaption = "About Kivo FS Utils";

// Answers the expected dialogs in order without showing the toolkit's own: a message box (which
// must have no icon) with OK, a file picker with a path (empty: the user cancels). A dialog of
// the ui layer runs an action inside its modal loop that must end it. Any other dialog fails
// the test and is cancelled; so does every expected dialog that never appeared, when the hook
// goes. One hook at a time.
class ModalHook : public wxModalDialogHook {
 public:
  using Action = std::function<void(ui::CDialog&)>;
  ModalHook() { Register(); }
  ~ModalHook() override;

  // `text`: the box's text; any when not given.
  void ExpectMessageBox(std::string caption, std::optional<std::string> text = {}) {
    m_expected.push_back({Kind::MessageBox, std::move(caption), std::move(text)});
  }
  void ExpectFileDialog(std::string title, std::string path,
                        std::optional<std::string> wildcard = {}) {
    m_expected.push_back(
        {Kind::FileDialog, std::move(title), std::move(wildcard), std::move(path)});
  }
  void ExpectDialog(std::string caption, Action action) {
    m_expected.push_back({Kind::Dialog, std::move(caption), {}, {}, std::move(action)});
  }
  // The text of the last message box shown (a picker's wildcard, for a picker).
  std::string lastText;

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog*) override {}

 private:
  enum class Kind { MessageBox, FileDialog, Dialog };
  struct Expected {
    Kind kind;
    std::string caption;              // a file picker's title
    std::optional<std::string> text;  // a file picker's wildcard
    std::string path = {};
    Action action = {};
  };
  std::deque<Expected> m_expected;
};

// Lets the event loop deliver what is queued (posted messages, pending events).
void PumpEvents();

inline wxWindow* Control(ui::CDialog& d, int id) { return d.m_hWnd->FindWindow(id); }
inline std::string TextOf(ui::CDialog& d, int id) { return ui::GetWindowTextOf(Control(d, id)); }
// Replaces an edit's text as typing does.
inline void Type(ui::CDialog& d, int id, const std::string& text) {
  dynamic_cast<wxTextEntry&>(*Control(d, id)).SetValue(ui::ToWx(text));
}
inline auto& Check(ui::CDialog& d, int id) { return dynamic_cast<wxCheckBox&>(*Control(d, id)); }
// Lets `handler` handle the event as if the toolkit had raised it on `control`.
inline bool Send(wxWindow* control, wxEvent&& event, wxWindow* handler = nullptr) {
  event.SetEventObject(control);
  return (handler != nullptr ? handler : control)->GetEventHandler()->ProcessEvent(event);
}
inline void Click(ui::CDialog& d, int id) {
  Send(Control(d, id), wxCommandEvent(wxEVT_BUTTON, id));
}
// A key pressed while control `focus` (or the dialog, for 0) has the keyboard focus.
inline void PressKey(ui::CDialog& d, int focus, int keyCode) {
  wxKeyEvent key(wxEVT_CHAR_HOOK);
  key.m_keyCode = keyCode;
  Send(focus != 0 ? Control(d, focus) : d.m_hWnd, std::move(key), d.m_hWnd);
}

// Names a parameterized test by its case's `name`.
inline constexpr auto CaseName = [](const auto& info) { return std::string(info.param.name); };

// A dialog's test with a scratch folder of its own and a hook that fails it on any dialog it
// does not expect.
class DialogTest : public ::testing::Test {
 protected:
  // Below the scratch folder; an empty name stands for an empty field.
  std::string Path(const std::string& name) const {
    return name.empty() ? "" : (dir / name).string();
  }
  // Runs `act` as an ordinary user who owns the scratch folder, with `name` in it read-only.
  void RunWithReadOnly(const std::string& name, const std::function<void()>& act) {
    kivo::testfiles::GiveToOrdinaryUser(dir);
    fs::permissions(dir / name, fs::perms::owner_read);
    kivo::testfiles::AsOrdinaryUser ordinaryUser;
    act();
  }

  // Dialogs may change the working directory; each test starts and ends in the same one.
  void TearDown() override { fs::current_path(saved); }

  const fs::path saved = fs::current_path();
  // Removed with everything in it, read-only files included, when the test ends.
  const kivo::test::TempDir scratch;
  const fs::path dir = fs::canonical(scratch.path());
  ModalHook hook;
};

}  // namespace kivofs_test
