// CDirectoryTree: the tree of the Choose Directory dialog. It shows the current path as a chain
// of folder items (drive or root at the top) with the current directory's subdirectories below
// the last one; double-clicks move down into a subdirectory or up to a path item, and each move
// is announced to the parent window with a posted WM_DIRTREE_PATHCHANGED.
#pragma once

#include "ui/Controls.h"

inline constexpr ui::UINT WM_DIRTREE_PATHCHANGED = ui::WM_USER + 10;

class CDirectoryTree : public ui::CTreeCtrl {
 public:
  CDirectoryTree();
  ~CDirectoryTree() override;

  // Builds the items from the current directory (or, once a drive has been chosen, from
  // that drive's start directory). 1 on success; 0 when the directory cannot be read, after
  // an error box owned by the tree.
  int FillFromCurrentDirectory();
  // Refills the tree at a drive chosen from the drive list: at a mount point, leaving the
  // process's current directory alone; on Windows at the drive's own current directory,
  // which becomes the process's (SetCurrentDirectory("D:")).
  int FillFromDrive(const ui::CString& drivePath);
  ui::CString GetPath() const { return m_strCurrentPath; }

  ui::CString m_strCurrentPath;
  char m_chDrive;
  int m_nSubdirImage;
  int m_nSubdirSelImage;
  int m_nPathImage;
  int m_nPathSelImage;

 protected:
  void OnDblclk(ui::NMHDR* pNMHDR, ui::LRESULT* pResult);

  // Inserts `directory` as a chain of path items, each the last child of the one before,
  // expands them and selects the last, which it returns.
  ui::HTREEITEM InsertPathItems(const ui::CString& directory);
  void AddSubdirectories(ui::CString path, ui::HTREEITEM hParent);
  void UpdatePathFromItem(ui::HTREEITEM hItem);
  void RemoveFirstChild(ui::HTREEITEM hItem);
  void RemoveSiblings(ui::HTREEITEM hItem);

  DECLARE_MESSAGE_MAP()

 private:
  ui::CString m_strDrivePath;  // mount point chosen from the drive list; empty until one is
};
