#include "drivetool/RomFSDlg.h"

#include <filesystem>
#include <string>
#include <vector>

#include "dirchooser/ChooseDirDlg.h"
#include "fsimage/Codec.h"
#include "fsimage/NameStore.h"
#include "res/Strings.h"
#include "res/Templates.h"
#include "ui/FileDialog.h"
#include "ui/WxText.h"

using namespace res::romfs;

namespace {

using kivo::fs::SizeUnit;
using ui::CString;

constexpr const char* kNothingFound = "directory empty or not found";
// Two blanks before the line break.
constexpr const char* kNameTooLong =
    "Warning the name will be truncated.  \nThe name may only be 15 letters long.";
constexpr const char* kImageFilter = "Kivo Image Drive files|*.kid|All files|*.*||";
// A refused build may list a problem for every item of a large tree; the box shows the first.
constexpr std::size_t kMaxShownProblems = 12;

std::filesystem::path PathOf(const CString& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The drive tool opens an image for reading and writing without truncating it, so a missing,
// read-only or locked file cannot be opened for the summary or the rename.
bool CouldNotOpen(const kivo::Error& error) {
  return error.kind == kivo::ErrorKind::NotFound || error.kind == kivo::ErrorKind::CannotOpen;
}

CString ShortenedProblems(const std::vector<std::string>& problems) {
  CString text;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    if (i == kMaxShownProblems) {
      text += "\n(and " + std::to_string(problems.size() - i) + " more)";
      break;
    }
    if (i > 0) text += '\n';
    text += problems[i];
  }
  return text;
}

CString BuildFailureText(kivo::fs::BuildOutcome outcome, const std::vector<std::string>& detail) {
  using kivo::fs::BuildOutcome;
  CString lead = "The drive image was not built";
  switch (outcome) {
    case BuildOutcome::Refused: lead += ": the source does not fit the drive format."; break;
    case BuildOutcome::SourceError: lead += ": a source file could not be read."; break;
    case BuildOutcome::TooLarge: lead += ": it would be too large."; break;
    case BuildOutcome::OutputError: lead = "The drive image could not be written."; break;
    default: lead += "."; break;
  }
  return detail.empty() ? lead : lead + "\n\n" + ShortenedProblems(detail);
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

void CRomFSDlg::ShowMessage(const CString& text) {
  MessageBox(text, res::kProgramCaption, ui::MB_OK);
}

void CRomFSDlg::OnCreateDrive() {
  UpdateData(TRUE);

  // The path is taken exactly as typed.
  m_builder.ScanTree(m_strSourceDir);

  if (m_strImagePath.empty()) return;

  const kivo::fs::BuildResult result = m_builder.BuildImage(m_strImagePath);
  const std::vector<kivo::Error>& problems = result.problems;
  if (result.outcome == kivo::fs::BuildOutcome::NothingFound) {
    // An image left at the output path by an earlier build is still summarised.
    ShowMessage(kNothingFound);
  } else if (result.outcome == kivo::fs::BuildOutcome::OutputError &&
             (problems.front().kind == kivo::ErrorKind::CannotOpen ||
              problems.front().kind == kivo::ErrorKind::NotRegular)) {
    // The builder said "error"; as after any output that cannot be opened, the image is
    // neither written nor summarised.
    ShowMessage(res::kCouldNotOpenFile);
    UpdateData(FALSE);
    return;
  } else if (!result.ok()) {
    // Nothing was written (the output is replaced only by a complete image), so a summary
    // here would show an older file as if it were the result of this build.
    std::vector<std::string> detail;
    for (const kivo::Error& problem : problems) detail.push_back(problem.message);
    if (result.outcome == kivo::fs::BuildOutcome::SourceError) {
      detail.push_back("nothing was written to '" + m_strImagePath + "'");
    }
    ShowMessage(BuildFailureText(result.outcome, detail));
    UpdateData(FALSE);
    return;
  }
  FillImageSummary(m_strImagePath, SizeUnit::Kilobytes);
  UpdateData(FALSE);
}

void CRomFSDlg::FillImageSummary(const CString& path, SizeUnit unit) {
  kivo::Result<kivo::fs::ImageSummary> summary =
      kivo::fs::ReadImageSummary(PathOf(path), unit, /*requireWritable=*/true);
  if (!summary) {
    const kivo::Error& error = summary.error();
    ShowMessage(CouldNotOpen(error) ? CString(res::kCouldNotOpenFile)
                                    : "The drive summary cannot be shown.\n\n" + error.message);
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

bool CRomFSDlg::PickImage(const char* title) {
  const CString chosen = ui::PickFile(this, title, kImageFilter, "kid");
  if (chosen.empty()) return false;
  m_strImagePath = chosen;
  m_strRenamePath = chosen;
  return true;
}

void CRomFSDlg::OnBrowseImagePath() {
  PickImage(res::kSaveAsTitle);
  UpdateData(FALSE);
}

void CRomFSDlg::OnOpenImage() {
  if (PickImage("Open...")) FillImageSummary(m_strRenamePath, SizeUnit::Bytes);
  UpdateData(FALSE);
}

void CRomFSDlg::OnSaveNewName() {
  UpdateData(TRUE);
  // The fields keep what they show: no transfer out, even after a failure.
  kivo::Status stored = kivo::fs::StoreDriveName(PathOf(m_strRenamePath), m_strDriveName,
                                                 kivo::Access::ReadWrite);
  if (stored) return;
  const kivo::Error& error = stored.error();
  const CString notStored = "The new drive name was not stored.\n\n";
  if (CouldNotOpen(error)) {
    ShowMessage(res::kCouldNotOpenFile);
  } else if (error.kind == kivo::ErrorKind::NotRegular) {
    // A pipe is refused at once instead of waiting for a reader; only regular files can hold
    // a drive name anyway.
    ShowMessage(notStored + "'" + m_strRenamePath + "' is not a regular file");
  } else {
    ShowMessage(notStored + error.message);
  }
}

void CRomFSDlg::OnKillfocusDriveName() {
  UpdateData(TRUE);
  if (kivo::fs::DriveNameTooLong(m_strDriveName)) ShowMessage(kNameTooLong);
}

void CRomFSDlg::OnKillfocusPath() { UpdateData(TRUE); }
