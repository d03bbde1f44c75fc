#include "ui/FileDialog.h"

#include <wx/filedlg.h>

#include <filesystem>

#include "ui/WxText.h"

namespace ui {

namespace {

// The wx wildcard string made from a filter list.
CString ToWildcard(const CString& filter) {
  CString wildcard = filter;
  while (!wildcard.empty() && wildcard.back() == '|') wildcard.pop_back();
  return wildcard;
}

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName,
                         DWORD /*dwFlags*/, const char* lpszFilter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(lpszDefExt ? lpszDefExt : ""),
      m_strFileName(lpszFileName ? lpszFileName : ""),
      m_strFilter(lpszFilter ? lpszFilter : ""),
      m_pParentWnd(pParentWnd) {}

INT_PTR CFileDialog::DoModal() {
  // No wxFD_FILE_MUST_EXIST and no wxFD_OVERWRITE_PROMPT: new names are accepted and an
  // existing file is taken without a question.
  const long style = m_bOpenFileDialog ? wxFD_OPEN : wxFD_SAVE;
  const CString title =
      m_ofn.lpstrTitle ? m_ofn.lpstrTitle : (m_bOpenFileDialog ? "Open" : "Save As");
  const CString wildcard = m_strFilter.empty() ? CString("All files|*") : ToWildcard(m_strFilter);
  wxFileDialog dialog(m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr, ToWx(title),
                      wxEmptyString, ToWx(m_strFileName), ToWx(wildcard), style);
  if (dialog.ShowModal() != wxID_OK) return IDCANCEL;

  // Paths are UTF-8 bytes on this host. Built from directory and name: the full path is not
  // always filled in (a test hook sets the path without showing the picker).
  std::filesystem::path chosen = std::filesystem::path(FromWx(dialog.GetFilename()));
  if (chosen.empty()) chosen = std::filesystem::path(FromWx(dialog.GetPath()));
  if (chosen.empty()) return IDCANCEL;
  if (chosen.is_relative()) {
    const CString directory = FromWx(dialog.GetDirectory());
    if (!directory.empty()) chosen = std::filesystem::path(directory) / chosen;
  }
  if (!m_strDefExt.empty() && !chosen.has_extension()) chosen += "." + m_strDefExt;
  m_strPathName = chosen.string();
  return IDOK;
}

CString PickFile(CWnd* parent, const char* title, const char* filter,
                 const char* defaultExtension) {
  CFileDialog picker(TRUE, defaultExtension, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     filter, parent);
  picker.m_ofn.lpstrTitle = title;
  return picker.DoModal() == IDOK ? picker.GetPathName() : CString();
}

}  // namespace ui
