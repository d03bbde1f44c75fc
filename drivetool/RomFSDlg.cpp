#include "drivetool/RomFSDlg.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "dirchooser/ChooseDirDlg.h"
#include "fsimage/NameStore.h"
#include "res/Templates.h"
#include "ui/FileDialog.h"
#include "ui/WxText.h"

namespace {

using kivo::fs::SizeUnit;
using ui::CString;

constexpr int IDC_FS_VERSION = 1000;
constexpr int IDC_DRIVE_NAME = 1001;
constexpr int IDC_DRIVE_SIZE = 1002;
constexpr int IDC_CREATE_DRIVE = 1004;
constexpr int IDC_EXIT = 1005;
constexpr int IDC_ROOT_ENTRIES = 1006;
constexpr int IDC_SAVE_NEW_NAME = 1007;
constexpr int IDC_BROWSE_SOURCE = 1008;
constexpr int IDC_SOURCE_DIR = 1009;
constexpr int IDC_BROWSE_IMAGE = 1010;
constexpr int IDC_IMAGE_PATH = 1011;
constexpr int IDC_OPEN_IMAGE = 1012;
constexpr int IDC_RENAME_PATH = 1013;

constexpr const char* kCouldNotOpen = "Error could't open file";
constexpr const char* kNothingFound = "directory empty or not found";
constexpr const char* kImageFilter = "Kivo Image Drive files|*.kid|All files|*.*||";
// A refused build may list a problem for every item of a large tree; the box shows the first.
constexpr std::size_t kMaxShownProblems = 12;

std::filesystem::path PathOf(const CString& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The drive tool opens an image for reading and writing without truncating it, so a missing,
// read-only or locked file fails here in the same way for the summary and the rename.
bool CanOpenForUpdate(const CString& path) {
  if (path.empty()) return false;
  std::fstream file(PathOf(path), std::ios::in | std::ios::out | std::ios::binary);
  return file.is_open();
}

CString ShortenedProblems(const std::string& problems) {
  CString text;
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start <= problems.size()) {
    std::size_t end = problems.find('\n', start);
    if (end == std::string::npos) end = problems.size();
    if (lines == kMaxShownProblems) {
      std::size_t rest = 1;
      for (std::size_t at = end; at < problems.size(); at = problems.find('\n', at + 1)) ++rest;
      text += "\n(and " + std::to_string(rest) + " more)";
      break;
    }
    if (lines > 0) text += '\n';
    text.append(problems, start, end - start);
    ++lines;
    start = end + 1;
  }
  return text;
}

CString BuildFailureText(int result, const std::string& detail) {
  CString lead;
  switch (result) {
    case kivo::fs::BuildRefused:
      lead = "The drive image was not built: the source does not fit the drive format.";
      break;
    case kivo::fs::BuildSourceError:
      lead = "The drive image was not built: a source file could not be read.";
      break;
    case kivo::fs::BuildOutputError:
      lead = "The drive image could not be written.";
      break;
    case kivo::fs::BuildTooLarge:
      lead = "The drive image was not built: it would be too large.";
      break;
    default:
      lead = "The drive image was not built.";
      break;
  }
  return detail.empty() ? lead : lead + "\n\n" + ShortenedProblems(detail);
}

// A stored name keeps at most 15 bytes; a character of several bytes is kept whole or not
// at all, so that the stored name stays readable text.
std::string_view StoredNamePart(std::string_view name) {
  std::size_t length = std::min(name.size(), kivo::fs::MaxDriveNameLength);
  if (length < name.size()) {
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0u) == 0x80u) --length;
  }
  return name.substr(0, length);
}

// Names stored by other programs may be in a single-byte code page rather than UTF-8; such
// bytes are shown as Latin-1 characters instead of an empty field.
CString ReadableName(const std::string& stored) {
  if (stored.empty() || !ui::ToWx(stored).empty()) return stored;
  return ui::FromWx(wxString(stored.data(), wxConvISO8859_1, stored.size()));
}

}  // namespace

BEGIN_MESSAGE_MAP(CRomFSDlg, ui::CDialog)
  ON_BN_CLICKED(IDC_CREATE_DRIVE, OnCreateDrive)
  ON_BN_CLICKED(IDC_EXIT, OnExit)
  ON_BN_CLICKED(IDC_BROWSE_SOURCE, OnBrowseSourceDir)
  ON_BN_CLICKED(IDC_BROWSE_IMAGE, OnBrowseImagePath)
  ON_BN_CLICKED(IDC_SAVE_NEW_NAME, OnSaveNewName)
  ON_BN_CLICKED(IDC_OPEN_IMAGE, OnOpenImage)
  ON_EN_KILLFOCUS(IDC_DRIVE_NAME, OnKillfocusDriveName)
  ON_EN_KILLFOCUS(IDC_SOURCE_DIR, OnKillfocusPath)
  ON_EN_KILLFOCUS(IDC_IMAGE_PATH, OnKillfocusPath)
END_MESSAGE_MAP()

CRomFSDlg::CRomFSDlg(kivo::fs::DriveBuilder& builder, ui::CWnd* pParent)
    : ui::CDialog(res::IDD_ROMFS_DIALOG, pParent), m_builder(builder) {}

// The window goes while the button members are still alive to let go of their controls.
CRomFSDlg::~CRomFSDlg() { DestroyWindow(); }

void CRomFSDlg::DoDataExchange(ui::CDataExchange* pDX) {
  ui::CDialog::DoDataExchange(pDX);
  ui::DDX_Control(pDX, IDC_OPEN_IMAGE, m_buttonOpenImage);
  ui::DDX_Control(pDX, IDC_BROWSE_IMAGE, m_buttonBrowseImage);
  ui::DDX_Control(pDX, IDC_CREATE_DRIVE, m_buttonCreate);
  ui::DDX_Control(pDX, IDC_BROWSE_SOURCE, m_buttonBrowseSource);
  ui::DDX_Control(pDX, IDC_EXIT, m_buttonExit);
  ui::DDX_Text(pDX, IDC_DRIVE_SIZE, m_strDriveSize);
  ui::DDX_Text(pDX, IDC_DRIVE_NAME, m_strDriveName);
  ui::DDX_Text(pDX, IDC_SOURCE_DIR, m_strSourceDir);
  ui::DDX_Text(pDX, IDC_ROOT_ENTRIES, m_strRootEntries);
  ui::DDX_Text(pDX, IDC_FS_VERSION, m_strFsVersion);
  ui::DDX_Text(pDX, IDC_IMAGE_PATH, m_strImagePath);
  ui::DDX_Text(pDX, IDC_RENAME_PATH, m_strRenamePath);
}

void CRomFSDlg::ShowMessage(const CString& text) { MessageBox(text, DriveToolCaption, ui::MB_OK); }

void CRomFSDlg::OnCreateDrive() {
  UpdateData(TRUE);

  m_builder.ResetScan();
  // The path is taken exactly as typed: its length is what every parent path loses in front.
  m_builder.SetRootPathLength(m_strSourceDir.size());
  if (!m_strSourceDir.empty()) m_builder.ScanSource(m_strSourceDir, "*");

  if (m_strImagePath.empty()) return;

  const int result = m_builder.BuildImage(m_strImagePath);
  if (result == kivo::fs::BuildNothingFound) {
    // An image left at the output path by an earlier build is still summarised.
    ShowMessage(kNothingFound);
  } else if (result == kivo::fs::BuildOutputError && m_builder.outputNotOpened()) {
    // The builder said "error"; as after any output that cannot be opened, the image is
    // neither written nor summarised.
    ShowMessage(kCouldNotOpen);
    UpdateData(FALSE);
    return;
  } else if (result != kivo::fs::BuildOk) {
    // Nothing was written (the output is replaced only by a complete image), so a summary
    // here would show an older file as if it were the result of this build.
    ShowMessage(BuildFailureText(result, m_builder.lastError()));
    UpdateData(FALSE);
    return;
  }
  FillImageSummary(m_strImagePath, SizeUnit::Kilobytes);
  UpdateData(FALSE);
}

void CRomFSDlg::FillImageSummary(const CString& path, SizeUnit unit) {
  if (!CanOpenForUpdate(path)) {
    ShowMessage(kCouldNotOpen);
    return;
  }
  kivo::Result<kivo::fs::ImageSummary> summary =
      kivo::fs::ReadImageSummary(PathOf(path), unit, /*requireWritable=*/true);
  if (!summary) {
    const kivo::Error& error = summary.error();
    if (error.kind == kivo::ErrorKind::NotFound) {
      ShowMessage(kCouldNotOpen);
    } else {
      ShowMessage("The drive summary cannot be shown.\n\n" + error.message);
    }
    return;
  }
  m_strDriveSize = summary->driveSize;
  m_strFsVersion = summary->fsVersion;
  m_strRootEntries = summary->rootEntries;
  m_strDriveName = ReadableName(summary->driveName);
}

void CRomFSDlg::OnExit() {
  m_builder.ReleaseImageBuffer();
  ui::CDialog::OnCancel();
}

void CRomFSDlg::OnBrowseSourceDir() {
  CChooseDirDlg dlg;
  dlg.DoModal();
  // After Cancel the chooser's result is empty, so the field is cleared.
  m_strSourceDir = dlg.m_strDirectory;
  UpdateData(FALSE);
}

void CRomFSDlg::OnBrowseImagePath() {
  ui::CFileDialog dlg(TRUE, "kid", nullptr, ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT, kImageFilter,
                      this);
  dlg.m_ofn.lpstrTitle = "Save As";
  if (dlg.DoModal() == ui::IDOK) {
    m_strImagePath = dlg.GetPathName();
    m_strRenamePath = m_strImagePath;
  }
  UpdateData(FALSE);
}

void CRomFSDlg::OnOpenImage() {
  ui::CFileDialog dlg(TRUE, "kid", nullptr, ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT, kImageFilter,
                      this);
  dlg.m_ofn.lpstrTitle = "Open...";
  if (dlg.DoModal() != ui::IDOK) {
    UpdateData(FALSE);
    return;
  }
  m_strImagePath = dlg.GetPathName();
  m_strRenamePath = m_strImagePath;
  FillImageSummary(m_strRenamePath, SizeUnit::Bytes);
  UpdateData(FALSE);
}

void CRomFSDlg::OnSaveNewName() {
  UpdateData(TRUE);
  if (!CanOpenForUpdate(m_strRenamePath)) {
    ShowMessage(kCouldNotOpen);
    return;
  }
  // The fields keep what they show: no transfer out, even after a failure.
  // Opening a pipe for writing would wait for a reader and freeze the dialog; only regular
  // files can hold a drive name anyway.
  std::error_code statusError;
  if (!std::filesystem::is_regular_file(PathOf(m_strRenamePath), statusError)) {
    ShowMessage("The new drive name was not stored.\n\n'" + m_strRenamePath + "' is not a regular file");
    return;
  }
  kivo::Status stored = kivo::fs::StoreDriveName(PathOf(m_strRenamePath), StoredNamePart(m_strDriveName));
  if (!stored) {
    if (stored.error().kind == kivo::ErrorKind::NotFound) {
      ShowMessage(kCouldNotOpen);
    } else {
      ShowMessage("The new drive name was not stored.\n\n" + stored.error().message);
    }
  }
}

void CRomFSDlg::OnKillfocusDriveName() {
  UpdateData(TRUE);
  if (kivo::fs::DriveNameTooLong(m_strDriveName)) ShowMessage(CString(kivo::fs::DriveNameWarning));
}

void CRomFSDlg::OnKillfocusPath() { UpdateData(TRUE); }
