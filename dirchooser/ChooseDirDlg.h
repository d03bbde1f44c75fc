// CChooseDirDlg: the modal "Choose Directory" dialog (template 129). Whatever the "Directory
// Name :" field holds when OK is pressed is the result, in m_strDirectory; moving through the
// tree keeps the field up to date, and picking another drive refills the tree there.
#pragma once

#include <map>
#include <memory>

#include "dirchooser/DirectoryTree.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

class CDriveCombo : public ui::CComboBox {
 public:
  // Lists the host's drives (mount points; on Windows the logical drives "D:"), each as
  // "<drive> " followed by its label where one is known, and selects the one holding the
  // current directory. 1 on success, 0 after an error box owned by the list.
  int FillDrives();
  // The mount point of entry nIndex; empty when out of range.
  ui::CString GetDrivePath(int nIndex) const;

  DECLARE_MESSAGE_MAP()

 private:
  std::map<ui::CString, ui::CString> m_drivePaths;  // entry text -> drive path
};

class CChooseDirDlg : public ui::CDialog {
 public:
  explicit CChooseDirDlg(ui::CWnd* pParent = nullptr);
  ~CChooseDirDlg() override;

  ui::CEdit m_editDirectory;
  CDirectoryTree m_treeDirectory;
  CDriveCombo m_comboDrives;
  ui::CString m_strDirectory;
  std::unique_ptr<ui::CImageList> m_pImageList;

  ui::BOOL PreTranslateMessage(const ui::MSG& msg) override;
  ui::BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void UpdateDirectoryField();

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override;
  void OnSelchangeDrives();

  DECLARE_MESSAGE_MAP()
};
