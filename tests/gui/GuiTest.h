// What the GUI tests share: a hook that answers the modal dialogs a test expects, actions that
// reach a control through its own event, and a scratch folder.
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
#include <vector>

#include "tests/support/OrdinaryUser.h"
#include "tests/support/Support.h"
#include "ui/Dialog.h"
#include "ui/WxText.h"

namespace kivofs_test {

namespace fs = std::filesystem;

// The texts the dialogs must show, each written out once. The caption of every message box of
// the drive tool and the ROM attach dialog is the launcher's.
inline constexpr const char* kCaption = "Kivo FS Utils";
inline constexpr const char* kCouldNotOpen = "Error could't open file";
inline constexpr const char* kNoDrive = "one of the drive paths must be filled in to proceed";
inline constexpr const char* kSaveAs = "Save As";
inline constexpr const char* kDriveToolCaption = "Kivo RomFS";
inline constexpr const char* kAttachCaption = "AddKivoFS";
inline constexpr const char* kChooserCaption = "Choose Directory";
inline constexpr const char* kAboutCaption = "About Kivo FS Utils";

// Answers the expected dialogs in order: message boxes with OK and file pickers with a path
// (empty: the user cancels) without showing them, dialogs of the ui layer by running an action
// inside their modal loop that must end them. Any other dialog fails the test and is
// cancelled, as is one that is not the one expected next; the destructor fails the test for
// every expected dialog that never appeared. One hook at a time.
class ModalHook : public wxModalDialogHook {
 public:
  enum class Kind { MessageBox, FileDialog, Dialog, Other };
  struct Expected {
    Kind kind;
    std::string caption;              // a file picker's title
    std::optional<std::string> text;  // any when not given; a file picker's wildcard
    long icon = 0;                    // a message box carries exactly this one (wxICON_*)
    std::string path = {};
    std::function<void(ui::CDialog&)> action = {};
  };
  using Shown = Expected;

  ModalHook() { Register(); }
  ~ModalHook() override;

  void ExpectMessageBox(std::string caption, std::optional<std::string> text = {},
                        long icon = wxICON_NONE) {
    m_expected.push_back({Kind::MessageBox, std::move(caption), std::move(text), icon});
  }
  void ExpectFileDialog(std::string title, std::string path) {
    m_expected.push_back({Kind::FileDialog, std::move(title), {}, 0, std::move(path)});
  }
  void ExpectDialog(std::string caption, std::function<void(ui::CDialog&)> action) {
    m_expected.push_back({Kind::Dialog, std::move(caption), {}, 0, {}, std::move(action)});
  }
  const std::vector<Shown>& shown() const { return m_shown; }

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog*) override {}

 private:
  std::deque<Expected> m_expected;
  std::vector<Shown> m_shown;
};

// Lets the event loop deliver what is queued (posted messages, pending events).
void PumpEvents(int rounds = 5);

inline wxWindow* Control(ui::CDialog& d, int id) { return d.m_hWnd->FindWindow(id); }
inline std::string TextOf(ui::CDialog& d, int id) { return ui::GetWindowTextOf(Control(d, id)); }
// Replaces an edit's text as typing does.
inline void Type(ui::CDialog& d, int id, const std::string& text) {
  dynamic_cast<wxTextEntry&>(*Control(d, id)).SetValue(ui::ToWx(text));
}
inline auto& Check(ui::CDialog& d, int id) { return dynamic_cast<wxCheckBox&>(*Control(d, id)); }
inline void SetCheck(ui::CDialog& d, int id, bool on) { Check(d, id).SetValue(on); }
inline bool IsChecked(ui::CDialog& d, int id) { return Check(d, id).GetValue(); }
// Lets the control handle the event as if the toolkit had raised it.
bool Send(wxWindow* control, wxEvent&& event);
inline void Click(ui::CDialog& d, int id) {
  Send(Control(d, id), wxCommandEvent(wxEVT_BUTTON, id));
}
inline void LoseFocus(ui::CDialog& d, int id) {
  Send(Control(d, id), wxFocusEvent(wxEVT_KILL_FOCUS, id));
}
// A key pressed while control `focus` (or the dialog, for 0) has the keyboard focus.
void PressKey(ui::CDialog& dialog, int focus, int keyCode);

// Names a parameterized test by its case's `name`.
inline constexpr auto CaseName = [](const auto& info) { return std::string(info.param.name); };

// An empty folder of the running test's own below the system's temporary folder.
fs::path ScratchFolder();
using kivo::test::ReadFile;
using kivo::test::WriteFile;

// A dialog's test with a scratch folder of its own and a hook that fails it on any dialog it
// does not expect.
class DialogTest : public ::testing::Test {
 protected:
  // Below the scratch folder; an empty name stands for an empty field.
  std::string Path(const std::string& name) const {
    return name.empty() ? "" : (dir / name).string();
  }
  // Runs `act` as an ordinary user who owns the scratch folder but may do only `perms` to
  // `locked` in it.
  void RunAsOrdinaryUser(const std::string& locked, fs::perms perms,
                         const std::function<void()>& act) {
    kivo::testfiles::GiveToOrdinaryUser(dir);
    fs::permissions(dir / locked, perms);
    kivo::testfiles::AsOrdinaryUser ordinaryUser;
    act();
  }

  const fs::path dir = ScratchFolder();
  ModalHook hook;
};

}  // namespace kivofs_test
