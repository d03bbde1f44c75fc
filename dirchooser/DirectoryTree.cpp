#include "dirchooser/DirectoryTree.h"

#include <string>
#include <vector>

#include "dirchooser/HostFileSystem.h"

using ui::CString;

BEGIN_MESSAGE_MAP(CDirectoryTree, ui::CTreeCtrl)
  ON_NOTIFY_REFLECT(ui::NM_DBLCLK, OnDblclk)
END_MESSAGE_MAP()

CDirectoryTree::CDirectoryTree()
    : m_chDrive('a'),
      m_nSubdirImage(0),
      m_nSubdirSelImage(1),
      m_nPathImage(2),
      m_nPathSelImage(3) {}

CDirectoryTree::~CDirectoryTree() = default;

int CDirectoryTree::FillFromDrive(const CString& drivePath) {
  if (drivePath.empty()) return 0;
#ifdef _WIN32
  // Windows keeps a current directory per drive: the fill moves there (see below).
  m_chDrive = drivePath.front();
#else
  m_strDrivePath = drivePath;
#endif
  DeleteAllItems();
  return FillFromCurrentDirectory();
}

int CDirectoryTree::FillFromCurrentDirectory() {
  // 'a' means no drive has been chosen yet: start from the current directory as it is and
  // keep the items. Otherwise the tree is rebuilt from scratch.
  if (m_chDrive != 'a') {
#ifdef _WIN32
    // "D:" names drive D's own current directory; when the drive cannot be entered, the
    // fill below shows where the process still is.
    std::string ignored;
    dirchooser::EnterDrive(m_chDrive, ignored);
#endif
    DeleteAllItems();
  }

  CString directory;
  std::string errorText;
  if (!m_strDrivePath.empty()) {
    // A chosen drive starts at its mount point.
    directory = m_strDrivePath;
  } else if (!dirchooser::CurrentDirectory(directory, errorText)) {
    MessageBox(errorText, "GetLastError", ui::MB_OK | ui::MB_ICONERROR);
    return 0;
  }

  m_strCurrentPath = directory;
  m_chDrive = directory.empty() ? 'a' : directory.front();
  AddSubdirectories(m_strCurrentPath, InsertPathItems(directory));
  return 1;
}

ui::HTREEITEM CDirectoryTree::InsertPathItems(const CString& directory) {
  ui::HTREEITEM hParent = ui::TVI_ROOT;
  int inserted = 0;
  for (const std::string& component : dirchooser::SplitPath(directory)) {
    hParent = InsertItem(component, m_nPathImage, m_nPathSelImage, hParent, ui::TVI_LAST);
    ++inserted;
  }

  ui::HTREEITEM hCurrent = nullptr;
  ui::HTREEITEM hItem = GetRootItem();
  for (int i = 0; i < inserted && hItem != nullptr; ++i) {
    Expand(hItem, ui::TVE_EXPAND);
    hCurrent = hItem;
    hItem = GetChildItem(hItem);
  }
  SelectItem(hCurrent);
  return hCurrent;
}

void CDirectoryTree::AddSubdirectories(CString path, ui::HTREEITEM hParent) {
  std::vector<std::string> names;
  if (!dirchooser::ListSubdirectories(path, names)) {
    MessageBox("FindFirstFile() returned INVALID_HANDLE_VALUE", "DEBUG", ui::MB_OK);
    return;
  }
  for (const std::string& name : names) {
    InsertItem(name, m_nSubdirImage, m_nSubdirSelImage, hParent, ui::TVI_SORT);
  }
  Expand(hParent, ui::TVE_EXPAND);
}

void CDirectoryTree::UpdatePathFromItem(ui::HTREEITEM hItem) {
  CString path = GetItemText(hItem);
  for (ui::HTREEITEM hParent = GetParentItem(hItem); hParent != nullptr;
       hParent = GetParentItem(hParent)) {
    path = dirchooser::JoinPath(GetItemText(hParent), path);
  }
  m_strCurrentPath = path;
  ui::PostMessage(GetParent(), WM_DIRTREE_PATHCHANGED, 0, 0);
}

void CDirectoryTree::OnDblclk(ui::NMHDR* /*pNMHDR*/, ui::LRESULT* pResult) {
  *pResult = 1;  // no expand/collapse toggle of the tree's own
  ui::HTREEITEM hSelected = GetSelectedItem();
  if (hSelected == nullptr) return;

  if (GetItemState(hSelected, ui::TVIS_EXPANDED) & ui::TVIS_EXPANDED) {
    if (ItemHasChildren(hSelected)) {
      ui::HTREEITEM hChild = GetChildItem(hSelected);
      int image = -1;
      int selectedImage = -1;
      if (hChild != nullptr && GetItemImage(hChild, image, selectedImage) &&
          (image == m_nSubdirImage || selectedImage == m_nSubdirSelImage)) {
        return;  // already the current directory with its subdirectories listed
      }
    }
    RemoveFirstChild(hSelected);
    UpdatePathFromItem(hSelected);
    AddSubdirectories(m_strCurrentPath, hSelected);
    return;
  }

  SetItemImage(hSelected, 2, 3);
  RemoveSiblings(hSelected);
  UpdatePathFromItem(hSelected);
  AddSubdirectories(m_strCurrentPath, hSelected);
}

void CDirectoryTree::RemoveFirstChild(ui::HTREEITEM hItem) {
  if (!ItemHasChildren(hItem)) return;
  if (ui::HTREEITEM hChild = GetChildItem(hItem)) DeleteItem(hChild);
}

void CDirectoryTree::RemoveSiblings(ui::HTREEITEM hItem) {
  while (ui::HTREEITEM hPrevious = GetPrevSiblingItem(hItem)) DeleteItem(hPrevious);
  while (ui::HTREEITEM hNext = GetNextSiblingItem(hItem)) DeleteItem(hNext);
}
