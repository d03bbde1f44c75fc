// CDialog: a modal dialog built from a template in res/, with data exchange and a message map.
//
// How a dialog class is written on this layer:
//
//   // MyDlg.h
//   class CMyDlg : public ui::CDialog {
//    public:
//     explicit CMyDlg(ui::CWnd* pParent = nullptr) : ui::CDialog(135, pParent) {}
//     ui::CString m_strName;          // bound to edit 1001
//     ui::CButton m_buttonSave;       // bound to button 1007
//
//    protected:
//     void DoDataExchange(ui::CDataExchange* pDX) override {
//       ui::DDX_Control(pDX, 1007, m_buttonSave);   // in the order the class lists them
//       ui::DDX_Text(pDX, 1001, m_strName);
//     }
//     void OnSave() { UpdateData(TRUE); ... UpdateData(FALSE); }
//     void OnKillfocusName() { UpdateData(TRUE); }
//     DECLARE_MESSAGE_MAP()
//   };
//
//   // MyDlg.cpp
//   BEGIN_MESSAGE_MAP(CMyDlg, ui::CDialog)
//     ON_BN_CLICKED(1007, OnSave)
//     ON_EN_KILLFOCUS(1001, OnKillfocusName)
//   END_MESSAGE_MAP()
//
//   CMyDlg dlg;  if (dlg.DoModal() == ui::IDOK) use(dlg.m_strName);
//
// DoModal creates the window and its controls from the template, calls OnInitDialog (the base
// one performs the first UpdateData(FALSE) and returns TRUE: focus goes to the first control
// with a tab stop) and runs the modal loop. Buttons 1 and 2 reach OnOK and OnCancel through the
// base map unless a derived map routes them elsewhere. Enter runs the default push button's
// command (focused push button first; IDOK when the template has no default button), Escape and
// the close box run IDCANCEL. Message boxes: MessageBox(text, caption, MB_OK | MB_ICONERROR).
// Posted messages: ui::PostMessage(hwnd, WM_USER + 10, 0, 0) reaches PreTranslateMessage of
// the dialog after the current handler returns.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "ui/Wnd.h"

class wxDialog;
class wxKeyEvent;
class wxCloseEvent;
class wxEvent;

namespace res {
struct DialogTemplate;
}

namespace ui {

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
      : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // IDOK or IDCANCEL (or the value given to EndDialog); -1 when the window cannot be made.
  virtual INT_PTR DoModal();
  // Modeless use: creates the window and runs OnInitDialog, then shows it. Tests use this to
  // drive a dialog between event-loop turns.
  BOOL Create();
  void DestroyWindow();

  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  void EndDialog(int nResult);
  // The bound control object for that ID, else a handle owned by the dialog; nullptr when no
  // such control exists.
  CWnd* GetDlgItem(int nID);
  void SetDlgItemText(int nID, const CString& text);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  BOOL PreTranslateMessage(const MSG& msg) override;

  // The value given to EndDialog, -1 while the dialog has not ended.
  int GetModalResult() const { return m_nModalResult; }
  wxDialog* GetDialogWindow() const;
  // Routes a control notification through the message maps, as the window does for clicks,
  // focus loss, selection changes and the Enter/Escape keys.
  void SendCommand(int id, UINT code);

  CWnd* m_pParentWnd;

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);

  DECLARE_MESSAGE_MAP()

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

  BOOL CreateDialogWindow();
  void BindControlEvents();
  void OnCharHook(wxKeyEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnControlNotify(wxWindow* control, UINT code, wxEvent& event);
  void FocusFirstTabStop();
  // The ID Enter runs when no push button has the focus.
  int GetDefID() const;

  UINT m_nIDTemplate;
  const res::DialogTemplate* m_pTemplate = nullptr;
  int m_nModalResult = -1;
  bool m_bEnded = false;
  std::map<int, std::unique_ptr<CWnd>> m_tempHandles;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

}  // namespace ui
