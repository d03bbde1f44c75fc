// The Choose Directory dialog and its directory tree on a generated folder tree: the chain of
// folders with the sorted subdirectories below, moves by double-click with one notice each,
// the box for a directory that cannot be listed, the drive list, and what a modal run returns.
#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/treectrl.h>

#include "dirchooser/ChooseDirDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;
using namespace res::choosedir;

namespace {

class CCountingChooseDirDlg : public CChooseDirDlg {
 public:
  int notices = 0;
  void UpdateDirectoryField() override {
    ++notices;
    CChooseDirDlg::UpdateDirectoryField();
  }
};

// The item with that text anywhere in the tree (the generated names are unique).
ui::HTREEITEM Find(CChooseDirDlg& dlg, const std::string& text, ui::HTREEITEM parent = nullptr) {
  CDirectoryTree& tree = dlg.m_treeDirectory;
  for (auto item = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); item; item = tree.GetNextSiblingItem(item)) {
    if (tree.GetItemText(item) == text) return item;
    if (ui::HTREEITEM found = Find(dlg, text, item)) return found;
  }
  return nullptr;
}

// Returns whether the tree's own processing (expanding or collapsing) was stopped.
bool DoubleClick(CChooseDirDlg& dlg, const std::string& text) {
  auto& tree = dynamic_cast<wxTreeCtrl&>(*Control(dlg, IDC_TREE));
  tree.SelectItem(wxTreeItemId(Find(dlg, text)));
  return Send(&tree, wxTreeEvent(wxEVT_TREE_ITEM_ACTIVATED, &tree, wxTreeItemId(Find(dlg, text))));
}

class ChooseDirDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = ScratchFolder();
    for (const char* dir : {"Tools/gamma", "Tools/Alpha/Sub2", "Tools/Alpha/Sub1", "Tools/beta", "Tools/.hidden", "Other/inner"}) {
      fs::create_directories(base / dir);
    }
    WriteFile(base / "Tools" / "file.txt", "files are not listed");
    saved = fs::current_path();
    fs::current_path(base / "Tools");
    ASSERT_TRUE(dlg.Create());
  }
  void TearDown() override { fs::current_path(saved); }

  // The path items from the top down, each checked to be the only child of the one above.
  std::vector<std::string> Chain() {
    CDirectoryTree& tree = dlg.m_treeDirectory;
    std::vector<std::string> texts;
    int image = -1, selected = -1;
    for (auto item = tree.GetRootItem(); item && tree.GetItemImage(item, image, selected) && image == 2;
         item = tree.GetChildItem(item)) {
      EXPECT_TRUE(!tree.GetNextSiblingItem(item) && !tree.GetPrevSiblingItem(item)) << tree.GetItemText(item);
      texts.push_back(tree.GetItemText(item));
      last = item;
    }
    return texts;
  }
  // The subdirectory items below the last path item, each with the closed-folder pictures.
  std::vector<std::string> Subdirectories() {
    Chain();
    std::vector<std::string> texts;
    int image = -1, selected = -1;
    for (auto item = dlg.m_treeDirectory.GetChildItem(last); item; item = dlg.m_treeDirectory.GetNextSiblingItem(item)) {
      EXPECT_TRUE(dlg.m_treeDirectory.GetItemImage(item, image, selected) && image == 0 && selected == 1);
      texts.push_back(dlg.m_treeDirectory.GetItemText(item));
    }
    return texts;
  }
  static std::vector<std::string> Components(const fs::path& path) {
    std::vector<std::string> texts{"/"};
    for (const fs::path& part : path.relative_path()) texts.push_back(part.string());
    return texts;
  }

  fs::path base, saved;
  ui::HTREEITEM last = nullptr;
  CCountingChooseDirDlg dlg;
};

TEST_F(ChooseDirDlgTest, OpensOnTheCurrentDirectoryWithItsSubdirectoriesSorted) {
  EXPECT_EQ((base / "Tools").string(), TextOf(dlg, IDC_DIRECTORY));
  EXPECT_EQ(Components(base / "Tools"), Chain());
  EXPECT_EQ((std::vector<std::string>{".hidden", "Alpha", "beta", "gamma"}), Subdirectories());
  PumpEvents();
  EXPECT_EQ(0, dlg.notices) << "opening posts no notice";
}

TEST_F(ChooseDirDlgTest, DoubleClicksMoveDownAndUpWithOneNoticeEach) {
  const struct {
    std::string item;
    fs::path path;
    std::vector<std::string> subdirectories;  // not checked when empty
  } moves[] = {{"Alpha", base / "Tools" / "Alpha", {"Sub1", "Sub2"}},
               {base.filename().string(), base, {"Other", "Tools"}},
               {"Tools", base / "Tools", {".hidden", "Alpha", "beta", "gamma"}},
               {"/", "/", {}}};
  int notices = 0;
  for (const auto& move : moves) {
    EXPECT_TRUE(DoubleClick(dlg, move.item));
    EXPECT_EQ(notices, dlg.notices) << "the notice is posted, not sent";
    PumpEvents();
    EXPECT_EQ(++notices, dlg.notices);
    EXPECT_EQ(move.path.string(), TextOf(dlg, IDC_DIRECTORY));
    EXPECT_EQ(Components(move.path), Chain());
    if (!move.subdirectories.empty()) {
      EXPECT_EQ(move.subdirectories, Subdirectories());
    }
  }
}

TEST_F(ChooseDirDlgTest, UnreadableDirectoryGivesTheDebugBox) {
  kivo::testfiles::GiveToOrdinaryUser(base);
  fs::permissions(base / "Tools" / "beta", fs::perms::none);
  ModalHook hook;
  hook.ExpectMessageBox("DEBUG", "FindFirstFile() returned INVALID_HANDLE_VALUE");
  {
    kivo::testfiles::AsOrdinaryUser ordinaryUser;
    DoubleClick(dlg, "beta");
    PumpEvents();
  }
  EXPECT_EQ((base / "Tools" / "beta").string(), TextOf(dlg, IDC_DIRECTORY)) << "the move happens all the same";
  EXPECT_EQ(1, dlg.notices);
  EXPECT_EQ(std::vector<std::string>{}, Subdirectories());
}

TEST_F(ChooseDirDlgTest, ChoosingAnotherDriveRefillsTheTreeThere) {
  WriteFile(base / "mounts", "proc /proc proc rw 0 0\n/dev/a / ext4 rw 0 0\n/dev/b " + (base / "Other").string() +
                                 " ext4 rw 0 0\n/dev/c " + (base / "Tools").string() + " ext4 rw 0 0\n");
  dlg.m_comboDrives.ResetContent();
  ASSERT_EQ(1, dlg.m_comboDrives.FillDrivesFrom((base / "mounts").string()));
  ASSERT_EQ(3, dlg.m_comboDrives.GetCount()) << "no pseudo file systems";
  EXPECT_EQ((base / "Tools").string() + " ", dlg.m_comboDrives.GetLBText(dlg.m_comboDrives.GetCurSel()));
  dynamic_cast<wxComboBox&>(*Control(dlg, IDC_DRIVES)).SetSelection(1);
  Send(Control(dlg, IDC_DRIVES), wxCommandEvent(wxEVT_COMBOBOX, IDC_DRIVES));
  EXPECT_EQ((base / "Other").string(), TextOf(dlg, IDC_DIRECTORY));
  EXPECT_EQ(Components(base / "Other"), Chain());
  EXPECT_EQ(std::vector<std::string>{"inner"}, Subdirectories());
}

TEST_F(ChooseDirDlgTest, ModalRunReturnsTheFieldOnOkAndNothingOnCancel) {
  const auto moveToAlpha = [](CChooseDirDlg& d) {
    DoubleClick(d, "Alpha");
    PumpEvents();
  };
  const struct {
    std::function<void(CChooseDirDlg&)> act;  // inside the modal loop
    ui::INT_PTR result;
    std::string directory;
  } runs[] = {
      {[](auto& d) { Click(d, ui::IDOK); }, ui::IDOK, (base / "Tools").string()},
      {[](auto& d) { Type(d, IDC_DIRECTORY, "  /no/such dir/ "); Click(d, ui::IDOK); }, ui::IDOK, "  /no/such dir/ "},
      {[&](auto& d) { Type(d, IDC_DIRECTORY, "typed"); moveToAlpha(d); PressKey(d, IDC_DIRECTORY, WXK_RETURN); },
       ui::IDOK, (base / "Tools" / "Alpha").string()},
      {[&](auto& d) { moveToAlpha(d); Click(d, ui::IDCANCEL); }, ui::IDCANCEL, ""},
      {[&](auto& d) { moveToAlpha(d); PressKey(d, IDC_TREE, WXK_ESCAPE); }, ui::IDCANCEL, ""},
      {[&](auto& d) { moveToAlpha(d); d.m_hWnd->Close(); }, ui::IDCANCEL, ""}};
  for (const auto& run : runs) {
    ModalHook hook;
    hook.ExpectDialog("Choose Directory", [&](ui::CDialog& d) { run.act(static_cast<CChooseDirDlg&>(d)); });
    CChooseDirDlg modal;
    EXPECT_EQ(run.result, modal.DoModal());
    EXPECT_EQ(run.directory, modal.m_strDirectory);
  }
  EXPECT_EQ(base / "Tools", fs::current_path()) << "the dialog never changes directory";
}

}  // namespace
