// The directory tree of the Choose Directory dialog on a generated directory tree: the chain
// and subdirectories after the fill, moves by double-click, notices, failures.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/msgdlg.h>
#include <wx/treectrl.h>

#include <cerrno>
#include <system_error>

#include "dirchooser/HostFileSystem.h"
#include "tests/gui/DirChooserFixture.h"
#include "tests/support/OrdinaryUser.h"

using namespace kivofs_test;

namespace {

using DirectoryTreeTest = DirChooserTest;

TEST_F(DirectoryTreeTest, FillShowsTheChainAndSortedSubdirectories) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  const std::filesystem::path tools = base / "Tools";

  EXPECT_EQ(Str(tools), tree.GetPath());
  EXPECT_EQ('/', tree.m_chDrive);
  EXPECT_EQ(Str(tools), TextOf(Control(dlg, 1000)));

  const std::vector<ui::HTREEITEM> chain = PathChain(tree);
  EXPECT_EQ(ExpectedChain(tools), Texts(tree, chain));
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(nullptr, tree.GetNextSiblingItem(chain.front())) << "exactly one top-level item";
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    EXPECT_EQ(1u, Children(tree, chain[i]).size()) << tree.GetItemText(chain[i]);
    EXPECT_EQ(ui::TVIS_EXPANDED, tree.GetItemState(chain[i], ui::TVIS_EXPANDED));
    int image = -1, selected = -1;
    tree.GetItemImage(chain[i], image, selected);
    EXPECT_EQ(3, selected);
  }
  EXPECT_EQ(chain.back(), tree.GetSelectedItem());
  EXPECT_EQ(ui::TVIS_EXPANDED, tree.GetItemState(chain.back(), ui::TVIS_EXPANDED));

  // Hidden directories are listed, files are not, the order ignores case.
  EXPECT_EQ((std::vector<std::string>{".hidden", "Alpha", "beta", "gamma"}), Children(tree, chain.back()));
  for (ui::HTREEITEM item = tree.GetChildItem(chain.back()); item; item = tree.GetNextSiblingItem(item)) {
    int image = -1, selected = -1;
    tree.GetItemImage(item, image, selected);
    EXPECT_EQ(0, image);
    EXPECT_EQ(1, selected);
    EXPECT_FALSE(tree.ItemHasChildren(item)) << "nothing is read ahead";
  }
  PumpEvents();
  EXPECT_EQ(0, dlg.notices) << "the fill posts no notice";
}

TEST_F(DirectoryTreeTest, DoubleClickOnSubdirectoryDescends) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM tools = PathChain(tree).back();
  ui::HTREEITEM alpha = Child(tree, tools, "Alpha");
  ASSERT_NE(nullptr, alpha);

  EXPECT_TRUE(DoubleClickTreeItem(Control(dlg, 1001), alpha));
  EXPECT_EQ(Str(base / "Tools" / "Alpha"), tree.GetPath());
  EXPECT_EQ(0, dlg.notices) << "the notice is posted, not sent";
  EXPECT_EQ(Str(base / "Tools"), TextOf(Control(dlg, 1000)));
  PumpEvents();
  EXPECT_EQ(1, dlg.notices);
  EXPECT_EQ(Str(base / "Tools" / "Alpha"), TextOf(Control(dlg, 1000)));

  EXPECT_EQ((std::vector<std::string>{"Alpha"}), Children(tree, tools));
  int image = -1, selected = -1;
  tree.GetItemImage(alpha, image, selected);
  EXPECT_EQ(2, image);
  EXPECT_EQ(3, selected);
  EXPECT_EQ((std::vector<std::string>{"Sub1", "Sub2"}), Children(tree, alpha));
  EXPECT_EQ(ExpectedChain(base / "Tools" / "Alpha"), Texts(tree, PathChain(tree)));
}

TEST_F(DirectoryTreeTest, DoubleClickOnPathItemClimbs) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  std::vector<ui::HTREEITEM> chain = PathChain(tree);
  ASSERT_GE(chain.size(), 2u);
  ui::HTREEITEM baseItem = chain[chain.size() - 2];

  DoubleClickTreeItem(Control(dlg, 1001), baseItem);
  PumpEvents();
  EXPECT_EQ(Str(base), tree.GetPath());
  EXPECT_EQ(Str(base), TextOf(Control(dlg, 1000)));
  EXPECT_EQ(1, dlg.notices);
  // Tools and everything below it went; all subdirectories come back as subdirectory items.
  EXPECT_EQ((std::vector<std::string>{"empty", "Other", "Tools"}), Children(tree, baseItem));
  ui::HTREEITEM tools = Child(tree, baseItem, "Tools");
  int image = -1, selected = -1;
  tree.GetItemImage(tools, image, selected);
  EXPECT_EQ(0, image);
  EXPECT_FALSE(tree.ItemHasChildren(tools));

  // And down again.
  DoubleClickTreeItem(Control(dlg, 1001), tools);
  PumpEvents();
  EXPECT_EQ(Str(base / "Tools"), TextOf(Control(dlg, 1000)));
  EXPECT_EQ(2, dlg.notices);
}

TEST_F(DirectoryTreeTest, DoubleClickOnCurrentItemWithSubdirectoriesChangesNothing) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM tools = PathChain(tree).back();
  const std::vector<std::string> before = Children(tree, tools);
  const ui::UINT count = tree.GetCount();
  Type(Control(dlg, 1000), "typed");
  EXPECT_TRUE(DoubleClickTreeItem(Control(dlg, 1001), tools));
  PumpEvents();
  EXPECT_EQ(0, dlg.notices);
  EXPECT_EQ(before, Children(tree, tools));
  EXPECT_EQ(count, tree.GetCount());
  EXPECT_EQ("typed", TextOf(Control(dlg, 1000)));
}

TEST_F(DirectoryTreeTest, DoubleClickOnCurrentItemWithoutSubdirectoriesListsItAgain) {
  std::filesystem::current_path(base / "empty");
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM empty = PathChain(tree).back();
  EXPECT_EQ("empty", tree.GetItemText(empty));
  EXPECT_FALSE(tree.ItemHasChildren(empty));
  Type(Control(dlg, 1000), "typed");
  DoubleClickTreeItem(Control(dlg, 1001), empty);
  PumpEvents();
  EXPECT_EQ(1, dlg.notices);
  EXPECT_EQ(Str(base / "empty"), tree.GetPath());
  EXPECT_EQ(Str(base / "empty"), TextOf(Control(dlg, 1000))) << "a move overwrites typed text";
  EXPECT_FALSE(tree.ItemHasChildren(empty));
}

TEST_F(DirectoryTreeTest, DirectoryThatCannotBeListedGivesTheDebugBoxOnce) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM tools = PathChain(tree).back();
  ui::HTREEITEM gamma = Child(tree, tools, "gamma");
  std::filesystem::remove(base / "Tools" / "gamma");

  ModalHook hook;
  hook.ExpectMessageBox("DEBUG", std::string("FindFirstFile() returned INVALID_HANDLE_VALUE"), wxICON_NONE);
  DoubleClickTreeItem(Control(dlg, 1001), gamma);
  PumpEvents();
  EXPECT_EQ(1u, hook.shown().size());
  // The move has happened all the same.
  EXPECT_EQ(Str(base / "Tools" / "gamma"), tree.GetPath());
  EXPECT_EQ(Str(base / "Tools" / "gamma"), TextOf(Control(dlg, 1000)));
  EXPECT_EQ(1, dlg.notices);
  EXPECT_EQ((std::vector<std::string>{"gamma"}), Children(tree, tools));
  EXPECT_FALSE(tree.ItemHasChildren(gamma));
  int image = -1, selected = -1;
  tree.GetItemImage(gamma, image, selected);
  EXPECT_EQ(2, image);
}

TEST_F(DirectoryTreeTest, UnreadableDirectoryGivesTheDebugBox) {
  kivo::testfiles::GiveToOrdinaryUser(base);
  std::filesystem::permissions(base / "Tools" / "beta", std::filesystem::perms::none);
  kivo::testfiles::AsOrdinaryUser ordinaryUser;
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM beta = Child(tree, PathChain(tree).back(), "beta");
  ModalHook hook;
  hook.ExpectMessageBox("DEBUG", std::string("FindFirstFile() returned INVALID_HANDLE_VALUE"), wxICON_NONE);
  DoubleClickTreeItem(Control(dlg, 1001), beta);
  PumpEvents();
  EXPECT_EQ(Str(base / "Tools" / "beta"), tree.GetPath());
  EXPECT_FALSE(tree.ItemHasChildren(beta));
}

TEST_F(DirectoryTreeTest, TopItemStandsForTheRoot) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM top = tree.GetRootItem();
  ASSERT_EQ("/", tree.GetItemText(top));
  DoubleClickTreeItem(Control(dlg, 1001), top);
  PumpEvents();
  EXPECT_EQ("/", tree.GetPath());
  EXPECT_EQ("/", TextOf(Control(dlg, 1000)));
  const std::vector<std::string> rootChildren = Children(tree, top);
  const std::string firstComponent = (*(++base.begin())).string();
  EXPECT_NE(rootChildren.end(), std::find(rootChildren.begin(), rootChildren.end(), firstComponent));

  // One level down from the root: "/" and the name join with a single slash.
  DoubleClickTreeItem(Control(dlg, 1001), Child(tree, top, firstComponent));
  PumpEvents();
  EXPECT_EQ("/" + firstComponent, tree.GetPath());
  EXPECT_EQ(2, dlg.notices);
}

TEST_F(DirectoryTreeTest, SelectingWithoutDoubleClickMovesNothing) {
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CDirectoryTree& tree = dlg.m_treeDirectory;
  ui::HTREEITEM tools = PathChain(tree).back();
  const ui::UINT count = tree.GetCount();
  tree.SelectItem(Child(tree, tools, "beta"));
  tree.SelectItem(tree.GetRootItem());
  PumpEvents();
  EXPECT_EQ(0, dlg.notices);
  EXPECT_EQ(Str(base / "Tools"), tree.GetPath());
  EXPECT_EQ(count, tree.GetCount());

  // A double-click with nothing selected changes nothing either.
  tree.SelectItem(nullptr);
  auto* control = dynamic_cast<wxTreeCtrl*>(Control(dlg, 1001));
  wxTreeEvent event(wxEVT_TREE_ITEM_ACTIVATED, control, wxTreeItemId(tools));
  control->GetEventHandler()->ProcessEvent(event);
  PumpEvents();
  EXPECT_EQ(0, dlg.notices);
  EXPECT_EQ(count, tree.GetCount());
}

TEST_F(DirectoryTreeTest, ConstructionSetsTheInitialFields) {
  CDirectoryTree tree;
  EXPECT_EQ('a', tree.m_chDrive);
  EXPECT_EQ(0, tree.m_nSubdirImage);
  EXPECT_EQ(1, tree.m_nSubdirSelImage);
  EXPECT_EQ(2, tree.m_nPathImage);
  EXPECT_EQ(3, tree.m_nPathSelImage);
  EXPECT_EQ("", tree.GetPath());
}

TEST_F(DirectoryTreeTest, VanishedCurrentDirectoryGivesErrorBoxesAndTheDialogStillOpens) {
  std::filesystem::create_directories(base / "vanish");
  std::filesystem::current_path(base / "vanish");
  std::filesystem::remove(base / "vanish");
  const std::string reason = std::generic_category().message(ENOENT);
  ModalHook hook;
  hook.ExpectMessageBox("GetLastError - GetCurrentDirectory failed", reason, wxICON_ERROR);
  hook.ExpectMessageBox("GetLastError", reason, wxICON_ERROR);
  CCountingChooseDirDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(0u, dlg.m_treeDirectory.GetCount());
  EXPECT_EQ("", TextOf(Control(dlg, 1000)));
  EXPECT_GT(dlg.m_comboDrives.GetCount(), 0) << "the drives are listed";
  EXPECT_EQ(ui::CB_ERR, dlg.m_comboDrives.GetCurSel()) << "none is selected";
}

struct SplitCase {
  const char* path;
  std::vector<std::string> parts;
};

class SplitPaths : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPaths, ComponentsWithRootFirst) { EXPECT_EQ(GetParam().parts, dirchooser::SplitPath(GetParam().path)); }

INSTANTIATE_TEST_SUITE_P(All, SplitPaths,
                         ::testing::Values(SplitCase{"/", {"/"}}, SplitCase{"/home", {"/", "home"}},
                                           SplitCase{"/home//u/", {"/", "home", "u"}},
                                           SplitCase{"/a b/c d", {"/", "a b", "c d"}}, SplitCase{"", {}}));

TEST(HostPaths, JoinUsesOneSlash) {
  EXPECT_EQ("/home", dirchooser::JoinPath("/", "home"));
  EXPECT_EQ("/home/u", dirchooser::JoinPath("/home", "u"));
}

struct DriveCase {
  const char* directory;
  int expected;
};

class DriveOfDirectory : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DriveOfDirectory, LongestWholeComponentPrefix) {
  const std::vector<dirchooser::DriveEntry> drives{{"/", ""}, {"/home", ""}, {"/home/u/usb", "USB"}, {"/media", ""}};
  EXPECT_EQ(GetParam().expected, dirchooser::FindDriveOf(drives, GetParam().directory));
}

INSTANTIATE_TEST_SUITE_P(All, DriveOfDirectory,
                         ::testing::Values(DriveCase{"/", 0}, DriveCase{"/etc", 0}, DriveCase{"/home", 1},
                                           DriveCase{"/home/u", 1}, DriveCase{"/homework", 0},
                                           DriveCase{"/home/u/usb/x", 2}, DriveCase{"/home/u/usbkey", 1},
                                           DriveCase{"relative", -1}));

TEST(HostDrives, MountTableLeavesOutPseudoFileSystems) {
  const std::filesystem::path table = std::filesystem::temp_directory_path() / ("kivofs-mounts-" + std::to_string(getpid()));
  std::ofstream(table) << "proc /proc proc rw 0 0\n"
                          "sysfs /sys sysfs rw 0 0\n"
                          "/dev/nonexistent1 / ext4 rw 0 0\n"
                          "tmpfs /run tmpfs rw 0 0\n"
                          "tmpfs /dev/shm tmpfs rw 0 0\n"
                          "tmpfs /tmp tmpfs rw 0 0\n"
                          "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                          "devpts /dev/pts devpts rw 0 0\n"
                          "mqueue /dev/mqueue mqueue rw 0 0\n"
                          "/dev/nonexistent2 /media/My\\040Disk vfat rw 0 0\n"
                          "/dev/nonexistent3 /home ext4 rw 0 0\n";
  std::vector<dirchooser::DriveEntry> drives;
  std::string error;
  ASSERT_TRUE(dirchooser::ReadMountTable(table.string(), drives, error)) << error;
  std::vector<std::string> paths;
  for (const auto& drive : drives) paths.push_back(drive.path);
  EXPECT_EQ((std::vector<std::string>{"/", "/tmp", "/media/My Disk", "/home"}), paths);
  std::filesystem::remove(table);

  drives.clear();
  EXPECT_FALSE(dirchooser::ReadMountTable(table.string(), drives, error));
  EXPECT_EQ(std::generic_category().message(ENOENT), error);
}

TEST(HostDrives, LabelEscapes) {
  EXPECT_EQ("My Disk", dirchooser::DecodeLabel("My\\x20Disk"));
  EXPECT_EQ("a\\xZZ", dirchooser::DecodeLabel("a\\xZZ"));
  EXPECT_EQ("plain", dirchooser::DecodeLabel("plain"));
}

}  // namespace
