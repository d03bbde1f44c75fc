// Tree, combo box and image list wrappers on real controls (template 129's tree 1001 and
// sorted combo box 1002).
#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/imaglist.h>
#include <wx/treectrl.h>

#include "res/Bitmaps.h"
#include "tests/gui/GuiActions.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/Resources.h"

using namespace kivofs_test;
using ui::CString;
using ui::HTREEITEM;

namespace {

class CReflectingTree : public ui::CTreeCtrl {
 public:
  int doubleClicks = 0;
  ui::LRESULT resultToGive = 1;

 protected:
  void OnDblclk(ui::NMHDR* header, ui::LRESULT* result) {
    ++doubleClicks;
    lastCode = header->code;
    *result = resultToGive;
  }

 public:
  ui::UINT lastCode = 0;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectingTree, ui::CTreeCtrl)
  ON_NOTIFY_REFLECT(ui::NM_DBLCLK, OnDblclk)
END_MESSAGE_MAP()

class CControlsDlg : public ui::CDialog {
 public:
  CControlsDlg() : ui::CDialog(129) {}
  CReflectingTree m_tree;
  ui::CComboBox m_combo;
  int parentDoubleClicks = 0;
  int selectionChanges = 0;

 protected:
  void DoDataExchange(ui::CDataExchange* pDX) override {
    ui::DDX_Control(pDX, 1001, m_tree);
    ui::DDX_Control(pDX, 1002, m_combo);
  }
  void OnTreeDblclk() { ++parentDoubleClicks; }
  void OnSelchange() { ++selectionChanges; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CControlsDlg, ui::CDialog)
  ON_CONTROL(ui::NM_DBLCLK, 1001, OnTreeDblclk)
  ON_CBN_SELCHANGE(1002, OnSelchange)
END_MESSAGE_MAP()

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dlg.Create()); }
  std::vector<CString> ChildTexts(HTREEITEM parent) {
    std::vector<CString> texts;
    for (HTREEITEM item = dlg.m_tree.GetChildItem(parent); item; item = dlg.m_tree.GetNextSiblingItem(item)) {
      texts.push_back(dlg.m_tree.GetItemText(item));
    }
    return texts;
  }
  std::vector<CString> ComboTexts() {
    std::vector<CString> texts;
    for (int i = 0; i < dlg.m_combo.GetCount(); ++i) texts.push_back(dlg.m_combo.GetLBText(i));
    return texts;
  }
  CControlsDlg dlg;
};

TEST_F(ControlsTest, SortedComboInsertsWithoutRegardToCase) {
  EXPECT_EQ(0, dlg.m_combo.AddString("b: "));
  EXPECT_EQ(0, dlg.m_combo.AddString("A: "));
  EXPECT_EQ(2, dlg.m_combo.AddString("c: data"));
  EXPECT_EQ(1, dlg.m_combo.AddString("a: "));  // after the equal entry
  EXPECT_EQ((std::vector<CString>{"A: ", "a: ", "b: ", "c: data"}), ComboTexts());
}

struct FindCase {
  int startAfter;
  const char* prefix;
  int expected;
};

class ComboFind : public ControlsTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(ComboFind, PrefixFromTheStartWithoutRegardToCase) {
  for (const char* text : {"/", "/home Data", "/boot", "/Home2"}) dlg.m_combo.AddString(text);
  // Sorted: "/", "/boot", "/home Data", "/Home2"
  const FindCase& c = GetParam();
  EXPECT_EQ(c.expected, dlg.m_combo.FindString(c.startAfter, c.prefix));
}

INSTANTIATE_TEST_SUITE_P(All, ComboFind,
                         ::testing::Values(FindCase{-1, "/", 0}, FindCase{-1, "/HOME", 2}, FindCase{2, "/home", 3},
                                           FindCase{3, "/home", 2}, FindCase{-1, "/b", 1},
                                           FindCase{-1, "/usr", ui::CB_ERR}, FindCase{-1, "/home Data2", ui::CB_ERR},
                                           FindCase{-1, "", 0}));

TEST_F(ControlsTest, ComboSelection) {
  EXPECT_EQ(ui::CB_ERR, dlg.m_combo.FindString(-1, "x"));
  EXPECT_EQ(ui::CB_ERR, dlg.m_combo.GetCurSel());
  dlg.m_combo.AddString("one");
  dlg.m_combo.AddString("two");
  EXPECT_EQ(1, dlg.m_combo.SetCurSel(1));
  EXPECT_EQ(1, dlg.m_combo.GetCurSel());
  EXPECT_EQ("two", TextOf(Control(dlg, 1002)));
  EXPECT_EQ(0, dlg.selectionChanges) << "selecting from code raises no notification";
  EXPECT_EQ(ui::CB_ERR, dlg.m_combo.SetCurSel(-1));
  EXPECT_EQ(ui::CB_ERR, dlg.m_combo.GetCurSel());
  ChooseComboEntry(Control(dlg, 1002), 0);
  EXPECT_EQ(1, dlg.selectionChanges);
}

TEST_F(ControlsTest, TreeSortedAndLastInsertion) {
  HTREEITEM top = dlg.m_tree.InsertItem("/", 2, 3);
  for (const char* name : {"usr", "Boot", "bin", "etc"}) dlg.m_tree.InsertItem(name, 0, 1, top, ui::TVI_SORT);
  EXPECT_EQ((std::vector<CString>{"bin", "Boot", "etc", "usr"}), ChildTexts(top));
  dlg.m_tree.InsertItem("aaa", 0, 1, top, ui::TVI_LAST);
  dlg.m_tree.InsertItem("zzz", 0, 1, top, ui::TVI_FIRST);
  EXPECT_EQ((std::vector<CString>{"zzz", "bin", "Boot", "etc", "usr", "aaa"}), ChildTexts(top));
  EXPECT_EQ(top, dlg.m_tree.GetRootItem());
  EXPECT_EQ(nullptr, dlg.m_tree.GetParentItem(top));
  EXPECT_EQ(nullptr, dlg.m_tree.GetNextSiblingItem(top));
  EXPECT_EQ(7u, dlg.m_tree.GetCount());
}

TEST_F(ControlsTest, TreeNavigationImagesAndState) {
  HTREEITEM top = dlg.m_tree.InsertItem("/", 2, 3);
  HTREEITEM home = dlg.m_tree.InsertItem("home", 2, 3, top);
  HTREEITEM a = dlg.m_tree.InsertItem("a", 0, 1, home, ui::TVI_SORT);
  HTREEITEM b = dlg.m_tree.InsertItem("b", 0, 1, home, ui::TVI_SORT);
  EXPECT_EQ(home, dlg.m_tree.GetChildItem(top));
  EXPECT_EQ(top, dlg.m_tree.GetParentItem(home));
  EXPECT_EQ(b, dlg.m_tree.GetNextSiblingItem(a));
  EXPECT_EQ(a, dlg.m_tree.GetPrevSiblingItem(b));
  EXPECT_EQ(nullptr, dlg.m_tree.GetPrevSiblingItem(a));
  EXPECT_EQ(nullptr, dlg.m_tree.GetChildItem(a));

  int image = -1, selected = -1;
  ASSERT_TRUE(dlg.m_tree.GetItemImage(a, image, selected));
  EXPECT_EQ(0, image);
  EXPECT_EQ(1, selected);
  dlg.m_tree.SetItemImage(a, 2, 3);
  dlg.m_tree.GetItemImage(a, image, selected);
  EXPECT_EQ(2, image);
  EXPECT_EQ(3, selected);

  EXPECT_TRUE(dlg.m_tree.ItemHasChildren(home));
  EXPECT_FALSE(dlg.m_tree.ItemHasChildren(a));
  EXPECT_EQ(0u, dlg.m_tree.GetItemState(home, ui::TVIS_EXPANDED));
  EXPECT_TRUE(dlg.m_tree.Expand(home, ui::TVE_EXPAND));
  EXPECT_EQ(ui::TVIS_EXPANDED, dlg.m_tree.GetItemState(home, ui::TVIS_EXPANDED));
  EXPECT_FALSE(dlg.m_tree.Expand(a, ui::TVE_EXPAND)) << "an item without children does not expand";
  EXPECT_EQ(0u, dlg.m_tree.GetItemState(a, ui::TVIS_EXPANDED));

  EXPECT_EQ(nullptr, dlg.m_tree.GetSelectedItem());
  dlg.m_tree.SelectItem(b);
  EXPECT_EQ(b, dlg.m_tree.GetSelectedItem());
  EXPECT_EQ(b, dlg.m_tree.GetNextItem(nullptr, ui::TVGN_CARET));
  dlg.m_tree.SelectItem(nullptr);
  EXPECT_EQ(nullptr, dlg.m_tree.GetSelectedItem());
}

TEST_F(ControlsTest, TreeDeletesSubtreesAndEverything) {
  HTREEITEM top = dlg.m_tree.InsertItem("/", 2, 3);
  HTREEITEM home = dlg.m_tree.InsertItem("home", 2, 3, top);
  dlg.m_tree.InsertItem("a", 0, 1, home);
  HTREEITEM etc = dlg.m_tree.InsertItem("etc", 0, 1, top);
  EXPECT_EQ(4u, dlg.m_tree.GetCount());
  EXPECT_TRUE(dlg.m_tree.DeleteItem(home));
  EXPECT_EQ(2u, dlg.m_tree.GetCount());
  EXPECT_EQ(etc, dlg.m_tree.GetChildItem(top));
  dlg.m_tree.InsertItem("second top", 2, 3);
  EXPECT_TRUE(dlg.m_tree.DeleteItem(ui::TVI_ROOT));
  EXPECT_EQ(0u, dlg.m_tree.GetCount());
  EXPECT_EQ(nullptr, dlg.m_tree.GetRootItem());
}

TEST_F(ControlsTest, DoubleClickGoesToTheTreeItselfFirst) {
  HTREEITEM top = dlg.m_tree.InsertItem("/", 2, 3);
  EXPECT_TRUE(DoubleClickTreeItem(Control(dlg, 1001), top)) << "a nonzero result stops the tree's own toggle";
  EXPECT_EQ(1, dlg.m_tree.doubleClicks);
  EXPECT_EQ(ui::NM_DBLCLK, dlg.m_tree.lastCode);
  EXPECT_EQ(0, dlg.parentDoubleClicks);
  dlg.m_tree.resultToGive = 0;
  EXPECT_FALSE(DoubleClickTreeItem(Control(dlg, 1001), top)) << "a zero result lets the tree go on";
  EXPECT_EQ(2, dlg.m_tree.doubleClicks);
}

TEST(ControlsDoubleClick, WithoutReflectionTheParentMapHandlesIt) {
  class CParentDlg : public ui::CDialog {
   public:
    CParentDlg() : ui::CDialog(129) {}
    ui::CTreeCtrl m_tree;
    void DoDataExchange(ui::CDataExchange* pDX) override { ui::DDX_Control(pDX, 1001, m_tree); }
  };
  CControlsDlg withReflection;  // keeps the map types in use
  (void)withReflection;
  CParentDlg plain;
  ASSERT_TRUE(plain.Create());
  HTREEITEM top = plain.m_tree.InsertItem("/", 2, 3);
  EXPECT_FALSE(DoubleClickTreeItem(Control(plain, 1001), top)) << "nobody handles it: the tree goes on";
}

TEST_F(ControlsTest, TreeImageListIsTheOwnersAndHoldsFolderPictures) {
  ui::CImageList images;
  ASSERT_TRUE(images.Create(16, 16, ui::ILC_COLOR, 4, 4));
  for (int id : {res::IDB_FOLDER_CLOSED, res::IDB_FOLDER_CLOSED_DARK, res::IDB_FOLDER_OPEN, res::IDB_FOLDER_OPEN_DARK}) {
    const wxBitmap bitmap = ui::LoadBitmapResource(id);
    ASSERT_TRUE(bitmap.IsOk()) << id;
    EXPECT_EQ(16, bitmap.GetWidth());
    EXPECT_EQ(16, bitmap.GetHeight());
    EXPECT_GE(images.Add(bitmap, ui::RGB(0, 0, 0)), 0);
  }
  EXPECT_EQ(4, images.GetImageCount());
  EXPECT_EQ(nullptr, dlg.m_tree.SetImageList(&images));
  EXPECT_EQ(images.GetSafeHandle(), dynamic_cast<wxTreeCtrl*>(Control(dlg, 1001))->GetImageList());
  EXPECT_EQ(&images, dlg.m_tree.SetImageList(nullptr));
}

}  // namespace
