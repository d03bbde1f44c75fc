// A generated directory tree to open the Choose Directory dialog on, and a dialog that counts
// the path-changed notices it receives.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dirchooser/ChooseDirDlg.h"
#include "tests/gui/GuiActions.h"

namespace kivofs_test {

class CCountingChooseDirDlg : public CChooseDirDlg {
 public:
  int notices = 0;
  void UpdateDirectoryField() override {
    ++notices;
    CChooseDirDlg::UpdateDirectoryField();
  }
};

class DirChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    base = std::filesystem::temp_directory_path() /
           ("kivofs-dirchooser-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    for (const char* dir : {"Tools/Alpha/Sub1", "Tools/Alpha/Sub2", "Tools/beta", "Tools/gamma", "Tools/.hidden",
                            "empty", "Other/inner"}) {
      std::filesystem::create_directories(base / dir);
    }
    for (const char* file : {"Tools/file.txt", "Tools/Alpha/readme", "empty/only.txt", "Tools/zeta.dir"}) {
      std::ofstream(base / file) << "x";
    }
    base = std::filesystem::canonical(base);
    saved = std::filesystem::current_path();
    std::filesystem::current_path(base / "Tools");
  }

  void TearDown() override {
    std::filesystem::current_path(saved);
    std::error_code error;
    std::filesystem::permissions(base / "Tools" / "beta", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(base, error);
  }

  static std::string Str(const std::filesystem::path& path) { return path.string(); }

  // Texts of the children of an item (TVI_ROOT: the top-level items).
  static std::vector<std::string> Children(ui::CTreeCtrl& tree, ui::HTREEITEM parent) {
    std::vector<std::string> texts;
    for (ui::HTREEITEM item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item)) {
      texts.push_back(tree.GetItemText(item));
    }
    return texts;
  }

  static ui::HTREEITEM Child(ui::CTreeCtrl& tree, ui::HTREEITEM parent, const std::string& text) {
    for (ui::HTREEITEM item = tree.GetChildItem(parent); item; item = tree.GetNextSiblingItem(item)) {
      if (tree.GetItemText(item) == text) return item;
    }
    return nullptr;
  }

  // The path items from the top down, each checked to be the only child of the one above.
  static std::vector<ui::HTREEITEM> PathChain(CDirectoryTree& tree) {
    std::vector<ui::HTREEITEM> chain;
    ui::HTREEITEM item = tree.GetRootItem();
    while (item != nullptr) {
      int image = -1, selected = -1;
      tree.GetItemImage(item, image, selected);
      if (image != 2) break;
      chain.push_back(item);
      item = tree.GetChildItem(item);
    }
    return chain;
  }

  static std::vector<std::string> Texts(CDirectoryTree& tree, const std::vector<ui::HTREEITEM>& items) {
    std::vector<std::string> texts;
    for (ui::HTREEITEM item : items) texts.push_back(tree.GetItemText(item));
    return texts;
  }

  // What the chain for `path` must read: "/" then one item per component.
  static std::vector<std::string> ExpectedChain(const std::filesystem::path& path) {
    std::vector<std::string> texts{"/"};
    for (const auto& part : path.relative_path()) {
      if (!part.empty()) texts.push_back(part.string());
    }
    return texts;
  }

  std::filesystem::path base;
  std::filesystem::path saved;
};

}  // namespace kivofs_test
