#include "tests/gui/GuiTest.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/weakref.h>

#include <cstdio>

namespace kivofs_test {

ModalHook::~ModalHook() {
  Unregister();
  for (const Expected& e : m_expected) ADD_FAILURE() << "\"" << e.caption << "\" never appeared";
}

int ModalHook::Enter(wxDialog* dialog) {
  auto* box = dynamic_cast<wxMessageDialog*>(dialog);
  auto* picker = dynamic_cast<wxFileDialog*>(dialog);
  auto* layerDialog = dynamic_cast<ui::CDialog*>(ui::CWnd::FromHandlePermanent(dialog));
  const Kind kind = box ? Kind::MessageBox : picker ? Kind::FileDialog : Kind::Dialog;
  // A picker shows its title as its message and is told by its wildcard.
  const std::string caption = ui::FromWx(picker ? picker->GetMessage() : dialog->GetTitle());
  lastText = ui::FromWx(box ? box->GetMessage() : picker ? picker->GetWildcard() : wxString());
  const std::string& text = lastText;
  const bool iconless = !box || (box->GetMessageDialogStyle() & wxICON_MASK) == wxICON_NONE;
  const Expected* next = m_expected.empty() ? nullptr : &m_expected.front();
  if (next == nullptr || next->kind != kind || next->caption != caption ||
      next->text.value_or(text) != text || !iconless || (!box && !picker && !layerDialog)) {
    ADD_FAILURE() << "unexpected dialog \"" << caption << "\" " << text
                  << (iconless ? "" : " with an icon");
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
    // An ended dialog is hidden at once; wxMSW counts it as modal until its loop returns.
    if (window && window->IsShown()) {
      ADD_FAILURE() << "\"" << window->GetTitle() << "\" was still open after its action";
      layerDialog->EndDialog(ui::IDCANCEL);
    }
  });
  return wxID_NONE;
}

void PumpEvents() {
  for (int i = 0; i < 5; ++i) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
  }
}

}  // namespace kivofs_test

// Starts wx on the (virtual) display and runs the tests.
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
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
