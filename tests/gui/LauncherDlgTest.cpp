// The launcher on real widgets: its picture buttons open a new drive tool or ROM attach dialog
// each time and the blank ones nothing, the menu's About entry opens the about box, the ways it
// closes, and what its pictures look like.
#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/menu.h>

#include <set>
#include <sstream>

#include "app/LauncherDlg.h"
#include "app/LauncherPictures.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"
#include "ui/Resources.h"

using namespace kivofs_test;
using namespace res::launcher;

namespace {

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dlg.Create()); }

  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg dlg{builder};
  ModalHook hook;  // any dialog not expected fails the test
};

TEST_F(LauncherTest, ButtonsOpenAFreshDialogEachTimeAndTheBlankOnesNothing) {
  hook.ExpectDialog("Kivo RomFS", [](ui::CDialog& tool) { Click(tool, res::romfs::IDC_EXIT); });
  Click(dlg, IDC_CREATE_DRIVE);
  for (int round = 0; round < 2; ++round) {
    hook.ExpectDialog("AddKivoFS", [](ui::CDialog& attach) {
      EXPECT_EQ("", TextOf(attach, res::addkivofs::IDC_OUTPUT));
      EXPECT_FALSE(IsChecked(attach, res::addkivofs::IDC_SAVE_FLASH));
      // Stored by a Save that stops at its first check, then closed.
      Type(attach, res::addkivofs::IDC_OUTPUT, "/nowhere/typed.nds");
      SetCheck(attach, res::addkivofs::IDC_SAVE_FLASH, true);
      Click(attach, res::addkivofs::IDC_SAVE);
      Click(attach, res::addkivofs::IDC_EXIT);
    });
    hook.ExpectMessageBox("Kivo FS Utils", "one of the drive paths must be filled in to proceed");
    Click(dlg, IDC_ADD_DRIVES);
  }
  Click(dlg, IDC_BLANK_LEFT);
  Click(dlg, IDC_BLANK_RIGHT);
  PumpEvents();
  EXPECT_EQ(5u, hook.shown().size());
  EXPECT_EQ(-1, dlg.GetModalResult());
}

TEST_F(LauncherTest, MenuEndsWithTheAboutEntryThatOpensTheAboutBox) {
  const std::unique_ptr<wxMenu> menu = dlg.CreateSystemMenu();
  const size_t count = menu->GetMenuItemCount();
  ASSERT_GE(count, 2u);
  EXPECT_TRUE(menu->FindItemByPosition(count - 2)->IsSeparator());
  EXPECT_EQ("&About Kivo FS Utils...", ui::FromWx(menu->FindItemByPosition(count - 1)->GetItemLabel()));
  // The entry's low four bits do not matter.
  for (const int id : {menu->FindItemByPosition(count - 1)->GetId(), 0x001F}) {
    hook.ExpectDialog("About Kivo FS Utils", [](ui::CDialog& about) { PressKey(about, 0, WXK_RETURN); });
    Send(dlg.m_hWnd, wxCommandEvent(wxEVT_MENU, id));
  }
  EXPECT_EQ(-1, dlg.GetModalResult());
  Send(dlg.m_hWnd, wxCommandEvent(wxEVT_MENU, menu->FindItemByPosition(0)->GetId()));
  EXPECT_EQ(ui::IDCANCEL, dlg.GetModalResult()) << "the menu's first entry closes the launcher";
}

TEST_F(LauncherTest, OkEnterAndEscapeClose) {
  for (const auto& [key, result] : {std::pair{0, ui::IDOK}, {WXK_RETURN, ui::IDOK}, {WXK_ESCAPE, ui::IDCANCEL}}) {
    CKivoFSUtilsDlg launcher(builder);
    ASSERT_TRUE(launcher.Create());
    key == 0 ? Click(launcher, ui::IDOK) : PressKey(launcher, ui::IDOK, key);
    EXPECT_EQ(result, launcher.GetModalResult());
  }
}

// 157 x 96 on the button face; a caption in eight dark rows, centred across.
TEST(LauncherPicturesTest, CaptionsAreDarkAndCentredOnTheFace) {
  app::RegisterLauncherPictures();
  for (const auto& [id, top] : {std::pair{129, 75}, {130, 76}, {131, -1}, {132, -1}, {133, 75}, {142, 76}}) {
    const wxImage image = ui::LoadBitmapResource(id).ConvertToImage();
    EXPECT_EQ(wxSize(157, 96), image.GetSize()) << id;
    EXPECT_EQ(wxColour(236, 233, 216), wxColour(image.GetRed(4, 4), image.GetGreen(4, 4), image.GetBlue(4, 4))) << id;
    std::set<int> rows, columns;
    for (int y = 2; y < 94; ++y) {
      for (int x = 2; x < 155; ++x) {
        if (image.GetRed(x, y) + image.GetGreen(x, y) + image.GetBlue(x, y) >= 3 * 64) continue;
        rows.insert(y);
        columns.insert(x);
      }
    }
    ASSERT_EQ(top < 0 ? 0u : 8u, rows.size()) << id;
    if (top < 0) continue;
    EXPECT_EQ(std::pair(top, top + 7), std::pair(*rows.begin(), *rows.rbegin())) << id;
    EXPECT_LE(std::abs(*columns.begin() - (156 - *columns.rbegin())), 1) << id;
  }
}

}  // namespace
