// The Choose Directory dialog run modally: its result after OK and Cancel, the keys, the drive
// list and changing drives; and its screenshot.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/msgdlg.h>
#include <wx/treectrl.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "dirchooser/HostFileSystem.h"
#include "tests/gui/DirChooserFixture.h"

using namespace kivofs_test;

namespace {

using ChooseDirDlgTest = DirChooserTest;

TEST_F(ChooseDirDlgTest, OkAtOnceReturnsTheCurrentDirectory) {
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) { Click(dlg, ui::IDOK); });
  CChooseDirDlg dlg;
  EXPECT_EQ("", dlg.m_strDirectory);
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
  EXPECT_EQ(Str(base / "Tools"), dlg.m_strDirectory);
  EXPECT_EQ(Str(base / "Tools"), Str(std::filesystem::current_path())) << "the dialog never changes directory";
}

TEST_F(ChooseDirDlgTest, TypedTextIsReturnedUnchanged) {
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [](ui::CDialog& dlg) {
    Type(Control(dlg, 1000), "  /no/such dir/  ");
    Click(dlg, ui::IDOK);
  });
  CChooseDirDlg dlg;
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
  EXPECT_EQ("  /no/such dir/  ", dlg.m_strDirectory);
}

TEST_F(ChooseDirDlgTest, MoveAfterTypingWinsAndEnterAccepts) {
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [this](ui::CDialog& dialog) {
    auto& dlg = static_cast<CChooseDirDlg&>(dialog);
    Type(Control(dlg, 1000), "typed");
    CDirectoryTree& tree = dlg.m_treeDirectory;
    DoubleClickTreeItem(Control(dlg, 1001), Child(tree, tree.GetSelectedItem(), "beta"));
    PumpEvents();
    EXPECT_EQ(Str(base / "Tools" / "beta"), TextOf(Control(dlg, 1000)));
    PressKey(dlg, Control(dlg, 1000), WXK_RETURN);
  });
  CChooseDirDlg dlg;
  EXPECT_EQ(ui::IDOK, dlg.DoModal());
  EXPECT_EQ(Str(base / "Tools" / "beta"), dlg.m_strDirectory);
}

struct CancelCase {
  const char* name;
  int how;  // 0: Cancel button, 1: Escape, 2: close box
};

class ChooseDirCancel : public DirChooserTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(ChooseDirCancel, AfterMovesLeavesTheResultEmpty) {
  const int how = GetParam().how;
  ModalHook hook;
  hook.ExpectDialog("Choose Directory", [how](ui::CDialog& dialog) {
    auto& dlg = static_cast<CChooseDirDlg&>(dialog);
    CDirectoryTree& tree = dlg.m_treeDirectory;
    DoubleClickTreeItem(Control(dlg, 1001), Child(tree, tree.GetSelectedItem(), "Alpha"));
    PumpEvents();
    DoubleClickTreeItem(Control(dlg, 1001), Child(tree, tree.GetSelectedItem(), "Sub2"));
    PumpEvents();
    if (how == 0) Click(dlg, ui::IDCANCEL);
    if (how == 1) PressKey(dlg, Control(dlg, 1001), WXK_ESCAPE);
    if (how == 2) dlg.m_hWnd->Close();
  });
  CChooseDirDlg dlg;
  EXPECT_EQ(ui::IDCANCEL, dlg.DoModal());
  EXPECT_EQ("", dlg.m_strDirectory);
}

INSTANTIATE_TEST_SUITE_P(All, ChooseDirCancel,
                         ::testing::Values(CancelCase{"CancelButton", 0}, CancelCase{"Escape", 1},
                                           CancelCase{"CloseBox", 2}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(ChooseDirDlgTest, DriveListSelectsTheMountHoldingTheCurrentDirectory) {
  CChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  std::vector<dirchooser::DriveEntry> drives;
  std::string error;
  ASSERT_TRUE(dirchooser::ListDrives(drives, error)) << error;
  const int expected = dirchooser::FindDriveOf(drives, Str(base / "Tools"));
  ASSERT_GE(expected, 0);
  const int selection = dlg.m_comboDrives.GetCurSel();
  ASSERT_NE(ui::CB_ERR, selection);
  EXPECT_EQ(drives[static_cast<size_t>(expected)].path, dlg.m_comboDrives.GetDrivePath(selection));
  EXPECT_EQ(drives[static_cast<size_t>(expected)].path + " " + drives[static_cast<size_t>(expected)].label,
            dlg.m_comboDrives.GetLBText(selection));
}

TEST_F(ChooseDirDlgTest, ChoosingAnotherDriveRefillsTheTreeThere) {
  const std::filesystem::path table = base / "mounts";
  std::ofstream(table) << "/dev/nonexistent1 / ext4 rw 0 0\n"
                       << "/dev/nonexistent2 " << Str(base / "Other") << " ext4 rw 0 0\n"
                       << "/dev/nonexistent3 " << Str(base / "Tools") << " ext4 rw 0 0\n"
                       << "proc /proc proc rw 0 0\n";
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.m_comboDrives.ResetContent();
  ASSERT_EQ(1, dlg.m_comboDrives.FillDrivesFrom(table.string()));
  ASSERT_EQ(3, dlg.m_comboDrives.GetCount());
  EXPECT_EQ("/ ", dlg.m_comboDrives.GetLBText(0)) << "a drive without a label: its path and a space";
  EXPECT_EQ(Str(base / "Tools") + " ", dlg.m_comboDrives.GetLBText(dlg.m_comboDrives.GetCurSel()));

  const int other = dlg.m_comboDrives.FindString(-1, Str(base / "Other"));
  ASSERT_NE(ui::CB_ERR, other);
  Type(Control(dlg, 1000), "typed");
  ChooseComboEntry(Control(dlg, 1002), other);
  EXPECT_EQ(Str(base / "Other"), dlg.m_treeDirectory.GetPath());
  EXPECT_EQ(Str(base / "Other"), TextOf(Control(dlg, 1000)));
  EXPECT_EQ(ExpectedChain(base / "Other"), Texts(dlg.m_treeDirectory, PathChain(dlg.m_treeDirectory)));
  EXPECT_EQ((std::vector<std::string>{"inner"}), Children(dlg.m_treeDirectory, dlg.m_treeDirectory.GetSelectedItem()));
  EXPECT_EQ(nullptr, dlg.m_treeDirectory.GetNextSiblingItem(dlg.m_treeDirectory.GetRootItem()));
  EXPECT_EQ(Str(base / "Tools"), Str(std::filesystem::current_path()));

  // Moves from there work as before.
  DoubleClickTreeItem(Control(dlg, 1001), dlg.m_treeDirectory.GetChildItem(dlg.m_treeDirectory.GetSelectedItem()));
  PumpEvents();
  EXPECT_EQ(Str(base / "Other" / "inner"), TextOf(Control(dlg, 1000)));
}

TEST_F(ChooseDirDlgTest, UnreadableMountTableGivesTheDrivesErrorBox) {
  CChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.m_comboDrives.ResetContent();
  ModalHook hook;
  hook.ExpectMessageBox("GetLastError - GetLogicalDrives failed", std::generic_category().message(ENOENT), wxICON_ERROR);
  EXPECT_EQ(0, dlg.m_comboDrives.FillDrivesFrom(Str(base / "no-such-table")));
  EXPECT_EQ(0, dlg.m_comboDrives.GetCount());
}

// The one check with real mouse input: the toolkit's own double-click reaches the tree's
// handler, which moves and stops the expand/collapse toggle.
TEST_F(ChooseDirDlgTest, RealDoubleClickDescends) {
  ASSERT_EQ(std::system("command -v xdotool >/dev/null 2>&1"), 0) << "xdotool is not installed";
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  for (int i = 0; i < 10; ++i) {
    PumpEvents(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM alpha = Child(tree, tree.GetSelectedItem(), "Alpha");
  auto* control = dynamic_cast<wxTreeCtrl*>(Control(dlg, 1001));
  control->EnsureVisible(wxTreeItemId(alpha));
  PumpEvents();
  wxRect rect;
  ASSERT_TRUE(control->GetBoundingRect(wxTreeItemId(alpha), rect, true));
  const wxPoint point = control->ClientToScreen(wxPoint(rect.x + rect.width / 2, rect.y + rect.height / 2));
  const std::string command = "xdotool mousemove " + std::to_string(point.x) + " " + std::to_string(point.y) +
                              " click --repeat 2 --delay 60 1";
  ASSERT_EQ(0, std::system(command.c_str()));
  const std::string expected = Str(base / "Tools" / "Alpha");
  for (int i = 0; i < 100 && TextOf(Control(dlg, 1000)) != expected; ++i) {
    PumpEvents(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(expected, TextOf(Control(dlg, 1000)));
  EXPECT_EQ(1, dlg.notices);
  EXPECT_EQ((std::vector<std::string>{"Sub1", "Sub2"}), Children(tree, alpha));
  EXPECT_EQ(ui::TVIS_EXPANDED, tree.GetItemState(alpha, ui::TVIS_EXPANDED)) << "no toggle after the move";
}

TEST_F(ChooseDirDlgTest, Screenshot) {
  CChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  DoubleClickTreeItem(Control(dlg, 1001), Child(tree, tree.GetSelectedItem(), "Alpha"));
  PumpEvents();
  tree.SelectItem(Child(tree, tree.GetSelectedItem(), "Sub1"));
  const std::string path = std::string(KIVOFS_BINARY_DIR) + "/screenshots/choose-directory.png";
  EXPECT_TRUE(SaveScreenshot(dlg.m_hWnd, path)) << path;
}

}  // namespace
