#include "tests/gui/GuiTest.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/weakref.h>

#include <algorithm>
#include <cstdio>

namespace kivofs_test {
namespace {

fs::path ScratchRoot() {
  return fs::temp_directory_path() / ("kivofs-gui-" + std::to_string(::getpid()));
}

}  // namespace

ModalHook::~ModalHook() {
  Unregister();
  for (const Expected& e : m_expected) ADD_FAILURE() << "\"" << e.caption << "\" never appeared";
}

int ModalHook::Enter(wxDialog* dialog) {
  auto* box = dynamic_cast<wxMessageDialog*>(dialog);
  auto* picker = dynamic_cast<wxFileDialog*>(dialog);
  auto* layerDialog = dynamic_cast<ui::CDialog*>(ui::CWnd::FromHandlePermanent(dialog));
  const Kind kind = box      ? Kind::MessageBox
                    : picker ? Kind::FileDialog
                             : (layerDialog ? Kind::Dialog : Kind::Other);
  // A picker shows its title as its message and is told by its wildcard.
  const wxString text = box ? box->GetMessage() : picker ? picker->GetWildcard() : wxString();
  m_shown.push_back({kind, ui::FromWx(picker ? picker->GetMessage() : dialog->GetTitle()),
                     ui::FromWx(text), box ? box->GetMessageDialogStyle() & wxICON_MASK : 0});
  const Shown& shown = m_shown.back();
  const Expected* next = m_expected.empty() ? nullptr : &m_expected.front();
  if (next == nullptr || next->kind != kind || next->caption != shown.caption ||
      next->text.value_or(*shown.text) != *shown.text || next->icon != shown.icon) {
    ADD_FAILURE() << "unexpected dialog \"" << shown.caption << "\" " << *shown.text << " (icon "
                  << shown.icon << ")";
    return wxID_CANCEL;
  }
  Expected expected = std::move(m_expected.front());
  m_expected.pop_front();
  if (kind == Kind::MessageBox) return wxID_OK;
  if (kind == Kind::FileDialog) {
    if (expected.path.empty()) return wxID_CANCEL;
    picker->SetPath(ui::ToWx(expected.path));
    return wxID_OK;
  }
  wxTheApp->CallAfter([window = wxWeakRef<wxDialog>(dialog), layerDialog,
                       action = std::move(expected.action)] {
    if (!window) return;
    action(*layerDialog);
    if (window && window->IsModal()) {
      ADD_FAILURE() << "\"" << window->GetTitle() << "\" was still open after its action";
      layerDialog->EndDialog(ui::IDCANCEL);
    }
  });
  return wxID_NONE;
}

void PumpEvents(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
  }
}

bool Send(wxWindow* control, wxEvent&& event) {
  event.SetEventObject(control);
  return control->GetEventHandler()->ProcessEvent(event);
}

void PressKey(ui::CDialog& dialog, int focus, int keyCode) {
  wxKeyEvent event(wxEVT_CHAR_HOOK);
  event.m_keyCode = keyCode;
  event.SetEventObject(focus != 0 ? Control(dialog, focus) : dialog.m_hWnd);
  dialog.m_hWnd->GetEventHandler()->ProcessEvent(event);
}

fs::path ScratchFolder() {
  const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test.test_suite_name()) + "." + test.name();
  std::replace(name.begin(), name.end(), '/', '-');
  fs::create_directories(ScratchRoot() / name);
  return fs::canonical(ScratchRoot() / name);
}

}  // namespace kivofs_test

// Starts wx on the (virtual) display, runs the tests, then removes the scratch folders.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new wxApp());
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot start the GUI (is DISPLAY set? run under xvfb-run)\n");
    return 1;
  }
  wxSetAssertHandler([](const auto& file, int line, const auto& func, const auto& cond,
                        const auto& msg) {
    ADD_FAILURE() << "wx assertion " << cond << " in " << func << " at " << file << ":" << line
                  << ": " << msg;
  });
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(kivofs_test::ScratchRoot(), ignored);
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
