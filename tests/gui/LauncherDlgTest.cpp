// The launcher on real widgets: its picture buttons open a new drive tool or ROM attach dialog
// each time and the blank ones nothing, and its menu opens the about box or closes it.
#include <wx/menu.h>

#include <sstream>

#include "app/LauncherDlg.h"
#include "res/Templates.h"
#include "tests/gui/GuiTest.h"

using namespace kivofs_test;
using namespace res::launcher;

namespace {

class LauncherTest : public DialogTest {
 protected:
  void SetUp() override { ASSERT_TRUE(dlg.Create()); }

  std::ostringstream diagnostics;
  kivo::fs::DriveBuilder builder{diagnostics};
  CKivoFSUtilsDlg dlg{builder};
};

TEST_F(LauncherTest, ButtonsOpenAFreshDialogEachTimeAndTheBlankOnesNothing) {
  hook.ExpectDialog(kDriveToolCaption, [](ui::CDialog& d) { Click(d, res::romfs::IDC_EXIT); });
  Click(dlg, IDC_CREATE_DRIVE);
  for (int round = 0; round < 2; ++round) {
    hook.ExpectDialog("AddKivoFS", [](ui::CDialog& attach) {
      EXPECT_EQ("", TextOf(attach, res::addkivofs::IDC_OUTPUT));
      EXPECT_FALSE(Check(attach, res::addkivofs::IDC_SAVE_FLASH).GetValue());
      // Stored by a Save that stops at its first check, then closed.
      Type(attach, res::addkivofs::IDC_OUTPUT, "/nowhere/typed.nds");
      Check(attach, res::addkivofs::IDC_SAVE_FLASH).SetValue(true);
      Click(attach, res::addkivofs::IDC_SAVE);
      Click(attach, res::addkivofs::IDC_EXIT);
    });
    hook.ExpectMessageBox(kCaption, kNoDrive);
    Click(dlg, IDC_ADD_DRIVES);
  }
  Click(dlg, IDC_BLANK_LEFT);
  Click(dlg, IDC_BLANK_RIGHT);
  EXPECT_EQ(-1, dlg.GetModalResult());
}

TEST_F(LauncherTest, MenuEndsWithTheAboutEntryThatOpensTheAboutBox) {
  const std::unique_ptr<wxMenu> menu = dlg.CreateSystemMenu();
  const size_t count = menu->GetMenuItemCount();
  ASSERT_GE(count, 2u);
  EXPECT_TRUE(menu->FindItemByPosition(count - 2)->IsSeparator());
  const wxMenuItem* about = menu->FindItemByPosition(count - 1);
  EXPECT_EQ("&About Kivo FS Utils...", ui::FromWx(about->GetItemLabel()));
  // The entry's low four bits do not matter.
  for (const int id : {about->GetId(), 0x001F}) {
    hook.ExpectDialog(kAboutCaption, [](ui::CDialog& box) { PressKey(box, 0, WXK_RETURN); });
    Send(dlg.m_hWnd, wxCommandEvent(wxEVT_MENU, id));
  }
  EXPECT_EQ(-1, dlg.GetModalResult());
  Send(dlg.m_hWnd, wxCommandEvent(wxEVT_MENU, menu->FindItemByPosition(0)->GetId()));
  EXPECT_EQ(ui::IDCANCEL, dlg.GetModalResult()) << "the menu's first entry closes the launcher";
}

}  // namespace
