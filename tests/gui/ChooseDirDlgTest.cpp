// The Choose Directory dialog and its directory tree on a generated folder tree: the chain of
// folders with the sorted subdirectories below, moves by double-click and a posted notice,
// the box for a directory that cannot be listed, and what a modal run returns.
#include <wx/treectrl.h>

#include <tuple>

#include "dirchooser/ChooseDirDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"

using namespace kivofs_test;
using namespace res::choosedir;

namespace {

// The item with that text anywhere in the tree (the generated names are unique).
ui::HTREEITEM Find(CChooseDirDlg& dlg, const std::string& text, ui::HTREEITEM parent = nullptr) {
  CDirectoryTree& tree = dlg.m_treeDirectory;
  for (auto item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item)) {
    if (tree.GetItemText(item) == text) return item;
    if (ui::HTREEITEM found = Find(dlg, text, item)) return found;
  }
  return nullptr;
}

// Returns whether the tree's own processing (expanding or collapsing) was stopped.
bool DoubleClick(CChooseDirDlg& dlg, const std::string& text) {
  auto& tree = dynamic_cast<wxTreeCtrl&>(*Control(dlg, IDC_TREE));
  const wxTreeItemId item(Find(dlg, text));
  tree.SelectItem(item);
  return Send(&tree, wxTreeEvent(wxEVT_TREE_ITEM_ACTIVATED, &tree, item));
}

// A double-click and the notice it posts.
void MoveTo(CChooseDirDlg& dlg, const std::string& text) {
  DoubleClick(dlg, text);
  PumpEvents();
}

class ChooseDirDlgTest : public DialogTest {
 protected:
  void SetUp() override {
    for (const char* folder : {"Tools/gamma", "Tools/Alpha/Sub2", "Tools/Alpha/Sub1",
                               "Tools/beta", "Tools/.hidden", "Other/inner"}) {
      fs::create_directories(dir / folder);
    }
    WriteFile(dir / "Tools" / "file.txt", "files are not listed");
    fs::current_path(dir / "Tools");
    ASSERT_TRUE(dlg.Create());
  }
  // The tree, one line per item indented by its depth: the path items, then the subdirectory
  // items marked "+" by their closed-folder picture.
  std::string Listing(ui::HTREEITEM parent = ui::TVI_ROOT, std::size_t depth = 0) {
    CDirectoryTree& tree = dlg.m_treeDirectory;
    std::string lines;
    int image = -1, selected = -1;
    for (auto item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item)) {
      tree.GetItemImage(item, image, selected);
      lines.append(depth, ' ').append(image == 0 && selected == 1 ? "+" : "");
      lines.append(tree.GetItemText(item)).append("\n").append(Listing(item, depth + 1));
    }
    return lines;
  }
  // What the tree must show for `path`: a chain of path items, each the only child of the one
  // above, with the subdirectories below the last.
  static std::string Shows(const fs::path& path, const std::vector<std::string>& subdirectories) {
    std::string lines = Top(path).append("\n");
    std::size_t depth = 1;
    for (const auto& part : path.relative_path()) {
      lines.append(depth++, ' ').append(part.string()).append("\n");
    }
    for (const std::string& name : subdirectories) {
      lines.append(depth, ' ').append("+").append(name).append("\n");
    }
    return lines;
  }

  // The top item: the root directory, or on Windows the drive designator ("C:").
  static std::string Top(const fs::path& path) {
    return (path.has_root_name() ? path.root_name() : path.root_directory()).string();
  }

  CChooseDirDlg dlg;
};

TEST_F(ChooseDirDlgTest, OpensOnTheCurrentDirectoryAndMovesDownAndUpByAPostedNotice) {
  EXPECT_EQ((dir / "Tools").string(), TextOf(dlg, IDC_DIRECTORY));
  EXPECT_EQ(Shows(dir / "Tools", {".hidden", "Alpha", "beta", "gamma"}), Listing());
  const std::tuple<std::string, fs::path, std::vector<std::string>> moves[] = {
      {"Alpha", dir / "Tools" / "Alpha", {"Sub1", "Sub2"}},
      {dir.filename().string(), dir, {"Other", "Tools"}},
      {"Tools", dir / "Tools", {".hidden", "Alpha", "beta", "gamma"}}};
  for (const auto& [item, path, subdirectories] : moves) {
    const std::string before = TextOf(dlg, IDC_DIRECTORY);
    EXPECT_TRUE(DoubleClick(dlg, item));
    EXPECT_EQ(before, TextOf(dlg, IDC_DIRECTORY)) << "the notice is posted, not sent";
    PumpEvents();
    EXPECT_EQ(path.string(), TextOf(dlg, IDC_DIRECTORY));
    EXPECT_EQ(Shows(path, subdirectories), Listing());
  }
  MoveTo(dlg, Top(dir));  // the top item alone is the root, or the drive without a backslash
  EXPECT_EQ(Top(dir), TextOf(dlg, IDC_DIRECTORY));
}

// Which failures keep a directory from being listed is the host's; one removed after the
// listing is one on every host.
TEST_F(ChooseDirDlgTest, DirectoryThatCannotBeListedGivesTheDebugBox) {
  hook.ExpectMessageBox("DEBUG", "FindFirstFile() returned INVALID_HANDLE_VALUE");
  fs::remove(dir / "Tools" / "beta");
  MoveTo(dlg, "beta");
  EXPECT_EQ((dir / "Tools" / "beta").string(), TextOf(dlg, IDC_DIRECTORY))
      << "the move happens all the same";
  EXPECT_EQ(Shows(dir / "Tools" / "beta", {}), Listing());
}

TEST_F(ChooseDirDlgTest, ModalRunReturnsTheFieldOnOkAndNothingOnCancel) {
  // What the user does inside the modal loop, what the run returns, and the directory it gives:
  // a move replaces what was typed; the field as it is when OK is pressed is the result.
  const std::tuple<std::function<void(CChooseDirDlg&)>, ui::INT_PTR, std::string> runs[] = {
      {[](auto& d) { Type(d, IDC_DIRECTORY, " /no/such dir/ "); Click(d, ui::IDOK); }, ui::IDOK,
       " /no/such dir/ "},
      {[](auto& d) { Type(d, IDC_DIRECTORY, "typed"); MoveTo(d, "Alpha"); Click(d, ui::IDOK); },
       ui::IDOK, (dir / "Tools" / "Alpha").string()},
      {[](auto& d) { PressKey(d, IDC_DIRECTORY, WXK_RETURN); }, ui::IDOK,
       (dir / "Tools").string()},
      {[](auto& d) { MoveTo(d, "Alpha"); Click(d, ui::IDCANCEL); }, ui::IDCANCEL, ""}};
  for (const auto& [act, result, directory] : runs) {
    hook.ExpectDialog(kChooserCaption,
                      [&](ui::CDialog& d) { act(static_cast<CChooseDirDlg&>(d)); });
    CChooseDirDlg modal;
    EXPECT_EQ(result, modal.DoModal());
    EXPECT_EQ(directory, modal.m_strDirectory);
  }
  EXPECT_EQ(dir / "Tools", fs::current_path()) << "the dialog never changes directory";
}

}  // namespace
