// CFileDialog: the file picker. Every picker of the program is of the open kind: it accepts the
// name of a file that does not exist yet and never asks before an existing file is chosen.
#pragma once

#include "ui/Wnd.h"

namespace ui {

inline constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
inline constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;

class CFileDialog {
 public:
  // lpszFilter as "Name|pattern|Name|pattern||"; lpszDefExt without the dot, added to a chosen
  // name that has no extension. The flags change nothing: see above.
  CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr,
              const char* lpszFileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
              const char* lpszFilter = nullptr, CWnd* pParentWnd = nullptr);

  struct OpenFileName {
    const char* lpstrTitle = nullptr;
  } m_ofn;

  INT_PTR DoModal();  // IDOK or IDCANCEL
  CString GetPathName() const { return m_strPathName; }

 private:
  BOOL m_bOpenFileDialog;
  CString m_strDefExt;
  CString m_strFileName;
  CString m_strFilter;
  CWnd* m_pParentWnd;
  CString m_strPathName;
};

// How the dialogs ask for a file: a picker with that title and filter list, owned by `parent`;
// `defaultExtension` (or null) is added to a name without one. Empty when the user cancels.
CString PickFile(CWnd* parent, const char* title, const char* filter,
                 const char* defaultExtension);

}  // namespace ui
