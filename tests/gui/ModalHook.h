// Answers the modal dialogs a test expects, in order, without showing them (message boxes and
// file pickers) or by running an action inside them (dialogs of the ui layer). A dialog that is
// not expected, or not the one expected next, fails the test and is cancelled instead of
// hanging the run. A hook made inside a dialog's action answers the dialogs opened there, in
// place of the outer hook.
//
//   ModalHook hook;
//   hook.ExpectMessageBox("Kivo FS Utils", "Saved");
//   hook.ExpectFileDialog("Save As", "/tmp/out.kid");      // empty path: the user cancels
//   hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) { dlg.OnOK(); });
//   ... run the flow ...
//   // the destructor fails the test if an expected dialog never appeared
#pragma once

#include <wx/modalhook.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/Dialog.h"

namespace kivofs_test {

class ModalHook : public wxModalDialogHook {
 public:
  enum class Kind { MessageBox, FileDialog, Dialog, Other };

  struct Shown {
    Kind kind;
    std::string caption;  // title of the window
    std::string text;     // message of a message box
    long icon;            // wxICON_* style bits of a message box
  };

  ModalHook();
  ~ModalHook() override;

  // A message box with that caption (and text, when given), answered with OK. `icon` is the
  // wxICON_* bit the box must carry (wxICON_NONE for none); leave it empty to accept any.
  void ExpectMessageBox(std::string caption, std::optional<std::string> text = std::nullopt,
                        std::optional<long> icon = std::nullopt);
  // A file picker with that title; a non-empty path confirms it, an empty one cancels.
  void ExpectFileDialog(std::string title, std::string path);
  // A dialog of the ui layer with that caption; `action` runs inside its modal loop and must
  // end it (for example with OnOK or OnCancel).
  void ExpectDialog(std::string caption, std::function<void(ui::CDialog&)> action);

  const std::vector<Shown>& shown() const { return m_shown; }
  bool AllAnswered() const { return m_expected.empty(); }

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  struct Expected {
    Kind kind;
    std::string caption;
    std::optional<std::string> text;
    std::optional<long> icon;
    std::string path;
    std::function<void(ui::CDialog&)> action;
  };

  std::deque<Expected> m_expected;
  std::vector<Shown> m_shown;
};

// Lets the event loop deliver what is queued (posted messages, pending events).
void PumpEvents(int rounds = 5);

}  // namespace kivofs_test

namespace kivofs_test {

// Saves what the screen shows of a top-level window as a PNG (ImageMagick's import on the
// X display), creating the folder. Returns false when it could not be taken.
bool SaveScreenshot(wxWindow* window, const std::string& path);

}  // namespace kivofs_test
