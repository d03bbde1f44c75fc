#include "dirchooser/ChooseDirDlg.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <string>
#include <vector>

#include "dirchooser/HostFileSystem.h"
#include "res/Bitmaps.h"
#include "res/Templates.h"
#include "ui/Resources.h"

using namespace res::choosedir;
using ui::CString;

namespace {

// The standard colour mapping of the folder pictures: black, dark grey, light grey and white
// become the button text, shadow, face and highlight colours of the current theme.
wxBitmap LoadMappedBitmap(int id) {
  const wxBitmap bitmap = ui::LoadBitmapResource(id);
  if (!bitmap.IsOk()) return bitmap;
  wxImage image = bitmap.ConvertToImage();
  struct Mapping {
    unsigned char r, g, b;
    wxColour to;
  };
  const Mapping mappings[] = {
      {0, 0, 0, wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT)},
      {128, 128, 128, wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW)},
      {192, 192, 192, wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)},
      {255, 255, 255, wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT)},
  };
  unsigned char* pixels = image.GetData();
  const long count = static_cast<long>(image.GetWidth()) * image.GetHeight();
  for (long i = 0; i < count; ++i) {
    unsigned char* pixel = pixels + 3 * i;
    for (const Mapping& mapping : mappings) {
      if (pixel[0] == mapping.r && pixel[1] == mapping.g && pixel[2] == mapping.b &&
          mapping.to.IsOk()) {
        pixel[0] = mapping.to.Red();
        pixel[1] = mapping.to.Green();
        pixel[2] = mapping.to.Blue();
        break;
      }
    }
  }
  return wxBitmap(image);
}

CString EntryText(const dirchooser::DriveEntry& drive) { return drive.path + " " + drive.label; }

}  // namespace

BEGIN_MESSAGE_MAP(CDriveCombo, ui::CComboBox)
END_MESSAGE_MAP()

int CDriveCombo::FillDrives() {
  std::vector<dirchooser::DriveEntry> drives;
  std::string errorText;
  if (!dirchooser::ListDrives(drives, errorText)) {
    MessageBox(errorText, "GetLastError - GetLogicalDrives failed",
               ui::MB_OK | ui::MB_ICONERROR);
    return 0;
  }
  for (const dirchooser::DriveEntry& drive : drives) {
    m_drivePaths[EntryText(drive)] = drive.path;
    AddString(EntryText(drive));
  }

  CString current;
  if (!dirchooser::CurrentDirectory(current, errorText)) {
    MessageBox(errorText, "GetLastError - GetCurrentDirectory failed",
               ui::MB_OK | ui::MB_ICONERROR);
    return 0;
  }
  const int drive = dirchooser::FindDriveOf(drives, current);
  if (drive >= 0) {
    const CString wanted = EntryText(drives[static_cast<size_t>(drive)]);
    for (int i = 0; i < GetCount(); ++i) {
      if (GetLBText(i) == wanted) {
        SetCurSel(i);
        break;
      }
    }
  }
  return 1;
}

CString CDriveCombo::GetDrivePath(int nIndex) const {
  const auto found = m_drivePaths.find(GetLBText(nIndex));
  return found == m_drivePaths.end() ? CString() : found->second;
}

BEGIN_MESSAGE_MAP(CChooseDirDlg, ui::CDialog)
  ON_CBN_SELCHANGE(IDC_DRIVES, OnSelchangeDrives)
END_MESSAGE_MAP()

CChooseDirDlg::CChooseDirDlg(ui::CWnd* pParent) : ui::CDialog(res::IDD_CHOOSE_DIRECTORY, pParent) {}

CChooseDirDlg::~CChooseDirDlg() { DestroyWindow(); }

void CChooseDirDlg::DoDataExchange(ui::CDataExchange* pDX) {
  ui::DDX_Control(pDX, IDC_DIRECTORY, m_editDirectory);
  ui::DDX_Control(pDX, IDC_TREE, m_treeDirectory);
  ui::DDX_Control(pDX, IDC_DRIVES, m_comboDrives);
  ui::DDX_Text(pDX, IDC_DIRECTORY, m_strDirectory);
}

ui::BOOL CChooseDirDlg::OnInitDialog() {
  ui::CDialog::OnInitDialog();

  m_pImageList = std::make_unique<ui::CImageList>();
  m_pImageList->Create(16, 16, ui::ILC_COLOR, 4, 4);
  for (int id : {res::IDB_FOLDER_CLOSED, res::IDB_FOLDER_CLOSED_DARK, res::IDB_FOLDER_OPEN,
                 res::IDB_FOLDER_OPEN_DARK}) {
    m_pImageList->Add(LoadMappedBitmap(id), ui::RGB(0, 0, 0));
  }
  m_treeDirectory.SetImageList(m_pImageList.get(), ui::TVSIL_NORMAL);

  m_comboDrives.FillDrives();
  m_treeDirectory.FillFromCurrentDirectory();
  m_editDirectory.SetWindowText(m_treeDirectory.GetPath());
  return TRUE;
}

ui::BOOL CChooseDirDlg::PreTranslateMessage(const ui::MSG& msg) {
  if (msg.message == WM_DIRTREE_PATHCHANGED) {
    UpdateDirectoryField();
    return TRUE;
  }
  return ui::CDialog::PreTranslateMessage(msg);
}

void CChooseDirDlg::UpdateDirectoryField() {
  m_editDirectory.SetWindowText(m_treeDirectory.GetPath());
}

void CChooseDirDlg::OnOK() { ui::CDialog::OnOK(); }

void CChooseDirDlg::OnCancel() { ui::CDialog::OnCancel(); }

void CChooseDirDlg::OnSelchangeDrives() {
  const int selection = m_comboDrives.GetCurSel();
  if (selection == ui::CB_ERR) return;
  const CString drivePath = m_comboDrives.GetDrivePath(selection);
  if (drivePath.empty()) return;
  m_treeDirectory.FillFromDrive(drivePath);
  UpdateDirectoryField();
}
