#include "tests/gui/ModalHook.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/weakref.h>

#include <algorithm>

#include "ui/WxText.h"

namespace kivofs_test {
namespace {

const char* KindName(ModalHook::Kind kind) {
  switch (kind) {
    case ModalHook::Kind::MessageBox: return "message box";
    case ModalHook::Kind::FileDialog: return "file picker";
    case ModalHook::Kind::Dialog: return "dialog";
    case ModalHook::Kind::Other: return "other dialog";
  }
  return "?";
}

// Hooks made inside a dialog's action answer the dialogs opened there; the outer ones wait.
std::vector<ModalHook*>& ActiveHooks() {
  static std::vector<ModalHook*> hooks;
  return hooks;
}

}  // namespace

ModalHook::ModalHook() {
  ActiveHooks().push_back(this);
  Register();
}

ModalHook::~ModalHook() {
  Unregister();
  auto& hooks = ActiveHooks();
  hooks.erase(std::remove(hooks.begin(), hooks.end(), this), hooks.end());
  for (const Expected& expected : m_expected) {
    ADD_FAILURE() << "expected " << KindName(expected.kind) << " \"" << expected.caption
                  << "\" never appeared";
  }
}

void ModalHook::ExpectMessageBox(std::string caption, std::optional<std::string> text,
                                 std::optional<long> icon) {
  m_expected.push_back(Expected{Kind::MessageBox, std::move(caption), std::move(text), icon, {}, {}});
}

void ModalHook::ExpectFileDialog(std::string title, std::string path) {
  m_expected.push_back(Expected{Kind::FileDialog, std::move(title), std::nullopt, std::nullopt, std::move(path), {}});
}

void ModalHook::ExpectDialog(std::string caption, std::function<void(ui::CDialog&)> action) {
  m_expected.push_back(
      Expected{Kind::Dialog, std::move(caption), std::nullopt, std::nullopt, {}, std::move(action)});
}

int ModalHook::Enter(wxDialog* dialog) {
  if (ActiveHooks().empty() || ActiveHooks().back() != this) return wxID_NONE;
  Shown shown{Kind::Other, ui::FromWx(dialog->GetTitle()), {}, 0};
  ui::CDialog* layerDialog = nullptr;
  if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
    shown.kind = Kind::MessageBox;
    shown.caption = ui::FromWx(box->GetTitle());
    shown.text = ui::FromWx(box->GetMessage());
    shown.icon = box->GetMessageDialogStyle() & wxICON_MASK;
  } else if (auto* picker = dynamic_cast<wxFileDialog*>(dialog)) {
    shown.kind = Kind::FileDialog;
    shown.caption = ui::FromWx(picker->GetMessage());
  } else if ((layerDialog = dynamic_cast<ui::CDialog*>(ui::CWnd::FromHandlePermanent(dialog))) != nullptr) {
    shown.kind = Kind::Dialog;
  }
  m_shown.push_back(shown);

  if (m_expected.empty()) {
    ADD_FAILURE() << "unexpected " << KindName(shown.kind) << " \"" << shown.caption << "\" " << shown.text;
    return wxID_CANCEL;
  }
  Expected expected = std::move(m_expected.front());
  m_expected.pop_front();
  if (expected.kind != shown.kind || expected.caption != shown.caption ||
      (expected.text && *expected.text != shown.text)) {
    ADD_FAILURE() << "expected " << KindName(expected.kind) << " \"" << expected.caption << "\" "
                  << expected.text.value_or("") << ", got " << KindName(shown.kind) << " \""
                  << shown.caption << "\" " << shown.text;
    return wxID_CANCEL;
  }
  switch (shown.kind) {
    case Kind::MessageBox:
      if (expected.icon) {
        EXPECT_EQ(*expected.icon, shown.icon) << "icon of the box \"" << shown.caption << "\"";
      }
      return wxID_OK;
    case Kind::FileDialog:
      if (expected.path.empty()) return wxID_CANCEL;
      static_cast<wxFileDialog*>(dialog)->SetPath(ui::ToWx(expected.path));
      return wxID_OK;
    case Kind::Dialog: {
      wxWeakRef<wxDialog> window(dialog);
      auto action = std::move(expected.action);
      wxTheApp->CallAfter([window, layerDialog, action] {
        if (!window) return;
        action(*layerDialog);
        if (window && window->IsModal()) {
          ADD_FAILURE() << "the dialog \"" << ui::FromWx(window->GetTitle())
                        << "\" was still open after its action";
          layerDialog->EndDialog(ui::IDCANCEL);
        }
      });
      return wxID_NONE;
    }
    case Kind::Other:
      break;
  }
  return wxID_CANCEL;
}

void ModalHook::Exit(wxDialog*) {}

void PumpEvents(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
  }
}

}  // namespace kivofs_test

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace kivofs_test {

bool SaveScreenshot(wxWindow* window, const std::string& path) {
  window->Raise();
  window->Refresh();
  window->Update();
  // Give the X server and the toolkit time to map and paint the window.
  for (int i = 0; i < 10; ++i) {
    PumpEvents(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  const wxRect rect = window->GetScreenRect();
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::remove(path);
  const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                              std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                              std::to_string(rect.y) + " +repage '" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(path);
}

}  // namespace kivofs_test
