// Thin wrappers on the controls a dialog binds with DDX_Control.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/Wnd.h"

class wxBitmap;
class wxButton;
class wxComboBox;
class wxImageList;
class wxTreeCtrl;

namespace ui {

inline constexpr int CB_ERR = -1;

class CButton : public CWnd {};

class CEdit : public CWnd {};

class CBitmapButton : public CButton {
 public:
  // The pictures by resource ID (see ui/Resources.h); pressed 0 means the normal picture is
  // shown in every state. The button keeps its template size.
  BOOL LoadBitmaps(int nIDBitmapResource, int nIDBitmapResourceSel = 0);
  BOOL LoadBitmaps(const wxBitmap& normal, const wxBitmap& pressed);
};

class CComboBox : public CWnd {
 public:
  // Inserts in sorted position when the template asks for a sorted list, else at the end.
  // Returns the index of the new entry.
  int AddString(const CString& text);
  // Selects entry nSelect (-1 clears the selection). Returns nSelect, or CB_ERR when out of range.
  int SetCurSel(int nSelect);
  int GetCurSel() const;
  int GetCount() const;
  CString GetLBText(int nIndex) const;

 private:
  wxComboBox* Combo() const;
};

inline constexpr unsigned ILC_COLOR = 0x0;
inline constexpr unsigned ILC_MASK = 0x1;

class CImageList {
 public:
  // Out of line: wxImageList is complete only there.
  CImageList();
  ~CImageList();

  BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
  // Adds a picture; with a list made without ILC_MASK the mask colour is ignored and the
  // picture is drawn opaque. Returns its index, -1 on failure.
  int Add(const wxBitmap& bitmap, COLORREF crMask);
  wxImageList* GetSafeHandle() const { return m_list.get(); }

 private:
  std::unique_ptr<wxImageList> m_list;
  bool m_masked = false;
};

using HTREEITEM = void*;
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline const HTREEITEM TVI_FIRST =
    reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
inline const HTREEITEM TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFD));

inline constexpr UINT TVGN_ROOT = 0x0;
inline constexpr UINT TVGN_NEXT = 0x1;
inline constexpr UINT TVGN_PREVIOUS = 0x2;
inline constexpr UINT TVGN_PARENT = 0x3;
inline constexpr UINT TVGN_CHILD = 0x4;
inline constexpr UINT TVGN_CARET = 0x9;
inline constexpr UINT TVE_COLLAPSE = 0x1;
inline constexpr UINT TVE_EXPAND = 0x2;
inline constexpr UINT TVIS_EXPANDED = 0x20;
inline constexpr int TVSIL_NORMAL = 0;

class CTreeCtrl : public CWnd {
 public:
  // hParent TVI_ROOT (or null) inserts at the top level; hInsertAfter TVI_LAST, TVI_FIRST,
  // TVI_SORT (alphabetical, without regard to case) or a sibling item.
  HTREEITEM InsertItem(const CString& text, int nImage, int nSelectedImage,
                       HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  // Deletes the item with its subtree; TVI_ROOT deletes every item.
  BOOL DeleteItem(HTREEITEM hItem);
  BOOL DeleteAllItems();

  HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const;
  HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
  HTREEITEM GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
  HTREEITEM GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }

  BOOL Expand(HTREEITEM hItem, UINT nCode);
  // Makes the item the caret item; null clears the selection.
  BOOL SelectItem(HTREEITEM hItem);
  CString GetItemText(HTREEITEM hItem) const;
  BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const;
  BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage);
  UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const;
  BOOL ItemHasChildren(HTREEITEM hItem) const;
  // The list stays the caller's; returns the previous one.
  CImageList* SetImageList(CImageList* pImageList, int nImageListType = TVSIL_NORMAL);

 private:
  wxTreeCtrl* Tree() const;
  CImageList* m_pImageList = nullptr;
};

}  // namespace ui
