// CRomFSDlg: the "Kivo RomFS" drive tool (template 135). Its "Create Drive" group scans a source
// directory and builds a drive image from it; its "Re-Name Drive" group shows an image's
// summary and stores a new drive name in it.
#pragma once

#include "fsimage/Builder.h"
#include "fsimage/Summary.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

class CRomFSDlg : public ui::CDialog {
 public:
  // The builder belongs to the application and outlives every dialog: the image buffer of a
  // build stays in it until Exit.
  explicit CRomFSDlg(kivo::fs::DriveBuilder& builder, ui::CWnd* pParent = nullptr);
  ~CRomFSDlg() override;

  ui::CButton m_buttonOpenImage;
  ui::CButton m_buttonBrowseImage;
  ui::CButton m_buttonCreate;
  ui::CButton m_buttonBrowseSource;
  ui::CButton m_buttonExit;
  ui::CString m_strDriveSize;
  ui::CString m_strDriveName;
  ui::CString m_strSourceDir;
  ui::CString m_strRootEntries;
  ui::CString m_strFsVersion;
  ui::CString m_strImagePath;
  ui::CString m_strRenamePath;

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override;

  void OnCreateDrive();
  void OnExit();
  void OnBrowseSourceDir();
  void OnBrowseImagePath();
  void OnSaveNewName();
  void OnOpenImage();
  void OnKillfocusDriveName();
  void OnKillfocusPath();

  DECLARE_MESSAGE_MAP()

 private:
  // Fills the four summary strings from the image file at `path`; on any failure it shows a
  // message and leaves them as they were.
  void FillImageSummary(const ui::CString& path, kivo::fs::SizeUnit unit);
  void ShowMessage(const ui::CString& text);
  // Runs the image picker; a chosen image goes into both image paths. False when cancelled.
  bool PickImage(const char* title);

  kivo::fs::DriveBuilder& m_builder;
};
