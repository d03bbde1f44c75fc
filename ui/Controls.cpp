#include "ui/Controls.h"

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/imaglist.h>
#include <wx/treectrl.h>

#include "ui/DialogTemplate.h"
#include "ui/Resources.h"
#include "ui/WxText.h"

namespace ui {

BOOL CBitmapButton::LoadBitmaps(int nIDBitmapResource, int nIDBitmapResourceSel) {
  const wxBitmap normal = LoadBitmapResource(nIDBitmapResource);
  if (!normal.IsOk()) return FALSE;
  return LoadBitmaps(
      normal, nIDBitmapResourceSel != 0 ? LoadBitmapResource(nIDBitmapResourceSel) : wxBitmap());
}

BOOL CBitmapButton::LoadBitmaps(const wxBitmap& normal, const wxBitmap& pressed) {
  auto* button = dynamic_cast<wxButton*>(m_hWnd);
  if (button == nullptr || !normal.IsOk()) return FALSE;
  const wxSize size = button->GetSize();
  button->SetBitmapLabel(normal);
  button->SetBitmapPressed(pressed.IsOk() ? pressed : normal);
  button->SetSize(size);  // pictures never resize the button
  return TRUE;
}

wxComboBox* CComboBox::Combo() const { return dynamic_cast<wxComboBox*>(m_hWnd); }

int CComboBox::AddString(const CString& text) {
  wxComboBox* combo = Combo();
  if (combo == nullptr) return CB_ERR;
  unsigned position = combo->GetCount();
  if (IsSortedComboBox(combo)) {
    // After any equal entries, so entries that compare equal keep their insertion order.
    position = 0;
    while (position < combo->GetCount() &&
           CompareNoCase(FromWx(combo->GetString(position)), text) <= 0) {
      ++position;
    }
  }
  return combo->Insert(ToWx(text), position);
}

int CComboBox::SetCurSel(int nSelect) {
  wxComboBox* combo = Combo();
  if (combo == nullptr) return CB_ERR;
  if (nSelect < 0 || nSelect >= static_cast<int>(combo->GetCount())) {
    combo->SetSelection(wxNOT_FOUND);
    combo->ChangeValue(wxEmptyString);
    return CB_ERR;
  }
  combo->SetSelection(nSelect);
  return nSelect;
}

int CComboBox::GetCurSel() const {
  wxComboBox* combo = Combo();
  if (combo == nullptr) return CB_ERR;
  const int selection = combo->GetSelection();
  return selection == wxNOT_FOUND ? CB_ERR : selection;
}

int CComboBox::GetCount() const {
  wxComboBox* combo = Combo();
  return combo ? static_cast<int>(combo->GetCount()) : 0;
}

CString CComboBox::GetLBText(int nIndex) const {
  wxComboBox* combo = Combo();
  if (combo == nullptr || nIndex < 0 || nIndex >= static_cast<int>(combo->GetCount())) {
    return CString();
  }
  return FromWx(combo->GetString(static_cast<unsigned>(nIndex)));
}

CImageList::CImageList() = default;
CImageList::~CImageList() = default;

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int /*nGrow*/) {
  m_masked = (nFlags & ILC_MASK) != 0;
  m_list = std::make_unique<wxImageList>(cx, cy, m_masked, nInitial);
  return TRUE;
}

int CImageList::Add(const wxBitmap& bitmap, COLORREF crMask) {
  if (!m_list || !bitmap.IsOk()) return -1;
  if (m_masked) {
    return m_list->Add(bitmap,
                       wxColour(crMask & 0xFF, (crMask >> 8) & 0xFF, (crMask >> 16) & 0xFF));
  }
  return m_list->Add(bitmap);
}

wxTreeCtrl* CTreeCtrl::Tree() const { return dynamic_cast<wxTreeCtrl*>(m_hWnd); }

namespace {

wxTreeItemId ToId(HTREEITEM item) { return wxTreeItemId(item); }

HTREEITEM FromId(const wxTreeItemId& id) { return id.IsOk() ? id.GetID() : nullptr; }

bool IsSpecial(HTREEITEM item) {
  return item == TVI_ROOT || item == TVI_FIRST || item == TVI_LAST || item == TVI_SORT;
}

}  // namespace

HTREEITEM CTreeCtrl::InsertItem(const CString& text, int nImage, int nSelectedImage,
                                HTREEITEM hParent, HTREEITEM hInsertAfter) {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr) return nullptr;
  const wxTreeItemId parent =
      (hParent == nullptr || hParent == TVI_ROOT) ? tree->GetRootItem() : ToId(hParent);
  if (!parent.IsOk()) return nullptr;
  const size_t count = tree->GetChildrenCount(parent, false);
  size_t position = count;
  if (hInsertAfter == TVI_FIRST) {
    position = 0;
  } else if (hInsertAfter == TVI_SORT) {
    // After any equal siblings, as the platform's sorted insertion does.
    position = 0;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
         child = tree->GetNextChild(parent, cookie)) {
      if (CompareNoCase(FromWx(tree->GetItemText(child)), text) > 0) break;
      ++position;
    }
  } else if (hInsertAfter != nullptr && !IsSpecial(hInsertAfter)) {
    position = 0;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
         child = tree->GetNextChild(parent, cookie)) {
      ++position;
      if (child.GetID() == hInsertAfter) break;
    }
  }
  return FromId(tree->InsertItem(parent, position, ToWx(text), nImage, nSelectedImage));
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM hItem) {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr) return FALSE;
  if (hItem == TVI_ROOT) return DeleteAllItems();
  if (IsSpecial(hItem) || ToId(hItem) == tree->GetRootItem()) return FALSE;
  tree->Delete(ToId(hItem));
  return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr) return FALSE;
  if (tree->GetRootItem().IsOk()) tree->DeleteChildren(tree->GetRootItem());
  return TRUE;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr) return nullptr;
  const wxTreeItemId root = tree->GetRootItem();
  wxTreeItemIdValue cookie;
  switch (nCode) {
    case TVGN_ROOT:
      return root.IsOk() ? FromId(tree->GetFirstChild(root, cookie)) : nullptr;
    case TVGN_CARET: {
      // The wx tree keeps a current item (at first its hidden root) even when nothing is selected.
      const wxTreeItemId selection = tree->GetSelection();
      if (!selection.IsOk() || selection == root || !tree->IsSelected(selection)) return nullptr;
      return FromId(selection);
    }
    case TVGN_CHILD: {
      const wxTreeItemId parent = (hItem == nullptr || hItem == TVI_ROOT) ? root : ToId(hItem);
      return parent.IsOk() ? FromId(tree->GetFirstChild(parent, cookie)) : nullptr;
    }
    default:
      break;
  }
  if (hItem == nullptr || IsSpecial(hItem)) return nullptr;
  const wxTreeItemId item = ToId(hItem);
  switch (nCode) {
    case TVGN_PARENT: {
      const wxTreeItemId parent = tree->GetItemParent(item);
      return parent == root ? nullptr : FromId(parent);
    }
    case TVGN_NEXT:
      return FromId(tree->GetNextSibling(item));
    case TVGN_PREVIOUS:
      return FromId(tree->GetPrevSibling(item));
    default:
      return nullptr;
  }
}

BOOL CTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return FALSE;
  const wxTreeItemId item = ToId(hItem);
  if (item == tree->GetRootItem() || !tree->ItemHasChildren(item)) return FALSE;
  if (nCode == TVE_EXPAND) {
    tree->Expand(item);
  } else if (nCode == TVE_COLLAPSE) {
    tree->Collapse(item);
  } else {
    return FALSE;
  }
  return TRUE;
}

BOOL CTreeCtrl::SelectItem(HTREEITEM hItem) {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr) return FALSE;
  if (hItem == nullptr) {
    tree->UnselectAll();
    return TRUE;
  }
  if (IsSpecial(hItem)) return FALSE;
  tree->SelectItem(ToId(hItem));
  return TRUE;
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return CString();
  return FromWx(tree->GetItemText(ToId(hItem)));
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return FALSE;
  nImage = tree->GetItemImage(ToId(hItem), wxTreeItemIcon_Normal);
  nSelectedImage = tree->GetItemImage(ToId(hItem), wxTreeItemIcon_Selected);
  return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return FALSE;
  tree->SetItemImage(ToId(hItem), nImage, wxTreeItemIcon_Normal);
  tree->SetItemImage(ToId(hItem), nSelectedImage, wxTreeItemIcon_Selected);
  return TRUE;
}

UINT CTreeCtrl::GetItemState(HTREEITEM hItem, UINT nStateMask) const {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return 0;
  UINT state = 0;
  const wxTreeItemId item = ToId(hItem);
  if (tree->ItemHasChildren(item) && tree->IsExpanded(item)) state |= TVIS_EXPANDED;
  return state & nStateMask;
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  wxTreeCtrl* tree = Tree();
  if (tree == nullptr || hItem == nullptr || IsSpecial(hItem)) return FALSE;
  return tree->ItemHasChildren(ToId(hItem)) ? TRUE : FALSE;
}

CImageList* CTreeCtrl::SetImageList(CImageList* pImageList, int /*nImageListType*/) {
  CImageList* previous = m_pImageList;
  m_pImageList = pImageList;
  if (wxTreeCtrl* tree = Tree()) {
    tree->SetImageList(pImageList ? pImageList->GetSafeHandle() : nullptr);
  }
  return previous;
}

}  // namespace ui
