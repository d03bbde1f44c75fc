// CAddKivoFSDlg: the "AddKivoFS" dialog (template 136) that attaches one or two drive images to
// a host ROM and saves the result as a new ROM.
#pragma once

#include "ui/Controls.h"
#include "ui/Dialog.h"

class CAddKivoFSDlg : public ui::CDialog {
 public:
  explicit CAddKivoFSDlg(ui::CWnd* pParent = nullptr);

  // Bound at data exchange only; nothing else uses them.
  ui::CButton m_buttonBrowseOutput;  // 1011
  ui::CButton m_buttonBrowseDrive1;  // 1009
  ui::CButton m_buttonBrowseDrive0;  // 1005
  ui::CButton m_buttonBrowseHost;    // 1004
  ui::CButton m_buttonSave;          // 1014
  ui::CButton m_buttonExit;          // 1015

  // The attach request. The controls are stored into it at the start of Save and loaded from
  // it when the dialog opens and after every browse button, so text typed by hand since the
  // last Save is replaced whenever a browse button is used.
  ui::CString m_strHostRom;    // edit 1007
  int m_nSaveFlash = 0;        // check box 1013: 1 when the save flash serves as a RAM drive
  ui::CString m_strOutputRom;  // edit 1010
  ui::CString m_strDrive1;     // edit 1008
  ui::CString m_strDrive0;     // edit 1006

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
  void Browse(const char* title, const char* filter, const char* defaultExtension, ui::CString& field);
  void Report(const ui::CString& text);
};
