#include "app/LauncherDlg.h"

#include <wx/dialog.h>
#include <wx/menu.h>

#include "app/AboutDlg.h"
#include "app/LauncherPictures.h"
#include "drivetool/RomFSDlg.h"
#include "res/LauncherPictures.h"
#include "res/Strings.h"
#include "res/Templates.h"
#include "romattachdlg/AddKivoFSDlg.h"
#include "ui/WxText.h"

using namespace res::launcher;

BEGIN_MESSAGE_MAP(CKivoFSUtilsDlg, ui::CDialog)
  ON_BN_CLICKED(IDC_CREATE_DRIVE, OnCreateDrive)
  ON_BN_CLICKED(IDC_ADD_DRIVES, OnAddDrives)
  ON_BN_CLICKED(IDC_BLANK_LEFT, OnBlankLeft)
  ON_BN_CLICKED(IDC_BLANK_RIGHT, OnBlankRight)
END_MESSAGE_MAP()

CKivoFSUtilsDlg::CKivoFSUtilsDlg(kivo::fs::DriveBuilder& builder, ui::CWnd* pParent)
    : ui::CDialog(res::IDD_KIVOFSUTILS_DIALOG, pParent), m_builder(builder) {
  app::RegisterLauncherPictures();
}

void CKivoFSUtilsDlg::DoDataExchange(ui::CDataExchange* pDX) {
  ui::DDX_Control(pDX, IDC_BLANK_RIGHT, m_buttonBlankRight);
  ui::DDX_Control(pDX, IDC_BLANK_LEFT, m_buttonBlankLeft);
  ui::DDX_Control(pDX, IDC_ADD_DRIVES, m_buttonAddDrives);
  ui::DDX_Control(pDX, IDC_CREATE_DRIVE, m_buttonCreateDrive);
}

ui::BOOL CKivoFSUtilsDlg::OnInitDialog() {
  ui::CDialog::OnInitDialog();

#ifdef __WXMSW__
  AppendToSystemMenu();
#else
  // Right-clicks on the buttons reach the dialog too: the context menu event travels up.
  m_hWnd->Bind(wxEVT_CONTEXT_MENU, &CKivoFSUtilsDlg::OnContextMenu, this);
#endif
  m_hWnd->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
    // Menu IDs stop below 0x7FFF, so Close travels as the toolkit's own ID.
    OnSysCommand(event.GetId() == wxID_CLOSE ? SC_CLOSE : static_cast<ui::UINT>(event.GetId()));
  });

  GetDialogWindow()->SetIcons(app::LoadAppIcon());

  m_buttonCreateDrive.LoadBitmaps(res::IDB_CREATE_DRIVE, res::IDB_CREATE_DRIVE_PRESSED);
  m_buttonAddDrives.LoadBitmaps(res::IDB_ADD_DRIVES, res::IDB_ADD_DRIVES_PRESSED);
  m_buttonBlankLeft.LoadBitmaps(res::IDB_BLANK_LEFT);
  m_buttonBlankRight.LoadBitmaps(res::IDB_BLANK_RIGHT);
  return TRUE;
}

std::unique_ptr<wxMenu> CKivoFSUtilsDlg::CreateSystemMenu() const {
  const ui::CString about = res::LoadResourceString(res::IDS_ABOUTBOX);
  if (about.empty()) return nullptr;
  auto menu = std::make_unique<wxMenu>();
  menu->Append(wxID_CLOSE, "&Close");
  menu->AppendSeparator();
  menu->Append(static_cast<int>(IDM_ABOUTBOX), ui::ToWx(about));
  return menu;
}

#ifdef __WXMSW__
// The window's own system menu gets a separator and the About entry; choosing it arrives as a
// menu command with the entry's ID.
void CKivoFSUtilsDlg::AppendToSystemMenu() {
  wxMenu* menu = GetDialogWindow()->MSWGetSystemMenu();
  if (menu == nullptr) return;
  const ui::CString about = res::LoadResourceString(res::IDS_ABOUTBOX);
  if (about.empty()) return;
  menu->AppendSeparator();
  menu->Append(static_cast<int>(IDM_ABOUTBOX), ui::ToWx(about));
}
#endif

void CKivoFSUtilsDlg::OnContextMenu(wxContextMenuEvent&) {
  if (std::unique_ptr<wxMenu> menu = CreateSystemMenu()) m_hWnd->PopupMenu(menu.get());
}

void CKivoFSUtilsDlg::OnSysCommand(ui::UINT nID) {
  if ((nID & 0xFFF0u) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else if ((nID & 0xFFF0u) == SC_CLOSE) {
    SendCommand(ui::IDCANCEL, ui::BN_CLICKED);
  }
}

void CKivoFSUtilsDlg::OnCreateDrive() {
  CRomFSDlg dlg(m_builder);
  dlg.DoModal();
}

void CKivoFSUtilsDlg::OnAddDrives() {
  CAddKivoFSDlg dlg;
  dlg.DoModal();
}

// The two blank pictures are placeholders: clicking them does nothing.
void CKivoFSUtilsDlg::OnBlankLeft() {}

void CKivoFSUtilsDlg::OnBlankRight() {}
