#include "romattachdlg/AddKivoFSDlg.h"

#include "res/Strings.h"
#include "res/Templates.h"
#include "romattach/AttachDrives.h"
#include "ui/FileDialog.h"

using namespace res::addkivofs;

namespace {

constexpr const char* kNoOutputPath = "The Save path for the new rom needs to be filled out";
constexpr const char* kNoDrive = "one of the drive paths must be filled in to proceed";
constexpr const char* kNoSize = "Error reading rom file";
constexpr const char* kSaved = "Saved";
constexpr const char* kRomFilter = "NDS and GBA files|*.nds;*.gba|All files|*.*||";
constexpr const char* kPickDrive = "Pick Drive image file...";
constexpr const char* kDriveFilter = "KivoFS Image Drive files|*.kid|All files|*.*||";

}  // namespace

BEGIN_MESSAGE_MAP(CAddKivoFSDlg, ui::CDialog)
  ON_BN_CLICKED(IDC_BROWSE_HOST, OnBrowseHost)
  ON_BN_CLICKED(IDC_BROWSE_DRIVE0, OnBrowseDrive0)
  ON_BN_CLICKED(IDC_BROWSE_DRIVE1, OnBrowseDrive1)
  ON_BN_CLICKED(IDC_BROWSE_OUTPUT, OnBrowseOutput)
  ON_BN_CLICKED(IDC_SAVE, OnSave)
  ON_BN_CLICKED(IDC_EXIT, OnExit)
END_MESSAGE_MAP()

CAddKivoFSDlg::CAddKivoFSDlg(ui::CWnd* pParent) : ui::CDialog(res::IDD_ADDKIVOFS_DIALOG, pParent) {}

void CAddKivoFSDlg::DoDataExchange(ui::CDataExchange* pDX) {
  ui::DDX_Control(pDX, IDC_BROWSE_OUTPUT, m_buttonBrowseOutput);
  ui::DDX_Control(pDX, IDC_BROWSE_DRIVE1, m_buttonBrowseDrive1);
  ui::DDX_Control(pDX, IDC_BROWSE_DRIVE0, m_buttonBrowseDrive0);
  ui::DDX_Control(pDX, IDC_BROWSE_HOST, m_buttonBrowseHost);
  ui::DDX_Control(pDX, IDC_SAVE, m_buttonSave);
  ui::DDX_Control(pDX, IDC_EXIT, m_buttonExit);
  ui::DDX_Text(pDX, IDC_HOST, m_strHostRom);
  ui::DDX_Check(pDX, IDC_SAVE_FLASH, m_nSaveFlash);
  ui::DDX_Text(pDX, IDC_OUTPUT, m_strOutputRom);
  ui::DDX_Text(pDX, IDC_DRIVE1, m_strDrive1);
  ui::DDX_Text(pDX, IDC_DRIVE0, m_strDrive0);
}

void CAddKivoFSDlg::Browse(const char* title, const char* filter, const char* defaultExtension,
                           ui::CString& field) {
  const ui::CString chosen = ui::PickFile(this, title, filter, defaultExtension);
  if (!chosen.empty()) field = chosen;
  UpdateData(FALSE);
}

void CAddKivoFSDlg::OnBrowseHost() {
  Browse("Pick Kivo Rom...", kRomFilter, nullptr, m_strHostRom);
}

void CAddKivoFSDlg::OnBrowseDrive0() {
  Browse(kPickDrive, kDriveFilter, nullptr, m_strDrive0);
}

void CAddKivoFSDlg::OnBrowseDrive1() {
  Browse(kPickDrive, kDriveFilter, nullptr, m_strDrive1);
}

void CAddKivoFSDlg::OnBrowseOutput() {
  Browse(res::kSaveAsTitle, kRomFilter, "nds", m_strOutputRom);
}

void CAddKivoFSDlg::Report(const ui::CString& text) {
  MessageBox(text, res::kProgramCaption, ui::MB_OK);
}

void CAddKivoFSDlg::OnSave() {
  UpdateData(TRUE);
  if (m_strOutputRom.empty()) return Report(kNoOutputPath);
  if (m_strDrive0.empty() && m_strDrive1.empty()) return Report(kNoDrive);
  kivo::rom::AttachRequest request;
  request.host = std::filesystem::path(m_strHostRom);
  request.drive0 = std::filesystem::path(m_strDrive0);
  request.drive1 = std::filesystem::path(m_strDrive1);
  request.output = std::filesystem::path(m_strOutputRom);
  request.saveFlash = m_nSaveFlash != 0;
  // The core checks in the order the messages are owed (sizes, inputs, marker) and stops at
  // the first failure, so nothing is assembled from a size or bytes it could not get, and a
  // failed write leaves any existing output as it was.
  const auto result = kivo::rom::AttachDrives(request);
  if (!result) {
    const kivo::Error& error = result.error();
    switch (error.kind) {
      case kivo::ErrorKind::NotFound:
        return Report(kNoSize);
      // No fixed text exists for a missing marker or an output too large.
      case kivo::ErrorKind::Format:
      case kivo::ErrorKind::Capacity:
      case kivo::ErrorKind::Invalid:
        return Report(error.message);
      default:
        return Report(res::kCouldNotOpenFile);
    }
  }
  Report(kSaved);
}

void CAddKivoFSDlg::OnExit() { ui::CDialog::OnCancel(); }
