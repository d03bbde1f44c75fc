// CKivoFSUtilsDlg: the launcher "Kivo FS Utils" (template 102). Its four picture buttons open
// the drive tool and the ROM attach tool; the other two do nothing. On Windows the About entry
// sits in the window's system menu; elsewhere in a context menu that stands for it, as GTK
// offers no way to extend the system menu.
#pragma once

#include <memory>

#include "fsimage/Builder.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

class wxContextMenuEvent;
class wxMenu;

class CKivoFSUtilsDlg : public ui::CDialog {
 public:
  // The builder belongs to the application; every drive tool opened from here uses it.
  explicit CKivoFSUtilsDlg(kivo::fs::DriveBuilder& builder, ui::CWnd* pParent = nullptr);

  ui::CBitmapButton m_buttonBlankRight;
  ui::CBitmapButton m_buttonBlankLeft;
  ui::CBitmapButton m_buttonAddDrives;
  ui::CBitmapButton m_buttonCreateDrive;

  static constexpr ui::UINT IDM_ABOUTBOX = 0x0010;
  static constexpr ui::UINT SC_CLOSE = 0xF060;

  ui::BOOL OnInitDialog() override;

  // The launcher's system menu: Close, a separator and the About entry (string 101), or
  // nullptr when string 101 is empty. The caller owns it.
  std::unique_ptr<wxMenu> CreateSystemMenu() const;
  // A command chosen from that menu.
  void OnSysCommand(ui::UINT nID);

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override;

  void OnCreateDrive();
  void OnAddDrives();
  void OnBlankLeft();
  void OnBlankRight();

  DECLARE_MESSAGE_MAP()

 private:
  void OnContextMenu(wxContextMenuEvent& event);
#ifdef __WXMSW__
  void AppendToSystemMenu();
#endif

  kivo::fs::DriveBuilder& m_builder;
};
