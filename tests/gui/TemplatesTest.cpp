// Every dialog builds from its template with its caption, its close box or none, and its tab
// stops in tab order (the read-only summary fields of the drive tool have none).
#include <gtest/gtest.h>
#include <wx/dialog.h>

#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "ui/WxText.h"

namespace {

using namespace res;

struct TemplateCase {
  int id;
  const char* caption;
  bool closeBox;
  std::vector<int> tabStops;
};

class TemplatesTest : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplatesTest, BuildsWithItsTabStopsInOrder) {
  const TemplateCase& c = GetParam();
  ui::CDialog dlg(static_cast<ui::UINT>(c.id));
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(c.caption, ui::FromWx(dlg.GetDialogWindow()->GetTitle()));
  EXPECT_EQ(c.closeBox, dlg.GetDialogWindow()->HasFlag(wxCLOSE_BOX));
  std::vector<int> tabStops;
  for (wxWindow* child : dlg.GetDialogWindow()->GetChildren()) {
    if (child->AcceptsFocusFromKeyboard()) tabStops.push_back(child->GetId());
  }
  EXPECT_EQ(c.tabStops, tabStops);
}

INSTANTIATE_TEST_SUITE_P(
    All, TemplatesTest,
    ::testing::Values(
        TemplateCase{IDD_ABOUTBOX, "About Kivo FS Utils", true, {ui::IDOK}},
        TemplateCase{IDD_KIVOFSUTILS_DIALOG, "Kivo FS Utils", true,
                     {ui::IDOK, launcher::IDC_CREATE_DRIVE, launcher::IDC_ADD_DRIVES, launcher::IDC_BLANK_LEFT,
                      launcher::IDC_BLANK_RIGHT}},
        TemplateCase{IDD_CHOOSE_DIRECTORY, "Choose Directory", true,
                     {choosedir::IDC_DIRECTORY, choosedir::IDC_TREE, choosedir::IDC_DRIVES, ui::IDOK, ui::IDCANCEL}},
        TemplateCase{IDD_ROMFS_DIALOG, "Kivo RomFS", false,
                     {romfs::IDC_DRIVE_NAME, romfs::IDC_EXIT, romfs::IDC_BROWSE_SOURCE, romfs::IDC_SOURCE_DIR,
                      romfs::IDC_CREATE_DRIVE, romfs::IDC_BROWSE_IMAGE, romfs::IDC_IMAGE_PATH, romfs::IDC_OPEN_IMAGE,
                      romfs::IDC_RENAME_PATH, romfs::IDC_SAVE_NEW_NAME}},
        TemplateCase{IDD_ADDKIVOFS_DIALOG, "AddKivoFS", true,
                     {addkivofs::IDC_HOST, addkivofs::IDC_BROWSE_HOST, addkivofs::IDC_DRIVE0,
                      addkivofs::IDC_BROWSE_DRIVE0, addkivofs::IDC_DRIVE1, addkivofs::IDC_BROWSE_DRIVE1,
                      addkivofs::IDC_OUTPUT, addkivofs::IDC_BROWSE_OUTPUT, addkivofs::IDC_SAVE_FLASH,
                      addkivofs::IDC_SAVE, addkivofs::IDC_EXIT}}),
    [](const auto& p) { return std::to_string(p.param.id); });

}  // namespace
