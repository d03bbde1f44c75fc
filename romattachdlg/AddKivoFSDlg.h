// CAddKivoFSDlg: the "AddKivoFS" dialog (template 136) that attaches one or two drive images to
// a host ROM and saves the result as a new ROM.
#pragma once

#include "ui/Controls.h"
#include "ui/Dialog.h"

class CAddKivoFSDlg : public ui::CDialog {
 public:
  explicit CAddKivoFSDlg(ui::CWnd* pParent = nullptr);

  // Bound at data exchange only; nothing else uses them.
  ui::CButton m_buttonBrowseOutput;
  ui::CButton m_buttonBrowseDrive1;
  ui::CButton m_buttonBrowseDrive0;
  ui::CButton m_buttonBrowseHost;
  ui::CButton m_buttonSave;
  ui::CButton m_buttonExit;

  // The attach request. The controls are stored into it at the start of Save and loaded from
  // it when the dialog opens and after every browse button, so text typed by hand since the
  // last Save is replaced whenever a browse button is used.
  ui::CString m_strHostRom;
  int m_nSaveFlash = 0;  // 1 when the save flash serves as a RAM drive
  ui::CString m_strOutputRom;
  ui::CString m_strDrive1;
  ui::CString m_strDrive0;

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override;

  void OnBrowseHost();
  void OnBrowseDrive0();
  void OnBrowseDrive1();
  void OnBrowseOutput();
  void OnSave();
  void OnExit();

  DECLARE_MESSAGE_MAP()

 private:
  // Runs one file picker and, when the user confirms, puts the chosen path into `field`.
  // The controls are loaded from the request either way.
  void Browse(const char* title, const char* filter, const char* defaultExtension,
              ui::CString& field);
  void Report(const ui::CString& text);
};
