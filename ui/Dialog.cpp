#include "ui/Dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "res/Templates.h"
#include "ui/DialogTemplate.h"
#include "ui/WxText.h"

namespace ui {

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_pParentWnd(pParentWnd), m_nIDTemplate(nIDTemplate) {}

CDialog::~CDialog() { DestroyWindow(); }

wxDialog* CDialog::GetDialogWindow() const { return dynamic_cast<wxDialog*>(m_hWnd); }

BOOL CDialog::CreateDialogWindow() {
  if (m_hWnd != nullptr) return FALSE;
  m_pTemplate = res::FindDialogTemplate(static_cast<int>(m_nIDTemplate));
  if (m_pTemplate == nullptr) return FALSE;
  wxWindow* parent = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
  long style = 0;
  if (m_pTemplate->style & res::WS_CAPTION) style |= wxCAPTION;
  if (m_pTemplate->style & res::WS_SYSMENU) style |= wxSYSTEM_MENU | wxCLOSE_BOX;
  // A window with a task-bar button of its own is nobody's child when no parent is given.
  if (parent == nullptr && (m_pTemplate->exStyle & res::WS_EX_APPWINDOW)) {
    style |= wxDIALOG_NO_PARENT;
  }
  auto* dialog = new wxDialog(parent, wxID_ANY, ToWx(m_pTemplate->caption), wxDefaultPosition,
                              wxDefaultSize, style);
  Attach(dialog);
  m_bEnded = false;
  m_nModalResult = -1;
  BuildDialogFromTemplate(*dialog, *m_pTemplate);
  dialog->Bind(wxEVT_CHAR_HOOK, &CDialog::OnCharHook, this);
  dialog->Bind(wxEVT_CLOSE_WINDOW, &CDialog::OnClose, this);
  BindControlEvents();
  return TRUE;
}

void CDialog::BindControlEvents() {
  using K = res::ControlKind;
  for (const res::ControlTemplate& control : m_pTemplate->controls) {
    if (control.id == res::IDC_STATIC) continue;
    wxWindow* window = m_hWnd->FindWindow(control.id);
    if (window == nullptr) continue;
    const int id = control.id;
    // The toolkit's command event of the control stands for the notification `code`.
    auto route = [&](const wxEventTypeTag<wxCommandEvent>& type, UINT code) {
      window->Bind(type, [this, id, code](wxCommandEvent&) { SendCommand(id, code); });
    };
    switch (control.kind) {
      case K::PushButton:
      case K::DefPushButton:
      case K::OwnerDrawButton: route(wxEVT_BUTTON, BN_CLICKED); break;
      case K::CheckBox: route(wxEVT_CHECKBOX, BN_CLICKED); break;
      case K::ComboBox: route(wxEVT_COMBOBOX, CBN_SELCHANGE); break;
      case K::Edit:
        window->Bind(wxEVT_KILL_FOCUS, [this, id](wxFocusEvent& event) {
          event.Skip();
          SendCommand(id, EN_KILLFOCUS);
        });
        break;
      case K::TreeView:
        window->Bind(wxEVT_TREE_ITEM_ACTIVATED, [this, window](wxTreeEvent& event) {
          OnControlNotify(window, NM_DBLCLK, event);
        });
        break;
      case K::Static:
      case K::Icon:
      case K::GroupBox:
        break;
    }
  }
}

void CDialog::SendCommand(int id, UINT code) {
  if (m_hWnd == nullptr || m_bEnded) return;
  OnCmdMsg(id, code);
}

void CDialog::OnControlNotify(wxWindow* control, UINT code, wxEvent& event) {
  if (m_hWnd == nullptr || m_bEnded) {
    event.Skip();
    return;
  }
  NMHDR header{control, static_cast<UINT_PTR>(control->GetId()), code};
  LRESULT result = 0;
  BOOL handled = FALSE;
  if (CWnd* wnd = FromHandlePermanent(control)) {
    handled = wnd->OnChildNotify(code, &header, &result);
  }
  if (!handled) handled = OnNotify(control->GetId(), code, &header, &result);
  // A nonzero result stops the control's own processing (the tree's expand toggle).
  if (!handled || result == 0) event.Skip();
}

int CDialog::GetDefID() const {
  if (m_pTemplate != nullptr) {
    for (const res::ControlTemplate& control : m_pTemplate->controls) {
      if (control.kind == res::ControlKind::DefPushButton) return control.id;
    }
  }
  return IDOK;
}

void CDialog::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_ESCAPE) {
    SendCommand(IDCANCEL, BN_CLICKED);
    return;
  }
  if (key != WXK_RETURN && key != WXK_NUMPAD_ENTER) {
    event.Skip();
    return;
  }
  wxWindow* focus = dynamic_cast<wxWindow*>(event.GetEventObject());
  if (focus == nullptr || focus == m_hWnd) focus = wxWindow::FindFocus();
  if (auto* text = dynamic_cast<wxTextCtrl*>(focus); text != nullptr && text->IsMultiLine()) {
    event.Skip();
    return;
  }
  // A push button with the focus acts as the default button while it has it.
  if (auto* button = dynamic_cast<wxButton*>(focus);
      button != nullptr && button->GetParent() == m_hWnd && button->GetId() > 0) {
    SendCommand(button->GetId(), BN_CLICKED);
    return;
  }
  const int defId = GetDefID();
  if (wxWindow* defButton = m_hWnd->FindWindow(defId);
      defButton != nullptr && !defButton->IsEnabled()) {
    return;
  }
  SendCommand(defId, BN_CLICKED);
}

void CDialog::OnClose(wxCloseEvent& event) {
  if (event.CanVeto()) event.Veto();
  SendCommand(IDCANCEL, BN_CLICKED);
}

void CDialog::FocusFirstTabStop() {
  for (wxWindow* child : m_hWnd->GetChildren()) {
    if (child->IsEnabled() && child->IsShown() && child->AcceptsFocusFromKeyboard()) {
      child->SetFocus();
      return;
    }
  }
}

INT_PTR CDialog::DoModal() {
  if (!CreateDialogWindow()) return -1;
  if (OnInitDialog()) FocusFirstTabStop();
  INT_PTR result = m_nModalResult;
  if (!m_bEnded) {
    const int shown = GetDialogWindow()->ShowModal();
    if (shown == wxID_OK) {
      result = IDOK;
    } else if (shown == wxID_CANCEL) {
      result = IDCANCEL;
    } else {
      result = shown;
    }
  }
  DestroyWindow();
  return result;
}

BOOL CDialog::Create() {
  if (!CreateDialogWindow()) return FALSE;
  const BOOL focus = OnInitDialog();
  m_hWnd->Show();
  if (focus) FocusFirstTabStop();
  return TRUE;
}

void CDialog::DestroyWindow() {
  if (m_hWnd == nullptr) return;
  m_bEnded = true;
  // Control objects of a derived class may already be gone (they unregister themselves);
  // the ones still bound are released before their windows go.
  std::vector<wxWindow*> pending(m_hWnd->GetChildren().begin(), m_hWnd->GetChildren().end());
  while (!pending.empty()) {
    wxWindow* child = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), child->GetChildren().begin(), child->GetChildren().end());
    if (CWnd* control = FromHandlePermanent(child)) control->Detach();
  }
  m_tempHandles.clear();
  wxWindow* window = Detach();
  delete window;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  if (m_hWnd == nullptr) return FALSE;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  m_bEnded = true;
  wxDialog* dialog = GetDialogWindow();
  if (dialog == nullptr) return;
  if (dialog->IsModal()) {
    dialog->EndModal(nResult);
  } else {
    dialog->Hide();
  }
}

CWnd* CDialog::GetDlgItem(int nID) {
  if (m_hWnd == nullptr) return nullptr;
  wxWindow* window = m_hWnd->FindWindow(nID);
  if (window == nullptr || window == m_hWnd) return nullptr;
  if (CWnd* bound = FromHandlePermanent(window)) return bound;
  std::unique_ptr<CWnd>& handle = m_tempHandles[nID];
  if (!handle) handle = std::make_unique<CWnd>();
  handle->m_hWnd = window;
  return handle.get();
}

void CDialog::SetDlgItemText(int nID, const CString& text) {
  if (CWnd* item = GetDlgItem(nID)) item->SetWindowText(text);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(const MSG& msg) { return CWnd::PreTranslateMessage(msg); }

namespace {

wxWindow* FindControl(CDataExchange* pDX, int nIDC) {
  if (pDX == nullptr || pDX->m_pDlgWnd == nullptr || pDX->m_pDlgWnd->m_hWnd == nullptr) {
    return nullptr;
  }
  wxWindow* window = pDX->m_pDlgWnd->m_hWnd->FindWindow(nIDC);
  wxASSERT_MSG(window != nullptr,
               wxString::Format("data exchange with a missing control %d", nIDC));
  return window;
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  wxWindow* window = FindControl(pDX, nIDC);
  if (window == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    value = GetWindowTextOf(window);
  } else {
    SetWindowTextOf(window, value);
  }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  auto* check = dynamic_cast<wxCheckBox*>(FindControl(pDX, nIDC));
  if (check == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    value = check->GetValue() ? 1 : 0;
  } else {
    check->SetValue(value != 0);
  }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd != nullptr) return;  // bound by an earlier exchange
  wxWindow* window = FindControl(pDX, nIDC);
  if (window == nullptr) return;
  CDialog* dialog = pDX->m_pDlgWnd;
  dialog->m_tempHandles.erase(nIDC);
  rControl.Attach(window);
}

}  // namespace ui
